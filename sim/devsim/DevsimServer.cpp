#include "sim/devsim/DevsimServer.h"

#include "platform/Numbers.h"
#include "sim/DevsimProtocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim::devsim {

namespace {

// How often a device's forwarder looks whether its connection has ended.
constexpr std::chrono::milliseconds kForwardPoll{100};

std::string eventLine(const hid::PlugEvent& event) {
    switch (event.kind) {
    case hid::PlugEvent::Kind::Arrival: return "event arrival " + event.path;
    case hid::PlugEvent::Kind::Removal: return "event removal " + event.path;
    case hid::PlugEvent::Kind::Suspend: return "event suspend";
    case hid::PlugEvent::Kind::Resume: return "event resume";
    }
    return {};
}

}  // namespace

struct DevsimServer::Connection {
    explicit Connection(int socket) : fd(socket), reader(socket) {}
    ~Connection() { ::close(fd); }
    bool send(std::string_view line) {
        std::lock_guard lock(writeMutex);
        return sendLine(fd, line);
    }
    int fd;
    LineReader reader;  // used by the connection's thread only
    std::mutex writeMutex;
    std::thread thread;
    std::atomic<bool> finished{false};
};

DevsimServer::DevsimServer(SimBackend& backend) : m_backend(backend) {}

DevsimServer::~DevsimServer() {
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(m_socketPath.c_str());
    }
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& connection : connections) ::shutdown(connection->fd, SHUT_RDWR);
    for (auto& connection : connections) connection->thread.join();
}

bool DevsimServer::listen(const std::string& socketPath, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        error = "socket path is empty or longer than " + std::to_string(sizeof address.sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    std::string probeError;
    int probe = connectToDaemon(socketPath, probeError);
    if (probe >= 0) {
        ::close(probe);
        error = "another devsim already serves " + socketPath;
        return false;
    }
    ::unlink(socketPath.c_str());  // a stale socket file of a daemon that died
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    m_listenFd = fd;
    m_socketPath = socketPath;
    return true;
}

void DevsimServer::run(int stopFd) {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        auto connection = std::make_shared<Connection>(fd);
        std::lock_guard lock(m_mutex);
        // Join the threads of connections that have ended.
        std::erase_if(m_connections, [](const std::shared_ptr<Connection>& done) {
            if (!done->finished) return false;
            done->thread.join();
            return true;
        });
        m_connections.push_back(connection);
        connection->thread = std::thread([this, connection] {
            serve(connection);
            connection->finished = true;
        });
    }
}

void DevsimServer::serve(const std::shared_ptr<Connection>& connection) {
    std::string line;
    if (!connection->reader.readLine(line)) return;
    auto [word, rest] = splitWord(line);
    if (word == "open")
        serveDevice(connection, std::string(rest));
    else if (word == "watch")
        serveWatch(connection);
    else
        answerControl(connection, line);
    // The client reads to the end of its answer: the connection ends here, not
    // when the next client happens to connect.
    ::shutdown(connection->fd, SHUT_RDWR);
}

void DevsimServer::serveDevice(const std::shared_ptr<Connection>& connection, const std::string& path) {
    hid::OpenError error = hid::OpenError::None;
    std::unique_ptr<hid::Device> device = m_backend.open(path, error);
    if (!device) {
        connection->send(error == hid::OpenError::PermissionDenied ? "error permission denied " + path
                                                                   : "error no device " + path);
        return;
    }
    connection->send("ok");
    std::atomic<bool> stop{false};
    std::thread forwarder([&] {
        std::array<std::uint8_t, kReportSize> buffer{};
        while (!stop) {
            int length = device->read(buffer, kForwardPoll);
            if (length < 0) {
                connection->send("gone");
                return;
            }
            if (length > 0) connection->send("in " + toHex(std::span(buffer.data(), static_cast<std::size_t>(length))));
        }
    });
    std::string line;
    while (connection->reader.readLine(line)) {
        auto [word, rest] = splitWord(line);
        std::string bytes;
        if (word != "write" || !fromHex(rest, bytes)) {
            connection->send("ack -1");
            continue;
        }
        int written = device->write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        connection->send("ack " + std::to_string(written));
    }
    stop = true;
    forwarder.join();
}

void DevsimServer::serveWatch(const std::shared_ptr<Connection>& connection) {
    std::unique_ptr<hid::PlugWatch> watch;
    {
        // Events wait behind "ok", so none is lost between the answer and the watch.
        std::lock_guard lock(connection->writeMutex);
        watch = m_backend.watch([connection](const hid::PlugEvent& event) { connection->send(eventLine(event)); });
        sendLine(connection->fd, "ok");
    }
    std::string line;
    while (connection->reader.readLine(line)) {
    }
    watch.reset();
}

