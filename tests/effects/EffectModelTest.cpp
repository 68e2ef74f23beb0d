#include "effects/EffectModel.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace effects;

TEST(EffectModel, ModeCodesBothWays) {
    const struct {
        std::int32_t effect;
        std::uint8_t mode;
    } forward[] = {{EFFECT_STATIC, 0x00},
                   {EFFECT_MODE_07, 0x07},
                   {EFFECT_MODE_08, 0x08},
                   {EFFECT_MODE_11, 0x11},
                   {EFFECT_DIRECT, 0xB0},
                   {EFFECT_MODE_0A, 0x0A},
                   {EFFECT_MODE_10, 0x10},
                   {EFFECT_MODE_02, 0x02},
                   {EFFECT_MODE_01, 0x01},
                   {EFFECT_MORSE, 0x0B},
                   {EFFECT_MULTI, 0xE0},
                   {EFFECT_MODE_DF, 0xDF},
                   {EFFECT_MODE_09, 0x09},
                   {EFFECT_LIGHT_OFF, 0xFE},
                   {EFFECT_RESERVED_0E, 0xFE},
                   {0x2000, 0xFE},
                   {0, 0xFE}};
    for (const auto& c : forward) EXPECT_EQ(EffectModeCode(c.effect), c.mode) << std::hex << c.effect;

    const struct {
        std::uint8_t mode;
        std::int32_t effect;
    } backward[] = {{0x00, EFFECT_STATIC},    {0x01, EFFECT_MODE_01},   {0x02, EFFECT_MODE_02},
                    {0x07, EFFECT_MODE_07},   {0x08, EFFECT_MODE_08},   {0x09, EFFECT_MODE_09},
                    {0x0A, EFFECT_MODE_0A},   {0x0B, EFFECT_MORSE},     {0x10, EFFECT_MODE_10},
                    {0x11, EFFECT_MODE_11},   {0xB0, EFFECT_DIRECT},    {0xB1, EFFECT_DIRECT},
                    {0xE0, EFFECT_LIGHT_OFF}, {0xDF, EFFECT_LIGHT_OFF}, {0xFE, EFFECT_LIGHT_OFF},
                    {0x55, EFFECT_LIGHT_OFF}};
    for (const auto& c : backward) EXPECT_EQ(EffectFromModeCode(c.mode), c.effect) << std::hex << int(c.mode);
}

TEST(EffectModel, AResetLayerHoldsTheDefaultOfEveryField) {
    EffectLayer layer;
    layer.bytes.fill(0xAA);
    ResetLayer(layer);
    const struct {
        std::size_t offset;
        std::uint8_t value;
    } bytes[] = {{0, 1},   {44, 1},  {52, 2},  {56, 1},  {57, 1},  {68, 2},  {72, 1},  {73, 1},  {84, 2},
                 {85, 2},  {86, 0},  {87, 0},  {88, 1},  {96, 2},  {97, 2},  {98, 0},  {99, 0},  {104, 0},
                 {108, 1}, {109, 1}, {120, 2}, {121, 2}, {122, 0}, {124, 1}, {125, 1}, {126, 0}, {127, 0},
                 {128, 0}, {136, 2}, {137, 0}, {140, 1}, {141, 1}, {152, 2}, {156, 1}, {157, 3}, {158, 2},
                 {160, 1}, {168, 2}, {169, 2}, {170, 0}, {172, 1}, {180, 2}, {181, 1}, {182, 0}, {183, 2},
                 {184, 1}, {256, 1}, {272, 1}, {273, 2}, {277, 1}, {10, 0},  {14, 0},  {279, 0}};
    for (const auto& c : bytes) EXPECT_EQ(layer.byte(c.offset), c.value) << "offset " << c.offset;
    const struct {
        std::size_t offset;
        Colour value;
    } colours[] = {{48, 0xFFFFFF},  {60, 0xFFFFFF},  {64, 0},  {76, 0xFFFFFF},  {80, 0},         {92, 0x0000FF},
                   {100, 0xFF0000}, {112, 0xFFFFFF}, {116, 0}, {132, 0xFFFFFF}, {144, 0xFFFFFF}, {148, 0},
                   {164, 0xFFFFFF}, {176, 0xFFFFFF}, {188, 0}, {252, 0}};
    for (const auto& c : colours) EXPECT_EQ(layer.colour(c.offset), c.value) << "offset " << c.offset;
    int nonZero = 0;
    for (std::uint8_t b : layer.bytes) nonZero += b != 0;
    // Nothing else is set: 13 markers, 4 slot selectors, 18 levels, 1 direction
    // flag, 8 white colours of 3 bytes, red and blue of 1 byte, 17 enable flags.
    EXPECT_EQ(nonZero, 13 + 4 + 18 + 1 + 8 * 3 + 2 + 17);
}

