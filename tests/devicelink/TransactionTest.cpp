#include "platform/Companion.h"
#include "platform/CompanionChannel.h"
#include "platform/DebugLog.h"
#include "tests/devicelink/DeviceLinkFixture.h"

#include <gmock/gmock.h>

using namespace devicelink;
using namespace devicelinktest;
using namespace std::chrono_literals;

namespace {

LedCommandRecord command(std::uint8_t cmd, std::uint8_t key, std::uint16_t index = 0, std::uint8_t data0 = 0) {
    LedCommandRecord record;
    record.cmd = cmd;
    record.key = key;
    record.index = index;
    record.data[0] = data0;
    return record;
}

// Three controllers; each answers with its own position in data byte 0.
class TransactionTest : public DeviceLinkTest {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            const std::string path = "dev" + std::to_string(i);
            devices.push_back(backend->plug(controllerInfo(path, kStandardAppProductId), false));
            devices.back()->setResponder(echoWith({static_cast<std::uint8_t>(0xA0 + i)}));
        }
        ASSERT_TRUE(open(driver, 0));
        ASSERT_TRUE(companion.start());
    }

    std::vector<std::size_t> writesPerDevice() const {
        std::vector<std::size_t> counts;
        for (const auto& device : devices) counts.push_back(device->written().size());
        return counts;
    }

    std::vector<std::shared_ptr<FakeDevice>> devices;
    CUSBDriver driver;
    platform::CompanionListener companion{platform::kCompanionTitle};
};

TEST_F(TransactionTest, DefaultAddressGoesToTheDefaultDeviceAndTheCompanionHearsItsPosition) {
    driver.setDefaultDevice(1);
    LedCommandRecord record = command(0x52, 0x94);
    EXPECT_EQ(driver.SetData(record, kDefaultDevice), 0);
    EXPECT_EQ(record.data[0], 0xA1);
    EXPECT_EQ(writesPerDevice(), (std::vector<std::size_t>{0, 1, 0}));
    ASSERT_TRUE(companion.waitForCount(2, 1000ms));
    const std::vector<platform::CompanionMessage> expected = {{2931, 1, 1}, {2931, 1, 0}};
    EXPECT_EQ(companion.received(), expected);
}

TEST_F(TransactionTest, GroupRunsOneTransactionPerMemberAndKeepsTheLastReply) {
    const struct {
        std::vector<int> group;
        std::vector<std::size_t> writes;
        std::uint8_t lastReply;
        std::vector<std::uint32_t> companionAddresses;
    } cases[] = {
        {{0, 2}, {1, 0, 1}, 0xA2, {0xFFFFF, 0, 0, 2, 2, 0xFFFFF}},
        {{2, 3, 0xFFFFF, 1}, {0, 1, 1}, 0xA1, {0xFFFFF, 2, 2, 1, 1, 0xFFFFF}},  // beyond the count and "group" skipped
        {{}, {1, 0, 0}, 0xA0, {0xFFFFF, 0, 0, 0xFFFFF}},                        // empty group: the default device
    };
    for (const auto& c : cases) {
        const std::vector<std::size_t> before = writesPerDevice();
        const std::size_t heardBefore = companion.received().size();
        driver.groupList() = c.group;
        LedCommandRecord record = command(0x52, 0x9C, 1);
        EXPECT_EQ(driver.SetData(record, kCurrentGroup), 0);
        EXPECT_EQ(record.data[0], c.lastReply);
        EXPECT_EQ(record.cmd, 0x52);
        std::vector<std::size_t> writes = writesPerDevice();
        for (std::size_t i = 0; i < writes.size(); ++i) writes[i] -= before[i];
        EXPECT_EQ(writes, c.writes);
        ASSERT_TRUE(companion.waitForCount(heardBefore + c.companionAddresses.size(), 1000ms));
        const auto heard = companion.received();
        std::vector<std::uint32_t> addresses;
        std::vector<std::int32_t> phases;
        for (std::size_t i = heardBefore; i < heard.size(); ++i) {
            addresses.push_back(heard[i].wParam);
            phases.push_back(heard[i].lParam);
        }
        EXPECT_EQ(addresses, c.companionAddresses);
        // 1 before and 0 after the whole group, each member's pair nested inside.
        for (std::size_t i = 0; i < phases.size(); ++i)
            EXPECT_EQ(phases[i], i == 0 ? 1 : i + 1 == phases.size() ? 0 : static_cast<int>(i % 2)) << i;
    }
}

TEST_F(TransactionTest, GroupResultIsTheOrOfItsMembers) {
    devices[2]->setResponder(nullptr);  // position 2 never answers
    driver.groupList() = {0, 2};
    LedCommandRecord record = command(0x52, 0x96);
    EXPECT_EQ(driver.SetData(record, kCurrentGroup), 1);
    EXPECT_EQ(record.data[0], 0) << "the last member's record stays the request";
}

