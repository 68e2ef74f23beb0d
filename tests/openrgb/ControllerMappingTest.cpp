// A client's modes and LED colours into the effect model, as the editor puts them.
#include "openrgb/ControllerMapping.h"

#include <gtest/gtest.h>

namespace {

using namespace openrgb;
using namespace effects;
using devicelink::Family;

int modeIndex(Family family, std::int32_t effect) {
    const std::vector<std::int32_t> effects = ModeEffects(family);
    const auto found = std::find(effects.begin(), effects.end(), effect);
    return found == effects.end() ? -1 : static_cast<int>(found - effects.begin());
}

LedProfile freshProfile() {
    LedProfile profile;
    ResetProfile(profile);
    return profile;
}

TEST(ControllerMappingTest, ModesAreTheEffectsTheEditorOffersTheFamily) {
    EXPECT_EQ(ModeEffects(Family::Standard),
              (std::vector<std::int32_t>{EFFECT_DIRECT, EFFECT_STATIC, EFFECT_MORSE, EFFECT_MODE_02, EFFECT_MODE_01,
                                         EFFECT_LIGHT_OFF}));
    EXPECT_EQ(ModeEffects(Family::Led5).size(), 10u);
}

TEST(ControllerMappingTest, AModeReachesTheZonesThatRunItWithItsValues) {
    Mode mode;
    mode.speed = 1;
    mode.brightness = 0;
    mode.colourMode = COLOR_MODE_SPECIFIC;
    mode.colours = {0x0000FF};
    LedProfile profile = freshProfile();
    EditorState state;
    ASSERT_EQ(ApplyMode(profile, state, Family::Standard, modeIndex(Family::Standard, EFFECT_MODE_01), mode),
              EFFECT_MODE_01);
    EXPECT_EQ(profile.zoneEffects, (std::array<std::int32_t, 3>{EFFECT_MODE_01, EFFECT_MODE_01, EFFECT_MODE_01}));
    EXPECT_EQ(profile.cardEffect, EFFECT_MULTI);
    for (const EffectLayer* layer : {&profile.multiLayer, &profile.fanLayer, &profile.logoLayer}) {
        const EffectParams params = GetEffectParams(*layer, EFFECT_MODE_01, *layer, 0, 0);
        EXPECT_EQ(params.colour, 0x0000FFu);
        EXPECT_EQ(params.speed, 1);
        EXPECT_EQ(params.brightness, 0);
        EXPECT_EQ(params.random, 0);
    }
    // What the card then describes is what was set.
    CardInfo info;
    const Controller controller = DescribeCard(info, profile);
    const Mode& described = controller.modes[static_cast<std::size_t>(controller.activeMode)];
    EXPECT_EQ(described.name, "Breathing");
    EXPECT_EQ(described.speed, 1u);
    EXPECT_EQ(described.colours, std::vector<RgbColour>{0x0000FF});
}

TEST(ControllerMappingTest, AMainZoneEffectLeavesTheFanAndLogoZones) {
    Mode mode;
    mode.speed = 4;
    mode.brightness = 2;
    mode.direction = DIRECTION_RIGHT;
    mode.colourMode = COLOR_MODE_RANDOM;
    mode.colours = {0x112233, 0x445566};
    LedProfile profile = freshProfile();
    EditorState state;
    ASSERT_EQ(ApplyMode(profile, state, Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_0A), mode), EFFECT_MODE_0A);
    EXPECT_EQ(profile.zoneEffects, (std::array<std::int32_t, 3>{EFFECT_MODE_0A, EFFECT_STATIC, EFFECT_STATIC}));
    EXPECT_EQ(Direction(profile.multiLayer, EFFECT_MODE_0A), 1);
    EXPECT_EQ(SlotColour(profile.multiLayer, EFFECT_MODE_0A, ColourSlot::Second), 0x445566u);
    EXPECT_EQ(GetEffectParams(profile.multiLayer, EFFECT_MODE_0A, profile.multiLayer, 0, 0).random, 1);
}

