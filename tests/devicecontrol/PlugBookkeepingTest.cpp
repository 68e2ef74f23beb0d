#include "devicecontrol/PlugBookkeeping.h"

#include <gtest/gtest.h>

#include <array>

using devicecontrol::DEV_PLUG_INFO;

namespace {

TEST(PlugQueueTest, ArrivalsLeaveOldestFirstAndAnUnpluggedOneIsDroppedWhereverItStands) {
    devicecontrol::PlugQueue queue;
    queue.append({0, 0, 1});
    queue.append({2, 0, 1});
    queue.append({0, 1, 1});
    queue.removeArrival(2, 0);
    queue.removeArrival(3, 0);  // nothing of that instance queued
    DEV_PLUG_INFO info;
    ASSERT_TRUE(queue.takeOldest(info));
    EXPECT_EQ(info, (DEV_PLUG_INFO{0, 0, 1}));
    ASSERT_TRUE(queue.takeOldest(info));
    EXPECT_EQ(info, (DEV_PLUG_INFO{0, 1, 1}));
    EXPECT_FALSE(queue.takeOldest(info));
    EXPECT_TRUE(queue.empty());
}

TEST(PlugQueueTest, ThePlugWordPacksPositionAboveInstance) {
    EXPECT_EQ(devicecontrol::PlugWord(0, 3), 3u);
    EXPECT_EQ(devicecontrol::PlugWord(2, 1), 0x20001u);
}

TEST(RemoveRecordTest, RecordsAboveTheRemovedOneMoveDownAndTheLastIsCleared) {
    struct Case {
        int removed;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {0, {2, 3, 4, 0}}, {2, {1, 2, 4, 0}}, {3, {1, 2, 3, 0}}, {4, {1, 2, 3, 4}}, {-1, {1, 2, 3, 4}}};
    for (const Case& c : cases) {
        std::array<int, 4> records{1, 2, 3, 4};
        devicecontrol::RemoveRecordAt(records, c.removed);
        EXPECT_EQ(records, c.expected) << c.removed;
    }
}

}  // namespace
