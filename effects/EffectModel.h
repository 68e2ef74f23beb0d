#pragma once

#include <array>
#include <cstdint>
#include <string>

// The lighting configuration of one card: which effect each zone runs and the
// parameters of every effect. Layers, the mirage block and the Morse texts are
// byte blocks because the profile files store them raw.
namespace effects {

using Colour = std::uint32_t;  // 0x00BBGGRR: red in the lowest byte

enum Effect : std::int32_t {
    EFFECT_STATIC = 0x1000,
    EFFECT_MODE_07 = 0x1001,
    EFFECT_MODE_08 = 0x1002,
    EFFECT_MODE_11 = 0x1003,
    EFFECT_DIRECT = 0x1004,
    EFFECT_MODE_0A = 0x1005,
    EFFECT_MODE_10 = 0x1006,
    EFFECT_MODE_02 = 0x1007,
    EFFECT_MODE_01 = 0x1008,
    EFFECT_MORSE = 0x1009,
    EFFECT_MULTI = 0x100A,
    EFFECT_MODE_DF = 0x100B,
    EFFECT_MODE_09 = 0x100C,
    EFFECT_LIGHT_OFF = 0x100D,
    EFFECT_RESERVED_0E = 0x100E,
};

enum Zone : int { ZONE_MAIN = 0, ZONE_FAN = 1, ZONE_LOGO = 2 };
constexpr int kZoneCount = 3;
constexpr int kLedCount = 17;

// The menus, in button order; a whole configuration is written in the order of
// the main menu followed by the zone menu.
constexpr std::array<std::int32_t, 9> kMainMenu = {EFFECT_STATIC,  EFFECT_MODE_07, EFFECT_MODE_0A,
                                                   EFFECT_MODE_09, EFFECT_MODE_08, EFFECT_MORSE,
                                                   EFFECT_MODE_02, EFFECT_MODE_01, EFFECT_LIGHT_OFF};
constexpr std::array<std::int32_t, 4> kZoneMenu = {EFFECT_STATIC, EFFECT_MODE_02, EFFECT_MODE_01, EFFECT_LIGHT_OFF};

constexpr int kMaxSpeedLevel = 4;
constexpr int kMaxBrightnessLevel = 2;

std::uint8_t EffectModeCode(std::int32_t effect);
std::int32_t EffectFromModeCode(std::uint8_t modeCode);

// One parameter block per effect, at fixed offsets of a 280-byte block.
struct EffectLayer {
    static constexpr std::size_t kSize = 280;
    // Offsets of the fields that readers and writers share.
    static constexpr std::size_t kEffectMirror = 10;  // uint16 x 3
    static constexpr std::size_t kMode09Selector = 104;
    static constexpr std::size_t kMode07Directions = 125;  // 4 flags
    static constexpr std::size_t kMode0ADirection = 87;
    static constexpr std::size_t kMode09Direction = 99;
    static constexpr std::size_t kDirectColours = 188;  // colour x 17
    static constexpr std::size_t kDirectEnables = 256;  // byte x 17

    std::array<std::uint8_t, kSize> bytes{};

    std::uint8_t byte(std::size_t offset) const { return bytes[offset]; }
    void setByte(std::size_t offset, std::uint8_t value) { bytes[offset] = value; }
    std::uint16_t word(std::size_t offset) const;
    void setWord(std::size_t offset, std::uint16_t value);
    Colour colour(std::size_t offset) const;
    void setColour(std::size_t offset, Colour value);
    bool operator==(const EffectLayer&) const = default;
};

// Fan-zone mirage settings: 19 bytes, unaligned little-endian words.
struct MirageBlock {
    static constexpr std::size_t kSize = 19;
    static constexpr int kOff = 3;
    static constexpr std::uint16_t kOffFrequency = 2500;

    std::array<std::uint8_t, kSize> bytes{};

    bool savedToController() const { return (bytes[0] & 0x03) == 0x03; }
    void markSaved() { bytes[0] |= 0x03; }
    int selection() const { return (bytes[0] >> 2) & 0x07; }
    void setSelection(int selection);
    // channel 0 red, 1 green, 2 blue; preset 0 to 2
    std::uint16_t frequency(int channel, int preset) const;
    void setFrequency(int channel, int preset, std::uint16_t hertz);
    // The frequencies handed on for the current selection: the preset's, or
    // 2500 Hz on every channel when the mirage is off.
    std::array<std::uint16_t, 3> activeFrequencies() const;
    bool operator==(const MirageBlock&) const = default;
};

constexpr std::size_t kTextUnits = 260;  // UTF-16 units with the terminator

struct LedProfile {
    std::uint8_t zelvor = 0;
    std::u16string name;  // at most kTextUnits - 1 units
    std::int32_t cardEffect = EFFECT_MULTI;
    std::array<std::int32_t, kZoneCount> zoneEffects{EFFECT_STATIC, EFFECT_STATIC, EFFECT_STATIC};
    EffectLayer baseLayer;
    EffectLayer multiLayer;
    EffectLayer fanLayer;
    EffectLayer logoLayer;
    std::int32_t selectedMorse = 0;
    std::array<std::u16string, 3> morseTexts;
    std::array<std::uint8_t, 3> systemStatus{1, 1, 0};
    MirageBlock mirage;
    bool operator==(const LedProfile&) const = default;
};

struct LedProfileSet {
    std::uint8_t selectedProfile = 0;
    std::uint8_t chromaSync = 0;
    std::array<LedProfile, 1> profiles;

