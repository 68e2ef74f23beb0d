#include "sim/EmulatedController.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sim::DeviceSpec;
using sim::EmulatedController;
using sim::makeRecord;
using sim::Record;
using sim::RecordData;

RecordData u32Data(std::uint32_t first, std::uint32_t second = 0) {
    RecordData data{};
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<std::uint8_t>(first >> (8 * i));
        data[4 + i] = static_cast<std::uint8_t>(second >> (8 * i));
    }
    return data;
}

std::uint32_t u32Of(const Record& record) {
    return static_cast<std::uint32_t>(record[4] | record[5] << 8 | record[6] << 16) |
           static_cast<std::uint32_t>(record[7]) << 24;
}

EmulatedController bootController(sim::FirmwareVersion firmware = {1, 2, 5}) {
    DeviceSpec spec;
    spec.bootLoader = true;
    spec.firmware = firmware;
    return EmulatedController(spec, 1);
}

Record only(const sim::ControllerResponse& response) {
    EXPECT_EQ(response.replies.size(), 1u);
    return response.replies.empty() ? Record{} : response.replies.front();
}

TEST(BootLoaderTest, EnterAndResetSwitchTheProductIdUnanswered) {
    EmulatedController controller(DeviceSpec{}, 1);
    EXPECT_EQ(controller.productId(), 0x014D);
    auto enter = controller.receive(makeRecord(0x11, 0x00, 0));
    EXPECT_TRUE(enter.reenumerate);
    EXPECT_TRUE(enter.replies.empty());
    EXPECT_EQ(controller.productId(), 0x014E);
    auto reset = controller.receive(makeRecord(0x11, 0x01, 0));
    EXPECT_TRUE(reset.reenumerate);
    EXPECT_TRUE(reset.replies.empty());
    EXPECT_EQ(controller.productId(), 0x014D);
}

TEST(BootLoaderTest, BlockWritesAdvanceTheWritePointAndTheChecksumCoversThem) {
    EmulatedController controller = bootController();
    only(controller.receive(makeRecord(0x1D, 0x00, 0, u32Data(0, 61440))));
    EXPECT_EQ(controller.firmwareVersion(), (sim::FirmwareVersion{0, 0, 0}));  // erased version area
    only(controller.receive(makeRecord(0x1E, 0x01, 0, u32Data(1024))));
    EXPECT_EQ(u32Of(only(controller.receive(makeRecord(0x1E, 0x00, 0, u32Data(0xFFFFFFFFu))))), 1024u);

    const std::vector<std::uint8_t> bytes = {1, 0, 0, 0, 2, 0, 0, 0, 3};
    Record block = makeRecord(0x1F, static_cast<std::uint8_t>(bytes.size()), 0, bytes);
    Record reply = only(controller.receive(block));
    EXPECT_EQ(reply[0], 0x1E);
    EXPECT_EQ(reply[1], 0x02);
    EXPECT_EQ(u32Of(reply), 1024u + 9);
    // The partial last word counts with zero padding: 1 + 2 + 3.
    EXPECT_EQ(u32Of(only(controller.receive(makeRecord(0x1D, 0x01, 0, u32Data(1024, 9))))), 6u);
}

TEST(BootLoaderTest, ShortWriteFaultReturnsAPointTwoBytesShort) {
    EmulatedController controller = bootController();
    controller.setFault(sim::FaultKind::ShortWrites, 1);
    only(controller.receive(makeRecord(0x1E, 0x01, 0, u32Data(1024))));
    const std::vector<std::uint8_t> bytes(60, 0x11);
    EXPECT_EQ(u32Of(only(controller.receive(makeRecord(0x1F, 60, 0, bytes)))), 1024u + 58);
    EXPECT_EQ(u32Of(only(controller.receive(makeRecord(0x1F, 60, 0, bytes)))), 1024u + 58 + 60);
}

TEST(BootLoaderTest, BadRequestsGetTheErrorReply) {
    const Record requests[] = {
        makeRecord(0x1F, 0, 0),                              // empty block
        makeRecord(0x1F, 61, 0),                             // longer than a record carries
        makeRecord(0x1E, 0x01, 0, u32Data(0x00100000)),      // write point outside the flash
        makeRecord(0x1D, 0x01, 0, u32Data(1024, 0x100000)),  // checksum range outside the flash
        makeRecord(0x10, 0x01, 0, u32Data(1)),               // no second sub-device
        makeRecord(0x51, 0x28, 0),                           // application command
    };
    for (const Record& request : requests) {
        EmulatedController controller = bootController();
        Record reply = only(controller.receive(request));
        EXPECT_EQ(reply[0], 0xFF) << int(request[0]) << "/" << int(request[1]);
        EXPECT_EQ(reply[1], 0xAA);
        EXPECT_EQ(reply[4], request[0]);
        EXPECT_EQ(reply[5], request[1]);
    }
}

TEST(BootLoaderTest, VersionComesFromTheApplicationInformationBlock) {
    EmulatedController controller = bootController({1, 2, 5});
    EXPECT_EQ(controller.firmwareVersion(), (sim::FirmwareVersion{1, 2, 5}));
    // Rewrite block 2 of the version area with version 3.4.70000.
    only(controller.receive(makeRecord(0x1D, 0x00, 0, u32Data(0, 1024))));
    only(controller.receive(makeRecord(0x1E, 0x01, 0, u32Data(120))));
    RecordData block{};
    block[2] = 3;
    block[3] = 4;
    block[4] = 0x70;
    block[5] = 0x11;
    block[6] = 0x01;
    block[56] = 0xA5;
    block[57] = 0x5A;
    only(controller.receive(makeRecord(0x1F, 60, 0, block)));
    EXPECT_EQ(controller.firmwareVersion(), (sim::FirmwareVersion{3, 4, 70000}));
}

}  // namespace
