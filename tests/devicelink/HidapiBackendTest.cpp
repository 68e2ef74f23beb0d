#include "devicelink/HidapiBackend.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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
