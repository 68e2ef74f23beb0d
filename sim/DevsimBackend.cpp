#include "sim/DevsimBackend.h"

#include "platform/Numbers.h"
#include "sim/DevsimProtocol.h"
#include "sim/Record.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sim {

namespace {

using devsim::LineReader;
using devsim::sendLine;
using devsim::splitWord;

// How long a write waits for the daemon's acknowledgement, as long as a
// device write may take.
constexpr std::chrono::milliseconds kWriteLimit{1000};

// An opened daemon device: a receiver thread sorts the stream into input
// reports and write acknowledgements.
class DevsimDevice : public hid::Device {
public:
    DevsimDevice(int fd, LineReader reader) : m_fd(fd), m_reader(std::move(reader)) {
        m_receiver = std::thread([this] { receive(); });
    }

    ~DevsimDevice() override {
        ::shutdown(m_fd, SHUT_RDWR);
        m_receiver.join();
        ::close(m_fd);
    }

    int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_gone || m_woken || !m_input.empty(); });
        if (m_gone) return -1;
        if (m_input.empty()) return 0;
        std::string report = std::move(m_input.front());
        m_input.pop_front();
        lock.unlock();
        std::size_t length = std::min(buffer.size(), report.size());
        std::copy_n(reinterpret_cast<const std::uint8_t*>(report.data()), length, buffer.begin());
        return static_cast<int>(length);
    }

    int write(std::span<const std::uint8_t> report) override {
        std::lock_guard serial(m_writeMutex);  // one write at a time, so acknowledgements pair up
        {
            std::lock_guard lock(m_mutex);
            if (m_gone) return -1;
        }
        if (!sendLine(m_fd, "write " + toHex(report))) return -1;
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, kWriteLimit, [&] { return m_gone || !m_acks.empty(); })) return -1;
        if (m_acks.empty()) return -1;
        int written = m_acks.front();
        m_acks.pop_front();
        return written;
    }

    void wake() override {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_changed.notify_all();
    }

    int inputReportLength() const override { return static_cast<int>(kReportSize); }
    int outputReportLength() const override { return static_cast<int>(kReportSize); }

private:
    void receive() {
        std::string line;
        while (m_reader.readLine(line)) {
            auto [word, rest] = splitWord(line);
            std::lock_guard lock(m_mutex);
            if (word == "in") {
                std::string bytes;
                if (fromHex(rest, bytes)) m_input.push_back(std::move(bytes));
            } else if (word == "ack") {
                m_acks.push_back(platform::parseWholeNumber<int>(rest).value_or(-1));
            } else if (word == "gone") {
                break;
            }
            m_changed.notify_all();
        }
        std::lock_guard lock(m_mutex);
        m_gone = true;
        m_changed.notify_all();
    }

    int m_fd;
    LineReader m_reader;  // used by the receiver thread only
    std::mutex m_writeMutex;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_input;
    std::deque<int> m_acks;
    bool m_gone = false;
    bool m_woken = false;
    std::thread m_receiver;
};

// The event stream of one watch, shared by the watch and its thread.
struct WatchStream {
    WatchStream(int socket, LineReader lineReader, std::function<void(const hid::PlugEvent&)> callback)
        : fd(socket), reader(std::move(lineReader)), onEvent(std::move(callback)) {}
    ~WatchStream() { ::close(fd); }
    int fd;
    LineReader reader;  // used by the watch's thread only
    std::function<void(const hid::PlugEvent&)> onEvent;
};

// The stream whose callback runs on this thread, so that a watch destroyed from
// inside its own callback lets its thread end instead of joining itself.
thread_local const WatchStream* t_dispatchingStream = nullptr;

void receiveEvents(const std::shared_ptr<WatchStream>& stream) {
    t_dispatchingStream = stream.get();
    std::string line;
    while (stream->reader.readLine(line)) {
        auto [word, rest] = splitWord(line);
        if (word != "event") continue;
        auto [kind, path] = splitWord(rest);
        hid::PlugEvent event;
        event.path = std::string(path);
        if (kind == "arrival")
            event.kind = hid::PlugEvent::Kind::Arrival;
        else if (kind == "removal")
            event.kind = hid::PlugEvent::Kind::Removal;
        else if (kind == "suspend")
            event.kind = hid::PlugEvent::Kind::Suspend;
        else if (kind == "resume")
            event.kind = hid::PlugEvent::Kind::Resume;
        else
            continue;
        stream->onEvent(event);
    }
}

