#include "platform/SingleInstance.h"

#include "platform/Folders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace platform {

SingleInstanceLock::~SingleInstanceLock() { release(); }

SingleInstanceLock::Result SingleInstanceLock::acquire(std::string_view name) {
    return acquire(name, std::chrono::milliseconds(0));
}

SingleInstanceLock::Result SingleInstanceLock::acquire(std::string_view name, std::chrono::milliseconds wait) {
    release();
    m_problem.clear();
    const std::optional<std::string> path = runtimeFilePath(std::string(name) + ".lock", m_problem);
    if (!path) return Result::Refused;
    return acquireFile(*path, wait);
}

SingleInstanceLock::Result SingleInstanceLock::acquireFile(const std::string& path, std::chrono::milliseconds wait) {
    release();
    m_problem.clear();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == ELOOP) {
        m_problem = "the lock file " + path + " is a symbolic link";
        return Result::Refused;
    }
    if (fd < 0) return Result::Unavailable;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        m_problem = "the lock file " + path + " is not a file of this user";
        return Result::Refused;
    }
    // flock has no time-out: a bounded wait tries again in short steps.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) continue;
        if (error == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    }
    m_fd = fd;
    return Result::Acquired;
}

void SingleInstanceLock::release() {
    if (m_fd < 0) return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace platform
