#pragma once

#include "devicecontrol/Encoding.h"
#include "effects/EffectModel.h"

#include <functional>

namespace devicelink {
class CUSBDriver;
}

// The command sequences the main window runs for Apply, reset, Zelvor sync
// and its exit, without the window around them.
namespace devicecontrol {

// Sends the selected profile's configuration to the device shown on a page:
// the card runs per-zone effects again. Returns the commands that failed.
int UpdatePage(devicelink::CUSBDriver& link, effects::LedProfileSet& set, effects::EditorState& state,
               ChromaHost* chroma = nullptr);

// Apply's commands: the framed whole-configuration write, then the page
// update. `progress` gets 10, the per-effect steps, 90 and 100. Returns how
// many commands failed: nonzero means the controller did not take the whole
// configuration (no reply, an error reply, or it left the bus during the
// write, which ends the write at once), which the window warns about; 0 also
// when the link had no controller. A failed command does not stop the write.
// `chroma`: the page's Chroma bridge, started by the page update when the set follows Chroma.
int ApplyConfiguration(devicelink::CUSBDriver& link, devicelink::Family family, effects::LedProfileSet& set,
                       effects::EditorState& state, const std::function<void(int)>& progress = {},
                       ChromaHost* chroma = nullptr);

// What every controller of the link gets when the program ends after an Apply of profile 0.
void SendExitSequence(devicelink::CUSBDriver& link);

}  // namespace devicecontrol
