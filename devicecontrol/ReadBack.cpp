#include "devicecontrol/ReadBack.h"

#include "devicelink/UsbDriver.h"
#include "effects/Morse.h"
#include "platform/DebugLog.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace devicecontrol {
namespace {

using namespace effects;

constexpr std::uint8_t kSyncZelvor = 0x10;
constexpr int kLinkStatusTries = 5;

bool neverRead(std::uint8_t mode) { return mode == 0xE0 || mode == 0xD8 || mode == 0xFE || mode == 0xDF; }

// The text of a packed buffer, empty when every byte is zero.
std::u16string textOf(const MorsePacked& packed) {
    const bool empty = std::all_of(packed.begin(), packed.end(), [](std::uint8_t b) { return b == 0; });
    return empty ? std::u16string() : DecodeMorse(packed);
}

int readPacked(devicelink::CUSBDriver& link, int position, int firstBlock, MorsePacked& packed) {
    int result = 0;
    std::uint8_t half[60];
    for (int part = 0; part < 2; ++part) {
        if (link.GetMorseBlock(firstBlock + part, half, position) == 0)
            std::memcpy(packed.data() + 60 * part, half, sizeof half);
        else
            result = 1;
    }
    return result;
}

}  // namespace

void ReadEffectSlot(devicelink::CUSBDriver& link, int position, std::uint8_t& modeCode, EffectLayer& layer) {
    devicelink::EffectBlock block;
    block.fill(0xFF);
    block[0] = modeCode;
    link.GetEffectSlot(1, block, position);
    if (block[0] == 5 || block[0] == 6) {
        switch (block[3]) {
        case 1: modeCode = 0x00; break;
        case 2: modeCode = 0x02; break;
        case 3: modeCode = 0x01; break;
        default: modeCode = 0xFE; break;
        }
    }
    const Colour first = platform::readLe24(block.data() + 6);
    const Colour second = platform::readLe24(block.data() + 9);
    const std::uint8_t speed = block[1];
    const std::uint8_t brightness = block[5];
    const std::uint8_t random = block[2] >> 7;
    const std::uint8_t direction = block[2] & 0x1F;
    switch (modeCode) {
    case 0x00:
        layer.setByte(44, 1);
        layer.setColour(48, first);
        layer.setByte(52, brightness);
        break;
    case 0x01:
        layer.setByte(160, 1);
        layer.setColour(164, first);
        layer.setByte(168, speed);
        layer.setByte(169, brightness);
        layer.setByte(170, random);
        break;
    case 0x02:
        layer.setByte(156, 1);
        layer.setByte(157, speed);
        layer.setByte(158, brightness);
        break;
    case 0x07:
        layer.setByte(124, 1);
        layer.setByte(136, speed);
        layer.setByte(137, brightness);
        break;
    case 0x08:
        layer.setByte(108, 1);
        layer.setColour(112, first);
        layer.setColour(116, second);
        layer.setByte(120, speed);
        layer.setByte(121, brightness);
        layer.setByte(122, random);
        break;
    case 0x09: {
        layer.setByte(88, 1);
        layer.setColour(92, first);
        layer.setByte(96, speed);
        layer.setByte(97, brightness);
        layer.setByte(98, random);
        layer.setByte(99, direction);
        std::uint32_t a = 0, b = 0;
        layer.setColour(100, link.GetColorPair(a, b, position) == 0 ? a : 0xFF0000);
        break;
    }
    case 0x0A:
        layer.setByte(72, 1);
        layer.setColour(76, first);
        layer.setColour(80, second);
        layer.setByte(84, speed);
        layer.setByte(85, brightness);
        layer.setByte(86, random);
        layer.setByte(87, direction);
        break;
    case 0x0B:
        layer.setByte(172, 1);
        layer.setColour(176, first);
        layer.setByte(180, speed);
        layer.setByte(182, random);
        layer.setByte(183, brightness);
        break;
    case 0x10:
        layer.setByte(56, 1);
        layer.setColour(60, first);
        layer.setColour(64, second);
        layer.setByte(68, speed);
        break;
    case 0x11: layer.setByte(140, 1); break;
    case 0xB0: layer.setByte(273, brightness); break;
    default: break;
    }
}

