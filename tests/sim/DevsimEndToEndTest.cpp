// Runs the real devsim daemon and its command line, and reaches the daemon's
// controllers through DevsimBackend as another program would.
#include "sim/DevsimBackend.h"
#include "sim/Record.h"
#include "tests/support/TestEnvironment.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

const QString kDevsim = LUMENSTRA_BIN_DIR "/devsim";

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunResult devsim(const QStringList& arguments) {
    QProcess process;
    process.start(kDevsim, arguments);
    RunResult run;
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

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::uint8_t> report(std::uint8_t cmd, std::uint8_t key, std::uint16_t index, std::vector<std::uint8_t> data = {}) {
    sim::Record record = sim::makeRecord(cmd, key, index, data);
    std::vector<std::uint8_t> bytes(sim::kReportSize, 0);
    std::copy(record.begin(), record.end(), bytes.begin() + 1);
    return bytes;
}

class Events {
public:
    std::function<void(const hid::PlugEvent&)> callback() {
        return [this](const hid::PlugEvent& event) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
            m_changed.notify_all();
        };
    }
    std::vector<hid::PlugEvent> waitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 10s, [&] { return m_events.size() >= count; });
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<hid::PlugEvent> m_events;
};

class DevsimEndToEndTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override {
        socket = QString::fromStdString(home.path("runtime/devsim.sock"));
        daemon.setProcessChannelMode(QProcess::ForwardedChannels);
        daemon.start(kDevsim, {"serve", "--socket", socket, "--device", "standard,name=Top card", "--device", "led5,fw=2.1.7"});
        ASSERT_TRUE(daemon.waitForStarted(10000));
        // Ready once the command line reaches it.
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (devsim({"list", "--socket", socket}).exitCode == 0) return;
            std::this_thread::sleep_for(25ms);
        }
        FAIL() << "devsim serve did not come up";
    }

    void TearDown() override {
        daemon.terminate();
        if (!daemon.waitForFinished(10000)) daemon.kill();
        EXPECT_EQ(daemon.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(daemon.exitCode(), 0);
        EXPECT_FALSE(std::filesystem::exists(socket.toStdString())) << "the daemon removes its socket";
    }

    QStringList with(QStringList arguments) {
        arguments.insert(1, "--socket");
        arguments.insert(2, socket);
        return arguments;
    }

    sim::Record readRecord(hid::Device& device) {
        std::array<std::uint8_t, sim::kReportSize> buffer{};
        EXPECT_EQ(device.read(buffer, 5s), static_cast<int>(sim::kReportSize));
        sim::Record record{};
        std::copy(buffer.begin() + 1, buffer.end(), record.begin());
        return record;
    }

    QString socket;
    QProcess daemon;
};

TEST_F(DevsimEndToEndTest, PlugListAndUnplugFromTheCommandLine) {
    RunResult list = devsim(with({"list"}));
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(linesOf(list.out), (std::vector<std::string>{"1 014d app 1.0.0 Top card", "2 015b app 2.1.7 -"}));

    RunResult plug = devsim(with({"plug", "led5,name=Third,group,board=7"}));
    EXPECT_EQ(plug.exitCode, 0) << plug.err;
    EXPECT_EQ(plug.out, "3\n");
    RunResult unplug = devsim(with({"unplug", "1"}));
    EXPECT_EQ(unplug.exitCode, 0) << unplug.err;
    list = devsim(with({"list"}));
    EXPECT_EQ(linesOf(list.out), (std::vector<std::string>{"2 015b app 2.1.7 -", "3 015b app 1.0.0 Third"}));

    RunResult state = devsim(with({"state", "3"}));
    EXPECT_EQ(state.exitCode, 0);
    auto lines = linesOf(state.out);
    for (const char* expected : {"pid=015b", "mode=app", "board=7", "group=1", "name=Third"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
}

TEST_F(DevsimEndToEndTest, CommandLineErrorsHaveTheirExitCodes) {
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {with({"unplug", "9"}), 1, "no device 9"},
        {with({"state", "9"}), 1, "no device 9"},
        {with({"plug", "standard,boot"}), 1, "boot loader"},
        {with({"plug", "mouse"}), 64, "standard or led5"},
        {with({"fault", "1", "drop=1"}), 64, "unknown fault"},
        {with({"fault", "1", "delay-ms=-3"}), 64, "at least 0"},
        {with({"fault", "9", "delay-ms=3"}), 1, "no device 9"},
        {with({"list", "extra"}), 64, "no argument"},
        {with({"frobnicate"}), 64, "unknown command"},
        {{"list"}, 64, "--socket PATH is needed"},
        {{"list", "--socket", QString::fromStdString(home.path("runtime/none.sock"))}, 1, "cannot reach devsim"},
        {{"serve", "--socket", socket}, 1, "another devsim already serves"},
    };
    for (const Case& c : cases) {
        RunResult run = devsim(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments.join(' ').toStdString() << ": " << run.err;
    }
    RunResult help = devsim({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("devsim serve"), std::string::npos);
}

TEST_F(DevsimEndToEndTest, BackendTalksToTheDaemonsControllersAndTheTraceShowsIt) {
    sim::DevsimBackend backend(socket.toStdString());
    auto infos = backend.enumerate();
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0].vendorId, 0x2516);
    EXPECT_EQ(infos[0].productId, 0x014D);
    EXPECT_EQ(infos[1].productId, 0x015B);
    EXPECT_EQ(infos[1].usagePage, 0xFF00);
    EXPECT_EQ(infos[1].usage, 0x0001);

    hid::OpenError error = hid::OpenError::Other;
    auto device = backend.open(infos[1].path, error);
    ASSERT_TRUE(device);
    EXPECT_EQ(error, hid::OpenError::None);
    ASSERT_EQ(device->write(report(0x51, 0x96, 0, {0x10})), 65);
    EXPECT_EQ(readRecord(*device), sim::makeRecord(0x51, 0x96, 0, std::vector<std::uint8_t>{0x10}));

    // A second client sees what the first stored.
    sim::DevsimBackend other(socket.toStdString());
    auto second = other.open(infos[1].path, error);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->write(report(0x52, 0x96, 0)), 65);
    EXPECT_EQ(readRecord(*second)[4], 0x10);
    // Like a hidraw node, every open handle of the device gets every reply.
    EXPECT_EQ(readRecord(*device)[0], 0x52);

    RunResult trace = devsim(with({"trace", "--clear"}));
    EXPECT_EQ(trace.exitCode, 0);
    EXPECT_EQ(linesOf(trace.out), (std::vector<std::string>{"2 015b 51 96 0000 10" + std::string(118, '0'),
                                                            "2 015b 52 96 0000 " + std::string(120, '0')}));
    EXPECT_EQ(devsim(with({"trace"})).out, "");

    RunResult fault = devsim(with({"fault", "2", "drop-replies=1"}));
    EXPECT_EQ(fault.exitCode, 0) << fault.err;
    ASSERT_EQ(device->write(report(0x41, 0x03, 0)), 65);
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 300ms), 0) << "the reply was dropped";
    ASSERT_EQ(device->write(report(0x41, 0x00, 0)), 65);
    EXPECT_EQ(readRecord(*device)[0], 0x41);

    error = hid::OpenError::None;
    EXPECT_FALSE(backend.open("sim:99", error));
    EXPECT_EQ(error, hid::OpenError::NotFound);
}