void DevsimServer::answerControl(const std::shared_ptr<Connection>& connection, const std::string& line) {
    for (const std::string& answer : answerControlRequest(m_backend, line)) connection->send(answer);
}

std::vector<std::string> answerControlRequest(SimBackend& backend, const std::string& line) {
    std::vector<std::string> answer;
    auto [word, rest] = splitWord(line);
    auto fail = [&](const std::string& why) {
        answer.push_back("error " + why);
        return answer;
    };
    auto data = [&](const std::string& text) { answer.push_back("data " + text); };
    auto known = [&](std::string_view text, int& id) {
        const auto parsed = platform::parseWholeNumber<int>(text);
        if (!parsed || !backend.inspect(*parsed, [](const EmulatedController&) {})) return false;
        id = *parsed;
        return true;
    };

    if (word == "enumerate") {
        for (const hid::DeviceInfo& info : backend.enumerate()) {
            char numbers[40];
            std::snprintf(numbers, sizeof numbers, " %04x %04x %04x %04x ", info.vendorId, info.productId,
                          info.usagePage, info.usage);
            data(info.path + numbers + info.locationPath);
        }
    } else if (word == "plug") {
        DeviceSpecResult parsed = parseDeviceSpec(rest);
        if (!parsed.spec) return fail(parsed.error);
        SimBackend::PlugResult plugged = backend.plug(*parsed.spec);
        if (plugged.id == 0) return fail(plugged.error);
        data(std::to_string(plugged.id));
    } else if (word == "unplug") {
        int id = 0;
        if (!known(rest, id)) return fail("no device " + std::string(rest));
        backend.unplug(id);
    } else if (word == "list") {
        for (const PluggedDevice& device : backend.devices()) data(formatListLine(device));
    } else if (word == "trace") {
        if (!rest.empty() && rest != "clear") return fail("trace takes only \"clear\"");
        auto entries = rest == "clear" ? backend.takeTrace() : backend.trace();
        for (const TraceEntry& entry : entries) data(formatTraceLine(entry));
    } else if (word == "state") {
        int id = 0;
        if (!known(rest, id)) return fail("no device " + std::string(rest));
        auto state = backend.state(id);
        if (!state) return fail("no device " + std::string(rest));
        for (const auto& [key, value] : *state) data(key + "=" + value);
    } else if (word == "fault") {
        // fault ID KIND N
        auto [idText, tail] = splitWord(rest);
        auto [kindText, valueText] = splitWord(tail);
        int id = 0;
        if (!known(idText, id)) return fail("no device " + std::string(idText));
        std::optional<FaultKind> kind = parseFaultKind(kindText);
        if (!kind)
            return fail("unknown fault \"" + std::string(kindText) +
                        "\" (drop-replies, error-replies, delay-ms, unplug-after, short-writes, wrong-checksums, "
                        "power-cycle-after)");
        const auto value = platform::parseWholeNumber<int>(valueText);
        if (!value || *value < 0) return fail("fault value must be a number of at least 0");
        if (!backend.setFault(id, *kind, *value)) return fail("no device " + std::string(idText));
    } else if (word == "event") {
        // event ID INDEX [HEX]: the controller's own report 0x42/0x20
        auto [idText, tail] = splitWord(rest);
        auto [indexText, hex] = splitWord(tail);
        int id = 0;
        std::string bytes;
        if (!known(idText, id)) return fail("no device " + std::string(idText));
        const auto index = platform::parseWholeNumber<int>(indexText);
        if (!index || *index < 0 || *index > 0xFFFF) return fail("event index must be a number from 0 to 65535");
        if (!fromHex(hex, bytes) || bytes.size() > kDataSize) return fail("event data must be at most 60 bytes of hex");
        backend.sendEventReport(id, static_cast<std::uint16_t>(*index),
                                std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    } else if (word == "settle") {
        const auto limit = platform::parseWholeNumber<int>(rest);
        if (!limit || *limit < 0) return fail("settle needs a time in milliseconds");
        if (!backend.waitUntilSettled(std::chrono::milliseconds(*limit))) return fail("not settled");
    } else if (word == "suspend") {
        backend.suspend();
    } else if (word == "resume") {
        backend.resume();
    } else {
        return fail("unknown request \"" + std::string(word) + "\"");
    }
    answer.push_back("ok");
    return answer;
}

}  // namespace sim::devsim
