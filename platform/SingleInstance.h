#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace platform {

// A named lock that only one process of the user holds at a time: an flock on
// a file named after the lock in the runtime folder. The lock ends with the
// object or with the process, so a crashed instance never blocks the next one.
class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Unavailable, Refused };

    SingleInstanceLock() = default;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

    // Unavailable means the lock file could not be opened; the caller runs on
    // without a lock, as it would when the operating system refuses a mutex.
    // Refused means the runtime folder or the lock file there is not the
    // user's own (see runtimeFolder()); problem() says why, for the caller to
    // report before it decides whether to run on.
    Result acquire(std::string_view name);
    // Waits up to `wait` while another process holds the lock; HeldElsewhere
    // when it was still held then.
    Result acquire(std::string_view name, std::chrono::milliseconds wait);
    // The same on the lock file at `path`, for a lock that belongs to a
    // folder rather than to the user (the lock file is created when missing).
    Result acquireFile(const std::string& path, std::chrono::milliseconds wait);
    void release();
    bool held() const { return m_fd >= 0; }
    const std::string& problem() const { return m_problem; }

private:
    int m_fd = -1;
    std::string m_problem;
};

}  // namespace platform
