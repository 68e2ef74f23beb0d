#include "sim/SimBackend.h"
#include "tests/devicelink/DeviceLinkFixture.h"

#include <gmock/gmock.h>

#include <thread>

using namespace devicelink;
using namespace devicelinktest;
using namespace std::chrono_literals;
using testing::ElementsAre;

namespace {

// The device link against emulated controllers in the same process.
class SimIntegrationTest : public testsupport::IsolatedTest {
protected:
    SimIntegrationTest() { HidSetBackend(simulator); }
    ~SimIntegrationTest() override { HidSetBackend(nullptr); }

    bool open(CUSBDriver& driver, int instance) {
        driver.setOwner(&owner);
        driver.setInstanceIndex(instance);
        driver.setCommandPause(0ms);
        return driver.OpenDriver();
    }

    std::vector<std::pair<std::uintptr_t, std::intptr_t>> plugMessages() const {
        std::vector<std::pair<std::uintptr_t, std::intptr_t>> found;
        for (const auto& message : owner.withId(kMsgPlug)) found.emplace_back(message.wParam, message.lParam);
        return found;
    }

    ScopedTiming timing;
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
    MessageRecorder owner;
};

using Plug = std::pair<std::uintptr_t, std::intptr_t>;

TEST_F(SimIntegrationTest, ControllersOfBothKindsComeAndGoOnTheirOwnLinks) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    const int led5 = simulator->plug(sim::ControllerKind::Led5).front();
    CUSBDriver standard;
    CUSBDriver second{devicelink::Family::Led5};
    ASSERT_TRUE(open(standard, 0));
    ASSERT_TRUE(open(second, 2));
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 3; }));
    EXPECT_THAT(plugMessages(),
                ElementsAre(Plug{plugWParam(0, 0), 1}, Plug{plugWParam(1, 0), 1}, Plug{plugWParam(0, 2), 1}));
    EXPECT_EQ(standard.deviceIdOfOrdinal(0), 1);
    EXPECT_EQ(standard.deviceIdOfOrdinal(1), 2);
    EXPECT_EQ(standard.deviceIdOfOrdinal(5), 2);
    EXPECT_EQ(second.deviceIdOfOrdinal(0), 1);

    owner.messages.clear();
    simulator->unplug(led5);
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 1; }));
    EXPECT_EQ(plugMessages()[0], (Plug{plugWParam(0, 2), 0}));
    EXPECT_EQ(second.connected(), 0);

    simulator->plug(sim::ControllerKind::Led5);
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 2; }));
    EXPECT_EQ(plugMessages()[1], (Plug{plugWParam(0, 2), 1}));
    EXPECT_EQ(second.deviceIdOfOrdinal(0), 2) << "IDs go on counting while the link stays open";
}

TEST_F(SimIntegrationTest, SuspendAndResumeRenumberFromOne) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 2; }));
    simulator->suspend();
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 4; }));
    EXPECT_EQ(plugMessages()[2].second, 0);
    EXPECT_EQ(plugMessages()[3].second, 0);
    LedCommandRecord record;
    record.cmd = 0x52;
    record.key = 0x94;
    EXPECT_EQ(driver.SetData(record, 0), 1);
    simulator->resume();
    ASSERT_TRUE(pumpUntil([&] { return plugMessages().size() == 6; }));
    EXPECT_EQ(driver.deviceIdOfOrdinal(0), 1);
    EXPECT_EQ(driver.deviceIdOfOrdinal(1), 2);
    EXPECT_EQ(driver.SetData(record, 1), 0);
}

TEST_F(SimIntegrationTest, SettingsWrittenAreReadBackThroughTheCommandSet) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    driver.groupList() = {0, 1};

    std::uint8_t identity[60] = {18, 1, 2, 3, 4, 5, 6, 7, 8, 'C', 0, 'a', 0, 'r', 0, 'd', 0};
    ASSERT_EQ(driver.SetIdentityBlock(identity, 1), 0);
    std::uint8_t readIdentity[60] = {};
    ASSERT_EQ(driver.GetIdentityBlock(readIdentity, 1), 0);
    EXPECT_TRUE(std::equal(std::begin(identity), std::end(identity), std::begin(readIdentity)));

    ASSERT_EQ(driver.SetColorPair(0x112233, 0x445566), 0);
    ASSERT_EQ(driver.SetSyncFlag(0x10), 0);
    std::uint8_t morse[60] = {'.', '-', '.'};
    ASSERT_EQ(driver.SetMorseBlock(3, morse), 0);
    EffectBlock slot{};
    slot.fill(0xFF);
    slot[0] = 0x07;
    slot[1] = 3;
    slot[5] = 1;
    ASSERT_EQ(driver.SetEffectSlot(1, slot), 0);

    for (int position : {0, 1}) {
        std::uint32_t a = 0, b = 0;
        ASSERT_EQ(driver.GetColorPair(a, b, position), 0);
        EXPECT_EQ(a, 0x112233u);
        EXPECT_EQ(b, 0x445566u);
        std::uint8_t flag = 0;
        ASSERT_EQ(driver.GetSyncFlag(flag, position), 0);
        EXPECT_EQ(flag, 0x10);
        std::uint8_t readMorse[60] = {};
        ASSERT_EQ(driver.GetMorseBlock(3, readMorse, position), 0);
        EXPECT_EQ(readMorse[1], '-');
        EffectBlock read{};
        read[0] = 0x07;
        ASSERT_EQ(driver.GetEffectSlot(1, read, position), 0);
        EXPECT_EQ(read[1], 3) << "speed level";
        EXPECT_EQ(read[5], 1) << "brightness level";
        EXPECT_EQ(read[3], 0x05) << "the device's variant stays";
    }
    // On the wire the slot carried device values.
    bool sawSlot = false;
    for (const auto& entry : simulator->trace())
        if (entry.record[0] == 0x51 && entry.record[1] == 0x2C) {
            sawSlot = true;
            EXPECT_EQ(entry.record[4 + 1], 0x62);
            EXPECT_EQ(entry.record[4 + 5], 0x99);
        }
    EXPECT_TRUE(sawSlot);
}

