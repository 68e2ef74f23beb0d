// Runs the real devsim daemon and the real updater with a package appended.
#include "tests/support/RunProgram.h"
#include "tests/support/TestEnvironment.h"
#include "tests/updater/UpdaterFixture.h"
#include "updater/FlashSequence.h"
#include "updater/Package.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string kDevsim = LUMENSTRA_BIN_DIR "/devsim";
constexpr std::size_t kApplicationSize = 65536;  // P * N of the emulated controller

std::string field(const std::string& text, const std::string& key) {
    const std::string prefix = key + "=";
    std::size_t at = text.find("\n" + prefix);
    at = text.compare(0, prefix.size(), prefix) == 0 ? 0 : at == std::string::npos ? at : at + 1;
    if (at == std::string::npos) return {};
    const std::size_t end = text.find('\n', at);
    return text.substr(at + prefix.size(), end - at - prefix.size());
}

class NimbrelEndToEndTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override {
        socket = home.path("runtime/devsim.sock");
        daemon = ::fork();
        if (daemon == 0) {
            ::execl(kDevsim.c_str(), kDevsim.c_str(), "serve", "--socket", socket.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(daemon, 0);
        for (int attempt = 0; attempt < 400; ++attempt) {
            if (devsim({"list"}).exitCode == 0) break;
            std::this_thread::sleep_for(25ms);
        }
        ::setenv("LUMENSTRA_HID", ("devsim:" + socket).c_str(), 1);
        // The terminal front end: no display for the updater to open its window on.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
        data = updatertest::imageBytes(6001);
        updater = home.path("Nimbrel");
        writeUpdater(updater, {1, 2, 7});
    }

    void TearDown() override {
        ::unsetenv("LUMENSTRA_HID");
        if (daemon <= 0) return;
        ::kill(daemon, SIGTERM);
        int status = 0;
        ::waitpid(daemon, &status, 0);
    }

    void writeUpdater(const std::string& path, updater::FirmwareVersion version) {
        updater::FirmwarePackage package;
        package.trailer.title = u"Nimbrel test";
        updatertest::addGroup(package, 0, sim::ControllerKind::Standard, 1, data, version);
        const auto bytesOfPackage = updater::BuildPackage(package.trailer, package.images);
        std::string bytes = testsupport::readFileBytes(NIMBREL_PROGRAM);
        bytes.append(bytesOfPackage.begin(), bytesOfPackage.end());
        testsupport::writeFileBytes(path, bytes);
        ::chmod(path.c_str(), 0755);
    }

    testsupport::ProgramRun devsim(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin() + 1, {"--socket", socket});
        return testsupport::runProgram(kDevsim, arguments, 20);
    }

    testsupport::ProgramRun nimbrel(std::vector<std::string> arguments = {"dev:1", "-silent"}) {
        return testsupport::runProgram(updater, arguments, 120);
    }

    std::string state(const std::string& id) { return devsim({"state", id}).output; }

    // Runs the updater on a terminal (standard input and output a pseudo
    // terminal) and types `answer` once it asks; its output and exit code.
    testsupport::ProgramRun nimbrelOnTerminal(const std::vector<std::string>& arguments, const std::string& answer) {
        testsupport::ProgramRun run;
        int terminal = -1;
        const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child < 0) return run;
        if (child == 0) {
            std::vector<char*> argv{const_cast<char*>(updater.c_str())};
            for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(updater.c_str(), argv.data());
            ::_exit(127);
        }
        bool answered = false;
        // Bounded: 1200 rounds of at most 100 ms; the run ends long before.
        for (int round = 0; round < 1200; ++round) {
            pollfd ready{terminal, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            char buffer[512];
            const ssize_t got = ::read(terminal, buffer, sizeof buffer);
            if (got <= 0) break;  // the updater ended and closed the terminal
            run.output.append(buffer, static_cast<std::size_t>(got));
            if (!answered && run.output.find("[y/N]") != std::string::npos) {
                answered = true;
                const std::string line = answer + "\n";
                if (::write(terminal, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
            }
        }
        int status = 0;
        ::kill(child, SIGTERM);  // only if it still runs after the bound
        ::waitpid(child, &status, 0);
        ::close(terminal);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // The checksum the controller reports over its application area holding `data`.
    std::string expectedChecksum() const {
        std::vector<std::uint8_t> area = data;
        area.resize(kApplicationSize, 0xFF);
        char text[16];
        std::snprintf(text, sizeof text, "%08x", updater::ImageChecksum(area));
        return text;
    }

    // Waits until the controller is back in its application firmware.
    bool waitForApplication(const std::string& id) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (field(state(id), "mode") == "app") return true;
            std::this_thread::sleep_for(25ms);
        }
        return false;
    }

    std::string socket;
    std::string updater;
    std::vector<std::uint8_t> data;
    pid_t daemon = -1;
};

TEST_F(NimbrelEndToEndTest, SilentUpdateOfAnApplicationModeControllerInstallsTheNewVersion) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).output, "1\n");
    const auto run = nimbrel();
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_TRUE(run.output.empty()) << "silent: " << run.output;
    ASSERT_TRUE(waitForApplication("1"));
    const std::string after = state("1");
    EXPECT_EQ(field(after, "firmware"), "1.2.7");
    EXPECT_EQ(field(after, "flash-checksum"), expectedChecksum());
    EXPECT_EQ(field(after, "pid"), "014d");
}