TEST_F(DevsimEndToEndTest, PlugEventsReachTheBackendsWatch) {
    sim::DevsimBackend backend(socket.toStdString());
    Events events;
    auto watch = backend.watch(events.callback());
    ASSERT_TRUE(watch);
    hid::OpenError error;
    auto device = backend.open(backend.enumerate().at(0).path, error);
    ASSERT_TRUE(device);

    RunResult plug = devsim(with({"plug", "standard"}));
    ASSERT_EQ(plug.exitCode, 0);
    ASSERT_EQ(devsim(with({"unplug", "1"})).exitCode, 0);
    ASSERT_EQ(devsim(with({"suspend"})).exitCode, 0);
    ASSERT_EQ(devsim(with({"resume"})).exitCode, 0);
    auto seen = events.waitFor(4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].kind, hid::PlugEvent::Kind::Arrival);
    EXPECT_EQ(seen[0].path, "sim:3");
    EXPECT_EQ(seen[1].kind, hid::PlugEvent::Kind::Removal);
    EXPECT_EQ(seen[1].path, "sim:1");
    EXPECT_EQ(seen[2].kind, hid::PlugEvent::Kind::Suspend);
    EXPECT_EQ(seen[3].kind, hid::PlugEvent::Kind::Resume);
    EXPECT_TRUE(backend.waitUntilSettled(5s));

    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 5s), -1) << "the unplugged device's handle fails";
    EXPECT_EQ(device->write(report(0x41, 0, 0)), -1);
}

TEST_F(DevsimEndToEndTest, EventReportsFromTheCommandLineReachOpenDevices) {
    sim::DevsimBackend backend(socket.toStdString());
    hid::OpenError error;
    auto device = backend.open("sim:2", error);
    ASSERT_TRUE(device);
    RunResult event = devsim(with({"event", "2", "64", "0700000102"}));
    EXPECT_EQ(event.exitCode, 0) << event.err;
    EXPECT_EQ(readRecord(*device), sim::makeRecord(0x42, 0x20, 64, std::vector<std::uint8_t>{7, 0, 0, 1, 2}));
    EXPECT_EQ(devsim(with({"event", "2", "0", "0g"})).exitCode, 64);
    EXPECT_EQ(devsim(with({"event", "2", "65536"})).exitCode, 64);
    EXPECT_EQ(devsim(with({"event", "7", "0"})).exitCode, 1);
}

TEST(DevsimBackendWithoutDaemonTest, FailsQuietly) {
    testsupport::TemporaryHome home;
    sim::DevsimBackend backend(home.path("runtime/absent.sock"));
    EXPECT_TRUE(backend.enumerate().empty());
    hid::OpenError error = hid::OpenError::None;
    EXPECT_FALSE(backend.open("sim:1", error));
    EXPECT_EQ(error, hid::OpenError::NotFound);
    EXPECT_FALSE(backend.watch([](const hid::PlugEvent&) {}));
    EXPECT_FALSE(backend.waitUntilSettled(10ms));
}

}  // namespace