TEST(EffectModel, AResetProfileHasTheDefaults) {
    LedProfile profile;
    profile.zelvor = 1;
    profile.name = u"old";
    ResetProfile(profile);
    EXPECT_EQ(profile.cardEffect, EFFECT_MULTI);
    EXPECT_EQ(profile.zoneEffects, (std::array<std::int32_t, 3>{EFFECT_STATIC, EFFECT_STATIC, EFFECT_STATIC}));
    EXPECT_EQ(profile.systemStatus, (std::array<std::uint8_t, 3>{1, 1, 0}));
    EXPECT_EQ(profile.zelvor, 0);
    EXPECT_TRUE(profile.name.empty());
    EXPECT_EQ(profile.mirage.bytes[0], 0);
    for (int channel = 0; channel < 3; ++channel)
        for (int preset = 0; preset < 3; ++preset) EXPECT_EQ(profile.mirage.frequency(channel, preset), 330);
    EffectLayer reset;
    ResetLayer(reset);
    EXPECT_EQ(profile.multiLayer, reset);
    EXPECT_EQ(profile.logoLayer, reset);
}

TEST(EffectModel, GetEffectParamsReadsTheFieldsOfEachEffect) {
    EffectLayer layer;
    ResetLayer(layer);
    // Distinct values, so that a wrong offset shows.
    for (std::size_t offset = 44; offset < 277; ++offset)
        if (layer.byte(offset) == 2 || layer.byte(offset) == 3)
            layer.setByte(offset, static_cast<std::uint8_t>(offset));
    layer.setColour(48, 0x000048);
    layer.setColour(144, 0x000144);
    layer.setColour(148, 0x000148);
    layer.setColour(76, 0x000076);
    layer.setColour(164, 0x000164);
    layer.setColour(176, 0x000176);
    EffectLayer zone0;
    ResetLayer(zone0);
    constexpr Colour kIn = 0xABCDEF;
    const struct {
        std::int32_t effect;
        Colour colour;
        int speed, brightness, random;
        bool noColour;
    } cases[] = {
        {EFFECT_STATIC, 0x000048, 0xFF, 52, 0xFF, false},     {EFFECT_MODE_07, kIn, 136, 0, 0xFF, true},
        {EFFECT_MODE_08, kIn, 120, 121, 0xFF, true},          {EFFECT_MODE_11, 0x000144, 152, 0xFFFF, 0xFF, false},
        {EFFECT_DIRECT, 0x123456, 0xFF, 0xFFFF, 0xFF, false}, {EFFECT_MODE_0A, 0x000076, 84, 85, 0, false},
        {EFFECT_MODE_10, 0xFFFFFF, 68, 0xFFFF, 0xFF, false},  {EFFECT_MODE_02, kIn, 157, 158, 0xFF, true},
        {EFFECT_MODE_01, 0x000164, 168, 169, 0, false},       {EFFECT_MORSE, 0x000176, 0xFF, 183, 0, false},
        {EFFECT_MODE_09, 0x0000FF, 96, 97, 0, false},         {EFFECT_MULTI, kIn, 0xFF, 0xFFFF, 0xFF, true},
        {EFFECT_LIGHT_OFF, kIn, 0xFF, 0xFFFF, 0xFF, true},
    };
    for (const auto& c : cases) {
        const EffectParams params = GetEffectParams(layer, c.effect, zone0, 0x123456, kIn);
        EXPECT_EQ(params.colour, c.colour) << std::hex << c.effect;
        EXPECT_EQ(params.speed, c.speed) << std::hex << c.effect;
        EXPECT_EQ(params.brightness, c.brightness) << std::hex << c.effect;
        EXPECT_EQ(params.random, c.random) << std::hex << c.effect;
        EXPECT_EQ(params.noColour, c.noColour) << std::hex << c.effect;
    }
    // The second colour shows once the slot selector points away from the first.
    layer.setByte(141, 0);
    EXPECT_EQ(GetEffectParams(layer, EFFECT_MODE_11, zone0, 0, 0).colour, 0x000148u);
    // EFFECT_MODE_09 follows zone 0's selector, not the given layer's.
    layer.setByte(EffectLayer::kMode09Selector, 1);
    EXPECT_EQ(GetEffectParams(layer, EFFECT_MODE_09, zone0, 0, 0).colour, 0x0000FFu);
    zone0.setByte(EffectLayer::kMode09Selector, 1);
    EXPECT_EQ(GetEffectParams(layer, EFFECT_MODE_09, zone0, 0, 0).colour, 0xFF0000u);
}

