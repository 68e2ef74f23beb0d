// Starts the devsim daemon and runs lumenstra-cli against it, as a user would.
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProgramRun runProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

class CliEndToEndTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override {
        socket = QString::fromStdString(home.path("devsim.sock"));
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LUMENSTRA_HID", "devsim:" + socket);
        daemon.start(LUMENSTRA_BIN_DIR "/devsim",
                     {"serve", "--socket", socket, "--device", "standard,name=Top", "--device", "led5", "--device",
                      "standard"});
        ASSERT_TRUE(daemon.waitForStarted(10000));
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (devsim({"list"}).exitCode == 0) return;
            std::this_thread::sleep_for(25ms);
        }
        FAIL() << "devsim serve did not come up";
    }

    void TearDown() override {
        daemon.terminate();
        if (!daemon.waitForFinished(10000)) daemon.kill();
    }

    ProgramRun cli(const QStringList& arguments) { return runProgram(LUMENSTRA_BIN_DIR "/lumenstra-cli", arguments, environment); }
    ProgramRun devsim(QStringList arguments) {
        arguments.insert(1, "--socket");
        arguments.insert(2, socket);
        return runProgram(LUMENSTRA_BIN_DIR "/devsim", arguments, environment);
    }

    QString socket;
    QProcessEnvironment environment;
    QProcess daemon;
};

