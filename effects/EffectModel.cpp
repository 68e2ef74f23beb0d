#include "effects/EffectModel.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace effects {
namespace {

// Where each effect keeps its parameters in a layer; 0 means "has none".
struct FieldOffsets {
    std::int32_t effect;
    std::size_t marker;
    std::size_t colour;        // first colour
    std::size_t secondColour;  // 0: one colour only
    std::size_t selector;      // colour-slot selector, 0: none
    std::size_t speed;
    std::size_t brightness;
    std::size_t random;
    Colour defaultColour;
    std::uint8_t defaultSpeed;
    std::uint8_t defaultBrightness;
};

constexpr Colour kWhite = 0xFFFFFF;

constexpr FieldOffsets kFields[] = {
    {EFFECT_STATIC, 44, 48, 0, 0, 0, 52, 0, kWhite, 0, 2},
    {EFFECT_MODE_10, 56, 60, 64, 57, 68, 0, 0, kWhite, 2, 0},
    {EFFECT_MODE_0A, 72, 76, 80, 73, 84, 85, 86, kWhite, 2, 2},
    {EFFECT_MODE_09, 88, 92, 100, 0, 96, 97, 98, 0x0000FF, 2, 2},
    {EFFECT_MODE_08, 108, 112, 116, 109, 120, 121, 122, kWhite, 2, 2},
    {EFFECT_MODE_07, 124, 132, 0, 0, 136, 137, 0, kWhite, 2, 0},
    {EFFECT_MODE_11, 140, 144, 148, 141, 152, 0, 0, kWhite, 2, 0},
    {EFFECT_MODE_02, 156, 0, 0, 0, 157, 158, 0, 0, 3, 2},
    {EFFECT_MODE_01, 160, 164, 0, 0, 168, 169, 170, kWhite, 2, 2},
    {EFFECT_MORSE, 172, 176, 0, 0, 180, 183, 182, kWhite, 2, 2},
    {EFFECT_DIRECT, 184, 0, 0, 0, 0, 273, 0, 0, 0, 2},
};

const FieldOffsets* fieldsOf(std::int32_t effect) {
    for (const FieldOffsets& fields : kFields)
        if (fields.effect == effect) return &fields;
    return nullptr;
}

// The colour a colour edit of `effect` reaches: the first colour while the
// slot selector is 1, the second otherwise. EFFECT_MODE_09 picks by its L1/L2
// selector in the given layer instead.
std::size_t colourOffset(const FieldOffsets& fields, const EffectLayer& selectorLayer) {
    if (fields.effect == EFFECT_MODE_09)
        return selectorLayer.byte(EffectLayer::kMode09Selector) != 0 ? fields.secondColour : fields.colour;
    if (fields.selector != 0 && selectorLayer.byte(fields.selector) != 1) return fields.secondColour;
    return fields.colour;
}

}  // namespace

std::uint8_t EffectModeCode(std::int32_t effect) {
    switch (effect) {
    case EFFECT_STATIC: return 0x00;
    case EFFECT_MODE_07: return 0x07;
    case EFFECT_MODE_08: return 0x08;
    case EFFECT_MODE_11: return 0x11;
    case EFFECT_DIRECT: return 0xB0;
    case EFFECT_MODE_0A: return 0x0A;
    case EFFECT_MODE_10: return 0x10;
    case EFFECT_MODE_02: return 0x02;
    case EFFECT_MODE_01: return 0x01;
    case EFFECT_MORSE: return 0x0B;
    case EFFECT_MULTI: return 0xE0;
    case EFFECT_MODE_DF: return 0xDF;
    case EFFECT_MODE_09: return 0x09;
    default: return 0xFE;
    }
}

std::int32_t EffectFromModeCode(std::uint8_t modeCode) {
    switch (modeCode) {
    case 0x00: return EFFECT_STATIC;
    case 0x01: return EFFECT_MODE_01;
    case 0x02: return EFFECT_MODE_02;
    case 0x07: return EFFECT_MODE_07;
    case 0x08: return EFFECT_MODE_08;
    case 0x09: return EFFECT_MODE_09;
    case 0x0A: return EFFECT_MODE_0A;
    case 0x0B: return EFFECT_MORSE;
    case 0x10: return EFFECT_MODE_10;
    case 0x11: return EFFECT_MODE_11;
    case 0xB0:
    case 0xB1: return EFFECT_DIRECT;
    default: return EFFECT_LIGHT_OFF;
    }
}