TEST(EffectModel, EditsWriteTheirFieldAndEffectsWithoutItIgnoreThem) {
    const struct {
        const char* what;
        void (*edit)(EffectLayer&, EditorState&);
        std::size_t offset;  // the only bytes that change start here; SIZE_MAX: nothing changes
        std::size_t width;
    } cases[] = {
        {"static colour", [](EffectLayer& l, EditorState& s) { SetColour(l, EFFECT_STATIC, 0x112233, s); }, 48, 4},
        {"mode 09 colour, selector 0",
         [](EffectLayer& l, EditorState& s) { SetColour(l, EFFECT_MODE_09, 0x112233, s); }, 92, 4},
        {"mode 09 colour, selector 1",
         [](EffectLayer& l, EditorState& s) {
             l.setByte(EffectLayer::kMode09Selector, 1);
             SetColour(l, EFFECT_MODE_09, 0x112233, s);
             l.setByte(EffectLayer::kMode09Selector, 0);
         },
         100, 4},
        {"mode 08 colour, selector 2",
         [](EffectLayer& l, EditorState& s) {
             l.setByte(109, 2);
             SetColour(l, EFFECT_MODE_08, 0x112233, s);
             l.setByte(109, 1);
         },
         116, 4},
        {"mode 07 colour", [](EffectLayer& l, EditorState& s) { SetColour(l, EFFECT_MODE_07, 0x112233, s); }, 132, 4},
        {"mode 02 colour", [](EffectLayer& l, EditorState& s) { SetColour(l, EFFECT_MODE_02, 0x112233, s); }, SIZE_MAX,
         0},
        {"direct colour", [](EffectLayer& l, EditorState& s) { SetColour(l, EFFECT_DIRECT, 0x112233, s); }, SIZE_MAX,
         0},
        {"static speed", [](EffectLayer& l, EditorState&) { SetSpeed(l, EFFECT_STATIC, 4); }, SIZE_MAX, 0},
        {"morse speed", [](EffectLayer& l, EditorState&) { SetSpeed(l, EFFECT_MORSE, 4); }, 180, 1},
        {"mode 02 speed", [](EffectLayer& l, EditorState&) { SetSpeed(l, EFFECT_MODE_02, 0); }, 157, 1},
        {"mode 11 brightness", [](EffectLayer& l, EditorState&) { SetBrightness(l, EFFECT_MODE_11, 0); }, SIZE_MAX, 0},
        {"mode 10 brightness", [](EffectLayer& l, EditorState&) { SetBrightness(l, EFFECT_MODE_10, 0); }, SIZE_MAX, 0},
        {"direct brightness", [](EffectLayer& l, EditorState&) { SetBrightness(l, EFFECT_DIRECT, 0); }, 273, 1},
        {"mode 08 random", [](EffectLayer& l, EditorState&) { SetRandom(l, EFFECT_MODE_08, 1); }, 122, 1},
        {"static random", [](EffectLayer& l, EditorState&) { SetRandom(l, EFFECT_STATIC, 1); }, SIZE_MAX, 0},
    };
    for (const auto& c : cases) {
        EffectLayer layer;
        ResetLayer(layer);
        const EffectLayer before = layer;
        EditorState state;
        c.edit(layer, state);
        for (std::size_t i = 0; i < EffectLayer::kSize; ++i) {
            const bool inField = c.offset != SIZE_MAX && i >= c.offset && i < c.offset + c.width;
            if (!inField) {
                EXPECT_EQ(layer.byte(i), before.byte(i)) << c.what << " changed offset " << i;
            }
        }
        if (c.offset != SIZE_MAX) {
            EXPECT_NE(layer.bytes, before.bytes) << c.what;
        }
    }
    EffectLayer layer;
    EditorState state;
    SetColour(layer, EFFECT_DIRECT, 0x00FF00, state);
    EXPECT_EQ(state.chromaColour, 0x00FF00u);
}

