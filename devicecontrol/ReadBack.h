#pragma once

#include "devicecontrol/Encoding.h"
#include "effects/EffectModel.h"

#include <cstdint>
#include <functional>

namespace devicelink {
class CUSBDriver;
}

// Reading what a controller runs back into a device's edit copy, and the
// preparation a controller gets when it arrives.
namespace devicecontrol {

struct ReadBackRequest {
    devicelink::Family family = devicelink::Family::Standard;
    int position = 0;                       // resolved by the caller: never -1
    int profileNumber = -1;                 // -1: a fresh load of profile 0
    std::function<void(int)> setProgress;   // the loading pop-up's band
    std::function<void()> dispatchPending;  // one pending window message
    // Only reads: no control-mode or effect-mode select, so the controller
    // keeps running what it ran; the direct colours are read as well.
    bool readOnly = false;
};

// 0 when the mode select (the effect-mode read when read-only) and all eight
// Morse block reads succeeded, else 1.
// `lastAppliedProfile` becomes 0 on a fresh load. The set keeps one profile,
// so every profile number reads into that one.
int LoadDeviceSettings(devicelink::CUSBDriver& link, const ReadBackRequest& request, effects::LedProfileSet& set,
                       int& lastAppliedProfile);

// Reads the slot of `modeCode` into `layer`; a zone slot answer changes the mode code.
void ReadEffectSlot(devicelink::CUSBDriver& link, int position, std::uint8_t& modeCode, effects::EffectLayer& layer);
// The three stored texts and the running text; 1 when a block read failed.
int ReadMorseTexts(devicelink::CUSBDriver& link, int position, effects::LedProfile& profile);

// Before the read-back of an arriving controller.
void PrepareArrivedDevice(devicelink::CUSBDriver& link, int position);
// After it: the controller runs its configuration again.
void FinishArrivedDevice(devicelink::CUSBDriver& link, int position);

}  // namespace devicecontrol
