// Starts the devsim daemon and runs lumenstra-cli against it, as a user would.
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
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
        daemon.start(LUMENSTRA_BIN_DIR "/devsim", {"serve", "--socket", socket, "--device", "standard,name=Top",
                                                   "--device", "led5", "--device", "standard"});
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

    ProgramRun cli(const QStringList& arguments) {
        return runProgram(LUMENSTRA_BIN_DIR "/lumenstra-cli", arguments, environment);
    }
    // A command line as a person pastes it into a shell.
    ProgramRun shell(const QString& line) {
        QProcessEnvironment pasted = environment;
        pasted.insert("PATH", LUMENSTRA_BIN_DIR ":" + environment.value("PATH"));
        return runProgram("/bin/sh", {"-c", line}, pasted);
    }
    // The identity list should show for the daemon's controller ID, from its own state.
    std::string identityOf(const char* id) {
        const std::string state = devsim({"state", id}).out;
        const auto at = state.find("identity-block=");
        if (at == std::string::npos) return "?";
        const std::string marker = state.substr(at + 15, 2);
        return marker == "12" || marker == "13" ? state.substr(at + 17, 16) : "-";
    }
    ProgramRun devsim(QStringList arguments) {
        arguments.insert(1, "--socket");
        arguments.insert(2, socket);
        return runProgram(LUMENSTRA_BIN_DIR "/devsim", arguments, environment);
    }

    QString socket;
    QProcessEnvironment environment;
    QProcess daemon;
};

// The link's device IDs counted per link (two controllers were both "1"); the
// column now shows the identity, which tells every controller apart.
TEST_F(CliEndToEndTest, PortsShowsEveryControllerWithItsPositionOnItsLink) {
    ASSERT_EQ(cli({"group", "--family", "led5", "off"}).exitCode, 0) << "gives the unnamed controllers identities";
    const std::string top = identityOf("1"), second = identityOf("3"), led5 = identityOf("2");
    ASSERT_EQ(top.size(), 16u);
    EXPECT_NE(second, led5);
    ProgramRun list = cli({"ports"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out,
              "standard 0 app " + top + " 014d\nstandard 1 app " + second + " 014d\nled5 0 app " + led5 + " 015b\n");
    ASSERT_EQ(devsim({"unplug", "1"}).exitCode, 0);
    list = cli({"ports"});
    EXPECT_EQ(list.out, "standard 0 app " + second + " 014d\nled5 0 app " + led5 + " 015b\n");
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
    const ProgramRun set =
        cli({"set", "--zone", "main", "--effect", "morse", "--color", "12ab34", "--brightness", "1", "--morse", "SOS"});
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
    EXPECT_EQ(list.out, "standard 0 \"Top\" group 1.0.0 " + identityOf("1") +
                            "\nstandard 1 \"Controller 2\" group 1.0.0 " + identityOf("3") +
                            "\nled5 0 \"Lower card\" single 1.0.0 " + identityOf("2") + "\n");
    const ProgramRun json = cli({"list", "--json"});
    EXPECT_NE(json.out.find("{\"family\":\"led5\",\"position\":0,\"title\":\"Lower card\",\"group\":false"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"identity\":\"" + identityOf("2") + "\""), std::string::npos) << json.out;
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
        // A missing file is a file error (1), no usage error.
        {{"apply", "/nonexistent/profile.KV6"}, 1, "/nonexistent/profile.KV6"},
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
// (its first control mode 3, or a reset's first command); the rest of the trace when there was none.
int recordsBeforeTheWrite(const std::string& trace, const std::string& id) {
    int records = 0;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, productId, cmd, key;
        fields >> device >> productId >> cmd >> key;
        if (device != id) continue;
        // The control mode 3 starts a whole write; 0x50/0x10 starts a reset's.
        if ((cmd == "41" && key == "03") || (cmd == "50" && key == "10")) break;
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
        {{"reset"}, ""},
        {{"zelvor", "on"}, ""},
        {{"zelvor", "off"}, ""},
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
        {{"reset"}, "drop-replies=3"},
        {{"zelvor", "on"}, "error-replies=3"},
        {{"zelvor", "off"}, "drop-replies=3"},
    };
    for (const Case& c : cases) {
        const std::string what =
            c.arguments.join(' ').toStdString() + " with " + (c.fault.empty() ? "no fault" : c.fault);
        const std::string id = standardId(devsim({"list"}).out, 0);
        ASSERT_FALSE(id.empty()) << what;
        if (!c.fault.empty()) {
            ASSERT_EQ(devsim({"fault", QString::fromStdString(id), QString::fromStdString(c.fault)}).exitCode, 0)
                << what;
        }
        devsim({"trace", "--clear"});
        const ProgramRun run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.fault.empty() ? 0 : 1) << what << "\n" << run.err;
        if (!c.fault.empty()) {
            EXPECT_TRUE(run.err.find("did not take") != std::string::npos ||
                        run.err.find("went away") != std::string::npos)
                << what << "\n"
                << run.err;
            const int faulted = std::stoi(c.fault.substr(c.fault.find('=') + 1));
            EXPECT_LT(recordsBeforeTheWrite(devsim({"trace"}).out, id), faulted)
                << what << ": the fault reaches into the write";
        }
        // An unplugged controller comes back as a new one, after the others.
        if (c.fault.rfind("unplug", 0) == 0) {
            ASSERT_EQ(devsim({"plug", "standard"}).exitCode, 0) << what;
        }
    }
}

