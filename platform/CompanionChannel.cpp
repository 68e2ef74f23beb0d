#include "platform/CompanionChannel.h"

#include "platform/Folders.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

bool makeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A datagram socket connected to the companion, or -1.
int connectTo(const std::string& path, bool withReplyAddress) {
    sockaddr_un address;
    if (!makeAddress(path, address)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (withReplyAddress) {
        // Binding only the family gives the socket an automatic abstract name,
        // which is where the companion sends its acknowledgement.
        sockaddr_un autobind{};
        autobind.sun_family = AF_UNIX;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&autobind), sizeof(sa_family_t)) != 0) {
            ::close(fd);
            return -1;
        }
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void putLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t getLittleEndian(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

bool sendDatagram(int fd, const CompanionMessage& message, std::uint32_t flags) {
    const std::vector<std::uint8_t> datagram = encodeCompanionDatagram(message, flags);
    return ::send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(datagram.size());
}

}  // namespace

std::vector<std::uint8_t> encodeCompanionDatagram(const CompanionMessage& message, std::uint32_t flags) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(CompanionChannel::kDatagramSize);
    putLittleEndian(bytes, message.message);
    putLittleEndian(bytes, message.wParam);
    putLittleEndian(bytes, static_cast<std::uint32_t>(message.lParam));
    putLittleEndian(bytes, flags);
    return bytes;
}

bool decodeCompanionDatagram(const std::uint8_t* bytes, std::size_t size, CompanionMessage& message,
                             std::uint32_t& flags) {
    if (size != CompanionChannel::kDatagramSize) return false;
    message.message = getLittleEndian(bytes);
    message.wParam = getLittleEndian(bytes + 4);
    message.lParam = static_cast<std::int32_t>(getLittleEndian(bytes + 8));
    flags = getLittleEndian(bytes + 12);
    return true;
}

CompanionChannel::CompanionChannel(std::string title)
    : m_socketPath(runtimeFilePath(title, m_problem).value_or(std::string())) {}

bool CompanionChannel::exists() const {
    const int fd = connectTo(m_socketPath, false);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool CompanionChannel::send(const CompanionMessage& message, std::chrono::milliseconds timeout) const {
    const int fd = connectTo(m_socketPath, true);
    if (fd < 0) return false;
    bool acknowledged = false;
    if (sendDatagram(fd, message, kAcknowledgeFlag)) {
        pollfd waiting{fd, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready < 0 && errno == EINTR) continue;
            if (ready > 0) {
                std::uint8_t ack = 0;
                acknowledged = ::recv(fd, &ack, 1, 0) == 1;
            }
            break;
        }
    }
    ::close(fd);
    return acknowledged;
}

bool CompanionChannel::post(const CompanionMessage& message) const {
    const int fd = connectTo(m_socketPath, false);
    if (fd < 0) return false;
    const bool sent = sendDatagram(fd, message, 0);
    ::close(fd);
    return sent;
}

CompanionListener::CompanionListener(std::string title)
    : m_socketPath(runtimeFilePath(title, m_problem).value_or(std::string())) {}

CompanionListener::~CompanionListener() { stop(); }

bool CompanionListener::start() {
    sockaddr_un address;
    if (!makeAddress(m_socketPath, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ::unlink(m_socketPath.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_stop = false;
    m_thread = std::thread([this] { receiveLoop(); });
    return true;
}

void CompanionListener::stop() {
    if (m_fd < 0) return;
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_fd);
    ::unlink(m_socketPath.c_str());
    m_fd = -1;
}

void CompanionListener::receiveLoop() {
    while (!m_stop) {
        pollfd waiting{m_fd, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        std::uint8_t bytes[CompanionChannel::kDatagramSize + 1];
        sockaddr_un sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t got = ::recvfrom(m_fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
        CompanionMessage message;
        std::uint32_t flags = 0;
        if (got < 0 || !decodeCompanionDatagram(bytes, static_cast<std::size_t>(got), message, flags)) continue;
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(message);
        }
        if ((flags & CompanionChannel::kAcknowledgeFlag) && senderSize > sizeof(sa_family_t)) {
            const std::uint8_t ack = 1;
            ::sendto(m_fd, &ack, 1, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sender), senderSize);
        }
    }
}

std::vector<CompanionMessage> CompanionListener::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool CompanionListener::waitForCount(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (received().size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return received().size() >= count;
}

}  // namespace platform
