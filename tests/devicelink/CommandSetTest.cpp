#include "tests/devicelink/DeviceLinkFixture.h"

#include <gmock/gmock.h>

#include <numeric>

using namespace devicelink;
using namespace devicelinktest;

namespace {

// Two controllers that answer every command with data bytes 1, 2, 3, … 60.
class CommandSetTest : public DeviceLinkTest {
protected:
    void SetUp() override {
        std::vector<std::uint8_t> counting(60);
        std::iota(counting.begin(), counting.end(), 1);
        for (const char* path : {"a", "b"}) {
            devices.push_back(backend->plug(controllerInfo(path, kStandardAppProductId), false));
            devices.back()->setResponder(echoWith(counting));
        }
        ASSERT_TRUE(open(driver, 0));
        driver.groupList() = {0, 1};
    }

    // The records each device received since the last call.
    std::vector<std::vector<LedCommandRecord>> takeWritten() {
        std::vector<std::vector<LedCommandRecord>> result;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const auto written = devices[i]->written();
            std::vector<LedCommandRecord> records;
            for (std::size_t k = seen.size() > i ? seen[i] : 0; k < written.size(); ++k)
                records.push_back(LedCommandRecord::fromBytes(written[k].data() + 1));
            if (seen.size() <= i) seen.resize(i + 1);
            seen[i] = written.size();
            result.push_back(records);
        }
        return result;
    }

    std::vector<std::shared_ptr<FakeDevice>> devices;
    std::vector<std::size_t> seen;
    CUSBDriver driver;
};