TEST_F(TransactionTest, BroadcastWritesEveryDeviceAndWaitsForNoReply) {
    for (auto& device : devices) device->setResponder(nullptr);
    LedCommandRecord record = command(0x50, 0x55);
    EXPECT_EQ(driver.SetData(record, kAllDevices), 0);
    EXPECT_EQ(writesPerDevice(), (std::vector<std::size_t>{1, 1, 1}));
    devices[1]->setWriteFails(true);
    EXPECT_EQ(driver.SetData(record, kAllDevices), 1);
}

TEST_F(TransactionTest, BroadcastWithoutDevicesSucceedsAndWritesNothing) {
    CUSBDriver empty{devicelink::Family::Led5};  // the plugged controllers are all of the other kind
    ASSERT_FALSE(open(empty, 2));
    LedCommandRecord record = command(0x50, 0x55);
    EXPECT_EQ(empty.SetData(record, kAllDevices), 0);
}

TEST_F(TransactionTest, OnlyAReplyWithTheSameCmdKeyAndIndexCompletesTheTransaction) {
    devices[0]->setResponder([](const std::vector<std::uint8_t>& report) {
        std::vector<std::uint8_t> reply(report.begin(), report.end());
        reply[3] ^= 1;  // another index
        reply[5] = 0x55;
        return std::vector<std::vector<std::uint8_t>>{reply};
    });
    LedCommandRecord record = command(0x52, 0x2C, 1);
    const LedCommandRecord sent = record;
    EXPECT_EQ(driver.SetData(record, 0), 1);
    EXPECT_EQ(record, sent);
}

TEST_F(TransactionTest, ErrorRepliesAndFailedWritesFail) {
    devices[0]->setResponder([](const std::vector<std::uint8_t>&) {
        std::vector<std::uint8_t> reply(65, 0);
        reply[1] = 0xFF;
        reply[2] = 0xAA;
        return std::vector<std::vector<std::uint8_t>>{reply};
    });
    LedCommandRecord record = command(0x52, 0x94);
    EXPECT_EQ(driver.SetData(record, 0), 1);
    devices[1]->setWriteFails(true);
    EXPECT_EQ(driver.SetData(record, 1), 1);
}

TEST_F(TransactionTest, LateMatchingReplyIsStoredInThePendingRecord) {
    devices[0]->setResponder(nullptr);
    LedCommandRecord record = command(0x52, 0x73, 3);
    EXPECT_EQ(driver.SetData(record, 0), 1);
    std::vector<std::uint8_t> late(65, 0);
    const auto bytes = command(0x52, 0x73, 3, 0x77).bytes();
    std::copy(bytes.begin(), bytes.end(), late.begin() + 1);
    devices[0]->pushInput(late);
    ASSERT_TRUE(pumpUntil([&] { return driver.pendingRecord().data[0] == 0x77; }));
    // A late reply for another command changes nothing.
    late[3] = 4;
    late[5] = 0x11;
    devices[0]->pushInput(late);
    platform::pumpEventsFor(30ms);
    EXPECT_EQ(driver.pendingRecord().data[0], 0x77);
}

TEST_F(TransactionTest, EventReportsPostTheControllerEvent) {
    const struct {
        std::uint16_t index;
        std::array<std::uint8_t, 5> data;
        bool posts;
        std::uintptr_t wParam;
    } cases[] = {
        {0, {0, 0, 0, 0, 0}, false, 0}, {0, {0, 9, 0, 0, 0}, false, 0}, {0, {5, 0, 0, 0, 0}, true, 5},
        {0, {0, 0, 0, 1, 0}, true, 0},  {0, {0, 0, 0, 0, 1}, true, 0},  {0x40, {3, 0, 0, 0, 0}, true, 0},
        {1, {5, 0, 0, 0, 0}, false, 0},
    };
    for (const auto& c : cases) {
        owner.messages.clear();
        LedCommandRecord report = command(0x42, 0x20, c.index);
        std::copy(c.data.begin(), c.data.end(), report.data.begin());
        driver.onReply(report.bytes().data());
        platform::pumpEvents(3);
        const auto events = owner.withId(kMsgDeviceEvent);
        ASSERT_EQ(events.size(), c.posts ? 1u : 0u) << c.index << " " << int(c.data[0]);
        if (c.posts) {
            EXPECT_EQ(events[0].wParam, c.wParam);
            EXPECT_EQ(events[0].lParam, driver.connected());
        }
    }
}

TEST_F(TransactionTest, DebugLogRecordsEachTransactionWhenDebugIsOn) {
    platform::enableDebugLog(true);
    devices[2]->setResponder(nullptr);
    LedCommandRecord answered = command(0x52, 0x94, 0, 0x05);
    LedCommandRecord unanswered = command(0x41, 0x03);
    driver.SetData(answered, 0);
    driver.SetData(unanswered, 2);
    platform::enableDebugLog(false);
    const std::string log = testsupport::readFileBytes(platform::debugLogPath());
    for (const char* line :
         {"SetData Out: cmd:52, Key:94, Index:0, Data:5", "SetData In: cmd:52, Key:94, Index:0, Data:a0",
          "SetData Out: cmd:41, Key:3, Index:0, Data:0", "SetData Error ...Error "})
        EXPECT_NE(log.find(testsupport::utf16le(line)), std::string::npos) << line;
}

}  // namespace