std::uint16_t EffectLayer::word(std::size_t offset) const { return platform::readLe16(bytes.data() + offset); }

void EffectLayer::setWord(std::size_t offset, std::uint16_t value) {
    platform::writeLe16(bytes.data() + offset, value);
}

Colour EffectLayer::colour(std::size_t offset) const { return platform::readLe32(bytes.data() + offset); }

void EffectLayer::setColour(std::size_t offset, Colour value) { platform::writeLe32(bytes.data() + offset, value); }

void MirageBlock::setSelection(int selection) {
    bytes[0] = static_cast<std::uint8_t>((bytes[0] & ~0x1C) | ((selection & 0x07) << 2));
}

std::uint16_t MirageBlock::frequency(int channel, int preset) const {
    const std::size_t offset = 1 + 6 * channel + 2 * preset;
    return platform::readLe16(bytes.data() + offset);
}

void MirageBlock::setFrequency(int channel, int preset, std::uint16_t hertz) {
    const std::size_t offset = 1 + 6 * channel + 2 * preset;
    platform::writeLe16(bytes.data() + offset, hertz);
}

std::array<std::uint16_t, 3> MirageBlock::activeFrequencies() const {
    const int preset = selection();
    if (preset > 2) return {kOffFrequency, kOffFrequency, kOffFrequency};
    return {frequency(0, preset), frequency(1, preset), frequency(2, preset)};
}

void ResetLayer(EffectLayer& layer) {
    layer.bytes.fill(0);
    layer.setByte(0, 1);
    layer.setByte(277, 1);
    for (const FieldOffsets& fields : kFields) {
        layer.setByte(fields.marker, 1);
        if (fields.selector) layer.setByte(fields.selector, 1);
        if (fields.colour) layer.setColour(fields.colour, fields.defaultColour);
        if (fields.speed) layer.setByte(fields.speed, fields.defaultSpeed);
        if (fields.brightness) layer.setByte(fields.brightness, fields.defaultBrightness);
    }
    layer.setColour(100, 0xFF0000);  // EFFECT_MODE_09's second colour: blue
    layer.setByte(EffectLayer::kMode07Directions, 1);
    layer.setByte(181, 1);  // EFFECT_MORSE: kept as it comes, not interpreted
    for (int led = 0; led < kLedCount; ++led) layer.setByte(EffectLayer::kDirectEnables + led, 1);
}

void ResetProfile(LedProfile& profile) {
    profile = LedProfile{};
    for (EffectLayer* layer : {&profile.baseLayer, &profile.multiLayer, &profile.fanLayer, &profile.logoLayer})
        ResetLayer(*layer);
    for (int channel = 0; channel < 3; ++channel)
        for (int preset = 0; preset < 3; ++preset) profile.mirage.setFrequency(channel, preset, 330);
}

EffectParams GetEffectParams(const EffectLayer& layer, std::int32_t effect, const EffectLayer& zone0Layer,
                             Colour chromaColour, Colour colour) {
    EffectParams params;
    params.colour = colour;
    const FieldOffsets* fields = fieldsOf(effect);
    // These effects show no colour control, and the card-wide preview skips them.
    const bool noColour = !fields || effect == EFFECT_MODE_07 || effect == EFFECT_MODE_08 || effect == EFFECT_MODE_02;
    params.noColour = noColour;
    if (!fields) return params;
    if (effect == EFFECT_DIRECT) {
        params.colour = chromaColour;
        return params;
    }
    if (!noColour) params.colour = layer.colour(colourOffset(*fields, effect == EFFECT_MODE_09 ? zone0Layer : layer));
    if (fields->speed && effect != EFFECT_MORSE) params.speed = layer.byte(fields->speed);
    if (fields->brightness) params.brightness = layer.byte(fields->brightness);
    if (fields->random && effect != EFFECT_MODE_08) params.random = layer.byte(fields->random);
    return params;
}

void SetColour(EffectLayer& layer, std::int32_t effect, Colour colour, EditorState& state) {
    if (effect == EFFECT_DIRECT) {
        state.chromaColour = colour;
        return;
    }
    const FieldOffsets* fields = fieldsOf(effect);
    if (fields && fields->colour) layer.setColour(colourOffset(*fields, layer), colour);
}