TEST_F(NimbrelEndToEndTest, RefusalsHaveTheirExitCodes) {
    EXPECT_EQ(nimbrel().exitCode, 2) << "no controller";
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.7"}).exitCode, 0);
    EXPECT_EQ(nimbrel().exitCode, 4) << "same version";
    EXPECT_EQ(nimbrel({"dev:2", "-silent"}).exitCode, 2) << "no second device";
    EXPECT_EQ(field(state("1"), "mode"), "app") << "a refused update leaves the controller alone";
    ASSERT_EQ(devsim({"plug", "standard,fw=1.0.0,board=9"}).exitCode, 0);
    EXPECT_EQ(nimbrel({"dev:2", "-silent"}).exitCode, 3) << "no image for board 9";
}

TEST_F(NimbrelEndToEndTest, ForceTheTerminalReportAndTheRelaunch) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.7"}).exitCode, 0);
    // Stands in for Lumenstra: records the argument it was started with.
    const std::string relaunched = home.path("relaunched.sh");
    testsupport::writeFileBytes(relaunched, "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/relaunch-argument\"\n");
    ::chmod(relaunched.c_str(), 0755);
    const auto run = nimbrel({"-force", "true", "relaunched.sh"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("1.2.7"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("100%"), std::string::npos) << run.output;
    // The phases, in order, around the bar.
    const std::size_t starting = run.output.find("Starting the update");
    const std::size_t writing = run.output.find("Writing the firmware:");
    ASSERT_NE(starting, std::string::npos) << run.output;
    ASSERT_NE(writing, std::string::npos) << run.output;
    EXPECT_LT(starting, writing);
    EXPECT_LT(writing, run.output.find("100%"));
    EXPECT_NE(run.output.find("Firmware Update Success!"), std::string::npos) << run.output;
    const std::string argumentFile = home.path("relaunch-argument");
    for (int attempt = 0; attempt < 200 && !std::filesystem::exists(argumentFile); ++attempt)
        std::this_thread::sleep_for(25ms);
    EXPECT_EQ(testsupport::readFileBytes(argumentFile), "true\n");
}

TEST_F(NimbrelEndToEndTest, PowerLossInTheMiddleFailsAndASecondRunRecovers) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).exitCode, 0);
    // Six records in the application firmware, four to start the flash, then 50 blocks.
    ASSERT_EQ(devsim({"fault", "1", "unplug-after=60"}).exitCode, 0);
    const auto first = nimbrel();
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_NE(first.errors.find("Fail to Write Flash : "), std::string::npos)
        << "silent, yet it says why: " << first.errors;
    const std::string trace = devsim({"trace"}).output;
    const std::size_t lastLine = trace.rfind('\n', trace.size() - 2);
    EXPECT_EQ(trace.substr(lastLine + 1, 7), "1 014e ") << "power went while in the boot loader";
    EXPECT_EQ(devsim({"list"}).output, "");

    // Power back: the half-written controller starts in its boot loader.
    ASSERT_EQ(devsim({"plug", "standard,boot,fw=1.2.5"}).output, "2\n");
    const auto second = nimbrel();
    ASSERT_EQ(second.exitCode, 0) << second.output << second.errors;
    ASSERT_TRUE(waitForApplication("2"));
    EXPECT_EQ(field(state("2"), "firmware"), "1.2.7");
    EXPECT_EQ(field(state("2"), "flash-checksum"), expectedChecksum());
}

