// Runs the real lumenstra program offscreen, each run in its own temporary home.
#include "app/ConfigApp.h"
#include "effects/Profiles.h"
#include "platform/Companion.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProcess>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;
    bool finished = false;
    std::string errors;  // standard error
};

RunResult runProgram(const std::string& program, const QStringList& arguments, const std::string& screenshots) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LUMENSTRA_SCREENSHOTS", QString::fromStdString(screenshots));
    environment.insert("LUMENSTRA_AUTOCLOSE_MS", "700");
    process.setProcessEnvironment(environment);
    process.start(QString::fromStdString(program), arguments);
    RunResult result;
    result.finished = process.waitForFinished(30000);
    if (!result.finished) process.kill();
    result.exitCode = process.exitCode();
    result.errors = process.readAllStandardError().toStdString();
    // Still shown, as before, for the reader of a failed run.
    std::fputs(result.errors.c_str(), stderr);
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
    ASSERT_EQ(firstInstance.acquire(CConfigApp::kInstanceMutex), platform::SingleInstanceLock::Result::Acquired);

    const RunResult run = runProgram(kProgram, {"debug", "nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(filesIn(screenshots).empty());
    EXPECT_FALSE(fs::exists(home.path("Desktop/Mq7 debug.log")));
    EXPECT_TRUE(companion.received().empty());
}

TEST_F(LumenstraProgramTest, WhileTheSdkServerDrivesTheControllersLumenstraSaysSoAndFails) {
    platform::CompanionListener companion(platform::kCompanionTitle);
    ASSERT_TRUE(companion.start());
    // What lumenstra-cli serve holds while it runs.
    platform::SingleInstanceLock server, instance;
    ASSERT_EQ(server.acquire(devicecontrol::kServerLockName), platform::SingleInstanceLock::Result::Acquired);
    ASSERT_EQ(instance.acquire(CConfigApp::kInstanceMutex), platform::SingleInstanceLock::Result::Acquired);

    const RunResult run = runProgram(kProgram, {"nodev"}, screenshots);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, CConfigApp::kExitServerRuns);
    EXPECT_NE(run.errors.find("lumenstra-cli serve drives the controllers"), std::string::npos) << run.errors;
    EXPECT_TRUE(filesIn(screenshots).empty());
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

TEST_F(LumenstraProgramTest, EveryStartCreatesTheDataFolder) {
    const std::string dataFolder = home.path(std::string("config") + effects::kDataFolder);
    const struct {
        const char* name;
        bool secondInstance;
    } cases[] = {{"first instance", false}, {"second instance", true}};
    for (const auto& c : cases) {
        fs::remove_all(home.path("config"));
        platform::SingleInstanceLock firstInstance;
        if (c.secondInstance) {
            ASSERT_EQ(firstInstance.acquire(CConfigApp::kInstanceMutex),
                      platform::SingleInstanceLock::Result::Acquired);
        }
        const RunResult run = runProgram(kProgram, {"nodev"}, screenshots);
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_TRUE(fs::is_directory(dataFolder)) << c.name << ": " << dataFolder;
    }
}

TEST_F(LumenstraProgramTest, WithoutARuntimeFolderAFolderNotOursIsReportedAndTheWindowOpensAnyway) {
    const std::string fallback = home.withoutRuntimeFolder();
    const std::string uid = std::to_string(::getuid());
    fs::create_directories(home.path("elsewhere"));
    const struct {
        const char* name;
        void (*plant)(const std::string& fallback, const std::string& elsewhere);
        const char* message;  // empty: no message, the private folder is used
    } cases[] = {
        {"folder open to everyone",
         [](const std::string& at, const std::string&) { testsupport::makeFolder(at, fs::perms::all); },
         " is open to other users (mode 0777)"},
        {"link to another folder",
         [](const std::string& at, const std::string& elsewhere) { fs::create_directory_symlink(elsewhere, at); },
         " is a symbolic link"},
        {"lock held at the predictable shared name", [](const std::string&, const std::string&) {}, ""},
    };
    // What another user could hold before: the lock file's name in the shared temporary folder.
    const std::string planted = home.path("tmp/" + std::string(CConfigApp::kInstanceMutex) + ".lock-" + uid);
    const int plantedFd = ::open(planted.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(plantedFd, 0);
    ASSERT_EQ(::flock(plantedFd, LOCK_EX | LOCK_NB), 0);
    for (const auto& c : cases) {
        fs::remove_all(screenshots);
        fs::remove(fallback);
        c.plant(fallback, home.path("elsewhere"));
        const RunResult run = runProgram(kProgram, {"nodev"}, screenshots);
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_EQ(filesIn(screenshots).size(), 1u) << c.name << ": the window opened";
        if (*c.message) {
            EXPECT_NE(run.errors.find("lumenstra: the runtime folder " + fallback + c.message), std::string::npos)
                << c.name << ": " << run.errors;
            EXPECT_NE(run.errors.find("running without the single-instance lock"), std::string::npos) << c.name;
        } else {
            EXPECT_EQ(run.errors.find("runtime folder"), std::string::npos) << c.name << ": " << run.errors;
        }
        EXPECT_TRUE(fs::is_empty(home.path("elsewhere"))) << c.name;
    }
    ::close(plantedFd);
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
    const std::string line =
        testsupport::utf16le(" Companion not installed: " + folder + platform::kCompanionExecutable);
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

// --help and --version print and end without a window; a backend that cannot
// be reached ends the program with its own code unless nodev asks to run anyway.
TEST_F(LumenstraProgramTest, OptionsAndAnUnreachableBackendEndWithoutAWindow) {
    struct Case {
        QStringList arguments;
        bool unreachableBackend;
        int exitCode;
        QByteArray fragment;  // on standard output for 0, else on standard error
    };
    const Case cases[] = {
        {{"--version"}, false, 0, "lumenstra "}, {{"nodev", "--version"}, false, 0, "lumenstra "},
        {{"--help"}, false, 0, "--version"},     {{}, true, 3, "devsim serve --socket"},
        {{"debug"}, true, 3, "nodev"},
    };
    for (const Case& c : cases) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LUMENSTRA_SCREENSHOTS", QString::fromStdString(screenshots));
        environment.insert("LUMENSTRA_AUTOCLOSE_MS", "700");
        if (c.unreachableBackend)
            environment.insert("LUMENSTRA_HID", "devsim:" + QString::fromStdString(home.path("runtime/none.sock")));
        process.setProcessEnvironment(environment);
        process.start(QString::fromStdString(kProgram), c.arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        const std::string line = c.arguments.join(' ').toStdString();
        EXPECT_EQ(process.exitCode(), c.exitCode) << line;
        const QByteArray text = c.exitCode == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
        EXPECT_TRUE(text.contains(c.fragment)) << line << ": " << text.toStdString();
        EXPECT_TRUE(filesIn(screenshots).empty()) << line << ": a window opened";
    }
}