int ReadMorseTexts(devicelink::CUSBDriver& link, int position, LedProfile& profile) {
    int result = 0;
    MorsePacked packed{};
    bool anyStored = false;
    for (int text = 1; text <= 3; ++text) {
        result |= readPacked(link, position, 2 * text, packed);
        profile.morseTexts[text - 1] = textOf(packed);
        anyStored = anyStored || !profile.morseTexts[text - 1].empty();
    }
    result |= readPacked(link, position, 0, packed);
    const std::u16string running = textOf(packed);
    if (anyStored) {
        profile.selectedMorse = 0;
        for (int text = 0; text < 3; ++text)
            if (profile.morseTexts[text] == running) {
                profile.selectedMorse = text;
                break;
            }
    } else {
        profile.morseTexts[0] = running;
    }
    return result;
}

int LoadDeviceSettings(devicelink::CUSBDriver& link, const ReadBackRequest& request, LedProfileSet& set,
                       int& lastAppliedProfile) {
    const auto progress = [&](int value) {
        if (request.setProgress) request.setProgress(value);
    };
    const int position = request.position;
    progress(10);
    int profileNumber = request.profileNumber;
    if (profileNumber == -1) {
        lastAppliedProfile = 0;
        set.selectedProfile = 0;
        profileNumber = 0;
    }
    LedProfile& profile = set.profiles[0];
    if (!request.readOnly) link.SetControlMode(3, position);

    std::uint8_t syncFlag = 0;
    link.GetSyncFlag(syncFlag, position);
    profile.zelvor = syncFlag == kSyncZelvor ? 1 : 0;
    set.chromaSync = 0;
    int band = 10 + 80 * profileNumber;
    progress(band);

    std::uint32_t mode = 0, p = 0;
    std::uint16_t r = 0;
    std::uint8_t s = 0;
    const int modeRead = link.GetEffectMode(mode, p, r, s, position);
    const std::uint8_t reported = static_cast<std::uint8_t>(mode);
    std::int32_t found = 0;
    for (std::int32_t effect = EFFECT_STATIC; effect <= EFFECT_LIGHT_OFF; ++effect)
        if (EffectModeCode(effect) == reported) {
            found = effect;
            break;
        }
    if (found == 0) {
        platform::DebugTrace("Error Get Effect Mode:%d, %d", profileNumber, -1);
        profile.cardEffect = 0;
    } else if (found != EFFECT_DIRECT || request.readOnly) {
        profile.cardEffect = found;
    }
    band += 8;
    progress(band);

    std::uint8_t modeList[18];
    link.GetEffectModeList(modeList, position);
    int result = 0;
    if (request.readOnly)
        result = modeRead != 0 ? 1 : 0;
    else
        result = link.SetEffectMode(0xE0, 0, 0, position) != 0 ? 1 : 0;
    profile.multiLayer.setByte(0, 1);
    for (const std::int32_t effect : kMainMenu) {
        if (request.family == devicelink::Family::Standard && IsLed5Only(effect)) continue;
        std::uint8_t code = EffectModeCode(effect);
        if (neverRead(code)) continue;
        ReadEffectSlot(link, position, code, profile.multiLayer);
        if (code == 0x0B) result |= ReadMorseTexts(link, position, profile);
    }
    if (request.readOnly) {
        std::uint8_t colours[48];
        if (link.GetCustomColors(0, colours, position) == 0)
            for (std::size_t i = 0; i < 3; ++i)
                profile.multiLayer.setColour(EffectLayer::kDirectColours + 4 * i, platform::readLe24(colours + 3 * i));
        else
            result = 1;
    }
    ReadLedGroupMap(link, profile, position);
    profile.zoneEffects[0] = profile.multiLayer.word(EffectLayer::kEffectMirror + 4);
    if (request.dispatchPending) request.dispatchPending();
    progress(100);
    return result;
}

void PrepareArrivedDevice(devicelink::CUSBDriver& link, int position) {
    link.ReadLinkInfo(position);
    link.SetEventReport(0x01000001, 1, position);
    std::uint8_t status[20];
    for (int attempt = 0; attempt < kLinkStatusTries; ++attempt)
        if (link.ReadLinkStatus(status, position) == 0) break;
    link.SetControlMode(1, position);
}

void FinishArrivedDevice(devicelink::CUSBDriver& link, int position) {
    link.SetControlMode(0, position);
    link.SetControlMode(128, position);
}

}  // namespace devicecontrol
