#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Colour conversions and the state of the colour picker's plane, free of any
// window. Colours are 0x00BBGGRR (red in the low byte).
namespace skin {

using ColorRef = std::uint32_t;

constexpr ColorRef makeColorRef(int red, int green, int blue) {
    return static_cast<ColorRef>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int redOf(ColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

struct Hsv {
    double hue = 0;         // degrees, 0..360
    double saturation = 0;  // 0..1
    double value = 0;       // 0..1
};

// Hue 0..360 degrees, saturation and value 0..1; empty when any is outside.
std::optional<ColorRef> HsvToRgb(double hue, double saturation, double value);
std::optional<Hsv> RgbToHsv(double red, double green, double blue);  // each 0..1
Hsv RgbToHsv(ColorRef colour);

// The plane marker is black on bright colours and white on dark ones.
bool MarkerIsBlack(ColorRef colour);

// Modes: 0..2 hold red, green or blue fixed; 3 hue, 4 saturation, 5 value.
struct ModeRanges {
    int fixed = 255;
    int x = 255;
    int y = 255;
};
ModeRanges RangesOfMode(int mode);

// The selector's position in its colour model.
struct ColorSelectorState {
    int mode = 0;
    int fixed = 0;
    int x = 0;
    int y = 0;

    ModeRanges ranges() const { return RangesOfMode(mode); }
    ColorRef colour() const;
    // Moves to `colour`; false when fixed, x and y all stay the same.
    bool moveTo(ColorRef colour);
    // Plane position from a point in a plane rectangle (y grows upwards).
    bool pointTo(int px, int py, int left, int top, int right, int bottom);
};

// Gradient rows of n pixels as 0x00BBGGRR colours.
std::vector<ColorRef> FillHueBar(int n, double saturation, double value);
std::vector<ColorRef> FillSaturationRamp(int n, double hue, double value);
std::vector<ColorRef> FillValueRamp(int n, double hue, double saturation);

}  // namespace skin
