#include "devicelink/HidapiBackend.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <chrono>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(HidrawReports, TheRecordGetsTheReportIdByteInFront) {
    const unsigned char raw[64] = {0x52, 0x94, 0x00, 0x00, 0x12};
    unsigned char report[65];
    std::fill(std::begin(report), std::end(report), 0xEE);
    ASSERT_EQ(devicelink::reportFromHidraw(raw, 64, report, 65), 65);
    EXPECT_EQ(report[0], 0);
    EXPECT_EQ(report[1], 0x52);
    EXPECT_EQ(report[5], 0x12);

    const struct { int rawLength, capacity, result; } cases[] = {{0, 65, 0}, {-1, 65, -1}, {64, 10, 10}, {3, 65, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(devicelink::reportFromHidraw(raw, c.rawLength, report, c.capacity), c.result) << c.rawLength;
}

// A packet socket keeps report boundaries as a hidraw node does; the far end is the controller.
struct HidrawStandIn {
    int controller = -1;
    std::unique_ptr<hid::Device> device;
    HidrawStandIn() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return;
        controller = fds[1];
        device = devicelink::makeHidrawDevice(fds[0]);
    }
    ~HidrawStandIn() {
        device.reset();
        if (controller >= 0) ::close(controller);
    }
};

TEST(HidrawDevice, ReadsEachReportWithItsIdByteAndWritesTheReportAsGiven) {
    HidrawStandIn node;
    ASSERT_TRUE(node.device);
    std::uint8_t record[64] = {0x52, 0x94};
    ASSERT_EQ(::write(node.controller, record, sizeof record), 64);
    ASSERT_EQ(::write(node.controller, record, 3), 3);
    std::uint8_t buffer[65] = {};
    EXPECT_EQ(node.device->read(buffer, std::chrono::seconds(5)), 65);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0x52);
    EXPECT_EQ(node.device->read(buffer, std::chrono::seconds(5)), 4) << "a short report keeps its length";
    EXPECT_EQ(node.device->read(buffer, std::chrono::milliseconds(1)), 0) << "nothing came in time";

    const std::uint8_t report[65] = {0, 0x51, 0x94};
    EXPECT_EQ(node.device->write(report), 65);
    std::uint8_t received[80] = {};
    EXPECT_EQ(::read(node.controller, received, sizeof received), 65);
    EXPECT_EQ(received[1], 0x51);
}

TEST(HidrawDevice, AWakeEndsAReadBlockedOnAnotherThreadAndEveryLaterRead) {
    HidrawStandIn node;
    ASSERT_TRUE(node.device);
    int result = -2;
    // Were the wake lost, this read would block for an hour and the test time out.
    std::thread reader([&] {
        std::uint8_t buffer[65];
        result = node.device->read(buffer, std::chrono::hours(1));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    node.device->wake();
    reader.join();
    EXPECT_EQ(result, 0);
    std::uint8_t buffer[65];
    EXPECT_EQ(node.device->read(buffer, std::chrono::hours(1)), 0);
}

TEST(HidrawDevice, AGoneNodeFailsTheRead) {
    HidrawStandIn node;
    ASSERT_TRUE(node.device);
    ::close(node.controller);
    node.controller = -1;
    std::uint8_t buffer[65];
    EXPECT_EQ(node.device->read(buffer, std::chrono::hours(1)), -1);
}

class HidapiBackendTest : public testsupport::IsolatedTest {};

TEST_F(HidapiBackendTest, AnUnopenableNodeSaysWhetherPermissionIsMissing) {
    const std::string node = home.path("hidraw-standin");
    std::ofstream(node) << "";
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
    auto backend = devicelink::makeHidapiBackend();
    hid::OpenError error = hid::OpenError::None;
    EXPECT_EQ(backend->open(home.path("absent"), error), nullptr);
    EXPECT_EQ(error, hid::OpenError::NotFound);
    if (geteuid() == 0) GTEST_SKIP() << "root may open any node";
    EXPECT_EQ(backend->open(node, error), nullptr);
    EXPECT_EQ(error, hid::OpenError::PermissionDenied);
}

}  // namespace