// Power comes back mid-update: the controller returns by itself in its boot
// loader, half written; the cut run failed, a second run installs the image.
TEST_F(NimbrelEndToEndTest, APowerCycleMidUpdateFailsAndASecondRunRecovers) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).exitCode, 0);
    ASSERT_EQ(devsim({"fault", "1", "power-cycle-after=60"}).exitCode, 0);
    const auto cut = nimbrel();
    EXPECT_EQ(cut.exitCode, 1) << cut.errors;
    std::string listed;
    for (int attempt = 0; attempt < 200 && listed.empty(); ++attempt) {
        listed = devsim({"list"}).output;
        if (listed.empty()) std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(listed.substr(0, 12), "1 014e boot ") << listed;
    const auto second = nimbrel();
    ASSERT_EQ(second.exitCode, 0) << second.output << second.errors;
    ASSERT_TRUE(waitForApplication("1"));
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.7");
    EXPECT_EQ(field(state("1"), "flash-checksum"), expectedChecksum());
}

// One flipped byte inside the firmware: refused before any controller is touched.
TEST_F(NimbrelEndToEndTest, ADamagedPackageIsRefusedBeforeAnythingIsSent) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).exitCode, 0);
    std::string bytes = testsupport::readFileBytes(updater);
    const std::size_t infoLength = updatertest::infoFor({1, 2, 7}).size();
    bytes[bytes.size() - updater::kTrailerSize - infoLength - 1000] ^= 0x04;
    testsupport::writeFileBytes(updater, bytes);
    const auto run = nimbrel();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find(updater::kDamagedMessage), std::string::npos) << run.errors;
    EXPECT_EQ(devsim({"trace"}).output, "") << "nothing was sent";
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.5");
}

// lumenstra-cli runs the demo updater built next to it (synthetic 1.2.7 image).
TEST_F(NimbrelEndToEndTest, CliChecksAndUpdatesThroughTheFamilysUpdater) {
    const std::string cli = LUMENSTRA_BIN_DIR "/lumenstra-cli";
    ASSERT_EQ(devsim({"plug", "led5,fw=1.2.5"}).exitCode, 0);
    auto check = testsupport::runProgram(cli, {"check", "--family", "led5"});
    ASSERT_EQ(check.exitCode, 0) << check.errors;
    EXPECT_EQ(check.output, "mode: app\nfirmware: 1.2.5\npackage: 1.2.7\nresult: -1\n");
    EXPECT_EQ(testsupport::runProgram(cli, {"update", "--family", "led5", "--device", "1", "--yes"}).exitCode, 2)
        << "no second one";
    const auto refused = testsupport::runProgram(cli, {"update", "--family", "led5"});
    EXPECT_EQ(refused.exitCode, 64) << "no terminal to ask on and no --yes";
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.5") << "nothing flashed without --yes";
    const auto update = testsupport::runProgram(cli, {"update", "--family", "led5", "--yes"}, 120);
    ASSERT_EQ(update.exitCode, 0) << update.errors;
    EXPECT_EQ(update.output, "result: 0 updated\n");
    ASSERT_TRUE(waitForApplication("1"));
    check = testsupport::runProgram(cli, {"check", "--family", "led5"});
    EXPECT_EQ(check.output, "mode: app\nfirmware: 1.2.7\npackage: 1.2.7\nresult: 0\n");
    const auto again = testsupport::runProgram(cli, {"update", "--family", "led5", "--yes"});
    EXPECT_EQ(again.exitCode, 4);
    EXPECT_EQ(again.output, "result: 4 the package is not newer\n");
    EXPECT_EQ(testsupport::runProgram(cli, {"check"}).exitCode, 2) << "no standard controller";
}