void SetSpeed(EffectLayer& layer, std::int32_t effect, int level) {
    const FieldOffsets* fields = fieldsOf(effect);
    if (fields && fields->speed) layer.setByte(fields->speed, static_cast<std::uint8_t>(level));
}

void SetBrightness(EffectLayer& layer, std::int32_t effect, int level) {
    const FieldOffsets* fields = fieldsOf(effect);
    if (fields && fields->brightness) layer.setByte(fields->brightness, static_cast<std::uint8_t>(level));
}

void SetRandom(EffectLayer& layer, std::int32_t effect, int flag) {
    const FieldOffsets* fields = fieldsOf(effect);
    if (fields && fields->random) layer.setByte(fields->random, static_cast<std::uint8_t>(flag));
}

namespace {

// The selector offset and its values for the first and the second colour;
// EFFECT_MODE_09 keeps its own L1/L2 selector.
struct Selector {
    std::size_t offset;
    std::uint8_t first;
    std::uint8_t second;
};

std::optional<Selector> selectorOf(std::int32_t effect) {
    if (effect == EFFECT_MODE_09) return Selector{EffectLayer::kMode09Selector, 0, 1};
    const FieldOffsets* fields = fieldsOf(effect);
    if (!fields || !fields->selector) return std::nullopt;
    return Selector{fields->selector, 1, 2};
}

// The direction each EFFECT_MODE_07 flag stands for, in flag order.
constexpr int kMode07FlagDirections[] = {0, 4, 2, 6};

std::size_t selectedMorseSlot(const LedProfile& profile) {
    const std::int32_t selected = profile.selectedMorse;
    return selected >= 0 && selected < 3 ? static_cast<std::size_t>(selected) : 0;
}

}  // namespace

void SetDirectColours(EffectLayer& layer, Colour colour) {
    for (int led = 0; led < kLedCount; ++led)
        layer.setColour(EffectLayer::kDirectColours + 4 * static_cast<std::size_t>(led), colour);
}

Colour DirectColour(const EffectLayer& layer) { return layer.colour(EffectLayer::kDirectColours); }

bool HasSecondColour(std::int32_t effect) {
    const FieldOffsets* fields = fieldsOf(effect);
    return fields && fields->secondColour;
}

void SelectColourSlot(EffectLayer& layer, std::int32_t effect, ColourSlot slot) {
    if (const std::optional<Selector> selector = selectorOf(effect))
        layer.setByte(selector->offset, slot == ColourSlot::Second ? selector->second : selector->first);
}

void SetSlotColour(EffectLayer& layer, std::int32_t effect, ColourSlot slot, Colour colour, EditorState& state) {
    if (effect == EFFECT_DIRECT) {
        if (slot == ColourSlot::First) state.chromaColour = colour;
        return;
    }
    const FieldOffsets* fields = fieldsOf(effect);
    if (!fields) return;
    const std::size_t offset = slot == ColourSlot::Second ? fields->secondColour : fields->colour;
    if (offset) layer.setColour(offset, colour);
}

int SpeedLevel(const EffectLayer& layer, std::int32_t effect) {
    const FieldOffsets* fields = fieldsOf(effect);
    return fields && fields->speed ? layer.byte(fields->speed) : 0;
}

Colour SlotColour(const EffectLayer& layer, std::int32_t effect, ColourSlot slot) {
    const FieldOffsets* fields = fieldsOf(effect);
    if (!fields) return 0;
    const std::size_t offset = slot == ColourSlot::Second ? fields->secondColour : fields->colour;
    return offset ? layer.colour(offset) : 0;
}

bool HasDirection(std::int32_t effect) {
    return effect == EFFECT_MODE_07 || effect == EFFECT_MODE_0A || effect == EFFECT_MODE_09;
}

bool IsValidDirection(std::int32_t effect, int direction) {
    if (effect == EFFECT_MODE_07)
        return std::find(std::begin(kMode07FlagDirections), std::end(kMode07FlagDirections), direction) !=
               std::end(kMode07FlagDirections);
    return HasDirection(effect) && direction >= 0 && direction <= 31;
}