TEST_F(CommandSetTest, EveryOperationSendsItsRecordToItsAddress) {
    std::uint8_t sixty[60];
    std::iota(std::begin(sixty), std::end(sixty), 100);
    std::uint8_t colours[48];
    std::iota(std::begin(colours), std::end(colours), 50);
    EffectBlock slot{};
    slot.fill(0xFF);
    slot[0] = 0x07;
    slot[1] = 3;
    slot[5] = 1;
    std::uint8_t out64[64];
    std::uint8_t out60[60];
    std::uint8_t out20[20];
    std::uint8_t out18[18];
    std::uint32_t m = 0, p = 0;
    std::uint16_t r = 0, number = 0;
    std::uint8_t s = 0;
    EffectBlock readSlot{};
    readSlot[0] = 0x00;

    const struct {
        const char* name;
        std::function<int()> run;
        std::uint8_t cmd, key;
        std::uint16_t index;
        std::vector<std::uint8_t> data;  // leading data bytes; the rest must be zero unless `filled`
        bool group;                      // sent to both devices, else only to device 1
    } cases[] = {
        {"GetFwInfo", [&] { return driver.GetFwInfo(out64, 1); }, 0x12, 0x00, 0, {}, false},
        {"GetApInfoIndex", [&] { return driver.GetApInfoIndex(number, 1); }, 0x12, 0x01, 0, {}, false},
        {"GetInfoBlock", [&] { return driver.GetInfoBlock(3, out60, 1); }, 0x12, 0x23, 0, {}, false},
        {"ReadLinkInfo", [&] { return driver.ReadLinkInfo(1); }, 0x40, 0x20, 0, {}, false},
        {"ReadLinkStatus", [&] { return driver.ReadLinkStatus(out20, 1); }, 0x40, 0x63, 0, {}, false},
        {"SetControlMode", [&] { return driver.SetControlMode(128, 1); }, 0x41, 0x80, 0, {}, false},
        {"SetEventReport",
         [&] { return driver.SetEventReport(0x01000001, 1, 1); },
         0x42,
         0x00,
         0,
         {1, 0, 0, 1, 1},
         false},
        {"SendControl 00", [&] { return driver.SendControl(0x00, 1); }, 0x50, 0x00, 0, {}, false},
        {"SendControl 10", [&] { return driver.SendControl(0x10, kCurrentGroup); }, 0x50, 0x10, 0, {1}, true},
        {"SendControl 55", [&] { return driver.SendControl(0x55, 1); }, 0x50, 0x55, 0, {}, false},
        {"SetEffectMode",
         [&] { return driver.SetEffectMode(0xE0, 0x04030201, 0xAABBCCDD, 1); },
         0x51,
         0x28,
         0,
         {0xE0, 0, 0, 0, 1, 2, 3, 4, 0xDD, 0xCC, 0xBB},
         false},
        {"GetEffectMode", [&] { return driver.GetEffectMode(m, p, r, s, 1); }, 0x52, 0x28, 0, {}, false},
        {"GetEffectModeList", [&] { return driver.GetEffectModeList(out18, 1); }, 0x52, 0x29, 0, {}, false},
        {"SetEffectSlot",
         [&] { return driver.SetEffectSlot(0x105, slot); },
         0x51,
         0x2C,
         5,
         {0x07, 0x62, 0xFF, 0x05, 0xFF, 0x99, 0xFF, 0xFF, 0xFF, 0xFF},
         true},
        {"GetEffectSlot", [&] { return driver.GetEffectSlot(6, readSlot, 1); }, 0x52, 0x2C, 6, {}, false},
        {"BeginCustomColors", [&] { return driver.BeginCustomColors(1); }, 0x51, 0x30, 0, {}, false},
        {"SetMorseBlock", [&] { return driver.SetMorseBlock(5, sixty); }, 0x51, 0x73, 5, {100, 101, 102}, true},
        {"GetMorseBlock", [&] { return driver.GetMorseBlock(7, out60, 1); }, 0x52, 0x73, 7, {}, false},
        {"SetIdentityBlock", [&] { return driver.SetIdentityBlock(sixty, 1); }, 0x51, 0x94, 0, {100, 101}, false},
        {"GetIdentityBlock", [&] { return driver.GetIdentityBlock(out60, 1); }, 0x52, 0x94, 0, {}, false},
        {"SetSyncFlag", [&] { return driver.SetSyncFlag(0x10); }, 0x51, 0x96, 0, {0x10}, true},
        {"GetSyncFlag", [&] { return driver.GetSyncFlag(s, 1); }, 0x52, 0x96, 0, {}, false},
        {"SetColorPair",
         [&] { return driver.SetColorPair(0x030201, 0x0C0B0A); },
         0x51,
         0x9C,
         1,
         {0x0A, 0x0B, 0x0C, 0x01, 0x02, 0x03},
         true},
        {"GetColorPair", [&] { return driver.GetColorPair(m, p, 1); }, 0x52, 0x9C, 1, {}, false},
        {"SetZoneMap", [&] { return driver.SetZoneMap(sixty); }, 0x51, 0xA0, 1, {100, 101}, true},
        {"GetZoneMap",
         [&] {
             std::copy(std::begin(sixty), std::end(sixty), std::begin(out60));
             return driver.GetZoneMap(out60, 1);
         },
         0x52,
         0xA0,
         1,
         {100, 101, 102},
         false},
        {"SetCustomColors", [&] { return driver.SetCustomColors(2, colours); }, 0x51, 0xA8, 2, {50, 51, 52}, true},
    };
    for (const auto& c : cases) {
        takeWritten();
        EXPECT_EQ(c.run(), 0) << c.name;
        const auto written = takeWritten();
        ASSERT_EQ(written[0].size(), c.group ? 1u : 0u) << c.name;
        ASSERT_EQ(written[1].size(), 1u) << c.name;
        const LedCommandRecord& sent = written[1][0];
        EXPECT_EQ(sent.cmd, c.cmd) << c.name;
        EXPECT_EQ(sent.key, c.key) << c.name;
        EXPECT_EQ(sent.index, c.index) << c.name;
        for (std::size_t i = 0; i < c.data.size(); ++i) EXPECT_EQ(sent.data[i], c.data[i]) << c.name << " data " << i;
        const bool wholeBlock = c.cmd == 0x51 && (c.key == 0x2C || c.key == 0x73 || c.key == 0x94 || c.key == 0xA0);
        if (!wholeBlock && c.key != 0xA8 && !(c.cmd == 0x52 && c.key == 0xA0)) {
            for (std::size_t i = c.data.size(); i < 60; ++i) ASSERT_EQ(sent.data[i], 0) << c.name << " data " << i;
        }
    }
    // The two data bytes after the custom colours stay zero.
    takeWritten();
    ASSERT_EQ(driver.SetCustomColors(0, colours), 0);
    const LedCommandRecord custom = takeWritten()[1][0];
    EXPECT_EQ(custom.data[47], 97);
    EXPECT_EQ(custom.data[48], 0);
}