    // Every access picks the profile by the selected index; an index beyond the
    // one kept profile falls back to it.
    LedProfile& selected() { return profiles[selectedProfile < profiles.size() ? selectedProfile : 0]; }
    const LedProfile& selected() const { return profiles[selectedProfile < profiles.size() ? selectedProfile : 0]; }
    bool operator==(const LedProfileSet&) const = default;
};

// What an editor page keeps beside the profile and the encoding reads.
struct EditorState {
    int currentZone = -1;
    std::int32_t cardEffect = 0;
    std::array<std::int32_t, kZoneCount> lastEffects{EFFECT_STATIC, EFFECT_STATIC, EFFECT_STATIC};
    Colour chromaColour = 0xFF0000;
    std::uint8_t morseRepeat = 1;
    std::uint8_t controlModeMarker = 0xFF;
};

void ResetLayer(EffectLayer& layer);
void ResetProfile(LedProfile& profile);

struct EffectParams {
    Colour colour = 0;
    std::uint8_t speed = 0xFF;
    std::uint16_t brightness = 0xFFFF;
    std::uint8_t random = 0xFF;  // 0xFF: the effect has no random choice
    bool noColour = false;
};

// `colour` comes back unchanged for effects without a colour. The selector of
// EFFECT_MODE_09 is read from zone 0's layer, where that effect lives.
EffectParams GetEffectParams(const EffectLayer& layer, std::int32_t effect, const EffectLayer& zone0Layer,
                             Colour chromaColour, Colour colour);

// Edits write the effect's field; an effect without that field ignores them.
void SetColour(EffectLayer& layer, std::int32_t effect, Colour colour, EditorState& state);
void SetSpeed(EffectLayer& layer, std::int32_t effect, int level);
void SetBrightness(EffectLayer& layer, std::int32_t effect, int level);
void SetRandom(EffectLayer& layer, std::int32_t effect, int flag);

// The two colours of effects that have a second one, and the selector the
// page's first/second colour buttons set; SetColour edits the selected one.
enum class ColourSlot { First, Second };
bool HasSecondColour(std::int32_t effect);
void SelectColourSlot(EffectLayer& layer, std::int32_t effect, ColourSlot slot);
// Writes the slot's colour and leaves the selector as it is.
void SetSlotColour(EffectLayer& layer, std::int32_t effect, ColourSlot slot, Colour colour, EditorState& state);
// The speed level the layer keeps for the effect; 0 for an effect without one.
int SpeedLevel(const EffectLayer& layer, std::int32_t effect);
// The slot's colour as the layer keeps it; 0 for an effect without that colour.
Colour SlotColour(const EffectLayer& layer, std::int32_t effect, ColourSlot slot);

// EFFECT_DIRECT's own colours, one per LED: all set to one colour, and the
// first one back (the one a direct write sends first).
void SetDirectColours(EffectLayer& layer, Colour colour);
Colour DirectColour(const EffectLayer& layer);

// EFFECT_MODE_07 runs in direction 0, 2, 4 or 6, kept as one flag each;
// EFFECT_MODE_0A and EFFECT_MODE_09 keep a direction from 0 to 31.
bool HasDirection(std::int32_t effect);
bool IsValidDirection(std::int32_t effect, int direction);
// Ignored for an effect without a direction or a direction it does not take.
void SetDirection(EffectLayer& layer, std::int32_t effect, int direction);
// The direction the layer keeps for the effect; 0 for an effect without one.
int Direction(const EffectLayer& layer, std::int32_t effect);

// Effects only LED5 controllers run; standard ones are never sent them.
bool IsLed5Only(std::int32_t effect);
// Zone 0 runs any effect but EFFECT_MULTI, zones 1 and 2 those of the zone menu.
bool RunsInZone(std::int32_t effect, int zone);

// The Morse text slot the card blinks: the selected one, the first when the
// selection is out of range.
std::u16string& SelectedMorseText(LedProfile& profile);
const std::u16string& SelectedMorseText(const LedProfile& profile);

// The layer and effect that edits of `zone` reach: zone 0 edits go to the base
// layer and the card-wide effect while the page's card-wide effect is not
// EFFECT_MULTI.
EffectLayer& LayerOfZone(LedProfile& profile, int zone, const EditorState& state);
std::int32_t EffectOfZone(const LedProfile& profile, int zone, const EditorState& state);

// A menu choice for the page's current zone: leaves the Zelvor lock, keeps the
// last effects for "lights on again", and makes the card run per-zone effects.
// The caller then runs the mode select and the preview.
void SelectZoneEffect(LedProfile& profile, EditorState& state, std::int32_t effect);

// The effect that "lights on again" chooses for the current zone.
std::int32_t LightsOnEffect(const EditorState& state);

}  // namespace effects
