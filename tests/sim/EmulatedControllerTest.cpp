#include "sim/EmulatedController.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sim::ControllerKind;
using sim::DeviceSpec;
using sim::EmulatedController;
using sim::FaultKind;
using sim::makeRecord;
using sim::Record;
using sim::RecordData;

RecordData dataOf(std::vector<std::uint8_t> bytes) {
    RecordData data{};
    std::copy(bytes.begin(), bytes.end(), data.begin());
    return data;
}

RecordData patterned(std::uint8_t seed) {
    RecordData data{};
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(seed + 3 * i);
    return data;
}

// Sends one record and returns the single reply the controller gives.
Record ask(EmulatedController& controller, const Record& request) {
    auto response = controller.receive(request);
    EXPECT_FALSE(response.unplug);
    EXPECT_EQ(response.replies.size(), 1u);
    return response.replies.empty() ? Record{} : response.replies.front();
}

bool isErrorReplyFor(const Record& reply, const Record& request) {
    return reply[0] == 0xFF && reply[1] == 0xAA && reply[4] == request[0] && reply[5] == request[1];
}

class EmulatedControllerTest : public ::testing::TestWithParam<ControllerKind> {
protected:
    DeviceSpec spec() const {
        DeviceSpec s;
        s.kind = GetParam();
        return s;
    }
};

TEST_P(EmulatedControllerTest, ReadReturnsWhatTheWriteStoredAtTheSameKeyAndIndex) {
    struct Setting {
        std::uint8_t key;
        std::uint16_t index;
    };
    const Setting settings[] = {{0x28, 0}, {0x30, 0}, {0x73, 0}, {0x73, 7}, {0x94, 0},
                                {0x96, 0}, {0x9C, 1}, {0xA0, 1}, {0xA8, 0}, {0xA8, 1}};
    EmulatedController controller(spec(), 1);
    std::uint8_t seed = 1;
    for (const Setting& s : settings) {
        Record write = makeRecord(0x51, s.key, s.index, patterned(seed++));
        EXPECT_EQ(ask(controller, write), write) << std::hex << int(s.key);
    }
    seed = 1;
    for (const Setting& s : settings) {
        Record reply = ask(controller, makeRecord(0x52, s.key, s.index));
        EXPECT_EQ(reply, makeRecord(0x52, s.key, s.index, patterned(seed++)))
            << std::hex << int(s.key) << " " << s.index;
    }
    // Morse blocks are separate per index.
    EXPECT_NE(ask(controller, makeRecord(0x52, 0x73, 0)), ask(controller, makeRecord(0x52, 0x73, 7)));
}

TEST_P(EmulatedControllerTest, EffectSlotsAreKeptPerModeCodeAndZoneSubMode) {
    EmulatedController controller(spec(), 1);
    const RecordData mode07 = dataOf({0x07, 0x62, 0x00, 0x05, 0xFF, 0x99, 0xFF, 0xFF, 0xFF});
    const RecordData mode02 = dataOf({0x02, 0x8C, 0x00, 0xFF, 0xFF, 0x40, 0xFF, 0xFF, 0xFF});
    const RecordData zone6sub1 = dataOf({0x06, 0x3C, 0x20, 0x01, 0xFF, 0x99, 1, 2, 3});
    const RecordData zone6sub3 = dataOf({0x06, 0x37, 0x20, 0x03, 0xFF, 0xFF, 4, 5, 6});
    for (const RecordData& data : {mode07, mode02, zone6sub1, zone6sub3})
        ask(controller, makeRecord(0x51, 0x2C, 1, data));
    // A second write of the same mode replaces the first.
    RecordData mode02again = mode02;
    mode02again[1] = 0x80;
    ask(controller, makeRecord(0x51, 0x2C, 1, mode02again));

    struct Read {
        std::uint16_t slot;
        RecordData asked;  // what the request carries
        RecordData expected;
    };
    const Read reads[] = {
        {1, dataOf({0x07, 0xFF, 0xFF, 0xFF}), mode07},
        {1, dataOf({0x02}), mode02again},
        {1, dataOf({0x06, 0, 0, 0x01}), zone6sub1},
        {1, dataOf({0x06, 0xFF, 0xFF, 0x03}), zone6sub3},
        // never written: a blank record of the mode asked for
        {1, dataOf({0x06, 0, 0, 0x02}), dataOf({0x06, 0, 0, 0x02})},
        {1, dataOf({0x0B, 0x11, 0x22, 0x33}), dataOf({0x0B})},
        // slots are separate per index
        {0, dataOf({0x07}), dataOf({0x07})},
    };
    for (const Read& read : reads) {
        Record reply = ask(controller, makeRecord(0x52, 0x2C, read.slot, read.asked));
        EXPECT_EQ(reply, makeRecord(0x52, 0x2C, read.slot, read.expected))
            << "slot " << read.slot << " mode " << std::hex << int(read.asked[0]);
    }
}