class DevsimWatch : public hid::PlugWatch {
public:
    explicit DevsimWatch(std::shared_ptr<WatchStream> stream)
        : m_stream(std::move(stream)), m_thread([stream = m_stream] { receiveEvents(stream); }) {}
    ~DevsimWatch() override {
        ::shutdown(m_stream->fd, SHUT_RDWR);
        if (t_dispatchingStream == m_stream.get())
            m_thread.detach();  // its next read fails once the callback returns
        else
            m_thread.join();
    }

private:
    std::shared_ptr<WatchStream> m_stream;
    std::thread m_thread;
};

// Reads the first answer line of a stream request: true for "ok".
bool expectOk(LineReader& reader, std::string& line) { return reader.readLine(line) && line == "ok"; }

}  // namespace

DevsimBackend::DevsimBackend(std::string socketPath) : m_socketPath(std::move(socketPath)) {}

std::vector<hid::DeviceInfo> DevsimBackend::enumerate() {
    std::vector<hid::DeviceInfo> infos;
    devsim::Answer answer = devsim::request(m_socketPath, "enumerate");
    if (!answer.ok) return infos;
    for (const std::string& line : answer.lines) {
        // PATH VID PID USAGEPAGE USAGE [LOCATION]
        std::vector<std::string_view> fields;
        std::string_view rest = line;
        while (!rest.empty()) {
            auto [word, tail] = splitWord(rest);
            fields.push_back(word);
            rest = tail;
        }
        if (fields.size() < 5) continue;
        const auto vendorId = platform::parseWholeNumber<std::uint16_t>(fields[1], 16);
        const auto productId = platform::parseWholeNumber<std::uint16_t>(fields[2], 16);
        const auto usagePage = platform::parseWholeNumber<std::uint16_t>(fields[3], 16);
        const auto usage = platform::parseWholeNumber<std::uint16_t>(fields[4], 16);
        if (!vendorId || !productId || !usagePage || !usage) continue;
        hid::DeviceInfo info;
        info.vendorId = *vendorId;
        info.productId = *productId;
        info.usagePage = *usagePage;
        info.usage = *usage;
        info.path = std::string(fields[0]);
        if (fields.size() > 5) info.locationPath = std::string(fields[5]);
        infos.push_back(std::move(info));
    }
    return infos;
}

std::unique_ptr<hid::Device> DevsimBackend::open(const std::string& path, hid::OpenError& error) {
    error = hid::OpenError::NotFound;
    std::string ignored;
    int fd = devsim::connectToDaemon(m_socketPath, ignored);
    if (fd < 0) return nullptr;
    LineReader reader(fd);
    std::string answer;
    if (path.find_first_of(" \n") != std::string::npos || !sendLine(fd, "open " + path) || !expectOk(reader, answer)) {
        if (answer.starts_with("error permission denied")) error = hid::OpenError::PermissionDenied;
        ::close(fd);
        return nullptr;
    }
    error = hid::OpenError::None;
    return std::make_unique<DevsimDevice>(fd, std::move(reader));
}

std::unique_ptr<hid::PlugWatch> DevsimBackend::watch(std::function<void(const hid::PlugEvent&)> onEvent) {
    std::string ignored;
    int fd = devsim::connectToDaemon(m_socketPath, ignored);
    if (fd < 0) return nullptr;
    LineReader reader(fd);
    std::string answer;
    if (!sendLine(fd, "watch") || !expectOk(reader, answer)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<DevsimWatch>(std::make_shared<WatchStream>(fd, std::move(reader), std::move(onEvent)));
}

bool DevsimBackend::waitUntilSettled(std::chrono::milliseconds limit) {
    return devsim::request(m_socketPath, "settle " + std::to_string(limit.count())).ok;
}

}  // namespace sim
