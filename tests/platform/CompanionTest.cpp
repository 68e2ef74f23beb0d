#include "platform/Companion.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(EnsureCompanionRunning, StartsUpToThreeTimesWithAPauseAfterEachStart) {
    const struct {
        int appearsAfterStarts;  // -1: never
        int expectedStarts;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {-1, 3}};
    for (const auto& c : cases) {
        int starts = 0;
        std::vector<std::string> calls;
        platform::EnsureCompanionRunning([&] { return c.appearsAfterStarts >= 0 && starts >= c.appearsAfterStarts; },
                                         [&] {
                                             ++starts;
                                             calls.push_back("start");
                                         },
                                         [&](std::chrono::milliseconds pause) {
                                             EXPECT_EQ(pause, 500ms);
                                             calls.push_back("pause");
                                         },
                                         500ms);
        EXPECT_EQ(starts, c.expectedStarts) << c.appearsAfterStarts;
        ASSERT_EQ(calls.size(), 2u * c.expectedStarts);
        for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], i % 2 ? "pause" : "start");
    }
}

class CompanionMessagesTest : public testsupport::IsolatedTest {};

TEST_F(CompanionMessagesTest, MessagesAreSkippedWithoutTheCompanionAndReachItOnceItAppears) {
    platform::sendToCompanion(platform::kMsgConfigurationRun, 0, 1);  // nobody listens: skipped, no wait
    platform::CompanionListener listener(platform::kCompanionTitle);
    ASSERT_TRUE(listener.start());
    platform::sendToCompanion(platform::kMsgCommandTransaction, 0xFFFFF, 1);
    platform::postToCompanion(platform::kMsgConfigurationRun, 0, 0);
    ASSERT_TRUE(listener.waitForCount(2, 2000ms));
    const std::vector<platform::CompanionMessage> expected = {{2931, 0xFFFFF, 1}, {2929, 0, 0}};
    EXPECT_EQ(listener.received(), expected);
}
