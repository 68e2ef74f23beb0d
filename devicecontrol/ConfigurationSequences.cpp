#include "devicecontrol/ConfigurationSequences.h"

#include "devicelink/UsbDriver.h"

namespace devicecontrol {

using namespace effects;

int UpdatePage(devicelink::CUSBDriver& link, LedProfileSet& set, EditorState& state, ChromaHost* chroma) {
    LedProfile& profile = set.selected();
    if (profile.cardEffect != EFFECT_MULTI) state.controlModeMarker = 0xFF;
    state.cardEffect = EFFECT_MULTI;
    profile.cardEffect = EFFECT_MULTI;
    return SelectMode(link, set, state) + PreviewEffect(link, set, state, chroma);
}

int ApplyConfiguration(devicelink::CUSBDriver& link, devicelink::Family family, LedProfileSet& set, EditorState& state,
                       const std::function<void(int)>& progress, ChromaHost* chroma) {
    const auto report = [&](int value) {
        if (progress) progress(value);
    };
    // Without a controller there is nothing to take the configuration.
    const bool hadController = link.connected() != 0 && link.deviceCount() > 0;
    int failed = link.SetControlMode(3, devicelink::kCurrentGroup) != 0;
    failed += link.SetSyncFlag(0) != 0;
    report(10);
    if (link.deviceCount() > 0) {
        int step = 0;
        failed += WriteWholeConfiguration(link, family, set, state, [&] { report(10 + ++step * 80 / 15); });
        if (set.selected().zelvor == 1) failed += link.SetSyncFlag(16) != 0;
        failed += link.SendControl(0x55, devicelink::kCurrentGroup) != 0;
        report(90);
    }
    failed += UpdatePage(link, set, state, chroma);
    report(100);
    return hadController ? failed : 0;
}

void SendExitSequence(devicelink::CUSBDriver& link) {
    for (int position = 0; position < link.deviceCount(); ++position) {
        link.SetControlMode(3, position);
        link.SendControl(0x00, position);
        link.SetControlMode(0, position);
    }
}

}  // namespace devicecontrol
