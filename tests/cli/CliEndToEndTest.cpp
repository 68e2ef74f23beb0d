// Starts the devsim daemon and runs lumenstra-cli against it, as a user would.
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

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

TEST_F(CliEndToEndTest, ListShowsEveryControllerWithItsPositionOnItsLink) {
    ProgramRun list = cli({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "standard 0 app 1 014d\nstandard 1 app 2 014d\nled5 0 app 1 015b\n");
    ASSERT_EQ(devsim({"unplug", "1"}).exitCode, 0);
    list = cli({"list"});
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

TEST_F(CliEndToEndTest, AnUnknownBackendIsAnErrorNotAnEmptyList) {
    environment.insert("LUMENSTRA_HID", "bluetooth");
    const ProgramRun list = cli({"list"});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_TRUE(list.out.empty());
    EXPECT_NE(list.err.find("LUMENSTRA_HID"), std::string::npos);
}

}  // namespace
