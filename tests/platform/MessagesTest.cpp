#include "platform/Messages.h"

#include <QWidget>

#include <gtest/gtest.h>

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
    window.setWindowTimer(7, 5ms);
    window.setWindowTimer(7, 5ms);  // the same number: still one timer
    window.setWindowTimer(9, 1h);
    EXPECT_TRUE(window.windowTimerRunning(7));
    platform::pumpEventsFor(60ms);
    window.killWindowTimer(7);
    EXPECT_FALSE(window.windowTimerRunning(7));
    const auto fired = window.timers.size();
    EXPECT_GE(fired, 2u);
    for (unsigned id : window.timers) EXPECT_EQ(id, 7u);
    platform::pumpEventsFor(30ms);
    EXPECT_EQ(window.timers.size(), fired);
    EXPECT_TRUE(window.windowTimerRunning(9));
}

