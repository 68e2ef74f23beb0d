#include "backends/BackendSelection.h"
#include "devicelink/HidapiBackend.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class BackendSelectionTest : public testsupport::IsolatedTest {
protected:
    ~BackendSelectionTest() override { unsetenv("LUMENSTRA_HID"); }

    std::vector<std::string> socketsAsked;
    backends::DevsimBackendFactory factory = [this](const std::string& socket) -> std::unique_ptr<hid::Backend> {
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
        {nullptr, true, {}},    {"", true, {}},
        {"hidapi", true, {}},   {"devsim:/run/user/1000/devsim.sock", true, {"/run/user/1000/devsim.sock"}},
        {"devsim:", false, {}}, {"sim", false, {}},
        {"HIDAPI", false, {}},
    };
    for (const auto& c : cases) {
        socketsAsked.clear();
        if (c.value)
            setenv("LUMENSTRA_HID", c.value, 1);
        else
            unsetenv("LUMENSTRA_HID");
        std::string error;
        const auto backend = backends::backendFromEnvironment(factory, error);
        EXPECT_EQ(backend != nullptr, c.made) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(error.empty(), c.made) << error;
        EXPECT_EQ(socketsAsked, c.sockets);
    }
}

TEST_F(BackendSelectionTest, DevsimWithoutAClientIsAnError) {
    setenv("LUMENSTRA_HID", "devsim:/tmp/x.sock", 1);
    std::string error;
    EXPECT_EQ(backends::backendFromEnvironment(nullptr, error), nullptr);
    EXPECT_NE(error.find("devsim"), std::string::npos);
}

}  // namespace