TEST_P(EmulatedControllerTest, CommandsOutsideTheSetGetAnErrorReplyNamingThem) {
    EmulatedController controller(spec(), 1);
    const Record requests[] = {
        makeRecord(0x13, 0x00, 0), makeRecord(0x51, 0x73, 8), makeRecord(0x51, 0x94, 1), makeRecord(0x51, 0x9C, 0),
        makeRecord(0x51, 0x42, 0), makeRecord(0x52, 0xA0, 0), makeRecord(0x52, 0x29, 1), makeRecord(0x50, 0x11, 0),
        makeRecord(0x42, 0x01, 0), makeRecord(0x12, 0x03, 0), makeRecord(0x12, 0x00, 1), makeRecord(0x40, 0x21, 0),
        makeRecord(0x11, 0x01, 0), makeRecord(0x1F, 60, 0),   makeRecord(0x1E, 0x01, 0),
    };
    for (const Record& request : requests) {
        Record reply = ask(controller, request);
        EXPECT_TRUE(isErrorReplyFor(reply, request)) << sim::toHex(request) << " -> " << sim::toHex(reply);
    }
    // A refused write changes nothing.
    EXPECT_FALSE(controller.setting(0x94, 1));
}

TEST_P(EmulatedControllerTest, ControlCommandsAreEchoedAndRemembered) {
    EmulatedController controller(spec(), 1);
    const Record requests[] = {
        makeRecord(0x41, 0x80, 0),
        makeRecord(0x42, 0x00, 0, std::vector<std::uint8_t>{0x01, 0x00, 0x00, 0x01, 0x01}),
        makeRecord(0x50, 0x10, 0, std::vector<std::uint8_t>{1}),
        makeRecord(0x50, 0x55, 0),
    };
    for (const Record& request : requests) EXPECT_EQ(ask(controller, request), request);
    EXPECT_EQ(controller.controlMode(), 0x80);
    auto state = controller.state();
    auto value = [&](const std::string& key) {
        for (const auto& [k, v] : state)
            if (k == key) return v;
        return std::string("<missing>");
    };
    EXPECT_EQ(value("control-mode"), "80");
    EXPECT_EQ(value("event-report"), "01000001,01");
    EXPECT_EQ(value("last-control"), "55");
    EXPECT_EQ(value("records"), "4");
}

TEST_P(EmulatedControllerTest, EffectModeListAndLinkReadsHaveTheirShape) {
    EmulatedController controller(spec(), 1);
    Record list = ask(controller, makeRecord(0x52, 0x29, 0));
    EXPECT_EQ(list[0], 0x52);
    EXPECT_EQ(list[1], 0x29);
    EXPECT_EQ(list[4], 0x00);  // static is always there
    EXPECT_EQ(list[4 + 17], 0xFF);
    for (std::size_t i = 18; i < 60; ++i) EXPECT_EQ(list[4 + i], 0) << i;

    Record info = ask(controller, makeRecord(0x40, 0x20, 0));
    EXPECT_EQ(info[0], 0x40);
    EXPECT_EQ(info[1], 0x20);
    EXPECT_EQ(info[4] | (info[5] << 8), controller.productId());
    Record status = ask(controller, makeRecord(0x40, 0x63, 0));
    EXPECT_EQ(status[1], 0x63);
}

