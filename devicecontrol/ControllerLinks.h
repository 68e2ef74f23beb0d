#pragma once

#include "devicelink/ControllerKinds.h"
#include "devicelink/UsbDriver.h"
#include "platform/SingleInstance.h"

#include <chrono>

class QObject;

namespace devicecontrol {

// The program's four controller links, one per family and mode, each on the
// library instance of its kind. The main window, lumenstra-cli and the tests
// all reach a family's controllers through this one owner. Lives on the GUI thread.
class ControllerLinks {
public:
    ControllerLinks() = default;
    ControllerLinks(const ControllerLinks&) = delete;
    ControllerLinks& operator=(const ControllerLinks&) = delete;

    // Every link tells `owner` of arrivals and removals; set before opening.
    void setOwner(QObject* owner);

    // Opens the four links as Lumenstra does: standard, its boot loader, LED5, its boot loader.
    void openAll();
    // Opens one link; true when it found a controller.
    bool open(devicelink::Family family, devicelink::LinkMode mode);

    devicelink::CUSBDriver& link(devicelink::Family family,
                                 devicelink::LinkMode mode = devicelink::LinkMode::Application);
    // The link on a library instance (0 to 3), as plug messages name it; null for any other.
    devicelink::CUSBDriver* linkOfInstance(int instance);

    // The family with a controller in application mode: standard first, else
    // LED5, else standard.
    devicelink::Family defaultFamily() const;

private:
    devicelink::CUSBDriver m_standard{devicelink::Family::Standard, devicelink::LinkMode::Application};
    devicelink::CUSBDriver m_standardBoot{devicelink::Family::Standard, devicelink::LinkMode::BootLoader};
    devicelink::CUSBDriver m_led5{devicelink::Family::Led5, devicelink::LinkMode::Application};
    devicelink::CUSBDriver m_led5Boot{devicelink::Family::Led5, devicelink::LinkMode::BootLoader};
};

// One program drives the controllers at a time: Lumenstra, or the SDK server
// (lumenstra-cli serve). Both hold this lock of the user's while they run.
inline constexpr char kInstanceLockName[] = "Ostmar_Pellan_KV 6000_Series_RGB_LED_configure";
// The server takes this one first and keeps it beside the instance lock, so
// that Lumenstra can tell the server from a second Lumenstra.
inline constexpr char kServerLockName[] = "lumenstra-server";

// Lumenstra and lumenstra-cli hold one lock of the user's, in the runtime
// folder, around every whole write to the controllers (Apply, restore), so
// that two programs never interleave their command sequences. The profile
// folder's lock, when needed too, is taken after this one.
inline constexpr char kControllerLockName[] = "lumenstra-controllers";
// Long enough for a whole write to a controller that answers nothing.
inline constexpr std::chrono::seconds kControllerLockWait{60};
// Waits for the lock; false when another program kept it. A lock file that
// cannot be made, or a refused one (a runtime folder or lock file not the
// user's own, said on standard error), lets the write go ahead unlocked.
bool LockControllers(platform::SingleInstanceLock& lock);

}  // namespace devicecontrol
