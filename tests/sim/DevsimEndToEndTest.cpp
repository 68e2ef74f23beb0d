// Runs the real devsim daemon and its command line, and reaches the daemon's
// controllers through DevsimBackend as another program would.
#include "sim/DevsimBackend.h"
#include "sim/DevsimProtocol.h"
#include "sim/Record.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string kDevsim = LUMENSTRA_BIN_DIR "/devsim";

// Child processes are started with fork and exec, which ThreadSanitizer
// follows; a vfork-style start runs the child on the parent's thread state.
pid_t startChild(const std::vector<std::string>& arguments, int outFd, int errFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kDevsim.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (outFd >= 0) ::dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0) ::dup2(errFd, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for the child to end, at most `limit`; its exit code, or -1.
int waitChild(pid_t pid, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunResult devsim(const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    pid_t pid = startChild(arguments, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    RunResult run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    int open = 2;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char chunk[4096];
            ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                texts[i]->append(chunk, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);
    run.exitCode = pid > 0 ? waitChild(pid, 10s) : -1;
    return run;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::uint8_t> report(std::uint8_t cmd, std::uint8_t key, std::uint16_t index,
                                 std::vector<std::uint8_t> data = {}) {
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
        socket = home.path("runtime/devsim.sock");
        daemon =
            startChild({"serve", "--socket", socket, "--device", "standard,name=Top card", "--device", "led5,fw=2.1.7"},
                       -1, -1);
        ASSERT_GT(daemon, 0);
        // Ready once the command line reaches it.
        for (int attempt = 0; attempt < 400; ++attempt) {
            if (devsim({"list", "--socket", socket}).exitCode == 0) return;
            std::this_thread::sleep_for(25ms);
        }
        FAIL() << "devsim serve did not come up";
    }

    void TearDown() override {
        if (daemon <= 0) return;
        ::kill(daemon, SIGTERM);
        EXPECT_EQ(waitChild(daemon, 10s), 0) << "the daemon ends cleanly on SIGTERM";
        EXPECT_FALSE(std::filesystem::exists(socket)) << "the daemon removes its socket";
    }

    std::vector<std::string> with(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin() + 1, {"--socket", socket});
        return arguments;
    }

    sim::Record readRecord(hid::Device& device) {
        std::array<std::uint8_t, sim::kReportSize> buffer{};
        EXPECT_EQ(device.read(buffer, 5s), static_cast<int>(sim::kReportSize));
        sim::Record record{};
        std::copy(buffer.begin() + 1, buffer.end(), record.begin());
        return record;
    }

    std::string socket;
    pid_t daemon = -1;
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
        std::vector<std::string> arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {with({"unplug", "9"}), 1, "no device 9"},
        {with({"state", "9"}), 1, "no device 9"},
        {with({"plug", "mouse"}), 64, "standard or led5"},
        {with({"fault", "1", "drop=1"}), 64, "unknown fault"},
        {with({"fault", "1", "delay-ms=-3"}), 64, "at least 0"},
        {with({"fault", "9", "delay-ms=3"}), 1, "no device 9"},
        {with({"list", "extra"}), 64, "no argument"},
        {with({"frobnicate"}), 64, "unknown command"},
        {{"list"}, 64, "--socket PATH is needed"},
        // No daemon is its own exit code, with the command that starts one.
        {{"list", "--socket", home.path("runtime/none.sock")}, 3, "devsim serve --socket"},
        {{"trace", "--socket", home.path("runtime/none.sock")}, 3, "cannot reach devsim"},
        // An unknown command is named as such before the socket is asked for.
        {{"frob"}, 64, "unknown command \"frob\""},
        {{"frob", "--socket", socket}, 64, "unknown command \"frob\""},
        {{"serve", "--socket", socket}, 1, "another devsim already serves"},
        {{"serve", "--socket", home.path("runtime/bad.sock"), "--device", "led5,fw=1"}, 64, "MAJOR.MINOR.BUILD"},
        {{"serve", "--socket", home.path("runtime/x.sock"), "--latency-ms", "-1"}, 64, "--latency-ms"},
    };
    for (const Case& c : cases) {
        RunResult run = devsim(c.arguments);
        std::string command;
        for (const std::string& argument : c.arguments) command += argument + " ";
        EXPECT_EQ(run.exitCode, c.exitCode) << command;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << command << ": " << run.err;
    }
    RunResult help = devsim({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("devsim serve"), std::string::npos);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
    // A usage error is its line and a pointer to --help, not the whole usage.
    RunResult usage = devsim(with({"list", "extra"}));
    EXPECT_NE(usage.err.find("devsim --help"), std::string::npos) << usage.err;
    EXPECT_EQ(usage.err.find("devsim serve"), std::string::npos) << usage.err;
}

TEST_F(DevsimEndToEndTest, BackendTalksToTheDaemonsControllersAndTheTraceShowsIt) {
    sim::DevsimBackend backend(socket);
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
    sim::DevsimBackend other(socket);
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
    sim::DevsimBackend backend(socket);
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

TEST_F(DevsimEndToEndTest, AWatchMayEndItselfFromItsCallback) {
    sim::DevsimBackend backend(socket);
    std::mutex mutex;
    std::condition_variable ended;
    std::unique_ptr<hid::PlugWatch> watch;
    bool done = false;
    {
        std::lock_guard lock(mutex);
        watch = backend.watch([&](const hid::PlugEvent&) {
            std::unique_ptr<hid::PlugWatch> self;
            {
                std::lock_guard inner(mutex);
                self = std::move(watch);
            }
            self.reset();
            std::lock_guard inner(mutex);
            done = true;
            ended.notify_all();
        });
    }
    ASSERT_EQ(devsim(with({"plug", "standard"})).exitCode, 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(ended.wait_for(lock, 10s, [&] { return done; }));
}

TEST_F(DevsimEndToEndTest, EventReportsFromTheCommandLineReachOpenDevices) {
    sim::DevsimBackend backend(socket);
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

TEST_F(DevsimEndToEndTest, MalformedRequestsAreRefusedAndTheDaemonCarriesOn) {
    const std::pair<const char*, const char*> requests[] = {
        {"", "unknown request"},
        {"frobnicate", "unknown request"},
        {"plug standard,fw=x", "MAJOR.MINOR.BUILD"},
        {"unplug one", "no device one"},
        {"fault 1 drop-replies x", "at least 0"},
        {"fault 1 nothing 1", "unknown fault"},
        {"settle -1", "milliseconds"},
        {"trace everything", "clear"},
        {"event 1 0 abc", "hex"},
        {"event 1 70000 00", "65535"},
    };
    for (const auto& [line, reason] : requests) {
        sim::devsim::Answer answer = sim::devsim::request(socket, line);
        EXPECT_FALSE(answer.ok) << line;
        EXPECT_NE(answer.error.find(reason), std::string::npos) << line << ": " << answer.error;
    }

    // A device stream acknowledges a bad write with -1 and stays usable.
    std::string error;
    int fd = sim::devsim::connectToDaemon(socket, error);
    ASSERT_GE(fd, 0) << error;
    sim::devsim::LineReader reader(fd);
    std::string line;
    ASSERT_TRUE(sim::devsim::sendLine(fd, "open sim:1"));
    ASSERT_TRUE(reader.readLine(line));
    EXPECT_EQ(line, "ok");
    const std::string tooLong(2 * 66, '0');
    for (const std::string& bad : std::vector<std::string>{"write zz", "write 0", "write " + tooLong, "hello"}) {
        ASSERT_TRUE(sim::devsim::sendLine(fd, bad));
        ASSERT_TRUE(reader.readLine(line));
        EXPECT_EQ(line, "ack -1") << bad;
    }
    ASSERT_TRUE(sim::devsim::sendLine(fd, "write 00" + sim::toHex(sim::makeRecord(0x41, 0x80, 0))));
    ASSERT_TRUE(reader.readLine(line));
    EXPECT_EQ(line, "ack 65");
    ASSERT_TRUE(reader.readLine(line));
    EXPECT_EQ(line, "in 00" + sim::toHex(sim::makeRecord(0x41, 0x80, 0)));
    ::close(fd);

    EXPECT_EQ(devsim(with({"list"})).exitCode, 0);
}

// A client that reads to the end of the stream sees it end after the answer,
// for an answer with data, an empty one, an error and a refused device stream.
TEST_F(DevsimEndToEndTest, ControlConnectionsEndAfterTheirAnswer) {
    const std::pair<const char*, const char*> requests[] = {{"list", "ok"},
                                                            {"settle 0", "ok"},
                                                            {"frobnicate", "error"},
                                                            {"open sim:99", "error"}};
    for (const auto& [request, last] : requests) {
        std::string error;
        const int fd = sim::devsim::connectToDaemon(socket, error);
        ASSERT_GE(fd, 0) << error;
        ASSERT_TRUE(sim::devsim::sendLine(fd, request));
        std::string received;
        bool ended = false;
        for (int polls = 0; polls < 100 && !ended; ++polls) {
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0) continue;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                ended = true;
            else
                received.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(fd);
        EXPECT_TRUE(ended) << request << ": the daemon kept the connection open";
        const std::size_t lastLine = received.rfind('\n', received.size() - 2);
        const std::string tail = received.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
        EXPECT_EQ(tail.substr(0, std::string(last).size()), last) << request << ": " << received;
    }
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