TEST(EffectModel, ZoneEditsReachTheBaseLayerWhileTheCardRunsOneEffect) {
    LedProfile profile;
    ResetProfile(profile);
    profile.cardEffect = EFFECT_MODE_01;
    EditorState state;
    state.cardEffect = EFFECT_MODE_01;
    EXPECT_EQ(&LayerOfZone(profile, ZONE_MAIN, state), &profile.baseLayer);
    EXPECT_EQ(EffectOfZone(profile, ZONE_MAIN, state), EFFECT_MODE_01);
    EXPECT_EQ(&LayerOfZone(profile, ZONE_FAN, state), &profile.fanLayer);
    state.cardEffect = EFFECT_MULTI;
    EXPECT_EQ(&LayerOfZone(profile, ZONE_MAIN, state), &profile.multiLayer);
    EXPECT_EQ(&LayerOfZone(profile, ZONE_LOGO, state), &profile.logoLayer);
    EXPECT_EQ(EffectOfZone(profile, ZONE_MAIN, state), EFFECT_STATIC);
}

TEST(EffectModel, SelectingAZoneEffectLeavesTheZelvorLockAndRemembersLastEffects) {
    LedProfile profile;
    ResetProfile(profile);
    EditorState state;

    // Zone 2 under the Zelvor lock: zones 0 and 1 go dark, the lock ends.
    profile.zelvor = 1;
    profile.cardEffect = EFFECT_LIGHT_OFF;
    state.controlModeMarker = 3;
    state.currentZone = ZONE_LOGO;
    SelectZoneEffect(profile, state, EFFECT_MODE_01);
    EXPECT_EQ(profile.zelvor, 0);
    EXPECT_EQ(profile.zoneEffects, (std::array<std::int32_t, 3>{EFFECT_LIGHT_OFF, EFFECT_LIGHT_OFF, EFFECT_MODE_01}));
    EXPECT_EQ(profile.multiLayer.word(EffectLayer::kEffectMirror + 4), EFFECT_LIGHT_OFF);
    EXPECT_EQ(state.lastEffects[ZONE_LOGO], EFFECT_MODE_01);
    EXPECT_EQ(profile.cardEffect, EFFECT_MULTI);
    EXPECT_EQ(state.cardEffect, EFFECT_MULTI);
    EXPECT_EQ(state.controlModeMarker, 0xFF);

    // Zone 0 remembers the effect it leaves, unless that was "off".
    state.currentZone = ZONE_MAIN;
    state.controlModeMarker = 3;
    SelectZoneEffect(profile, state, EFFECT_MORSE);
    EXPECT_EQ(state.lastEffects[ZONE_MAIN], EFFECT_STATIC);  // it left "off": nothing remembered
    EXPECT_EQ(state.controlModeMarker, 3);                   // the card already ran per-zone effects
    SelectZoneEffect(profile, state, EFFECT_LIGHT_OFF);
    EXPECT_EQ(state.lastEffects[ZONE_MAIN], EFFECT_MORSE);
    EXPECT_EQ(LightsOnEffect(state), EFFECT_MORSE);
    EXPECT_EQ(profile.multiLayer.word(EffectLayer::kEffectMirror + 4), EFFECT_LIGHT_OFF);

    // Zones 1 and 2 remember the effect they enter, never "off".
    state.currentZone = ZONE_FAN;
    SelectZoneEffect(profile, state, EFFECT_LIGHT_OFF);
    EXPECT_EQ(LightsOnEffect(state), EFFECT_STATIC);

    // Zone 0 under the lock darkens zones 1 and 2.
    profile.zelvor = 1;
    profile.zoneEffects = {EFFECT_STATIC, EFFECT_MODE_02, EFFECT_MODE_02};
    state.currentZone = ZONE_MAIN;
    SelectZoneEffect(profile, state, EFFECT_MODE_08);
    EXPECT_EQ(profile.zoneEffects, (std::array<std::int32_t, 3>{EFFECT_MODE_08, EFFECT_LIGHT_OFF, EFFECT_LIGHT_OFF}));
}