TEST_F(CommandSetTest, ReadsTakeTheirValuesFromTheReply) {
    std::uint8_t info[64];
    std::fill(std::begin(info), std::end(info), 0xEE);
    ASSERT_EQ(driver.GetFwInfo(info, 0), 0);
    EXPECT_EQ(info[0], 1);
    EXPECT_EQ(info[59], 60);
    EXPECT_EQ(info[60], 0) << "the last four bytes are zeroed";
    EXPECT_EQ(info[63], 0);

    ASSERT_EQ(driver.ReadLinkInfo(0), 0);
    EXPECT_EQ(driver.linkInfo().value, 0x04030201u);
    EXPECT_EQ(driver.linkInfo().number, 0x0605);
    EXPECT_EQ(driver.linkInfo().flag, 7);

    std::uint32_t m = 0, p = 0;
    std::uint16_t r = 0;
    std::uint8_t s = 0;
    ASSERT_EQ(driver.GetEffectMode(m, p, r, s, 0), 0);
    EXPECT_EQ(m, 0x04030201u);
    EXPECT_EQ(p, 0x08070605u);
    EXPECT_EQ(r, 0x0A09);
    EXPECT_EQ(s, 11);

    std::uint32_t a = 0, b = 0;
    ASSERT_EQ(driver.GetColorPair(a, b, 0), 0);
    EXPECT_EQ(b, 0x030201u);
    EXPECT_EQ(a, 0x060504u);

    std::uint8_t status[20];
    ASSERT_EQ(driver.ReadLinkStatus(status, 0), 0);
    EXPECT_EQ(status[19], 20);
}

TEST_F(CommandSetTest, ApplicationInfoIndexIsTakenOnlyFromAType4Reply) {
    std::uint16_t number = 0x1234;
    EXPECT_EQ(driver.GetApInfoIndex(number, 0), 0) << "success even without the number";
    EXPECT_EQ(number, 0x1234);
    devices[0]->setResponder(echoWith({4, 0, 0x22, 0x11}));
    EXPECT_EQ(driver.GetApInfoIndex(number, 0), 0);
    EXPECT_EQ(number, 0x1122);
}

TEST_F(CommandSetTest, EffectSlotReadTranslatesTheStoredSlotBack) {
    // The controller holds mode 0x02 at device speed 0x80 and brightness 0x7F.
    devices[0]->setResponder(echoWith({0x02, 0x80, 0, 0, 0, 0x7F}));
    EffectBlock block{};
    block[0] = 0x02;
    ASSERT_EQ(driver.GetEffectSlot(1, block, 0), 0);
    EXPECT_EQ(block[1], 2);
    EXPECT_EQ(block[5], 2);
    devices[0]->setResponder(echoWith({0x02, 0x80, 0, 0, 0, 0x40}));
    ASSERT_EQ(driver.GetEffectSlot(1, block, 0), 0);
    EXPECT_EQ(block[5], 1);
}

TEST_F(CommandSetTest, FailedReadsLeaveTheirOutputsAlone) {
    devices[1]->setResponder(nullptr);
    std::uint8_t block[60];
    std::fill(std::begin(block), std::end(block), 0xEE);
    EXPECT_EQ(driver.GetInfoBlock(0, block, 1), 1);
    EXPECT_EQ(block[0], 0) << "the information block is zeroed first";
    std::uint8_t flag = 0x33;
    EXPECT_EQ(driver.GetSyncFlag(flag, 1), 1);
    EXPECT_EQ(flag, 0x33);
    const LinkInfo before = driver.linkInfo();
    EXPECT_EQ(driver.ReadLinkInfo(1), 1);
    EXPECT_EQ(driver.linkInfo().value, before.value);
}

TEST_F(CommandSetTest, DisconnectedDriverFailsAtOnceAndSendsNothing) {
    CUSBDriver closed;
    std::uint8_t info[64];
    std::fill(std::begin(info), std::end(info), 0xEE);
    takeWritten();
    EXPECT_EQ(closed.GetFwInfo(info, 0), 1);
    EXPECT_EQ(info[0], 0xEE);
    EXPECT_EQ(closed.SetControlMode(3, 0), 1);
    EXPECT_EQ(closed.SetSyncFlag(0x10), 1);
    driver.CloseDriver();
    EXPECT_EQ(driver.SendControl(0x55, 0), 1);
    const auto written = takeWritten();
    EXPECT_TRUE(written[0].empty());
    EXPECT_TRUE(written[1].empty());
}

}  // namespace