TEST(ControllerMappingTest, ModesOrValuesOutOfRangeLeaveTheProfileAlone) {
    const auto withSpeed = [](std::uint32_t speed) {
        Mode mode;
        mode.speed = speed;
        return mode;
    };
    Mode fourDirections;
    fourDirections.direction = DIRECTION_DOWN;
    Mode badDirection;
    badDirection.direction = 4;
    Mode threeColours;
    threeColours.colours = {1, 2, 3};
    Mode randomStatic;
    randomStatic.colourMode = COLOR_MODE_RANDOM;
    Mode brightStatic;
    brightStatic.brightness = 3;
    const struct {
        const char* what;
        Family family;
        int index;
        Mode mode;
        bool taken;
    } cases[] = {
        {"a mode beyond the standard list", Family::Standard, 6, Mode{}, false},
        {"a negative mode", Family::Led5, -1, Mode{}, false},
        {"speed 5", Family::Standard, modeIndex(Family::Standard, EFFECT_MODE_02), withSpeed(5), false},
        {"speed 4", Family::Standard, modeIndex(Family::Standard, EFFECT_MODE_02), withSpeed(4), true},
        {"flow runs down", Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_07), fourDirections, true},
        {"no fifth direction", Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_07), badDirection, false},
        {"rotate has no down", Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_0A), fourDirections, false},
        {"three colours for breathing", Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_01), threeColours, false},
        {"static has no random colour", Family::Led5, modeIndex(Family::Led5, EFFECT_STATIC), randomStatic, false},
        {"brightness 3", Family::Led5, modeIndex(Family::Led5, EFFECT_STATIC), brightStatic, false},
    };
    for (const auto& c : cases) {
        LedProfile profile = freshProfile();
        EditorState state;
        const bool taken = ApplyMode(profile, state, c.family, c.index, c.mode).has_value();
        EXPECT_EQ(taken, c.taken) << c.what;
        if (!taken) {
            EXPECT_EQ(profile, freshProfile()) << c.what;
        }
    }
    // Flow's down is the model's direction 6.
    LedProfile profile = freshProfile();
    EditorState state;
    ApplyMode(profile, state, Family::Led5, modeIndex(Family::Led5, EFFECT_MODE_07), fourDirections);
    EXPECT_EQ(Direction(profile.multiLayer, EFFECT_MODE_07), 6);
}

TEST(ControllerMappingTest, LedColoursLandOnTheirPositions) {
    LedProfile profile = freshProfile();
    LedUpdate all;
    for (std::uint32_t led = 0; led < 17; ++led) all.colours.push_back(0x010000u * led + 0x0000FFu);
    ASSERT_TRUE(SetLedColours(profile, all));
    const auto colours = LedColours(profile);
    EXPECT_EQ(colours[2], 0x0000FFu) << "main zone's first LED is position 2";
    EXPECT_EQ(colours[16], 0x0E00FFu);
    EXPECT_EQ(colours[1], 0x0F00FFu) << "the fan is position 1";
    EXPECT_EQ(colours[0], 0x1000FFu) << "the logo is position 0";

    LedUpdate logo;
    logo.zone = 2;
    logo.colours = {0xABCDEF};
    ASSERT_TRUE(SetLedColours(profile, logo));
    EXPECT_EQ(LedColours(profile)[0], 0xABCDEFu);

    const struct {
        const char* what;
        std::optional<std::uint32_t> zone;
        std::uint32_t first;
        std::size_t count;
    } refused[] = {{"past the last LED", std::nullopt, 16, 2},
                   {"first LED beyond the card", std::nullopt, 40, 1},
                   {"two colours for the fan", 1u, 0, 2},
                   {"a fourth zone", 3u, 0, 1},
                   {"eighteen LEDs", std::nullopt, 0, 18}};
    for (const auto& c : refused) {
        LedProfile before = profile;
        LedUpdate update;
        update.zone = c.zone;
        update.first = c.first;
        update.colours.assign(c.count, 0x123456);
        EXPECT_FALSE(SetLedColours(profile, update)) << c.what;
        EXPECT_EQ(profile, before) << c.what;
    }
}

}  // namespace