TEST(EffectModel, MirageSelectionAndTheFrequenciesHandedOn) {
    MirageBlock mirage;
    for (int channel = 0; channel < 3; ++channel)
        for (int preset = 0; preset < 3; ++preset)
            mirage.setFrequency(channel, preset, static_cast<std::uint16_t>(100 * (channel + 1) + preset));
    mirage.setSelection(1);
    EXPECT_EQ(mirage.activeFrequencies(), (std::array<std::uint16_t, 3>{101, 201, 301}));
    EXPECT_FALSE(mirage.savedToController());
    mirage.markSaved();
    EXPECT_EQ(mirage.bytes[0], 0x07);
    EXPECT_EQ(mirage.selection(), 1);
    mirage.setSelection(MirageBlock::kOff);
    EXPECT_EQ(mirage.activeFrequencies(), (std::array<std::uint16_t, 3>{2500, 2500, 2500}));
    mirage.setSelection(5);
    EXPECT_EQ(mirage.activeFrequencies(), (std::array<std::uint16_t, 3>{2500, 2500, 2500}));
    EXPECT_TRUE(mirage.savedToController());
    // Unaligned little-endian words: red preset 0 at bytes 1-2.
    EXPECT_EQ(mirage.bytes[1], 100);
    EXPECT_EQ(mirage.bytes[2], 0);
    EXPECT_EQ(mirage.bytes[13], 0x2C);  // blue preset 0 = 300 = 0x012C
    EXPECT_EQ(mirage.bytes[14], 0x01);
}

TEST(EffectModel, DirectionsSetTheirFieldAndOthersAreIgnored) {
    constexpr std::size_t kFlags = EffectLayer::kMode07Directions;
    const struct {
        std::int32_t effect;
        int direction;
        bool valid;
        std::vector<std::pair<std::size_t, std::uint8_t>> written;  // every byte that changes
    } cases[] = {
        {EFFECT_MODE_07, 0, true, {{kFlags + 1, 0}, {kFlags + 2, 0}, {kFlags + 3, 0}}},
        {EFFECT_MODE_07, 4, true, {{kFlags, 0}, {kFlags + 2, 0}, {kFlags + 3, 0}}},
        {EFFECT_MODE_07, 2, true, {{kFlags, 0}, {kFlags + 1, 0}, {kFlags + 3, 0}}},
        {EFFECT_MODE_07, 6, true, {{kFlags, 0}, {kFlags + 1, 0}, {kFlags + 2, 0}}},
        {EFFECT_MODE_07, 3, false, {}},
        {EFFECT_MODE_07, 8, false, {}},
        {EFFECT_MODE_0A, 0, true, {{EffectLayer::kMode0ADirection, 0}}},
        {EFFECT_MODE_0A, 31, true, {{EffectLayer::kMode0ADirection, 31}}},
        {EFFECT_MODE_0A, 32, false, {}},
        {EFFECT_MODE_09, 5, true, {{EffectLayer::kMode09Direction, 5}}},
        {EFFECT_MODE_09, -1, false, {}},
        {EFFECT_STATIC, 2, false, {}},
        {EFFECT_MODE_08, 0, false, {}},
    };
    for (const auto& c : cases) {
        EffectLayer layer;
        ResetLayer(layer);
        // Every direction field set beforehand, so that each write shows.
        for (std::size_t i = 0; i < 4; ++i) layer.setByte(kFlags + i, 1);
        layer.setByte(EffectLayer::kMode0ADirection, 0x40);
        layer.setByte(EffectLayer::kMode09Direction, 0x40);
        EffectLayer expected = layer;
        for (const auto& [offset, value] : c.written) expected.setByte(offset, value);
        EXPECT_EQ(IsValidDirection(c.effect, c.direction), c.valid)
            << std::hex << c.effect << std::dec << " " << c.direction;
        SetDirection(layer, c.effect, c.direction);
        EXPECT_EQ(layer, expected) << std::hex << c.effect << std::dec << " direction " << c.direction;
    }
    for (const std::int32_t effect : {EFFECT_MODE_07, EFFECT_MODE_0A, EFFECT_MODE_09})
        EXPECT_TRUE(HasDirection(effect));
    for (const std::int32_t effect : {EFFECT_STATIC, EFFECT_MODE_08, EFFECT_MORSE, EFFECT_MULTI})
        EXPECT_FALSE(HasDirection(effect));
}

