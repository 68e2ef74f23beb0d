#include "devicelink/BackendSelection.h"
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

    const struct {
        int rawLength, capacity, result;
    } cases[] = {{0, 65, 0}, {-1, 65, -1}, {64, 10, 10}, {3, 65, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(devicelink::reportFromHidraw(raw, c.rawLength, report, c.capacity), c.result) << c.rawLength;
}

class BackendSelectionTest : public testsupport::IsolatedTest {
protected:
    ~BackendSelectionTest() override { unsetenv("LUMENSTRA_HID"); }

    std::vector<std::string> socketsAsked;
    devicelink::DevsimBackendFactory factory = [this](const std::string& socket) -> std::unique_ptr<hid::Backend> {
        socketsAsked.push_back(socket);
        return devicelink::makeHidapiBackend();  // any backend stands in for the daemon's client
    };
};

TEST_F(BackendSelectionTest, TheVariableChoosesTheBackend) {
    const struct {
        const char* value;  // null: unset
        bool made;
        std::vector<std::string> sockets;
    } cases[] = {
        {nullptr, true, {}},
        {"", true, {}},
        {"hidapi", true, {}},
        {"devsim:/run/user/1000/devsim.sock", true, {"/run/user/1000/devsim.sock"}},
        {"devsim:", false, {}},
        {"sim", false, {}},
        {"HIDAPI", false, {}},
    };
    for (const auto& c : cases) {
        socketsAsked.clear();
        if (c.value)
            setenv("LUMENSTRA_HID", c.value, 1);
        else
            unsetenv("LUMENSTRA_HID");
        std::string error;
        const auto backend = devicelink::backendFromEnvironment(factory, error);
        EXPECT_EQ(backend != nullptr, c.made) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(error.empty(), c.made) << error;
        EXPECT_EQ(socketsAsked, c.sockets);
    }
}

TEST_F(BackendSelectionTest, DevsimWithoutAClientIsAnError) {
    setenv("LUMENSTRA_HID", "devsim:/tmp/x.sock", 1);
    std::string error;
    EXPECT_EQ(devicelink::backendFromEnvironment(nullptr, error), nullptr);
    EXPECT_NE(error.find("devsim"), std::string::npos);
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
