#include "openrgb/ControllerMapping.h"

#include <algorithm>

namespace openrgb {
namespace {

using namespace effects;

constexpr std::uint32_t kSpeedAndBrightness = MODE_FLAG_HAS_SPEED | MODE_FLAG_HAS_BRIGHTNESS;
constexpr std::uint32_t kColourChoice = MODE_FLAG_HAS_MODE_SPECIFIC_COLOR | MODE_FLAG_HAS_RANDOM_COLOR;

// What the editor offers for each effect: its controls become the mode's flags.
struct ModeTraits {
    std::int32_t effect;
    const char* name;
    std::uint32_t flags;
    std::uint32_t colours;  // mode-specific colours
};

constexpr ModeTraits kTraits[] = {
    {EFFECT_DIRECT, "Direct", MODE_FLAG_HAS_PER_LED_COLOR, 0},
    {EFFECT_STATIC, "Static", MODE_FLAG_HAS_BRIGHTNESS | MODE_FLAG_HAS_MODE_SPECIFIC_COLOR, 1},
    // The controller runs it in white, in one of four directions.
    {EFFECT_MODE_07, "Flow", kSpeedAndBrightness | MODE_FLAG_HAS_DIRECTION_LR | MODE_FLAG_HAS_DIRECTION_UD, 0},
    {EFFECT_MODE_0A, "Rotate", kSpeedAndBrightness | kColourChoice | MODE_FLAG_HAS_DIRECTION_LR, 2},
    {EFFECT_MODE_09, "Dual", kSpeedAndBrightness | kColourChoice | MODE_FLAG_HAS_DIRECTION_LR, 2},
    // The controller always picks its colours at random.
    {EFFECT_MODE_08, "Twin", kSpeedAndBrightness, 0},
    {EFFECT_MORSE, "Morse", kSpeedAndBrightness | kColourChoice, 1},
    {EFFECT_MODE_02, "Rainbow", kSpeedAndBrightness, 0},
    {EFFECT_MODE_01, "Breathing", kSpeedAndBrightness | kColourChoice, 1},
    {EFFECT_LIGHT_OFF, "Off", 0, 0},
};

const ModeTraits& traitsOf(std::int32_t effect) {
    for (const ModeTraits& traits : kTraits)
        if (traits.effect == effect) return traits;
    return kTraits[std::size(kTraits) - 1];
}

// EFFECT_MODE_07's four directions, by SDK direction left, right, up, down.
constexpr int kMode07Directions[] = {0, 4, 2, 6};

std::uint32_t sdkDirection(std::int32_t effect, int direction) {
    if (effect != EFFECT_MODE_07) return direction == 0 ? DIRECTION_LEFT : DIRECTION_RIGHT;
    const auto* found = std::find(std::begin(kMode07Directions), std::end(kMode07Directions), direction);
    return found == std::end(kMode07Directions) ? DIRECTION_LEFT
                                                : static_cast<std::uint32_t>(found - std::begin(kMode07Directions));
}

// The model's direction for an SDK direction; empty when the effect has none like it.
std::optional<int> modelDirection(std::int32_t effect, std::uint32_t direction) {
    if (effect == EFFECT_MODE_07)
        return direction < std::size(kMode07Directions) ? std::optional<int>(kMode07Directions[direction])
                                                        : std::nullopt;
    if (direction > DIRECTION_RIGHT) return std::nullopt;
    return static_cast<int>(direction);
}

Mode describeMode(std::int32_t effect, const LedProfile& profile) {
    const ModeTraits& traits = traitsOf(effect);
    Mode mode;
    mode.name = traits.name;
    mode.value = EffectModeCode(effect);
    mode.flags = traits.flags;
    const EffectLayer& layer = profile.multiLayer;
    const EffectParams params = GetEffectParams(layer, effect, layer, 0, SlotColour(layer, effect, ColourSlot::First));
    if (traits.flags & MODE_FLAG_HAS_SPEED) {
        mode.speedMax = kMaxSpeedLevel;
        mode.speed = std::min<std::uint32_t>(static_cast<std::uint32_t>(SpeedLevel(layer, effect)), kMaxSpeedLevel);
    }
    if (traits.flags & MODE_FLAG_HAS_BRIGHTNESS) {
        mode.brightnessMax = kMaxBrightnessLevel;
        mode.brightness = std::min<std::uint32_t>(params.brightness, kMaxBrightnessLevel);
    }
    if (traits.flags & (MODE_FLAG_HAS_DIRECTION_LR | MODE_FLAG_HAS_DIRECTION_UD))
        mode.direction = sdkDirection(effect, Direction(layer, effect));
    if (traits.flags & MODE_FLAG_HAS_PER_LED_COLOR) mode.colourMode = COLOR_MODE_PER_LED;
    if (traits.colours > 0) {
        mode.coloursMin = mode.coloursMax = traits.colours;
        mode.colours.push_back(SlotColour(layer, effect, ColourSlot::First));
        if (traits.colours > 1) mode.colours.push_back(SlotColour(layer, effect, ColourSlot::Second));
        mode.colourMode = params.random == 1 ? COLOR_MODE_RANDOM : COLOR_MODE_SPECIFIC;
    }
    return mode;
}

}  // namespace

int LedPosition(int led) {
    // main: positions 2 to 16; fan: 1; logo: 0
    if (led < 15) return 2 + led;
    return led == 15 ? 1 : 0;
}

int ZoneFirstLed(int sdkZone) { return sdkZone == 0 ? 0 : sdkZone == 1 ? 15 : 16; }
int ZoneLedCount(int sdkZone) { return sdkZone == 0 ? 15 : 1; }

std::vector<std::int32_t> ModeEffects(devicelink::Family family) {
    std::vector<std::int32_t> effects{EFFECT_DIRECT};
    for (const std::int32_t effect : kMainMenu)
        if (family == devicelink::Family::Led5 || !IsLed5Only(effect)) effects.push_back(effect);
    return effects;
}

Controller DescribeCard(const CardInfo& card, const LedProfile& profile) {
    Controller controller;
    controller.type = DEVICE_TYPE_GPU;
    controller.name = card.title;
    controller.vendor = "Ostmar Pellan";
    controller.description = std::string("KV 6000 Series RGB LED controller (") +
                             (card.family == devicelink::Family::Led5 ? "LED5" : "standard") + ")";
    controller.version = card.firmware;
    controller.serial = card.identity;
    controller.location = card.location;
    const std::vector<std::int32_t> effects = ModeEffects(card.family);
    for (const std::int32_t effect : effects) controller.modes.push_back(describeMode(effect, profile));
    const auto active = std::find(effects.begin(), effects.end(), profile.zoneEffects[ZONE_MAIN]);
    controller.activeMode = active == effects.end() ? static_cast<std::int32_t>(effects.size() - 1)  // off
                                                    : static_cast<std::int32_t>(active - effects.begin());
    const char* zoneNames[] = {"Main", "Fan", "Logo"};
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const std::uint32_t count = static_cast<std::uint32_t>(ZoneLedCount(zone));
        controller.zones.push_back(
            {zoneNames[zone], count > 1 ? ZONE_TYPE_LINEAR : ZONE_TYPE_SINGLE, count, count, count});
        for (std::uint32_t i = 0; i < count; ++i)
            controller.leds.push_back({std::string(zoneNames[zone]) + " LED " + std::to_string(i + 1),
                                       static_cast<std::uint32_t>(LedPosition(ZoneFirstLed(zone) + int(i)))});
    }
    const auto colours = LedColours(profile);
    for (int led = 0; led < kLedCount; ++led) controller.colours.push_back(colours[LedPosition(led)]);
    return controller;
}

