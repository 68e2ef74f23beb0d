#include "platform/DebugLog.h"
#include "tests/support/TestEnvironment.h"

using testsupport::readFileBytes;
using testsupport::utf16le;

class DebugLogTest : public testsupport::IsolatedTest {};

TEST(DebugLogLine, StampsMonthDayHourAndMinuteThenTheMessageAndCrLf) {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 2;
    time.tm_mday = 3;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 59;
    EXPECT_EQ(platform::formatDebugLine(&time, "App Init"), "03/03 09:05 App Init\r\n");
    time.tm_mon = 11;
    time.tm_mday = 31;
    time.tm_hour = 23;
    time.tm_min = 59;
    EXPECT_EQ(platform::formatDebugLine(&time, ""), "12/31 23:59 \r\n");
    EXPECT_EQ(platform::formatDebugLine(nullptr, "no clock"), "no clock\r\n");
}

TEST_F(DebugLogTest, TheFileGetsOneMarkAndGrowsAcrossRuns) {
    const std::string path = platform::debugLogPath();
    EXPECT_EQ(path, home.path("Desktop/Mq7 debug.log"));
    ASSERT_TRUE(platform::appendDebugLine(path, "first\r\n"));
    ASSERT_TRUE(platform::appendDebugLine(path, "second \xC3\xA9\r\n"));
    EXPECT_EQ(readFileBytes(path), "\xFF\xFE" + utf16le("first\r\nsecond \xC3\xA9\r\n"));
}

TEST_F(DebugLogTest, DebugLogFormatsAndCutsLongMessages) {
    platform::DebugLog("SetData Out: cmd:%x, Key:%x, Index:%x, Data:%x", 0x51, 0x2a, 3, 0xff);
    platform::DebugLog("%s", std::string(3000, 'x').c_str());
    const std::string bytes = readFileBytes(platform::debugLogPath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    const std::string first = utf16le(" SetData Out: cmd:51, Key:2a, Index:3, Data:ff\r\n");
    // "MM/DD HH:MM" takes 11 characters, 22 bytes, after the mark.
    EXPECT_EQ(bytes.substr(2 + 22, first.size()), first);
    const std::string second = bytes.substr(2 + 22 + first.size());
    EXPECT_EQ(second.size(), (12 + 1023 + 2) * 2u);
    EXPECT_EQ(second.substr(second.size() - 4), utf16le("\r\n"));
}

TEST_F(DebugLogTest, AnUnwritableLogIsSkippedSilently) {
    EXPECT_FALSE(platform::appendDebugLine(home.path("missing-folder/log"), "x\r\n"));
}
