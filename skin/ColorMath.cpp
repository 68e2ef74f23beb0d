#include "skin/ColorMath.h"

#include <algorithm>
#include <cmath>

namespace skin {
namespace {

int channelByte(double c) { return static_cast<int>(std::ceil(255.0 * c - 0.5)); }

// 8.20 fixed point, as the ramps step in.
constexpr int kFractionBits = 20;
int toFixed(double channel) { return static_cast<int>(channel * (1 << kFractionBits)); }
int fromFixed(int fixed) { return std::clamp(fixed >> kFractionBits, 0, 255); }

ColorRef hsvOrBlack(double h, double s, double v) { return HsvToRgb(h, s, v).value_or(0); }

}  // namespace

std::optional<ColorRef> HsvToRgb(double hue, double saturation, double value) {
    if (saturation < 0 || saturation > 1 || value < 0 || value > 1 || hue < 0 || hue > 360) return std::nullopt;
    if (saturation == 0) {
        const int grey = channelByte(value);
        return makeColorRef(grey, grey, grey);
    }
    if (hue == 360) hue = 0;
    const double h = hue / 60.0;
    const int i = static_cast<int>(h);
    const double f = h - i;
    const double v = value;
    const double p = v * (1 - saturation);
    const double q = v * (1 - saturation * f);
    const double t = v * (1 - saturation * (1 - f));
    double r = v, g = t, b = p;
    switch (i) {
    case 0:
        r = v;
        g = t;
        b = p;
        break;
    case 1:
        r = q;
        g = v;
        b = p;
        break;
    case 2:
        r = p;
        g = v;
        b = t;
        break;
    case 3:
        r = p;
        g = q;
        b = v;
        break;
    case 4:
        r = t;
        g = p;
        b = v;
        break;
    default:
        r = v;
        g = p;
        b = q;
        break;
    }
    return makeColorRef(channelByte(r), channelByte(g), channelByte(b));
}

std::optional<Hsv> RgbToHsv(double r, double g, double b) {
    for (const double c : {r, g, b})
        if (c < 0 || c > 1) return std::nullopt;
    Hsv hsv;
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    hsv.value = max;
    if (max == 0) return hsv;
    const double d = max - min;
    hsv.saturation = d / max;
    if (hsv.saturation == 0) return hsv;
    if (r == max)
        hsv.hue = 60 * ((g - b) / d);
    else if (g == max)
        hsv.hue = 60 * ((b - r) / d + 2);
    else
        hsv.hue = 60 * ((r - g) / d + 4);
    if (hsv.hue < 0) hsv.hue += 360;
    return hsv;
}

Hsv RgbToHsv(ColorRef c) { return RgbToHsv(redOf(c) / 255.0, greenOf(c) / 255.0, blueOf(c) / 255.0).value_or(Hsv{}); }

bool MarkerIsBlack(ColorRef c) { return std::max({redOf(c), greenOf(c), blueOf(c)}) >= 128; }

ModeRanges RangesOfMode(int mode) {
    switch (mode) {
    case 3: return {3599, 1000, 1000};
    case 4: return {1000, 3599, 1000};
    case 5: return {1000, 3599, 1000};
    default: return {255, 255, 255};
    }
}

ColorRef ColorSelectorState::colour() const {
    const ModeRanges r = ranges();
    switch (mode) {
    case 0: return makeColorRef(fixed, y, x);
    case 1: return makeColorRef(y, fixed, x);
    case 2: return makeColorRef(x, y, fixed);
    case 3: return hsvOrBlack(fixed / 10.0, static_cast<double>(x) / r.x, static_cast<double>(y) / r.y);
    case 4: return hsvOrBlack(x / 10.0, fixed / 1000.0, static_cast<double>(y) / r.y);
    case 5: return hsvOrBlack(x / 10.0, static_cast<double>(y) / r.y, fixed / 1000.0);
    default: return 0;
    }
}

bool ColorSelectorState::moveTo(ColorRef c) {
    int newFixed = fixed, newX = x, newY = y;
    if (mode <= 2) {
        const int red = redOf(c), green = greenOf(c), blue = blueOf(c);
        if (mode == 0) {
            newFixed = red;
            newX = blue;
            newY = green;
        }
        if (mode == 1) {
            newFixed = green;
            newX = blue;
            newY = red;
        }
        if (mode == 2) {
            newFixed = blue;
            newX = red;
            newY = green;
        }
    } else {
        const Hsv hsv = RgbToHsv(c);
        const int h = static_cast<int>(std::ceil(hsv.hue * 10));
        const int s = static_cast<int>(std::ceil(hsv.saturation * 1000));
        const int v = static_cast<int>(std::ceil(hsv.value * 1000));
        if (mode == 3) {
            newFixed = h;
            newX = s;
            newY = v;
        }
        if (mode == 4) {
            newFixed = s;
            newX = h;
            newY = v;
        }
        if (mode == 5) {
            newFixed = v;
            newX = h;
            newY = s;
        }
    }
    if (newFixed == fixed && newX == x && newY == y) return false;
    fixed = newFixed;
    x = newX;
    y = newY;
    return true;
}

bool ColorSelectorState::pointTo(int px, int py, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) return false;
    px = std::clamp(px, left, right);
    py = std::clamp(py, top, bottom);
    const ModeRanges r = ranges();
    const int newX = static_cast<int>(std::ceil(static_cast<double>(px - left) * r.x / (right - left)));
    const int newY = static_cast<int>(std::ceil(static_cast<double>(bottom - py) * r.y / (bottom - top)));
    if (newX == x && newY == y) return false;
    x = newX;
    y = newY;
    return true;
}