TEST(EffectModel, ColourSlotsAreSelectedAndWrittenEachByItsOwnField) {
    const struct {
        std::int32_t effect;
        std::size_t selector;
        std::uint8_t firstValue, secondValue;
        std::size_t first, second;
    } cases[] = {
        {EFFECT_MODE_10, 57, 1, 2, 60, 64},
        {EFFECT_MODE_0A, 73, 1, 2, 76, 80},
        {EFFECT_MODE_08, 109, 1, 2, 112, 116},
        {EFFECT_MODE_11, 141, 1, 2, 144, 148},
        {EFFECT_MODE_09, EffectLayer::kMode09Selector, 0, 1, 92, 100},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(HasSecondColour(c.effect)) << std::hex << c.effect;
        for (const ColourSlot slot : {ColourSlot::Second, ColourSlot::First}) {
            const bool second = slot == ColourSlot::Second;
            EffectLayer layer;
            ResetLayer(layer);
            EditorState state;
            // The selection decides where SetColour goes.
            SelectColourSlot(layer, c.effect, slot);
            EXPECT_EQ(layer.byte(c.selector), second ? c.secondValue : c.firstValue) << std::hex << c.effect;
            SetColour(layer, c.effect, 0x123456, state);
            EXPECT_EQ(layer.colour(second ? c.second : c.first), 0x123456u) << std::hex << c.effect;
            // A slot's colour is written whichever slot is selected, and the selection stays.
            SelectColourSlot(layer, c.effect, second ? ColourSlot::First : ColourSlot::Second);
            EffectLayer expected = layer;
            expected.setColour(second ? c.second : c.first, 0x00ABCD);
            SetSlotColour(layer, c.effect, slot, 0x00ABCD, state);
            EXPECT_EQ(layer, expected) << std::hex << c.effect << (second ? " second" : " first");
        }
    }

    // One colour, or none: the second slot is ignored, the first is SetColour's field.
    const struct {
        std::int32_t effect;
        std::size_t first;  // SIZE_MAX: no colour in the layer
    } single[] = {{EFFECT_STATIC, 48},        {EFFECT_MODE_07, 132},     {EFFECT_MORSE, 176},
                  {EFFECT_MODE_02, SIZE_MAX}, {EFFECT_DIRECT, SIZE_MAX}, {EFFECT_MULTI, SIZE_MAX}};
    for (const auto& c : single) {
        EXPECT_FALSE(HasSecondColour(c.effect)) << std::hex << c.effect;
        EffectLayer layer;
        ResetLayer(layer);
        const EffectLayer before = layer;
        EditorState state;
        SelectColourSlot(layer, c.effect, ColourSlot::Second);
        SetSlotColour(layer, c.effect, ColourSlot::Second, 0x00ABCD, state);
        EXPECT_EQ(layer, before) << std::hex << c.effect;
        EffectLayer expected = before;
        if (c.first != SIZE_MAX) expected.setColour(c.first, 0x00ABCD);
        SetSlotColour(layer, c.effect, ColourSlot::First, 0x00ABCD, state);
        EXPECT_EQ(layer, expected) << std::hex << c.effect;
        EXPECT_EQ(state.chromaColour, c.effect == EFFECT_DIRECT ? 0x00ABCDu : EditorState{}.chromaColour)
            << std::hex << c.effect;
    }
}

TEST(EffectModel, WhereEachEffectRuns) {
    const struct {
        std::int32_t effect;
        bool led5Only, mainZone, otherZones;
    } cases[] = {
        {EFFECT_STATIC, false, true, true},  {EFFECT_MODE_07, true, true, false},
        {EFFECT_MODE_08, true, true, false}, {EFFECT_MODE_0A, true, true, false},
        {EFFECT_MODE_09, true, true, false}, {EFFECT_MODE_11, false, true, false},
        {EFFECT_MODE_02, false, true, true}, {EFFECT_MODE_01, false, true, true},
        {EFFECT_MORSE, false, true, false},  {EFFECT_LIGHT_OFF, false, true, true},
        {EFFECT_MULTI, false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLed5Only(c.effect), c.led5Only) << std::hex << c.effect;
        EXPECT_EQ(RunsInZone(c.effect, ZONE_MAIN), c.mainZone) << std::hex << c.effect;
        EXPECT_EQ(RunsInZone(c.effect, ZONE_FAN), c.otherZones) << std::hex << c.effect;
        EXPECT_EQ(RunsInZone(c.effect, ZONE_LOGO), c.otherZones) << std::hex << c.effect;
    }
}

TEST(EffectModel, TheSelectedMorseTextFallsBackToTheFirst) {
    const struct {
        std::int32_t selected;
        std::size_t slot;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}};
    for (const auto& c : cases) {
        LedProfile profile;
        profile.morseTexts = {u"ONE", u"TWO", u"THREE"};
        profile.selectedMorse = c.selected;
        EXPECT_EQ(SelectedMorseText(std::as_const(profile)), profile.morseTexts[c.slot]) << c.selected;
        SelectedMorseText(profile) = u"NEW";
        EXPECT_EQ(profile.morseTexts[c.slot], u"NEW") << c.selected;
    }
}