TEST_F(SimIntegrationTest, BroadcastReachesEveryControllerAndGroupOnlyItsMembers) {
    const auto ids = simulator->plug(sim::ControllerKind::Standard, 3);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    LedCommandRecord control;
    control.cmd = 0x50;
    control.key = 0x55;
    EXPECT_EQ(driver.SetData(control, kAllDevices), 0);
    driver.groupList() = {0, 2};
    EXPECT_EQ(driver.SetControlMode(128, kCurrentGroup), 0);
    platform::pumpEventsFor(20ms);
    std::map<int, std::vector<std::uint8_t>> cmdsPerDevice;
    for (const auto& entry : simulator->trace()) cmdsPerDevice[entry.deviceId].push_back(entry.record[0]);
    EXPECT_THAT(cmdsPerDevice[ids[0]], ElementsAre(0x50, 0x41));
    EXPECT_THAT(cmdsPerDevice[ids[1]], ElementsAre(0x50));
    EXPECT_THAT(cmdsPerDevice[ids[2]], ElementsAre(0x50, 0x41));
}

TEST_F(SimIntegrationTest, LostErrorAndLateRepliesFailTheTransaction) {
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    std::uint8_t flag = 0;
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::DropReplies, 1));
    EXPECT_EQ(driver.GetSyncFlag(flag, 0), 1);
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::ErrorReplies, 1));
    EXPECT_EQ(driver.GetSyncFlag(flag, 0), 1);
    EXPECT_EQ(driver.GetSyncFlag(flag, 0), 0) << "the faults were used up";

    ASSERT_EQ(driver.SetColorPair(0x010203, 0x0A0B0C), 0);
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::DelayMs, 300));
    std::uint32_t a = 0, b = 0;
    EXPECT_EQ(driver.GetColorPair(a, b, 0), 1);
    EXPECT_EQ(a, 0u);
    // The late reply still lands in the pending record of its command.
    ASSERT_TRUE(pumpUntil([&] { return driver.pendingRecord().data[0] == 0x0C; }));
    EXPECT_EQ(driver.pendingRecord().key, 0x9C);
}

// Waits, without running the event loop, until the HID library has let the device go.
bool libraryDropped(std::uint16_t deviceId, int instance) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (!HidIsOpen(deviceId, instance)) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST_F(SimIntegrationTest, ACommandToAControllerThatLeftFailsAndTheLastOneLeavingClosesTheLink) {
    const std::vector<int> ids = simulator->plug(sim::ControllerKind::Standard, 2);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    ASSERT_TRUE(pumpUntil([&] { return driver.deviceCount() == 2; }));
    ASSERT_TRUE(HidIsOpen(driver.deviceIdOfOrdinal(0), 0));

    // The removal messages stay unhandled: the link learns from its own commands.
    simulator->unplug(ids[0]);
    ASSERT_TRUE(libraryDropped(driver.deviceIdOfOrdinal(0), 0));
    EXPECT_EQ(driver.SetControlMode(3, 0), 1);
    EXPECT_NE(driver.connected(), 0) << "the other controller is still there";
    EXPECT_EQ(driver.SetControlMode(3, 1), 0);

    simulator->unplug(ids[1]);
    ASSERT_TRUE(libraryDropped(driver.deviceIdOfOrdinal(1), 0));
    EXPECT_EQ(driver.SetControlMode(3, 1), 1);
    EXPECT_EQ(driver.deviceCount(), 2);
    EXPECT_EQ(driver.connected(), 0);
}

TEST_F(SimIntegrationTest, EventReportsOfTheControllerReachTheOwner) {
    const int id = simulator->plug(sim::ControllerKind::Led5).front();
    CUSBDriver driver{devicelink::Family::Led5};
    ASSERT_TRUE(open(driver, 2));
    const std::uint8_t pressed[5] = {3, 0, 0, 0, 0};
    const std::uint8_t quiet[5] = {};
    ASSERT_TRUE(simulator->sendEventReport(id, 0, quiet));
    ASSERT_TRUE(simulator->sendEventReport(id, 0, pressed));
    ASSERT_TRUE(simulator->sendEventReport(id, 0x40, quiet));
    ASSERT_TRUE(pumpUntil([&] { return owner.withId(kMsgDeviceEvent).size() == 2; }));
    const auto events = owner.withId(kMsgDeviceEvent);
    EXPECT_EQ(events[0].wParam, 3u);
    EXPECT_EQ(events[1].wParam, 0u);
    EXPECT_NE(events[0].lParam, 0);
}

}  // namespace
