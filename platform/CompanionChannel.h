#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// One message to the companion program: a message number with two values.
struct CompanionMessage {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
    bool operator==(const CompanionMessage&) const = default;
};

// The channel to a companion program that is known by its window title: a Unix
// datagram socket named after the title in the runtime folder. Every datagram is
// 16 bytes, little-endian: message, wParam, lParam, flags (bit 0: the sender
// waits for a one-byte acknowledgement). The companion "exists" while a
// connect to that socket succeeds; nothing is cached, so a companion that
// appears or goes away later is seen at the next call.
class CompanionChannel {
public:
    static constexpr std::size_t kDatagramSize = 16;
    static constexpr std::uint32_t kAcknowledgeFlag = 1;

    explicit CompanionChannel(std::string title);

    // Empty, with the reason in problem(), when the runtime folder is refused:
    // then no companion exists and nothing is delivered.
    const std::string& socketPath() const { return m_socketPath; }
    const std::string& problem() const { return m_problem; }
    bool exists() const;
    // Delivers the message and waits up to `timeout` for the acknowledgement.
    // False when no companion listens or none acknowledged in time.
    bool send(const CompanionMessage& message, std::chrono::milliseconds timeout) const;
    // Delivers the message without waiting.
    bool post(const CompanionMessage& message) const;

private:
    std::string m_problem;  // before the path, which its constructor fills in
    std::string m_socketPath;
};

std::vector<std::uint8_t> encodeCompanionDatagram(const CompanionMessage& message, std::uint32_t flags);
bool decodeCompanionDatagram(const std::uint8_t* bytes, std::size_t size, CompanionMessage& message,
                             std::uint32_t& flags);

// The companion's end of the channel: binds the socket, records what arrives and
// acknowledges sends. Used by the tests and the stand-in companion tool.
class CompanionListener {
public:
    explicit CompanionListener(std::string title);
    ~CompanionListener();
    CompanionListener(const CompanionListener&) = delete;
    CompanionListener& operator=(const CompanionListener&) = delete;

    // False, with the reason in problem() when it is the runtime folder, when
    // the socket cannot be bound.
    bool start();
    void stop();
    const std::string& problem() const { return m_problem; }
    std::vector<CompanionMessage> received() const;
    // Waits until at least `count` messages arrived or the timeout passed.
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void receiveLoop();

    std::string m_problem;  // before the path, which its constructor fills in
    std::string m_socketPath;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<CompanionMessage> m_received;
};

}  // namespace platform
