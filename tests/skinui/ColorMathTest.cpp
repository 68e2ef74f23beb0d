#include "skin/ColorMath.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

TEST(HsvToRgb, ConvertsAndRejectsOutOfRange) {
    const struct {
        double h, s, v;
        ColorRef expected;
    } cases[] = {
        {0, 1, 1, makeColorRef(255, 0, 0)},       {120, 1, 1, makeColorRef(0, 255, 0)},
        {240, 1, 1, makeColorRef(0, 0, 255)},     {60, 1, 1, makeColorRef(255, 255, 0)},
        {360, 1, 1, makeColorRef(255, 0, 0)},     {0, 0, 0.5, makeColorRef(127, 127, 127)},  // 127.5 rounds down
        {200, 0, 1, makeColorRef(255, 255, 255)}, {30, 0.5, 0.8, makeColorRef(204, 153, 102)}};
    for (const auto& c : cases) {
        const std::optional<ColorRef> colour = HsvToRgb(c.h, c.s, c.v);
        ASSERT_TRUE(colour) << c.h;
        EXPECT_EQ(*colour, c.expected) << "h " << c.h << " s " << c.s << " v " << c.v;
    }
    EXPECT_FALSE(HsvToRgb(361, 1, 1));
    EXPECT_FALSE(HsvToRgb(-1, 1, 1));
    EXPECT_FALSE(HsvToRgb(0, 1.01, 1));
    EXPECT_FALSE(HsvToRgb(0, 1, -0.01));
}

TEST(RgbToHsv, WhiteBlackAndHues) {
    const Hsv white = RgbToHsv(makeColorRef(255, 255, 255));
    EXPECT_EQ(white.saturation, 0);
    EXPECT_EQ(white.hue, 0);
    EXPECT_EQ(white.value, 1);
    const Hsv black = RgbToHsv(makeColorRef(0, 0, 0));
    EXPECT_EQ(black.value, 0);
    EXPECT_EQ(black.saturation, 0);
    EXPECT_DOUBLE_EQ(RgbToHsv(makeColorRef(255, 0, 255)).hue, 300);  // negative hue wraps
    EXPECT_DOUBLE_EQ(RgbToHsv(makeColorRef(0, 255, 255)).hue, 180);
    EXPECT_FALSE(RgbToHsv(1.5, 0, 0));
}

TEST(ColorSelector, HueFixedPlaneCorners) {
    ColorSelectorState state{3, 2400, 0, 0};
    // Bottom-left corner is black; top-right is the pure hue.
    state.pointTo(0, 100, 0, 0, 200, 100);
    EXPECT_EQ(state.x, 0);
    EXPECT_EQ(state.y, 0);
    EXPECT_EQ(state.colour(), makeColorRef(0, 0, 0));
    EXPECT_FALSE(MarkerIsBlack(state.colour()));
    ASSERT_TRUE(state.pointTo(500, -50, 0, 0, 200, 100));  // clamped into the plane
    EXPECT_EQ(state.x, 1000);
    EXPECT_EQ(state.y, 1000);
    EXPECT_EQ(state.colour(), makeColorRef(0, 0, 255));
    EXPECT_TRUE(MarkerIsBlack(state.colour()));
}

TEST(ColorSelector, MarkerTurnsWhiteOnlyWhenEveryChannelIsDark) {
    EXPECT_FALSE(MarkerIsBlack(makeColorRef(127, 127, 127)));
    EXPECT_TRUE(MarkerIsBlack(makeColorRef(0, 128, 0)));
    EXPECT_TRUE(MarkerIsBlack(makeColorRef(0, 0, 200)));
}

TEST(ColorSelector, MovingToTheShownColourChangesNothing) {
    ColorSelectorState state{3, 0, 0, 0};
    ASSERT_TRUE(state.moveTo(makeColorRef(255, 128, 0)));
    const ColorSelectorState before = state;
    EXPECT_FALSE(state.moveTo(makeColorRef(255, 128, 0)));
    EXPECT_EQ(state.fixed, before.fixed);
    ColorSelectorState rgb{0, 0, 0, 0};
    ASSERT_TRUE(rgb.moveTo(makeColorRef(10, 20, 30)));
    EXPECT_EQ(rgb.fixed, 10);
    EXPECT_EQ(rgb.x, 30);
    EXPECT_EQ(rgb.y, 20);
    EXPECT_EQ(rgb.colour(), makeColorRef(10, 20, 30));
}

TEST(Gradients, HueBarOfAnyWidthFillsEveryPixel) {
    for (const int n : {1, 5, 6, 7, 100, 359, 1000}) {
        const std::vector<ColorRef> bar = FillHueBar(n, 1, 1);
        ASSERT_EQ(static_cast<int>(bar.size()), n);
        // The bar starts red; an unfilled pixel would stay black.
        if (n >= 6) {
            EXPECT_EQ(bar.front(), makeColorRef(255, 0, 0)) << n;
        }
        for (int i = 0; i < n; ++i) EXPECT_NE(bar[static_cast<std::size_t>(i)], 0u) << "n " << n << " pixel " << i;
    }
    const std::vector<ColorRef> ramp = FillValueRamp(10, 0, 1);
    EXPECT_EQ(ramp.front(), 0u);
    EXPECT_GT(redOf(ramp.back()), 200);
}

}  // namespace
}  // namespace skin