TEST_F(NimbrelEndToEndTest, WithoutARuntimeFolderOnlyAFolderNotOursStopsTheUpdateAndSaysWhy) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).exitCode, 0);
    const std::string fallback = home.withoutRuntimeFolder();
    const std::string uid = std::to_string(::getuid());

    // The fallback folder, under our name but open to everyone: refused, the controller left alone.
    testsupport::makeFolder(fallback, std::filesystem::perms::all);
    const auto refused = nimbrel();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("the runtime folder " + fallback + " is open to other users"), std::string::npos)
        << refused.errors;
    EXPECT_NE(refused.errors.find("not updating"), std::string::npos) << refused.errors;
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.5");

    // A lock file someone else holds at the predictable name of the shared folder stops nothing.
    std::filesystem::remove(fallback);
    const std::string planted = home.path("tmp/KESTREL_NIMBREL_MUTEX.lock-" + uid);
    const int plantedFd = ::open(planted.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(plantedFd, 0);
    ASSERT_EQ(::flock(plantedFd, LOCK_EX | LOCK_NB), 0);
    const auto run = nimbrel();
    ::close(plantedFd);
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    ASSERT_TRUE(waitForApplication("1"));
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.7");
}

TEST_F(NimbrelEndToEndTest, HelpIsPrintedWithoutTouchingDevices) {
    const auto run = nimbrel({"x/helpy"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("-silent  \t:don't show ui and auto to update fw"), std::string::npos);
}

// Without "-silent" or "true" nothing may be flashed before a yes; the
// programs' standard input is no terminal here, which means no.
TEST_F(NimbrelEndToEndTest, NothingIsFlashedWithoutConfirmation) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).output, "1\n");
    const std::string before = field(state("1"), "flash-checksum");
    struct Case {
        std::vector<std::string> arguments;
        bool help;
    };
    const Case cases[] = {{{}, false},    {{"dev:1"}, false}, {{"--bogus"}, false}, {{"-force"}, false},
                          {{"-h"}, true}, {{"--help"}, true}, {{"/?"}, true},       {{"-H"}, true}};
    for (const Case& c : cases) {
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
        const auto run = nimbrel(c.arguments);
        EXPECT_EQ(run.exitCode, 0) << shown << run.output << run.errors;
        const bool helpPrinted = run.output.find("-silent  \t:don't show ui") != std::string::npos;
        EXPECT_EQ(helpPrinted, c.help) << shown << run.output;
        if (!c.help) {
            EXPECT_NE(run.output.find("Nothing was flashed."), std::string::npos) << shown << run.output;
        }
        const std::string after = state("1");
        EXPECT_EQ(field(after, "mode"), "app") << shown;
        EXPECT_EQ(field(after, "firmware"), "1.2.5") << shown;
        EXPECT_EQ(field(after, "flash-checksum"), before) << shown;
    }
}

// On a terminal the question decides: only a yes flashes.
TEST_F(NimbrelEndToEndTest, OnATerminalOnlyAYesFlashes) {
    struct Case {
        const char* answer;
        bool flashed;
    };
    const Case cases[] = {{"n", false}, {"", false}, {"maybe", false}, {"y", true}};
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).output, "1\n");
    for (const Case& c : cases) {
        const auto run = nimbrelOnTerminal({"dev:1"}, c.answer);
        EXPECT_EQ(run.exitCode, 0) << c.answer << run.output;
        EXPECT_NE(run.output.find("[y/N]"), std::string::npos) << c.answer << run.output;
        EXPECT_EQ(run.output.find("Nothing was flashed.") == std::string::npos, c.flashed) << c.answer << run.output;
        if (c.flashed) {
            EXPECT_NE(run.output.find("Firmware Update Success!"), std::string::npos) << run.output;
            ASSERT_TRUE(waitForApplication("1"));
        }
        EXPECT_EQ(field(state("1"), "firmware"), c.flashed ? "1.2.7" : "1.2.5") << c.answer;
    }
}

TEST_F(NimbrelEndToEndTest, AFolderNamedHelpIsNoHelpRequest) {
    ASSERT_EQ(devsim({"plug", "standard,fw=1.2.5"}).output, "1\n");
    std::filesystem::create_directories(home.path("tools/help"));
    updater = home.path("tools/help/Nimbrel");
    writeUpdater(updater, {1, 2, 7});
    const auto run = nimbrel();
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_EQ(run.output.find(":help Info"), std::string::npos) << run.output;
    ASSERT_TRUE(waitForApplication("1"));
    EXPECT_EQ(field(state("1"), "firmware"), "1.2.7");
}

}  // namespace
