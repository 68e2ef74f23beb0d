// Starts the devsim daemon and runs lumenstra-cli against it, as a user would.
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

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

// The daemon's ID of the controller at a position of the standard link: the
// link numbers its controllers in arrival order, which is the daemon's ID order.
std::string standardId(const std::string& daemonList, std::size_t position) {
    std::vector<std::string> ids;
    std::istringstream lines(daemonList);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string id, productId;
        fields >> id >> productId;
        if (productId == "014d") ids.push_back(id);
    }
    return position < ids.size() ? ids[position] : std::string();
}

// How many records controller `id` got in the trace before the write began
// (its first control mode 3); the rest of the trace when there was none.
int recordsBeforeTheWrite(const std::string& trace, const std::string& id) {
    int records = 0;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, productId, cmd, key;
        fields >> device >> productId >> cmd >> key;
        if (device != id) continue;
        if (cmd == "41" && key == "03") break;
        ++records;
    }
    return records;
}

TEST_F(CliEndToEndTest, WritesTheControllerDidNotTakeEndWithExitCode1) {
    const QString file = QString::fromStdString(home.path("Saved.KV6"));
    ASSERT_EQ(cli({"read", "-o", file}).exitCode, 0);
    struct Case {
        QStringList arguments;
        std::string fault;  // on the controller at standard position 0; empty for none
    };
    const QStringList set = {"set", "--zone", "main", "--effect", "static", "--color", "123456"};
    const Case cases[] = {
        {{"apply", file}, ""},
        {set, ""},
        {{"restore"}, ""},
        // Before the write the controller gets the identity read and, when that
        // fails, a control mode: the third record is the write's first. Each
        // lost reply costs the CLI's whole reply wait, so few are lost, and the
        // error reply, which fails the same way, only once.
        {{"apply", file}, "drop-replies=3"},
        {set, "drop-replies=3"},
        {{"restore"}, "drop-replies=3"},
        {set, "error-replies=3"},
        {{"apply", file}, "unplug-after=12"},
        {set, "unplug-after=12"},
        {{"restore"}, "unplug-after=12"},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString() + " with " + (c.fault.empty() ? "no fault" : c.fault);
        const std::string id = standardId(devsim({"list"}).out, 0);
        ASSERT_FALSE(id.empty()) << what;
        if (!c.fault.empty()) {
            ASSERT_EQ(devsim({"fault", QString::fromStdString(id), QString::fromStdString(c.fault)}).exitCode, 0) << what;
        }
        devsim({"trace", "--clear"});
        const ProgramRun run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.fault.empty() ? 0 : 1) << what << "\n" << run.err;
        if (!c.fault.empty()) {
            EXPECT_TRUE(run.err.find("did not take") != std::string::npos || run.err.find("went away") != std::string::npos)
                << what << "\n" << run.err;
            const int faulted = std::stoi(c.fault.substr(c.fault.find('=') + 1));
            EXPECT_LT(recordsBeforeTheWrite(devsim({"trace"}).out, id), faulted) << what << ": the fault reaches into the write";
        }
        // An unplugged controller comes back as a new one, after the others.
        if (c.fault.rfind("unplug", 0) == 0) {
            ASSERT_EQ(devsim({"plug", "standard"}).exitCode, 0) << what;
        }
    }
}

TEST_F(CliEndToEndTest, TwoSetCommandsAtOnceOnTwoZonesBothLand) {
    const auto start = [&](QProcess& process, const QStringList& arguments) {
        process.setProcessEnvironment(environment);
        process.start(LUMENSTRA_BIN_DIR "/lumenstra-cli", arguments);
    };
    for (int round = 0; round < 8; ++round) {
        char main[8], fan[8];
        std::snprintf(main, sizeof main, "%02X00%02X", 0x10 + round, 0x80 + round);
        std::snprintf(fan, sizeof fan, "00%02X%02X", 0x20 + round, 0x40 + round);
        QProcess first, second;
        start(first, {"set", "--zone", "main", "--effect", "static", "--color", main});
        start(second, {"set", "--zone", "fan", "--effect", "mode_01", "--color", fan});
        ASSERT_TRUE(first.waitForFinished(30000)) << round;
        ASSERT_TRUE(second.waitForFinished(30000)) << round;
        EXPECT_EQ(first.exitCode(), 0) << round << first.readAllStandardError().toStdString();
        EXPECT_EQ(second.exitCode(), 0) << round << second.readAllStandardError().toStdString();

        // The controller holds the last write, made from the saved profile: both changes are in it.
        const ProgramRun read = cli({"read"});
        ASSERT_EQ(read.exitCode, 0) << read.err;
        EXPECT_NE(read.out.find(std::string("zone main: static color ") + main), std::string::npos) << round << "\n" << read.out;
        EXPECT_NE(read.out.find(std::string("zone fan: mode_01 color ") + fan), std::string::npos) << round << "\n" << read.out;
    }
}

}  // namespace