std::optional<std::int32_t> ApplyMode(LedProfile& profile, EditorState& state, devicelink::Family family, int modeIndex,
                                      const Mode& mode) {
    const std::vector<std::int32_t> effects = ModeEffects(family);
    if (modeIndex < 0 || modeIndex >= static_cast<int>(effects.size())) return std::nullopt;
    const std::int32_t effect = effects[static_cast<std::size_t>(modeIndex)];
    const ModeTraits& traits = traitsOf(effect);
    const bool hasSpeed = traits.flags & MODE_FLAG_HAS_SPEED;
    const bool hasBrightness = traits.flags & MODE_FLAG_HAS_BRIGHTNESS;
    const bool hasDirection = traits.flags & (MODE_FLAG_HAS_DIRECTION_LR | MODE_FLAG_HAS_DIRECTION_UD);
    const bool hasRandom = traits.flags & MODE_FLAG_HAS_RANDOM_COLOR;
    if (hasSpeed && mode.speed > kMaxSpeedLevel) return std::nullopt;
    if (hasBrightness && mode.brightness > kMaxBrightnessLevel) return std::nullopt;
    const std::optional<int> direction = modelDirection(effect, mode.direction);
    if (hasDirection && !direction) return std::nullopt;
    // A client that does not know the colours (protocol 0 modes carry them) keeps the layer's.
    const bool coloursGiven = traits.colours > 0 && !mode.colours.empty();
    if (coloursGiven && mode.colours.size() != traits.colours) return std::nullopt;
    if (mode.colourMode == COLOR_MODE_RANDOM && !hasRandom) return std::nullopt;

    for (const int zone : kZoneOrder) {
        if (!RunsInZone(effect, zone)) continue;
        state.currentZone = zone;
        SelectZoneEffect(profile, state, effect);
        EffectLayer& layer = LayerOfZone(profile, zone, state);
        if (hasSpeed) SetSpeed(layer, effect, static_cast<int>(mode.speed));
        if (hasBrightness) SetBrightness(layer, effect, static_cast<int>(mode.brightness));
        if (hasDirection) SetDirection(layer, effect, *direction);
        if (hasRandom) SetRandom(layer, effect, mode.colourMode == COLOR_MODE_RANDOM ? 1 : 0);
        if (coloursGiven) {
            SetSlotColour(layer, effect, ColourSlot::First, mode.colours[0], state);
            if (traits.colours > 1) SetSlotColour(layer, effect, ColourSlot::Second, mode.colours[1], state);
        }
    }
    state.currentZone = ZONE_MAIN;
    return effect;
}

std::array<Colour, kLedCount> LedColours(const LedProfile& profile) {
    std::array<Colour, kLedCount> colours{};
    for (std::size_t position = 0; position < colours.size(); ++position)
        colours[position] = profile.multiLayer.colour(EffectLayer::kDirectColours + 4 * position);
    return colours;
}

bool SetLedColours(LedProfile& profile, const LedUpdate& update) {
    std::size_t first = update.first, end = kLedCount;
    if (update.zone) {
        if (*update.zone >= kZoneOrder.size()) return false;
        first = static_cast<std::size_t>(ZoneFirstLed(static_cast<int>(*update.zone)));
        end = first + static_cast<std::size_t>(ZoneLedCount(static_cast<int>(*update.zone)));
    }
    if (first > end || update.colours.size() > end - first) return false;
    for (std::size_t i = 0; i < update.colours.size(); ++i) {
        const int position = LedPosition(static_cast<int>(first + i));
        profile.multiLayer.setColour(EffectLayer::kDirectColours + 4 * static_cast<std::size_t>(position),
                                     update.colours[i] & 0xFFFFFF);
    }
    return true;
}

}  // namespace openrgb