TEST_P(EmulatedControllerTest, FirmwareInformationAndVersionAreaDescribeTheSpec) {
    DeviceSpec s = spec();
    s.firmware = {3, 7, 0x01020304};
    s.boardId = 0x1234;
    std::array<std::uint8_t, 16> identity{};
    for (std::size_t i = 0; i < 16; ++i) identity[i] = static_cast<std::uint8_t>(0xA0 + i);
    s.identity = identity;
    EmulatedController controller(s, 1);

    Record fw = ask(controller, makeRecord(0x12, 0x00, 0));
    EXPECT_EQ(fw[0], 0x12);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(fw[4 + 4 + i], 0xA0 + i);
    auto u16 = [&](const Record& r, std::size_t dataOffset) { return r[4 + dataOffset] | (r[5 + dataOffset] << 8); };
    EXPECT_EQ(u16(fw, 20), 0x1234);
    const int p = u16(fw, 32), n = u16(fw, 34), start = u16(fw, 36);
    EXPECT_GT(p, 0);
    EXPECT_GT(n, 0);
    EXPECT_GE(start, 3 * 60);  // the version area holds block 0 and the application information

    Record block0 = ask(controller, makeRecord(0x12, 0x20, 0));
    EXPECT_EQ(block0[1], 0x20);
    EXPECT_EQ(block0[4], 26);
    std::u16string text;
    for (std::size_t i = 0; i < 13 && (block0[8 + 2 * i] | block0[9 + 2 * i]); ++i)
        text.push_back(static_cast<char16_t>(block0[8 + 2 * i] | (block0[9 + 2 * i] << 8)));
    EXPECT_EQ(text, u"3.7.16909060");

    Record index = ask(controller, makeRecord(0x12, 0x01, 0));
    ASSERT_EQ(index[4], 4);
    int infoBlock = u16(index, 2);
    Record app = ask(controller, makeRecord(0x12, static_cast<std::uint8_t>(0x20 + infoBlock), 0));
    EXPECT_EQ(app[4 + 2], 3);
    EXPECT_EQ(app[4 + 3], 7);
    EXPECT_EQ(app[4 + 4] | (app[4 + 5] << 8) | (app[4 + 6] << 16) | (app[4 + 7] << 24), 0x01020304);
    EXPECT_EQ(u16(app, 56), 0x5AA5);

    // Beyond the version area the flash reads erased.
    Record beyond = ask(controller, makeRecord(0x12, 0xFF, 0));
    for (std::size_t i = 0; i < 60; ++i) EXPECT_EQ(beyond[4 + i], 0xFF) << i;
    Record mode = ask(controller, makeRecord(0x12, 0x02, 0));
    EXPECT_TRUE(mode[4] == 0 || mode[4] == 1);
}

TEST_P(EmulatedControllerTest, IdentityBlockFollowsNameAndGroup) {
    struct Case {
        const char* name;
        bool group;
        std::uint8_t marker;
    };
    const Case cases[] = {{"", false, 0}, {"Top", false, 18}, {"", true, 19}, {"Ünter", true, 19}};
    for (const Case& c : cases) {
        DeviceSpec s = spec();
        s.name = c.name;
        s.groupMember = c.group;
        EmulatedController controller(s, 7);
        Record block = ask(controller, makeRecord(0x52, 0x94, 0));
        EXPECT_EQ(block[4], c.marker) << c.name;
        bool anyIdentity = false;
        for (int i = 0; i < 4; ++i) {
            int value = block[5 + 2 * i] | (block[6 + 2 * i] << 8);
            if (c.marker) {
                EXPECT_NE(value, 0) << "identity values are 1 to 65535";
            }
            anyIdentity |= value != 0;
        }
        EXPECT_EQ(anyIdentity, c.marker != 0);
        EXPECT_EQ(controller.name(), c.name);
    }
    // Two controllers of one simulator get different identities.
    DeviceSpec s = spec();
    s.name = "x";
    EmulatedController first(s, 1), second(s, 2);
    EXPECT_NE(ask(first, makeRecord(0x52, 0x94, 0)), ask(second, makeRecord(0x52, 0x94, 0)));
}

