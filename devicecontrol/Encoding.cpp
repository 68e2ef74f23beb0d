#include "devicecontrol/Encoding.h"

#include "devicelink/UsbDriver.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "platform/DebugLog.h"
#include "platform/LittleEndian.h"

#include <cstring>

namespace devicecontrol {

using namespace effects;
namespace {

using devicelink::kCurrentGroup;

constexpr std::uint8_t kModeMulti = 0xE0;
constexpr std::uint8_t kModeDirect = 0xB0;
constexpr std::uint8_t kModeDirectInMap = 0xB1;
constexpr std::uint8_t kSyncOwnEffects = 0;
constexpr std::uint8_t kSyncZelvor = 16;

bool linkOpen(const devicelink::CUSBDriver& link) { return link.connected() != 0; }

// A whole write that loses its controllers stops; what it left out counts as one more failure.
constexpr int kLeftOutRest = 1;

// Bit 7 from the random flag, bits 0-4 from the direction.
std::uint8_t flagsOf(const EffectLayer& layer, std::size_t random, std::size_t direction) {
    std::uint8_t flags = static_cast<std::uint8_t>(layer.byte(random) * 0x80);
    if (direction != 0) flags = static_cast<std::uint8_t>(flags + (layer.byte(direction) & 0x1F));
    return flags;
}

std::uint8_t mode07Direction(const EffectLayer& layer) {
    const std::size_t flags = EffectLayer::kMode07Directions;
    if (layer.byte(flags) == 1) return 0;
    if (layer.byte(flags + 1) == 1) return 4;
    if (layer.byte(flags + 2) == 1) return 2;
    if (layer.byte(flags + 3) == 1) return 6;
    return 0;
}

int sendMorseText(devicelink::CUSBDriver& link, const std::u16string& text, int firstBlock) {
    MorsePacked packed{};
    EncodeMorse(text, &packed);
    std::uint8_t half[60];
    int failed = 0;
    for (int part = 0; part < 2; ++part) {
        std::memcpy(half, packed.data() + 60 * part, sizeof half);
        failed += link.SetMorseBlock(firstBlock + part, half) != 0;
    }
    return failed;
}

std::uint8_t mainZoneMode(const LedProfile& profile) {
    return EffectModeCode(profile.multiLayer.word(EffectLayer::kEffectMirror + 4));
}

// Speed and brightness fields that the card-wide preview record carries.
std::size_t previewSpeedOffset(std::uint8_t mode) {
    switch (mode) {
    case 0x07: return 136;
    case 0x08: return 120;
    case 0x11: return 152;
    case 0x0A: return 84;
    case 0x10: return 68;
    case 0x02: return 157;
    case 0x01: return 168;
    case 0x0B: return 180;
    case 0x09: return 96;
    default: return 0;
    }
}

std::size_t previewBrightnessOffset(std::uint8_t mode) {
    switch (mode) {
    case 0x00: return 52;
    case 0x0A: return 85;
    case 0x02: return 158;
    case 0x01: return 169;
    case 0xB0: return 273;
    default: return 0;
    }
}

int writeDirectColoursOf(devicelink::CUSBDriver& link, const EffectLayer& layer) {
    const std::size_t first = EffectLayer::kDirectColours;
    return WriteDirectColours(link, layer.colour(first), layer.colour(first + 4), layer.colour(first + 8));
}

}  // namespace

EffectRecord BlankEffectRecord() {
    EffectRecord record;
    record.fill(0xFF);
    record[2] = 0;
    record[9] = record[10] = record[11] = 0;
    return record;
}

EffectRecord BuildZoneRecord(std::int32_t effect, const EffectLayer& layer, SlotKind kind, bool repeatMorse) {
    EffectRecord record = BlankEffectRecord();
    const std::uint8_t mode = EffectModeCode(effect);
    // speed, brightness, colour, second colour; 0 where the effect has none
    std::size_t speed = 0, brightness = 0, colour = 0, second = 0;
    std::uint8_t flags = 0;
    switch (effect) {
    case EFFECT_STATIC:
        brightness = 52;
        colour = 48;
        break;
    case EFFECT_MODE_07:
        speed = 136;
        brightness = 137;
        colour = 132;
        flags = mode07Direction(layer);
        break;
    case EFFECT_MODE_08:
        speed = 120;
        brightness = 121;
        colour = 112;
        second = 116;
        flags = 0x80;
        break;
    case EFFECT_MODE_11:
        speed = 152;
        colour = 144;
        second = 148;
        break;
    case EFFECT_MODE_0A:
        speed = 84;
        brightness = 85;
        colour = 76;
        second = 80;
        flags = flagsOf(layer, 86, EffectLayer::kMode0ADirection);
        break;
    case EFFECT_MODE_10:
        speed = 68;
        colour = 60;
        second = 64;
        break;
    case EFFECT_MODE_02:
        speed = 157;
        brightness = 158;
        break;
    case EFFECT_MODE_01:
        speed = 168;
        brightness = 169;
        colour = 164;
        flags = flagsOf(layer, 170, 0);
        break;
    case EFFECT_MORSE:
        speed = 180;
        brightness = 183;
        colour = 176;
        flags = flagsOf(layer, 182, 0);
        record[4] = repeatMorse ? 0xFF : 1;
        break;
    case EFFECT_MODE_09:
        speed = 96;
        brightness = 97;
        colour = 92;
        flags = flagsOf(layer, 98, EffectLayer::kMode09Direction);
        break;
    default: break;  // EFFECT_DIRECT and the rest carry colour 0
    }
    // Effects without a row of their own go out as "off".
    const bool known = effect >= EFFECT_STATIC && effect <= EFFECT_MORSE;
    record[0] = known || effect == EFFECT_MODE_09 ? mode : 0xFE;
    record[2] = flags;
    if (speed != 0) record[1] = layer.byte(speed);
    if (brightness != 0) record[5] = layer.byte(brightness);
    platform::writeLe24(record.data() + 6, colour != 0 ? layer.colour(colour) : 0);
    if (second != 0) platform::writeLe24(record.data() + 9, layer.colour(second));
    if (kind == SLOT_FAN || kind == SLOT_LOGO) {
        record[0] = kind == SLOT_FAN ? 6 : 5;
        record[3] = known || effect == EFFECT_MODE_09 ? mode : 0xFE;
    }
    return record;
}

int WriteZoneEffect(devicelink::CUSBDriver& link, std::int32_t effect, const EffectLayer& layer, SlotKind kind,
                    const LedProfile& profile, const EditorState& state, bool allMorseTexts) {
    if (!linkOpen(link)) return 0;
    if (effect == EFFECT_LIGHT_OFF && kind == SLOT_DIRECT) return 0;
    int failed = 0;
    if (effect == EFFECT_DIRECT) failed += writeDirectColoursOf(link, layer);
    if (effect == EFFECT_MODE_09) failed += link.SetColorPair(layer.colour(100), layer.colour(92)) != 0;
    if (effect == EFFECT_MORSE) {
        failed += sendMorseText(link, SelectedMorseText(profile), 0);
        if (allMorseTexts)
            for (int text = 0; text < 3; ++text) failed += sendMorseText(link, profile.morseTexts[text], 2 + 2 * text);
    }
    const bool repeat = state.morseRepeat == 1 || allMorseTexts;
    return failed + (link.SetEffectSlot(1, BuildZoneRecord(effect, layer, kind, repeat)) != 0);
}

std::array<std::uint8_t, 60> BuildLedGroupMap(const LedProfile& profile, bool chromaOverride) {
    std::array<std::uint8_t, 60> map{};
    map[1] = 3;
    map[4] = 5;
    map[5] = 6;
    std::uint8_t mainMode = mainZoneMode(profile);
    if (mainMode == kModeDirect) mainMode = kModeDirectInMap;
    for (std::size_t position = 2; position < kLedCount; ++position) map[4 + position] = mainMode;
    if (chromaOverride) {
        for (std::size_t position = 0; position < 3; ++position) map[4 + position] = kModeDirect;
        for (std::size_t position = 3; position < kLedCount; ++position) map[4 + position] = 0;
    }
    return map;
}

int WriteLedGroupMap(devicelink::CUSBDriver& link, const LedProfileSet& set, const EditorState& state,
                     bool chromaAllowed) {
    if (!linkOpen(link)) return 0;
    platform::DebugTrace("%s", "SetFWMultiGroup Start");
    const LedProfile& profile = set.selected();
    std::uint8_t map[60];
    const auto built = BuildLedGroupMap(profile, chromaAllowed && set.chromaSync == 1);
    std::memcpy(map, built.data(), sizeof map);
    const std::int32_t mainEffect = profile.multiLayer.word(EffectLayer::kEffectMirror + 4);
    int failed = WriteZoneEffect(link, mainEffect, profile.multiLayer, SLOT_DIRECT, profile, state, false);
    failed += link.SetZoneMap(map) != 0;
    failed += link.SetEffectMode(kModeMulti, 0, 0, kCurrentGroup) != 0;
    platform::DebugTrace("%s", "SetFWMultiGroup Finish");
    return failed;
}

int ReadLedGroupMap(devicelink::CUSBDriver& link, LedProfile& profile, int address) {
    std::uint8_t map[60] = {0, 3};
    const int result = link.GetZoneMap(map, address);
    if (result != 0) return result;
    for (int element = 0; element < 3; ++element)
        profile.multiLayer.setWord(EffectLayer::kEffectMirror + 2 * element,
                                   static_cast<std::uint16_t>(EffectFromModeCode(map[4 + element])));
    for (std::size_t offset = 1; offset <= 8; ++offset) profile.multiLayer.setByte(offset, 0);
    return 0;
}

int WriteDirectColours(devicelink::CUSBDriver& link, Colour first, Colour second, Colour third) {
    if (!linkOpen(link)) return 0;
    std::uint8_t block[48] = {};
    const Colour colours[] = {first, second, third};
    for (int i = 0; i < 3; ++i) platform::writeLe24(block + 3 * i, colours[i]);
    return link.SetCustomColors(0, block) != 0 ? 1 : 0;
}

int SelectMode(devicelink::CUSBDriver& link, const LedProfileSet& set, EditorState& state) {
    if (state.cardEffect == -1 || !linkOpen(link)) return 0;
    const LedProfile& profile = set.selected();
    int failed = link.SetControlMode(0x80, kCurrentGroup) != 0;
    state.controlModeMarker = 0x80;
    const std::uint8_t mode = EffectModeCode(state.cardEffect);
    if (mode == kModeDirect)
        failed += writeDirectColoursOf(link, profile.baseLayer);
    else if (profile.zelvor == 0)
        failed += link.SetSyncFlag(kSyncOwnEffects) != 0;
    else if (set.chromaSync == 0)
        failed += link.SetSyncFlag(kSyncZelvor) != 0;
    return failed + (link.SetEffectMode(mode, 0, 0, kCurrentGroup) != 0);
}

int PreviewEffect(devicelink::CUSBDriver& link, const LedProfileSet& set, const EditorState& state,
                  ChromaHost* chroma) {
    if (!linkOpen(link)) return 0;
    int failed = 0;
    platform::DebugTrace("%s", "PutColorSetting Start");
    const LedProfile& profile = set.selected();
    const EffectLayer& base = profile.baseLayer;
    const std::int32_t effect = profile.zelvor == 1 ? EFFECT_LIGHT_OFF : state.cardEffect;
    const EffectParams params = GetEffectParams(base, effect, base, state.chromaColour, 0);
    const std::uint8_t mode = EffectModeCode(effect);
    if (effect == EFFECT_DIRECT) {
        failed += link.BeginCustomColors(kCurrentGroup) != 0;
        failed += writeDirectColoursOf(link, base);
    }
    if (effect == EFFECT_MULTI) {
        failed += WriteLedGroupMap(link, set, state, true);
    } else if (!params.noColour || effect == EFFECT_MODE_02 || effect == EFFECT_MORSE) {
        EffectRecord record = BlankEffectRecord();
        record[0] = mode;
        record[1] = 0;
        platform::writeLe24(record.data() + 6, params.colour);
        record[2] = effect == EFFECT_MORSE && base.byte(182) != 0 ? 0x80 : 0;
        std::size_t first = 0, second = 0;
        switch (effect) {
        case EFFECT_MODE_08:
            first = 112;
            second = 116;
            break;
        case EFFECT_MODE_11:
            first = 144;
            second = 148;
            break;
        case EFFECT_MODE_0A:
            first = 76;
            second = 80;
            record[3] = 0x21;
            break;
        case EFFECT_MODE_10:
            first = 60;
            second = 64;
            break;
        default: break;
        }
        if (first != 0) {
            platform::writeLe24(record.data() + 6, base.colour(first));
            platform::writeLe24(record.data() + 9, base.colour(second));
        }
        if (const std::size_t speed = previewSpeedOffset(mode)) record[1] = base.byte(speed);
        if (const std::size_t brightness = previewBrightnessOffset(mode)) record[5] = base.byte(brightness);
        failed += link.SetEffectSlot(0, record) != 0;
        if (mode == 0x0A) failed += link.SetEffectMode(0x0A, 0, 0, kCurrentGroup) != 0;
    }
    if (chroma != nullptr) {
        if (set.chromaSync == 1 && !chroma->bridgeActive()) {
            failed += WriteLedGroupMap(link, set, state, true);
            failed += OnChromaColours(link, set, {}, false);
            chroma->startBridge();
        } else if (set.chromaSync != 1 && chroma->bridgeActive()) {
            chroma->stopBridge();
        }
    }
    platform::DebugTrace("%s", "PutColorSetting Finish");
    return failed;
}

int WriteWholeConfiguration(devicelink::CUSBDriver& link, devicelink::Family family, const LedProfileSet& set,
                            const EditorState& state, const std::function<void()>& afterEffect) {
    if (!linkOpen(link)) return 0;
    const LedProfile& profile = set.selected();
    const auto advance = [&] {
        if (afterEffect) afterEffect();
    };
    int failed = 0;
    for (const std::int32_t effect : kMainMenu) {
        if (family == devicelink::Family::Standard && IsLed5Only(effect)) continue;
        if (!linkOpen(link)) return failed + kLeftOutRest;
        failed += WriteZoneEffect(link, effect, profile.multiLayer, SLOT_DIRECT, profile, state, true);
        advance();
    }
    for (const std::int32_t effect : kZoneMenu) {
        if (!linkOpen(link)) return failed + kLeftOutRest;
        failed += WriteZoneEffect(link, effect, profile.fanLayer, SLOT_FAN, profile, state, true);
        failed += WriteZoneEffect(link, effect, profile.logoLayer, SLOT_LOGO, profile, state, true);
        advance();
    }
    if (!linkOpen(link)) return failed + kLeftOutRest;
    failed += WriteLedGroupMap(link, set, state, false);
    failed += link.SetEffectMode(kModeMulti, 0, 0, kCurrentGroup) != 0;
    advance();
    return failed;
}

int OnChromaColours(devicelink::CUSBDriver& link, const LedProfileSet& set, const std::array<Colour, 5>& colours,
                    bool busy) {
    if (busy || !linkOpen(link)) return 0;
    std::array<Colour, 5> used = colours;
    if (used[1] == 0 && used[2] == 0 && used[3] == 0 && used[4] == 0) used[1] = used[2] = used[3] = used[4] = used[0];
    if (set.chromaSync != 1) return 0;
    std::array<Colour, kLedCount> leds;
    for (int position = 0; position < kLedCount; ++position)
        leds[position] = position == 0 ? used[1] : position == 1 ? used[2] : position <= 8 ? used[3] : used[4];
    const int failed = WriteLedColours(link, leds);
    return failed + (link.SetEffectMode(kModeDirect, 0, 0, kCurrentGroup) != 0);
}

int WriteLedColours(devicelink::CUSBDriver& link, const std::array<Colour, kLedCount>& colours) {
    if (!linkOpen(link)) return 0;
    // positions 0 to 23; 17 to 23 stay black
    std::uint8_t leds[24 * 3] = {};
    for (std::size_t position = 0; position < colours.size(); ++position)
        platform::writeLe24(leds + 3 * position, colours[position]);
    std::uint8_t block[48];
    std::memcpy(block, leds, sizeof block);
    int failed = link.SetCustomColors(0, block) != 0;
    std::memcpy(block, leds + 8 * 3, sizeof block);
    failed += link.SetCustomColors(1, block) != 0;
    return failed;
}

namespace {
int resetSequence(devicelink::CUSBDriver& link, LedProfile& profile, bool zelvor) {
    ResetProfile(profile);
    if (!linkOpen(link)) return 0;
    int failed = link.SendControl(0x10, kCurrentGroup) != 0;
    if (zelvor) {
        failed += link.SetSyncFlag(kSyncZelvor) != 0;
        profile.zelvor = 1;
    }
    failed += link.SendControl(0x55, kCurrentGroup) != 0;
    return failed;
}
}  // namespace

int ResetAll(devicelink::CUSBDriver& link, LedProfile& profile) { return resetSequence(link, profile, false); }
int ZelvorSync(devicelink::CUSBDriver& link, LedProfile& profile) { return resetSequence(link, profile, true); }

void SaveMirage(devicelink::CUSBDriver& link, LedProfile& profile, LedProfile& applied, const std::string& profilePath,
                const std::function<void(const std::array<std::uint16_t, 4>&)>& setPwmFrequencies) {
    profile.mirage.markSaved();
    applied.mirage = profile.mirage;
    WriteSyncBlock(profilePath, profile);
    const auto active = profile.mirage.activeFrequencies();
    const std::array<std::uint16_t, 4> frequencies{MirageBlock::kOffFrequency, active[0], active[1], active[2]};
    if (!linkOpen(link)) return;
    link.SetControlMode(3, kCurrentGroup);
    link.SendControl(0x00, kCurrentGroup);
    if (setPwmFrequencies) setPwmFrequencies(frequencies);
    link.SetSyncFlag(kSyncOwnEffects);
    link.SendControl(0x55, kCurrentGroup);
}

int SaveMorseTexts(devicelink::CUSBDriver& link, const LedProfile& profile, LedProfile& applied) {
    applied.morseTexts = profile.morseTexts;
    if (!linkOpen(link)) return 0;
    int failed = link.SetControlMode(3, kCurrentGroup) != 0;
    failed += link.SendControl(0x00, kCurrentGroup) != 0;
    for (int text = 0; text < 3; ++text)
        failed += sendMorseText(link, profile.morseTexts[static_cast<std::size_t>(text)], 2 + 2 * text);
    return failed + (link.SendControl(0x55, kCurrentGroup) != 0);
}

}  // namespace devicecontrol
