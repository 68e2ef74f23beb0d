#pragma once

#include "devicelink/ControllerKinds.h"
#include "effects/EffectModel.h"
#include "openrgb/Protocol.h"

#include <array>
#include <optional>
#include <string>

// A card as an SDK controller and back: its zones, LEDs and modes from the
// effect model, and a mode or LED colours from a client into the edit copy,
// the way the editor page changes it. No controller commands here.
namespace openrgb {

// What the caller knows of the card beside its profile.
struct CardInfo {
    devicelink::Family family = devicelink::Family::Standard;
    std::string title;     // the stored name, else the title the programs show
    std::string firmware;  // "-" when the controller did not say
    std::string location;  // tells two cards apart
    std::string identity;  // 16 hex digits, "-" without one
};

// The zones in SDK order: main (15 LEDs), fan (1), logo (1).
inline constexpr std::array<int, effects::kZoneCount> kZoneOrder = {effects::ZONE_MAIN, effects::ZONE_FAN,
                                                                    effects::ZONE_LOGO};
// The card's LED position (0 to 16) of SDK LED `led` (0 to 16, zone order).
int LedPosition(int led);
// The first SDK LED of a zone in SDK order, and its LED count.
int ZoneFirstLed(int sdkZone);
int ZoneLedCount(int sdkZone);

// Direct first, then the main-zone menu the family offers, in menu order.
std::vector<std::int32_t> ModeEffects(devicelink::Family family);

Controller DescribeCard(const CardInfo& card, const effects::LedProfile& profile);

// The mode a client chose, into the profile as the editor's menu and controls
// put it: the main zone, and the fan and logo zones too when the effect runs
// there. Empty when the index is no mode of the family or a value is out of
// its range (the profile is then unchanged); else the effect chosen.
std::optional<std::int32_t> ApplyMode(effects::LedProfile& profile, effects::EditorState& state,
                                      devicelink::Family family, int modeIndex, const Mode& mode);

// The per-LED colours the profile keeps, by LED position.
std::array<effects::Colour, effects::kLedCount> LedColours(const effects::LedProfile& profile);
// Stores colours from SDK LED `first` on (a zone's first LED for a zone
// update); false when they run past the zone or the card.
bool SetLedColours(effects::LedProfile& profile, const LedUpdate& update);

}  // namespace openrgb
