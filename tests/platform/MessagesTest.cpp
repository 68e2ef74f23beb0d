#include "platform/Messages.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using platform::WindowMessage;

namespace {

class RecordingWindow : public platform::MessageWindow<QObject> {
public:
    std::vector<unsigned> messages;
    std::vector<unsigned> timers;

protected:
    std::intptr_t onMessage(const WindowMessage& message) override {
        messages.push_back(message.id);
        return static_cast<std::intptr_t>(message.wParam) + message.lParam;
    }
    void onTimer(unsigned id) override { timers.push_back(id); }
};

// Runs the event loop until `done` holds. The bound only keeps a broken timer
// from hanging the test; it is far beyond what any of the waits here need.
bool pumpUntil(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        platform::pumpEventsFor(1ms);
    }
    return true;
}

}  // namespace

TEST(Messages, APostedMessageArrivesOnlyWhenTheLoopRunsAndASentOneAtOnce) {
    RecordingWindow window;
    platform::postMessage(&window, {1274, 0, 0});
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(platform::sendMessage(&window, {2926, 40, 2}), 42);
    EXPECT_EQ(window.messages, std::vector<unsigned>{2926});
    platform::pumpEvents(1);
    EXPECT_EQ(window.messages, (std::vector<unsigned>{2926, 1274}));
}

TEST(Messages, PostedMessagesKeepTheirOrder) {
    RecordingWindow window;
    for (unsigned id : {1277u, 1278u, 1274u}) platform::postMessage(&window, {id, 0, 0});
    platform::pumpEvents(1);
    EXPECT_EQ(window.messages, (std::vector<unsigned>{1277, 1278, 1274}));
}

TEST(Messages, TimersFireByNumberRestartWhenSetAgainAndStopWhenKilled) {
    RecordingWindow window;
    const auto firedOf = [&](unsigned id) { return std::count(window.timers.begin(), window.timers.end(), id); };
    window.setWindowTimer(7, 5ms);
    window.setWindowTimer(7, 5ms);  // the same number: still one timer
    window.setWindowTimer(9, 1h);
    EXPECT_TRUE(window.windowTimerRunning(7));
    ASSERT_TRUE(pumpUntil([&] { return firedOf(7) >= 2; }));
    window.killWindowTimer(7);
    EXPECT_FALSE(window.windowTimerRunning(7));
    const auto fired = firedOf(7);
    EXPECT_EQ(static_cast<std::size_t>(fired), window.timers.size());
    // A timer of the same interval set after the kill fires three times; a
    // timer 7 still running would have fired meanwhile too.
    window.setWindowTimer(8, 5ms);
    ASSERT_TRUE(pumpUntil([&] { return firedOf(8) >= 3; }));
    EXPECT_EQ(firedOf(7), fired);
    EXPECT_EQ(firedOf(9), 0);
    EXPECT_TRUE(window.windowTimerRunning(9));
}
