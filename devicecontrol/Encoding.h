#pragma once

#include "devicelink/ControllerKinds.h"
#include "effects/EffectModel.h"

#include <array>
#include <cstdint>
#include <functional>

namespace devicelink {
class CUSBDriver;
}

// Turns the effect model into controller commands. Every write goes to the
// link's current group and is skipped while the link has no controller; a
// failed command does not stop the sequence. The writes return how many of
// their commands failed (no reply, an error reply, not sent): 0 when the
// controllers took them all, and when there was no controller to write to.
namespace devicecontrol {

using EffectRecord = std::array<std::uint8_t, 60>;

enum SlotKind : int { SLOT_DIRECT = 0, SLOT_FAN = 1, SLOT_LOGO = 2 };

// The record before it is filled: 0xFF with bytes 2 and 9 to 11 cleared.
EffectRecord BlankEffectRecord();

// The record a zone write sends for `effect`, without the extra commands.
EffectRecord BuildZoneRecord(std::int32_t effect, const effects::EffectLayer& layer, SlotKind kind, bool repeatMorse);

int WriteZoneEffect(devicelink::CUSBDriver& link, std::int32_t effect, const effects::EffectLayer& layer, SlotKind kind,
                    const effects::LedProfile& profile, const effects::EditorState& state, bool allMorseTexts);

// The 60-byte group map for the profile's main-zone effect.
std::array<std::uint8_t, 60> BuildLedGroupMap(const effects::LedProfile& profile, bool chromaOverride);
int WriteLedGroupMap(devicelink::CUSBDriver& link, const effects::LedProfileSet& set, const effects::EditorState& state,
                     bool chromaAllowed);
// Fills the MULTILAYER effect mirror from the device at `address`.
int ReadLedGroupMap(devicelink::CUSBDriver& link, effects::LedProfile& profile, int address);

int WriteDirectColours(devicelink::CUSBDriver& link, effects::Colour first, effects::Colour second,
                       effects::Colour third);

// One colour per LED position, in the two colour blocks (positions 0 to 15,
// then 8 to 23).
int WriteLedColours(devicelink::CUSBDriver& link, const std::array<effects::Colour, effects::kLedCount>& colours);

// The Chroma bridge's side of the page; the GUI starts and stops the bridge.
class ChromaHost {
public:
    virtual ~ChromaHost() = default;
    virtual bool bridgeActive() const = 0;
    virtual bool startBridge() = 0;  // true when it started
    virtual void stopBridge() = 0;
};

int SelectMode(devicelink::CUSBDriver& link, const effects::LedProfileSet& set, effects::EditorState& state);
int PreviewEffect(devicelink::CUSBDriver& link, const effects::LedProfileSet& set, const effects::EditorState& state,
                  ChromaHost* chroma = nullptr);

// Every effect of the selected profile; `afterEffect` runs once per effect
// written (the window's progress bar). A controller that leaves the bus ends
// the write at once; the commands left out count as one failure.
int WriteWholeConfiguration(devicelink::CUSBDriver& link, devicelink::Family family, const effects::LedProfileSet& set,
                            const effects::EditorState& state, const std::function<void()>& afterEffect = {});

// Five colours from the Chroma bridge. `busy`: a whole write runs.
int OnChromaColours(devicelink::CUSBDriver& link, const effects::LedProfileSet& set,
                    const std::array<effects::Colour, 5>& colours, bool busy);

// Resets the profile, then the controller; Zelvor leaves the card to the sync source.
// Both return how many of their commands the controller did not take.
int ResetAll(devicelink::CUSBDriver& link, effects::LedProfile& profile);
int ZelvorSync(devicelink::CUSBDriver& link, effects::LedProfile& profile);

// Marks the mirage block saved, stores it in `applied` and the profile file,
// and hands the four frequencies (2500, red, green, blue) to `setPwmFrequencies`.
void SaveMirage(devicelink::CUSBDriver& link, effects::LedProfile& profile, effects::LedProfile& applied,
                const std::string& profilePath,
                const std::function<void(const std::array<std::uint16_t, 4>&)>& setPwmFrequencies);

// The Morse save: the three stored texts into the controller's blocks 2 to 7
// under control mode 3, and into the applied copy.
int SaveMorseTexts(devicelink::CUSBDriver& link, const effects::LedProfile& profile, effects::LedProfile& applied);

}  // namespace devicecontrol
