#pragma once

#include "effects/EffectModel.h"
#include "devicecontrol/Encoding.h"

#include <functional>

namespace devicelink {
class CUSBDriver;
}

// The command sequences the main window runs for Apply, reset, Zelvor sync
// and its exit, without the window around them.
namespace devicecontrol {

// Sends the selected profile's configuration to the device shown on a page:
// the card runs per-zone effects again.
void UpdatePage(devicelink::CUSBDriver& link, effects::LedProfileSet& set, effects::EditorState& state,
                ChromaHost* chroma = nullptr);

// Apply's commands: the framed whole-configuration write, then the page
// update. `progress` gets 10, the per-effect steps, 90 and 100.
void ApplyConfiguration(devicelink::CUSBDriver& link, devicelink::Family family, effects::LedProfileSet& set,
                        effects::EditorState& state, const std::function<void(int)>& progress = {});

// What every controller of the link gets when the program ends after an Apply of profile 0.
void SendExitSequence(devicelink::CUSBDriver& link);

}  // namespace devicecontrol
