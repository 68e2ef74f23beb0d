#pragma once

#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "platform/Messages.h"
#include "platform/Timing.h"
#include "tests/devicelink/FakeBackend.h"
#include "tests/support/TestEnvironment.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <vector>

namespace devicelinktest {

// Shortens the link's waits for the life of a test. Declared before the
// drivers, so it is restored after their reader threads have ended.
class ScopedTiming {
public:
    ScopedTiming() : m_saved(platform::timing()) {
        platform::TimingPolicy shortened = m_saved;
        shortened.hidReplyWait = std::chrono::milliseconds(150);
        shortened.hidWritePause = std::chrono::microseconds(0);
        shortened.companionSendTimeout = std::chrono::milliseconds(500);
        platform::setTiming(shortened);
    }
    ~ScopedTiming() { platform::setTiming(m_saved); }

private:
    platform::TimingPolicy m_saved;
};

// The owner window: keeps every message it receives.
class MessageRecorder : public platform::MessageWindow<QObject> {
public:
    std::vector<platform::WindowMessage> messages;
    std::vector<platform::WindowMessage> withId(unsigned id) const {
        std::vector<platform::WindowMessage> found;
        for (const auto& message : messages)
            if (message.id == id) found.push_back(message);
        return found;
    }

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override {
        messages.push_back(message);
        return 0;
    }
};

// Runs the event loop until `done` holds or `limit` passed.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) return false;
        platform::pumpEventsFor(std::chrono::milliseconds(2));
    }
    return true;
}

inline std::uintptr_t plugWParam(int position, int instance) {
    return (static_cast<std::uintptr_t>(position) << 16) | static_cast<std::uintptr_t>(instance);
}

class DeviceLinkTest : public testsupport::IsolatedTest {
protected:
    DeviceLinkTest() { devicelink::HidSetBackend(backend); }
    ~DeviceLinkTest() override { devicelink::HidSetBackend(nullptr); }

    // Opens a driver with this test's owner.
    bool open(devicelink::CUSBDriver& driver, int instance) {
        driver.setOwner(&owner);
        driver.setInstanceIndex(instance);
        driver.setCommandPause(std::chrono::milliseconds(0));
        return driver.OpenDriver();
    }

    ScopedTiming timing;
    std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
    MessageRecorder owner;
};

}  // namespace devicelinktest
