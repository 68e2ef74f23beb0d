#pragma once

#include <chrono>

namespace platform {

// Every wait and retry pause of the programs in one place. The programs and the
// end-to-end tests run with the defaults; unit and integration tests shorten
// them so that a failure path costs milliseconds, not minutes.
struct TimingPolicy {
    // Pause after each start of the companion while its channel is absent.
    std::chrono::milliseconds companionStartPause{500};
    // How long a sent companion message waits for its acknowledgement.
    std::chrono::milliseconds companionSendTimeout{2000};
    // How long a command transaction waits for the controller's reply.
    std::chrono::milliseconds hidReplyWait{500};
    // Pause after every write to a controller, so consecutive records stay apart.
    std::chrono::microseconds hidWritePause{3000};
    // The longest a reader thread blocks in one read; a stop wakes it at once.
    std::chrono::milliseconds hidReadWait{2000};
    // The loading pop-up starts its job this long after it opened, and closes
    // this long after the job ended.
    std::chrono::milliseconds loadingPopupDelay{1000};
    std::chrono::milliseconds loadingPopupSettle{100};
    // Pause before a failed private font installation is tried again.
    std::chrono::milliseconds fontRetryPause{1000};
    // Pause between tries of a firmware-update step that asks the controller for information.
    std::chrono::milliseconds updaterInfoRetryPause{500};
    // Pause between tries of an erase, write point or block write, and the
    // least wait for a write point to be set.
    std::chrono::milliseconds updaterFlashRetryPause{1000};
    // The flashing sequence's fixed sleeps: after the erase, and before the
    // version area's write point is set and before the flashing starts.
    std::chrono::milliseconds updaterEraseSettle{200};
    std::chrono::milliseconds updaterStepSettle{100};
    // How long the updater waits for a controller to come back under its other product ID.
    std::chrono::milliseconds updaterReenumerateWait{20000};
    // The updater's links report an arrival on a timer of this period, once no
    // device set-up is pending (waiting at most this long for it).
    std::chrono::milliseconds updaterArrivalSettle{100};
    // A silent update that has nothing in progress (no flashing, no wait for a
    // boot loader) and sees no plug report for this long ends with "no device".
    std::chrono::milliseconds updaterSilentIdleWait{30000};
};

// Read from any thread; changed only by tests before they start threads.
const TimingPolicy& timing();
void setTiming(const TimingPolicy& policy);

}  // namespace platform
