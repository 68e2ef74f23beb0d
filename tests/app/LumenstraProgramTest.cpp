// Runs the real lumenstra program offscreen, each run in its own temporary home.
#include "platform/Companion.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProcess>

#include <filesystem>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;
    bool finished = false;
};

RunResult runProgram(const std::string& program, const QStringList& arguments, const std::string& screenshots) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LUMENSTRA_SCREENSHOTS", QString::fromStdString(screenshots));
    environment.insert("LUMENSTRA_AUTOCLOSE_MS", "700");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QString::fromStdString(program), arguments);
    RunResult result;
    result.finished = process.waitForFinished(30000);
    if (!result.finished) process.kill();
    result.exitCode = process.exitCode();
    return result;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    return names;
}

const std::string kProgram = LUMENSTRA_BIN_DIR "/lumenstra";

}  // namespace

class LumenstraProgramTest : public testsupport::IsolatedTest {
protected:
    std::string screenshots = home.path("screenshots");
};

TEST_F(LumenstraProgramTest, DebugNodevLogsAppInitOpensTheMainWindowAndTellsTheCompanion) {
    platform::CompanionListener companion(platform::kCompanionTitle);
    ASSERT_TRUE(companion.start());
    const RunResult run = runProgram(kProgram, {"DEBUG", "nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);

    const std::string log = testsupport::readFileBytes(home.path("Desktop/Mq7 debug.log"));
    // The first line a run writes; the links opened by the window log after it.
    const std::string line = testsupport::utf16le(" App Init\r\n");
    ASSERT_GE(log.size(), 2 + 22 + line.size());  // mark, "MM/DD HH:MM", the rest
    EXPECT_EQ(log.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(log.substr(24, line.size()), line);
    EXPECT_NE(log.find(testsupport::utf16le(" Open USB Driver\r\n")), std::string::npos);
    EXPECT_EQ(log.find("\xFF\xFE", 2), std::string::npos);

    EXPECT_EQ(filesIn(screenshots), std::vector<std::string>{"01-Ostmar_Pellan_KV_6000_Series_RGB_LED.png"});

    ASSERT_TRUE(companion.waitForCount(2, 5000ms));
    const std::vector<platform::CompanionMessage> expected = {{2929, 0, 1}, {2929, 0, 0}};
    EXPECT_EQ(companion.received(), expected);
}

TEST_F(LumenstraProgramTest, ASecondInstanceEndsAtOnceSilently) {
    platform::CompanionListener companion(platform::kCompanionTitle);
    ASSERT_TRUE(companion.start());
    platform::SingleInstanceLock firstInstance;
    ASSERT_EQ(firstInstance.acquire("Ostmar_Pellan_KV 6000_Series_RGB_LED_configure"),
              platform::SingleInstanceLock::Result::Acquired);

    const RunResult run = runProgram(kProgram, {"debug", "nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(filesIn(screenshots).empty());
    EXPECT_FALSE(fs::exists(home.path("Desktop/Mq7 debug.log")));
    EXPECT_TRUE(companion.received().empty());
}

TEST_F(LumenstraProgramTest, AMissingCompanionIsStartedThreeTimesThenTheWindowOpensAnyway) {
    // A copy of the program in a folder whose companion never opens its channel.
    const std::string folder = home.path("program/");
    fs::create_directories(folder);
    fs::copy_file(kProgram, folder + "lumenstra");
    const std::string starts = home.path("companion-starts");
    testsupport::writeFileBytes(folder + platform::kCompanionExecutable,
                                "#!/bin/sh\necho started >> '" + starts + "'\n");
    fs::permissions(folder + platform::kCompanionExecutable, fs::perms::owner_all);

    const RunResult run = runProgram(folder + "lumenstra", {"nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(testsupport::readFileBytes(starts), "started\nstarted\nstarted\n");
    EXPECT_EQ(filesIn(screenshots).size(), 1u);
}

TEST_F(LumenstraProgramTest, ACompanionThatIsNotInstalledIsNotStartedAndTheDebugLogSaysSoOnce) {
    // A copy of the program in a folder without a companion.
    const std::string folder = home.path("program/");
    fs::create_directories(folder);
    fs::copy_file(kProgram, folder + "lumenstra");

    const RunResult run = runProgram(folder + "lumenstra", {"debug", "nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    const std::string log = testsupport::readFileBytes(home.path("Desktop/Mq7 debug.log"));
    const std::string line = testsupport::utf16le(" Companion not installed: " + folder + platform::kCompanionExecutable);
    const std::size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(line, first + 1), std::string::npos);
    EXPECT_LT(first, log.find(testsupport::utf16le(" Open USB Driver\r\n")));
    EXPECT_EQ(filesIn(screenshots).size(), 1u);
}

TEST_F(LumenstraProgramTest, HelpIsPrintedWithoutStartingAnything) {
    QProcess process;
    process.start(QString::fromStdString(kProgram), {"--help"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("Usage: lumenstra"));
}