TEST_P(EmulatedControllerTest, RenameThroughTheIdentityWriteShowsInTheName) {
    EmulatedController controller(spec(), 1);
    RecordData block{};
    block[0] = 18;
    block[1] = 1;
    const char16_t name[] = u"Card B";
    for (std::size_t i = 0; name[i]; ++i) block[9 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    ask(controller, makeRecord(0x51, 0x94, 0, block));
    EXPECT_EQ(controller.name(), "Card B");
}

TEST_P(EmulatedControllerTest, FaultsDropErrorDelayAndUnplug) {
    EmulatedController controller(spec(), 1);
    const Record write = makeRecord(0x51, 0x96, 0, std::vector<std::uint8_t>{0x10});
    const Record read = makeRecord(0x52, 0x96, 0);

    controller.setFault(FaultKind::DropReplies, 1);
    auto dropped = controller.receive(write);
    EXPECT_TRUE(dropped.replies.empty());
    EXPECT_EQ(controller.setting(0x96, 0).value()[0], 0x10) << "a lost reply still stores";
    EXPECT_EQ(ask(controller, read)[4], 0x10) << "only one reply dropped";

    controller.setFault(FaultKind::ErrorReplies, 2);
    EXPECT_TRUE(isErrorReplyFor(ask(controller, read), read));
    EXPECT_TRUE(isErrorReplyFor(ask(controller, write), write));
    EXPECT_EQ(ask(controller, read)[4], 0x10);

    controller.setFault(FaultKind::DelayMs, 40);
    EXPECT_EQ(controller.receive(read).extraDelay, std::chrono::milliseconds(40));
    controller.setFault(FaultKind::DelayMs, 0);
    EXPECT_EQ(controller.receive(read).extraDelay, std::chrono::milliseconds(0));

    controller.setFault(FaultKind::UnplugAfter, 3);
    EXPECT_FALSE(controller.receive(read).unplug);
    EXPECT_FALSE(controller.receive(read).unplug);
    auto last = controller.receive(read);
    EXPECT_TRUE(last.unplug);
    EXPECT_TRUE(last.replies.empty());
}

TEST_P(EmulatedControllerTest, ProductIdFollowsTheKind) {
    EmulatedController controller(spec(), 1);
    EXPECT_EQ(controller.productId(), sim::applicationProductId(GetParam()));
    EXPECT_FALSE(controller.inBootLoader());
}

INSTANTIATE_TEST_SUITE_P(BothKinds, EmulatedControllerTest,
                         ::testing::Values(ControllerKind::Standard, ControllerKind::Led5),
                         [](const ::testing::TestParamInfo<ControllerKind>& param) {
                             return std::string(sim::kindName(param.param));
                         });

TEST(FaultNameTest, RoundTripsEveryKindAndRejectsOthers) {
    for (FaultKind kind : {FaultKind::DropReplies, FaultKind::ErrorReplies, FaultKind::DelayMs, FaultKind::UnplugAfter})
        EXPECT_EQ(sim::parseFaultKind(sim::faultName(kind)), kind);
    EXPECT_FALSE(sim::parseFaultKind("drop"));
    EXPECT_FALSE(sim::parseFaultKind(""));
}

}  // namespace
