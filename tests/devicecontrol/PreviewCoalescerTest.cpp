#include "devicecontrol/PreviewCoalescer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// A coalescer whose scheduled calls wait in a queue until the test runs them,
// as a zero timer waits for the events already posted.
struct Harness {
    std::vector<int> sentStates;
    int state = 0;
    int scheduledCalls = 0;
    std::function<void()> duringSend;
    devicecontrol::PreviewCoalescer coalescer{[this] {
                                                  sentStates.push_back(state);
                                                  if (duringSend) std::exchange(duringSend, {})();
                                              },
                                              [this] { ++scheduledCalls; }};
    void runScheduled() {
        while (scheduledCalls > 0) {
            --scheduledCalls;
            coalescer.run();
        }
    }
};

TEST(PreviewCoalescerTest, ABurstOfEditsSendsOnlyTheNewestStateOnce) {
    Harness h;
    for (int value = 1; value <= 200; ++value) {
        h.state = value;
        h.coalescer.request();
    }
    EXPECT_EQ(h.scheduledCalls, 1);
    h.runScheduled();
    EXPECT_EQ(h.sentStates, std::vector<int>{200});
    EXPECT_FALSE(h.coalescer.pending());
}

TEST(PreviewCoalescerTest, AnEditWhileAPreviewGoesOutIsSentAfterIt) {
    Harness h;
    h.state = 1;
    h.coalescer.request();
    h.duringSend = [&] {
        h.state = 2;
        h.coalescer.request();
        h.state = 3;
        h.coalescer.request();
    };
    h.runScheduled();
    EXPECT_EQ(h.sentStates, (std::vector<int>{1, 3}));
    EXPECT_EQ(h.coalescer.sent(), 2);
}

TEST(PreviewCoalescerTest, FlushSendsAPendingPreviewAtOnceAndTheScheduledCallThenSendsNothing) {
    Harness h;
    h.state = 7;
    h.coalescer.request();
    h.coalescer.flush();
    EXPECT_EQ(h.sentStates, std::vector<int>{7});
    h.runScheduled();
    EXPECT_EQ(h.sentStates, std::vector<int>{7});
    h.coalescer.flush();
    EXPECT_EQ(h.coalescer.sent(), 1);
}

TEST(PreviewCoalescerTest, EditsAfterASendAreScheduledAgain) {
    Harness h;
    h.coalescer.request();
    h.runScheduled();
    h.state = 5;
    h.coalescer.request();
    EXPECT_EQ(h.scheduledCalls, 1);
    h.runScheduled();
    EXPECT_EQ(h.sentStates, (std::vector<int>{0, 5}));
}

}  // namespace