// Every line of the trace: ID PID CMD KEY INDEX DATA.
std::vector<std::string> commandsOf(const std::string& trace) {
    std::vector<std::string> commands;
    std::istringstream lines(trace);
    for (std::string id, pid, cmd, key, rest; lines >> id >> pid >> cmd >> key && std::getline(lines, rest);)
        commands.push_back(cmd + "/" + key);
    return commands;
}

TEST_F(CliEndToEndTest, ReadOnlyReadsAndLeavesTheControllerAsItWas) {
    ASSERT_EQ(devsim({"trace", "--clear"}).exitCode, 0);
    const ProgramRun first = cli({"read"});
    const ProgramRun second = cli({"read"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(first.out, second.out);
    const std::vector<std::string> commands = commandsOf(devsim({"trace"}).out);
    EXPECT_FALSE(commands.empty());
    for (const std::string& command : commands)
        EXPECT_TRUE(command.starts_with("52/") || command.starts_with("12/")) << "not a read: " << command;
    EXPECT_NE(first.out.find("card effect static"), std::string::npos) << first.out;

    const ProgramRun json = cli({"read", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"card_effect\":\"static\""), std::string::npos) << json.out;
    EXPECT_TRUE(commandsOf(devsim({"trace", "--clear"}).out).size() > commands.size()) << "the JSON read was traced";
}

TEST_F(CliEndToEndTest, WhatTheControllerCannotReportIsMarkedAsTheSavedProfile) {
    ASSERT_EQ(cli({"set", "--family", "led5", "--zone", "logo", "--effect", "static", "--color", "ff00ff"}).exitCode,
              0);
    const ProgramRun read = cli({"read", "--family", "standard"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_NE(read.out.find("zone logo: static color FF00FF brightness 2 (saved profile)"), std::string::npos)
        << read.out;
    EXPECT_EQ(read.out.find("zone main: static color FF00FF"), std::string::npos) << read.out;
    const ProgramRun json = cli({"read", "--family", "standard", "--json"});
    EXPECT_NE(json.out.find(
                  "{\"zone\":\"logo\",\"source\":\"saved profile\",\"effect\":\"static\",\"color\":\"FF00FF\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("{\"zone\":\"main\",\"source\":\"controller\""), std::string::npos) << json.out;
}

TEST_F(CliEndToEndTest, AnUnreachableBackendIsItsOwnErrorInEveryCommand) {
    environment.insert("LUMENSTRA_HID", "devsim:" + QString::fromStdString(home.path("runtime/none.sock")));
    const QStringList commands[] = {{"list"},
                                    {"restore"},
                                    {"read"},
                                    {"ports"},
                                    {"raw", "52", "9c", "1"},
                                    {"set", "--zone", "main", "--effect", "static"},
                                    {"check"},
                                    {"reset", "--all"}};
    for (const QStringList& command : commands) {
        const ProgramRun run = cli(command);
        EXPECT_EQ(run.exitCode, 3) << command.join(' ').toStdString();
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find("devsim serve --socket"), std::string::npos) << run.err;
    }
}

// The only controller refuses to be opened: that is no empty machine but a
// permission problem, with its own code and what to do.
TEST_F(CliEndToEndTest, AControllerWithoutPermissionIsNoAccessNotNoController) {
    for (const char* id : {"1", "2", "3"}) ASSERT_EQ(devsim({"unplug", id}).exitCode, 0);
    ASSERT_EQ(devsim({"plug", "standard,denied"}).exitCode, 0);
    const QStringList commands[] = {{"list"},
                                    {"read"},
                                    {"restore"},
                                    {"ports"},
                                    {"raw", "52", "9c", "1"},
                                    {"set", "--zone", "main", "--effect", "static"}};
    for (const QStringList& command : commands) {
        const ProgramRun run = cli(command);
        EXPECT_EQ(run.exitCode, 3) << command.join(' ').toStdString();
        EXPECT_NE(run.err.find("70-lumenstra.rules"), std::string::npos) << run.err;
    }
    ASSERT_EQ(devsim({"plug", "led5"}).exitCode, 0);
    EXPECT_EQ(cli({"read", "--family", "led5"}).exitCode, 0) << "the controller that can be opened still works";
}

TEST_F(CliEndToEndTest, FileErrorsAreNamedBeforeAnyControllerIsOpened) {
    testsupport::writeFileBytes(home.path("notes.txt"), "no profile here\n");
    struct Case {
        std::string file;
        std::string named;
    };
    const Case cases[] = {{home.path("missing.KV6"), "no such file"},
                          {home.root(), "is a folder"},
                          {home.path("notes.txt"), "is not a profile file"}};
    for (const Case& c : cases) {
        ASSERT_EQ(devsim({"trace", "--clear"}).exitCode, 0);
        const ProgramRun run = cli({"apply", QString::fromStdString(c.file)});
        EXPECT_EQ(run.exitCode, 1) << c.file;
        EXPECT_NE(run.err.find(c.file), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Usage:"), std::string::npos) << run.err;
        EXPECT_TRUE(devsim({"trace"}).out.empty()) << "a controller was opened for " << c.file;
    }
}

// A file that holds no profile is refused with its name on standard error and
// exit code 1; no controller is opened and the saved profile keeps every byte.
TEST_F(CliEndToEndTest, ApplyRefusesAFileWithoutAProfileAndKeepsTheSavedOne) {
    ASSERT_EQ(cli({"set", "--zone", "main", "--effect", "static", "--color", "123456"}).exitCode, 0);
    const std::string saved = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() +
                              "/Ostmar/Ostmar Pellan KV 6000 Series RGB LED/Profile0.Prf";
    const std::string savedBytes = testsupport::readFileBytes(saved);
    ASSERT_FALSE(savedBytes.empty());
    const std::string mark = "\xFF\xFE";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"Empty.KV6", ""},
        {"Mark.KV6", mark},
        {"Garbage.KV6", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\xFF\xFE\x01", 19)},
        {"Name.KV6", mark + testsupport::utf16le("[NAME]\r\nPROFILE_NAME=Night\r\n")},
        {"Damaged.KV6", mark + testsupport::utf16le("[EFFECT]\r\nBASE_LAYER=0102\r\nFAN_LAYER=\r\n")},
    };
    for (const auto& c : cases) {
        const std::string file = home.path(c.name);
        testsupport::writeFileBytes(file, c.bytes);
        ASSERT_EQ(devsim({"trace", "--clear"}).exitCode, 0);
        const ProgramRun run = cli({"apply", "--quiet", QString::fromStdString(file)});
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.err, "lumenstra-cli apply: \"" + file + "\" is not a profile file (.KV6)\n") << c.name;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_TRUE(devsim({"trace"}).out.empty()) << "a controller was opened for " << c.name;
        EXPECT_EQ(testsupport::readFileBytes(saved), savedBytes) << c.name;
    }
}

// While another program holds the controllers' lock, every command that writes
// to a controller or its identity waits for it before it opens a link: no
// record reaches a controller until the lock is let go, then the command runs.
TEST_F(CliEndToEndTest, WritingCommandsWaitForTheControllersLockBeforeTheyOpenALink) {
    const QString file = QString::fromStdString(home.path("Saved.KV6"));
    ASSERT_EQ(cli({"read", "-o", file}).exitCode, 0);
    const std::string lockPath = qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString() + "/lumenstra-controllers.lock";
    // The lock file open in the process: it is at the lock, or holds it.
    const auto hasLockOpen = [&](qint64 pid) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
            if (std::filesystem::read_symlink(entry.path(), error) == lockPath) return true;
        return false;
    };
    const QStringList cases[] = {
        {"reset"},
        {"zelvor", "on"},
        {"zelvor", "off"},
        {"rename", "Locked"},
        {"group", "on"},
        {"restore"},
        {"set", "--zone", "fan", "--effect", "static", "--color", "102030"},
        {"apply", file},
        {"raw", "52", "94", "0"},
    };
    for (const QStringList& arguments : cases) {
        const std::string line = arguments.join(' ').toStdString();
        ASSERT_EQ(devsim({"trace", "--clear"}).exitCode, 0);
        const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(lock, 0);
        ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
        QProcess writer;
        writer.setProcessEnvironment(environment);
        writer.start(LUMENSTRA_BIN_DIR "/lumenstra-cli", arguments);
        ASSERT_TRUE(writer.waitForStarted(10000)) << line;
        bool waiting = false;
        for (int attempt = 0; attempt < 800 && !waiting && writer.state() == QProcess::Running; ++attempt) {
            waiting = hasLockOpen(writer.processId());
            if (!waiting) std::this_thread::sleep_for(25ms);
        }
        EXPECT_TRUE(waiting) << line << " never reached the lock: " << writer.readAllStandardError().toStdString();
        EXPECT_EQ(writer.state(), QProcess::Running) << line;
        EXPECT_TRUE(devsim({"trace"}).out.empty()) << line << " wrote while another program held the lock";
        ::close(lock);
        ASSERT_TRUE(writer.waitForFinished(30000)) << line;
        EXPECT_EQ(writer.exitCode(), 0) << line << ": " << writer.readAllStandardError().toStdString();
        EXPECT_FALSE(devsim({"trace"}).out.empty()) << line << " wrote nothing once the lock was free";
    }
}

// One table: the command line, its exit code and a fragment of its message.
TEST_F(CliEndToEndTest, UsageErrorsAreOneLineWithAPointerToHelp) {
    struct Case {
        QStringList arguments;
        int exitCode;
        std::string fragment;
    };
    const Case cases[] = {
        {{"set", "--zone", "main", "--effect", "static", "--color", "12ab3g"}, 64, "bad colour \"12ab3g\""},
        {{"set", "--zone", "main", "--effect", "static", "--speed", "9"}, 64, "bad speed \"9\""},
        {{"set", "--zone", "all", "--effect", "morse"}, 64, "cannot run in zone"},
        {{"set", "--zone", "sky", "--effect", "static"}, 64, "unknown zone \"sky\""},
        {{"zelvor", "maybe"}, 64, "expected on or off"},
        {{"read", "--all"}, 64, "unknown option \"--all\""},
        {{"set", "--zone", "main", "--effect", "static", "--all", "--device", "1"}, 64, "one way"},
        {{"read", "--identity", "12"}, 64, "16 hex digits"},
        {{"read", "--name", "Nobody"}, 2, "no controller named \"Nobody\""},
        {{"read", "--identity", "0123456789abcdef"}, 2, "no controller with identity"},
        {{"read", "--family", "led5", "--device", "1"}, 2, "no led5 controller at position 1"},
        {{"frob"}, 64, "unknown command \"frob\""},
        {{"ports", "extra"}, 64, "lumenstra-cli ports: unexpected argument"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = cli(c.arguments);
        const std::string line = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << line;
        EXPECT_NE(run.err.find(c.fragment), std::string::npos) << line << ": " << run.err;
        EXPECT_EQ(run.err.find("Usage:"), std::string::npos) << line << ": " << run.err;
        if (c.exitCode == 64) {
            EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
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
        EXPECT_NE(read.out.find(std::string("zone main: static color ") + main), std::string::npos) << round << "\n"
                                                                                                    << read.out;
        EXPECT_NE(read.out.find(std::string("zone fan: mode_01 color ") + fan), std::string::npos) << round << "\n"
                                                                                                   << read.out;
    }
}

TEST_F(CliEndToEndTest, EveryCommandHasItsOwnHelpWhoseExampleWorksWhenPasted) {
    ASSERT_EQ(cli({"read", "-o", QString::fromStdString(home.path("Saved.KV6"))}).exitCode, 0);
    std::set<std::string> texts;
    for (const char* command : {"list", "read", "apply", "set", "restore", "rename", "group", "reset", "zelvor",
                                "ports", "raw", "check", "update"}) {
        const ProgramRun help = cli({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        texts.insert(help.out);
        const auto at = help.out.find("Example: ");
        ASSERT_NE(at, std::string::npos) << command;
        const std::string example = help.out.substr(at + 9, help.out.find('\n', at) - at - 9);
        EXPECT_TRUE(example.starts_with(std::string("lumenstra-cli ") + command)) << example;
        if (std::string(command) != "update") {
            EXPECT_NE(help.out.find("3 no backend"), std::string::npos) << command;
        }
        if (std::string(command) == "update") continue;  // it would flash the controller
        const ProgramRun pasted = shell(QString::fromStdString(example));
        EXPECT_EQ(pasted.exitCode, 0) << example << ": " << pasted.err;
    }
    EXPECT_EQ(texts.size(), 13u) << "commands share a help text";
    const ProgramRun set = cli({"set", "--help"});
    for (const char* name : {"static", "flow", "rotate", "dual", "twin", "morse", "rainbow", "breathe", "off",
                             "mode_01", "light_off", "#RRGGBB"})
        EXPECT_NE(set.out.find(name), std::string::npos) << name;
}

TEST_F(CliEndToEndTest, DirectColoursReachTheControllerAndReadBack) {
    const ProgramRun set = cli({"set", "--zone", "main", "--effect", "direct", "--color", "112233"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.out.find("zone main direct color 112233"), std::string::npos) << set.out;
    EXPECT_NE(devsim({"state", "1"}).out.find("custom-colors-0=112233"), std::string::npos);
    const ProgramRun read = cli({"read"});
    EXPECT_NE(read.out.find("zone main: direct color 112233"), std::string::npos) << read.out;
    // What read shows is the controller's colour, not the saved profile's.
    ASSERT_EQ(cli({"raw", "51", "a8", "0", "445566445566445566"}).exitCode, 0);
    EXPECT_NE(cli({"read"}).out.find("zone main: direct color 445566"), std::string::npos);
}

TEST_F(CliEndToEndTest, ColoursEffectNamesAndEveryZone) {
    struct Case {
        QStringList arguments;
        std::string readBack;
    };
    const Case cases[] = {
        {{"--zone", "main", "--effect", "static", "--color", "#00ff80"}, "zone main: static color 00FF80"},
        {{"--zone", "main", "--effect", "static", "--color", "Teal"}, "zone main: static color 008080"},
        {{"--zone", "main", "--effect", "breathe", "--color", "red"}, "zone main: mode_01 color FF0000"},
        {{"--zone", "all", "--effect", "rainbow", "--speed", "1"}, "zone logo: mode_02 speed 1"},
        {{"--zone", "all", "--effect", "off"}, "zone fan: light_off"},
    };
    for (const Case& c : cases) {
        const ProgramRun set = cli(QStringList{"set"} + c.arguments);
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_NE(set.out.find("set standard 0 \"Top\""), std::string::npos) << set.out;
        const ProgramRun read = cli({"read"});
        EXPECT_NE(read.out.find(c.readBack), std::string::npos) << c.arguments.join(' ').toStdString() << "\n"
                                                                << read.out;
    }
    EXPECT_TRUE(cli({"set", "--quiet", "--zone", "main", "--effect", "static"}).out.empty());
}

TEST_F(CliEndToEndTest, ResetAndZelvorSayWhatTheyDidAndReadShowsIt) {
    ASSERT_EQ(cli({"set", "--zone", "main", "--effect", "breathe", "--color", "00ff00"}).exitCode, 0);
    const ProgramRun reset = cli({"reset"});
    ASSERT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_NE(reset.out.find("reset standard 0 \"Top\""), std::string::npos) << reset.out;
    EXPECT_NE(cli({"read"}).out.find("zone main: static color FFFFFF"), std::string::npos);

    const ProgramRun on = cli({"zelvor", "on"});
    ASSERT_EQ(on.exitCode, 0) << on.err;
    EXPECT_NE(on.out.find("zelvor on"), std::string::npos) << on.out;
    EXPECT_NE(cli({"read"}).out.find("zelvor on"), std::string::npos);
    const ProgramRun off = cli({"zelvor", "off"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_NE(off.out.find("zelvor off"), std::string::npos) << off.out;
    const ProgramRun read = cli({"read"});
    EXPECT_NE(read.out.find("zelvor off"), std::string::npos) << read.out;
    EXPECT_NE(read.out.find("zone main: mode_01 color 00FF00"), std::string::npos) << "the saved profile runs again\n"
                                                                                   << read.out;
}

TEST_F(CliEndToEndTest, TextAndJsonAgree) {
    ASSERT_EQ(cli({"set", "--zone", "main", "--effect", "morse", "--morse", "SOS"}).exitCode, 0);
    const ProgramRun text = cli({"read"});
    const ProgramRun json = cli({"read", "--json"});
    EXPECT_NE(text.out.find("morse 1 (selected): SOS"), std::string::npos) << text.out;
    EXPECT_NE(json.out.find("\"selected_morse\":1"), std::string::npos) << json.out;
    EXPECT_NE(text.out.find("zelvor off"), std::string::npos);
    EXPECT_NE(json.out.find("\"zelvor\":false"), std::string::npos);
    const std::string identity = identityOf("1");
    EXPECT_NE(text.out.find("identity " + identity), std::string::npos) << text.out;
    EXPECT_NE(json.out.find("\"identity\":\"" + identity + "\""), std::string::npos) << json.out;
}

TEST_F(CliEndToEndTest, ControllersAreChosenByAllByNameAndByIdentity) {
    const ProgramRun all = cli({"set", "--all", "--zone", "main", "--effect", "static", "--color", "010203"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_NE(all.out.find("set led5 0"), std::string::npos) << all.out;
    for (const char* family : {"standard", "led5"})
        for (const char* device : {"0", "1"}) {
            if (std::string(family) == "led5" && std::string(device) == "1") continue;  // one LED5 controller
            const ProgramRun read = cli({"read", "--family", family, "--device", device});
            EXPECT_NE(read.out.find("zone main: static color 010203"), std::string::npos)
                << family << device << read.out;
        }

    ASSERT_EQ(cli({"set", "--name", "Top", "--zone", "main", "--effect", "static", "--color", "0a0b0c"}).exitCode, 0);
    EXPECT_NE(cli({"read", "--device", "0"}).out.find("static color 0A0B0C"), std::string::npos);
    EXPECT_NE(cli({"read", "--device", "1"}).out.find("static color 010203"), std::string::npos) << "only Top changed";

    const std::string led5 = identityOf("2");
    ASSERT_EQ(led5.size(), 16u) << "--all gave every controller an identity";
    QString upper = QString::fromStdString(led5).toUpper();
    const ProgramRun byIdentity =
        cli({"set", "--identity", upper, "--zone", "main", "--effect", "static", "--color", "0d0e0f"});
    ASSERT_EQ(byIdentity.exitCode, 0) << byIdentity.err;
    EXPECT_NE(byIdentity.out.find("set led5 0"), std::string::npos) << byIdentity.out;
    EXPECT_NE(cli({"read", "--identity", QString::fromStdString(led5)}).out.find("static color 0D0E0F"),
              std::string::npos);
    EXPECT_NE(cli({"read", "--device", "0"}).out.find("static color 0A0B0C"), std::string::npos);

    ASSERT_EQ(cli({"rename", "--family", "led5", "Top"}).exitCode, 0);
    const ProgramRun twice = cli({"read", "--name", "Top"});
    EXPECT_EQ(twice.exitCode, 64);
    EXPECT_NE(twice.err.find("--identity"), std::string::npos) << twice.err;
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