std::vector<ColorRef> FillHueBar(int n, double saturation, double value) {
    std::vector<ColorRef> row(static_cast<std::size_t>(std::max(0, n)));
    if (n <= 0) return row;
    const int maxFixed = toFixed(static_cast<int>(255 * value));
    const int minFixed = static_cast<int>(maxFixed * (1 - saturation));
    // Which channel rises or falls in each sixth: red->yellow (green up),
    // yellow->green (red down), green->cyan (blue up), cyan->blue (green down),
    // blue->magenta (red up), magenta->red (blue down).
    struct Run {
        int channel;
        bool rising;
        int start[3];
    };
    const Run runs[6] = {
        {1, true, {1, 0, 0}},  {0, false, {1, 1, 0}}, {2, true, {0, 1, 0}},
        {1, false, {0, 1, 1}}, {0, true, {0, 0, 1}},  {2, false, {1, 0, 1}},
    };
    for (int k = 0; k < 6; ++k) {
        const int from = static_cast<int>(static_cast<double>(k) * n / 6);
        const int to = k == 5 ? static_cast<int>(6.0 * (n / 6.0) + 0.1)
                              : static_cast<int>(static_cast<double>(k + 1) * n / 6);
        const int length = std::min(to, n) - from;
        if (length <= 0) continue;
        const Run& run = runs[k];
        const int steps = std::max(1, length - 1);
        for (int i = 0; i < length; ++i) {
            int channels[3];
            for (int c = 0; c < 3; ++c) channels[c] = run.start[c] ? maxFixed : minFixed;
            const long long span = static_cast<long long>(maxFixed - minFixed) * i / steps;
            channels[run.channel] = run.rising ? minFixed + static_cast<int>(span) : maxFixed - static_cast<int>(span);
            row[static_cast<std::size_t>(from + i)] =
                makeColorRef(fromFixed(channels[0]), fromFixed(channels[1]), fromFixed(channels[2]));
        }
    }
    return row;
}

std::vector<ColorRef> FillSaturationRamp(int n, double hue, double value) {
    std::vector<ColorRef> row(static_cast<std::size_t>(std::max(0, n)));
    for (int i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] = hsvOrBlack(hue, static_cast<double>(i) / n, value);
    return row;
}

std::vector<ColorRef> FillValueRamp(int n, double hue, double saturation) {
    std::vector<ColorRef> row(static_cast<std::size_t>(std::max(0, n)));
    for (int i = 0; i < n; ++i)
        row[static_cast<std::size_t>(i)] = hsvOrBlack(hue, saturation, static_cast<double>(i) / n);
    return row;
}

}  // namespace skin