void SetDirection(EffectLayer& layer, std::int32_t effect, int direction) {
    if (!IsValidDirection(effect, direction)) return;
    if (effect == EFFECT_MODE_07) {
        for (std::size_t i = 0; i < std::size(kMode07FlagDirections); ++i)
            layer.setByte(EffectLayer::kMode07Directions + i, kMode07FlagDirections[i] == direction ? 1 : 0);
        return;
    }
    layer.setByte(effect == EFFECT_MODE_0A ? EffectLayer::kMode0ADirection : EffectLayer::kMode09Direction,
                  static_cast<std::uint8_t>(direction));
}

int Direction(const EffectLayer& layer, std::int32_t effect) {
    if (effect == EFFECT_MODE_07) {
        for (std::size_t i = 0; i < std::size(kMode07FlagDirections); ++i)
            if (layer.byte(EffectLayer::kMode07Directions + i) == 1) return kMode07FlagDirections[i];
        return kMode07FlagDirections[0];
    }
    if (effect == EFFECT_MODE_0A) return layer.byte(EffectLayer::kMode0ADirection);
    if (effect == EFFECT_MODE_09) return layer.byte(EffectLayer::kMode09Direction);
    return 0;
}

bool IsLed5Only(std::int32_t effect) {
    return effect == EFFECT_MODE_07 || effect == EFFECT_MODE_08 || effect == EFFECT_MODE_0A || effect == EFFECT_MODE_09;
}

bool RunsInZone(std::int32_t effect, int zone) {
    if (effect == EFFECT_MULTI) return false;
    return zone == ZONE_MAIN || std::find(kZoneMenu.begin(), kZoneMenu.end(), effect) != kZoneMenu.end();
}

std::u16string& SelectedMorseText(LedProfile& profile) { return profile.morseTexts[selectedMorseSlot(profile)]; }

const std::u16string& SelectedMorseText(const LedProfile& profile) {
    return profile.morseTexts[selectedMorseSlot(profile)];
}

EffectLayer& LayerOfZone(LedProfile& profile, int zone, const EditorState& state) {
    switch (zone) {
    case ZONE_FAN: return profile.fanLayer;
    case ZONE_LOGO: return profile.logoLayer;
    default: return state.cardEffect != EFFECT_MULTI ? profile.baseLayer : profile.multiLayer;
    }
}

std::int32_t EffectOfZone(const LedProfile& profile, int zone, const EditorState& state) {
    if (zone == ZONE_MAIN && state.cardEffect != EFFECT_MULTI) return profile.cardEffect;
    return profile.zoneEffects[zone >= 0 && zone < kZoneCount ? zone : 0];
}

void SelectZoneEffect(LedProfile& profile, EditorState& state, std::int32_t effect) {
    const auto setZone0 = [&](std::int32_t zoneEffect) {
        profile.zoneEffects[ZONE_MAIN] = zoneEffect;
        profile.multiLayer.setWord(EffectLayer::kEffectMirror + 4, static_cast<std::uint16_t>(zoneEffect));
    };
    if (state.currentZone == ZONE_FAN || state.currentZone == ZONE_LOGO) {
        const int zone = state.currentZone;
        if (profile.zelvor) {
            profile.zelvor = 0;
            setZone0(EFFECT_LIGHT_OFF);
            profile.zoneEffects[zone == ZONE_FAN ? ZONE_LOGO : ZONE_FAN] = EFFECT_LIGHT_OFF;
        }
        profile.zoneEffects[zone] = effect;
        if (effect != EFFECT_LIGHT_OFF) state.lastEffects[zone] = effect;
    } else {
        if (profile.zelvor) {
            profile.zelvor = 0;
            profile.zoneEffects[ZONE_FAN] = EFFECT_LIGHT_OFF;
            profile.zoneEffects[ZONE_LOGO] = EFFECT_LIGHT_OFF;
        }
        if (profile.zoneEffects[ZONE_MAIN] != EFFECT_LIGHT_OFF)
            state.lastEffects[ZONE_MAIN] = profile.zoneEffects[ZONE_MAIN];
        setZone0(effect);
    }
    if (profile.cardEffect != EFFECT_MULTI) state.controlModeMarker = 0xFF;
    state.cardEffect = EFFECT_MULTI;
    profile.cardEffect = EFFECT_MULTI;
}

std::int32_t LightsOnEffect(const EditorState& state) {
    const int zone = state.currentZone >= 0 && state.currentZone < kZoneCount ? state.currentZone : 0;
    return state.lastEffects[zone];
}

}  // namespace effects