TEST_F(CliEndToEndTest, PortsShowsEveryControllerWithItsPositionOnItsLink) {
    ProgramRun list = cli({"ports"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "standard 0 app 1 014d\nstandard 1 app 2 014d\nled5 0 app 1 015b\n");
    ASSERT_EQ(devsim({"unplug", "1"}).exitCode, 0);
    list = cli({"ports"});
    EXPECT_EQ(list.out, "standard 0 app 1 014d\nled5 0 app 1 015b\n");
}

TEST_F(CliEndToEndTest, RawWritesAndReadsBackASettingAndTheDaemonTracesIt) {
    ProgramRun write = cli({"raw", "--device", "1", "51", "9c", "1", "aabbccddeeff"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(write.out.substr(0, 20), "519c0100aabbccddeeff");
    ProgramRun read = cli({"raw", "--device", "1", "52", "9c", "1"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, "529c0100aabbccddeeff" + std::string(108, '0') + "\n");

    const ProgramRun trace = devsim({"trace"});
    EXPECT_NE(trace.out.find("3 014d 51 9c 0001 aabbccddeeff"), std::string::npos) << trace.out;
    EXPECT_EQ(trace.out.find("\n1 014d"), std::string::npos) << "position 1 is the daemon's controller 3";
}

TEST_F(CliEndToEndTest, RawFailuresHaveTheirExitCodes) {
    EXPECT_EQ(cli({"raw", "--family", "led5", "--device", "1", "52", "94", "0"}).exitCode, 2);
    EXPECT_EQ(cli({"raw", "77", "00", "0"}).exitCode, 1) << "the controller answers with an error record";
    ASSERT_EQ(devsim({"fault", "1", "drop-replies=1"}).exitCode, 0);
    EXPECT_EQ(cli({"raw", "52", "94", "0"}).exitCode, 1);
    EXPECT_EQ(cli({"raw", "52", "94"}).exitCode, 64);
}

// The effect-relevant part of a controller's emulated state.
std::map<std::string, std::string> effectState(const std::string& stateText) {
    std::map<std::string, std::string> state;
    std::istringstream lines(stateText);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        const std::string key = line.substr(0, equals);
        for (const char* prefix : {"slot-", "morse-", "zone-map", "sync-flag", "effect-mode", "color-pair"})
            if (key.rfind(prefix, 0) == 0) state[key] = line.substr(equals + 1);
    }
    return state;
}

TEST_F(CliEndToEndTest, ASettingReadIntoAFileAndAppliedToAnotherControllerGivesTheSameState) {
    const ProgramRun set = cli({"set", "--zone", "main", "--effect", "morse", "--color", "12ab34", "--brightness", "1",
                                "--morse", "SOS"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const ProgramRun fan = cli({"set", "--zone", "fan", "--effect", "mode_01", "--color", "00ff00", "--speed", "3"});
    ASSERT_EQ(fan.exitCode, 0) << fan.err;
    const QString file = QString::fromStdString(home.path("Saved.KV6"));
    const ProgramRun read = cli({"read", "-o", file});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_NE(testsupport::readFileBytes(file.toStdString()).find(testsupport::utf16le("PROFILE_NAME=Saved")),
              std::string::npos);

    // A fresh data folder: the second controller gets the file, not the saved profile.
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.path("other-config")));
    const ProgramRun apply = cli({"apply", "--device", "1", file});
    ASSERT_EQ(apply.exitCode, 0) << apply.err;
    const auto first = effectState(devsim({"state", "1"}).out);
    const auto second = effectState(devsim({"state", "3"}).out);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, second);

    const ProgramRun summary = cli({"read", "--device", "1"});
    ASSERT_EQ(summary.exitCode, 0) << summary.err;
    EXPECT_NE(summary.out.find("zone main: morse color 12AB34 brightness 1"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("zone fan: mode_01 color 00FF00 speed 3"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("morse 1 (selected): SOS"), std::string::npos) << summary.out;
}

TEST_F(CliEndToEndTest, ListShowsTitlesGroupsAndFirmwareAndGroupJoiningNeedsYes) {
    ASSERT_EQ(cli({"group", "on"}).exitCode, 0);
    const ProgramRun refused = cli({"group", "on", "--device", "1"});
    EXPECT_EQ(refused.exitCode, 64);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    ASSERT_EQ(cli({"group", "on", "--device", "1", "--yes"}).exitCode, 0);
    ASSERT_EQ(cli({"rename", "--family", "led5", "Lower card"}).exitCode, 0);
    const ProgramRun list = cli({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "standard 0 \"Top\" group 1.0.0\nstandard 1 \"Controller 2\" group 1.0.0\n"
                        "led5 0 \"Lower card\" single 1.0.0\n");
    const ProgramRun json = cli({"list", "--json"});
    EXPECT_NE(json.out.find("{\"family\":\"led5\",\"position\":0,\"title\":\"Lower card\",\"group\":false"),
              std::string::npos) << json.out;
}

TEST_F(CliEndToEndTest, BadValuesAreNamedAndMissingDevicesHaveTheirCode) {
    struct Case {
        QStringList arguments;
        int exitCode;
        std::string named;
    };
    const Case cases[] = {
        {{"set", "--zone", "main", "--effect", "static", "--color", "12ab3g"}, 64, "12ab3g"},
        {{"set", "--zone", "main", "--effect", "static", "--speed", "9"}, 64, "\"9\""},
        {{"set", "--zone", "main", "--effect", "morse", "--morse", "a~b"}, 64, "a~b"},
        {{"set", "--zone", "logo", "--effect", "morse"}, 64, "logo"},
        {{"set", "--zone", "main", "--effect", "sparkle"}, 64, "sparkle"},
        {{"set", "--zone", "main", "--effect", "mode_07"}, 64, "standard"},
        {{"read", "--family", "led5", "--device", "1"}, 2, "led5"},
        {{"apply", "/nonexistent/profile.KV6"}, 64, "/nonexistent/profile.KV6"},
        {{"rename", "ABCDEFGHIJKLMNOPQRSTU"}, 64, "ABCDEFGHIJKLMNOPQRSTU"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
}

TEST_F(CliEndToEndTest, AnUnknownBackendIsAnErrorNotAnEmptyList) {
    environment.insert("LUMENSTRA_HID", "bluetooth");
    const ProgramRun list = cli({"list"});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_TRUE(list.out.empty());
    EXPECT_NE(list.err.find("LUMENSTRA_HID"), std::string::npos);
}

}  // namespace

// The controller loses its lighting behind the profile's back; after the
// machine sleeps and wakes, restore --on-resume sends the saved profile again.
TEST_F(CliEndToEndTest, RestoreOnResumeSendsTheSavedProfileAfterTheMachineWokeUp) {
    const ProgramRun set = cli({"set", "--zone", "main", "--effect", "static", "--color", "112233"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const auto saved = effectState(devsim({"state", "1"}).out);
    ASSERT_FALSE(saved.empty());

    QProcess watch;
    watch.setProcessEnvironment(environment);
    watch.start(LUMENSTRA_BIN_DIR "/lumenstra-cli", {"restore", "--on-resume"});
    ASSERT_TRUE(watch.waitForStarted(10000));
    std::string said;
    while (said.find("waiting for resume\n") == std::string::npos && watch.waitForReadyRead(20000))
        said += watch.readAllStandardOutput().toStdString();
    ASSERT_NE(said.find("waiting for resume\n"), std::string::npos) << watch.readAllStandardError().toStdString();

    // Another data folder's profile stands in for the lighting a sleep loses.
    QProcessEnvironment other = environment;
    other.insert("XDG_CONFIG_HOME", QString::fromStdString(home.path("other-config")));
    const ProgramRun change = runProgram(LUMENSTRA_BIN_DIR "/lumenstra-cli",
                                         {"set", "--zone", "main", "--effect", "mode_01", "--color", "445566"}, other);
    ASSERT_EQ(change.exitCode, 0) << change.err;
    ASSERT_NE(effectState(devsim({"state", "1"}).out), saved);

    ASSERT_EQ(devsim({"suspend"}).exitCode, 0);
    ASSERT_EQ(devsim({"resume"}).exitCode, 0);
    while (said.find("restored\n") == std::string::npos && watch.waitForReadyRead(20000))
        said += watch.readAllStandardOutput().toStdString();
    EXPECT_NE(said.find("restored\n"), std::string::npos) << watch.readAllStandardError().toStdString();
    EXPECT_EQ(effectState(devsim({"state", "1"}).out), saved);

    watch.terminate();
    if (!watch.waitForFinished(10000)) watch.kill();
}
