#include "platform/Process.h"
#include "tests/support/TestEnvironment.h"

#include <chrono>
#include <filesystem>
#include <thread>

class ProcessTest : public testsupport::IsolatedTest {};

TEST_F(ProcessTest, StartsTheProgramWithItsArgumentsAndNoShell) {
    const std::string marker = home.path("started with $HOME; and spaces");
    // The arguments reach the program as they are: no shell expands them.
    ASSERT_TRUE(platform::startDetached("/bin/sh", {"-c", "printf '%s' \"$1\" > \"$1\"", "sh", marker}));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int i = 0; i < 200 && testsupport::readFileBytes(marker).size() < marker.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testsupport::readFileBytes(marker), marker);
}

TEST_F(ProcessTest, AProgramThatCannotRunIsReported) {
    EXPECT_FALSE(platform::startDetached(home.path("missing-program")));
    testsupport::writeFileBytes(home.path("not-executable"), "#!/bin/sh\n");
    EXPECT_FALSE(platform::startDetached(home.path("not-executable")));
    // No path search: a bare name is not looked up.
    EXPECT_FALSE(platform::startDetached("sh", {"-c", "true"}));
}
