#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace platform {
namespace {

// mkstemp replaces the six X with letters and digits.
constexpr std::string_view kTemporarySuffix = ".XXXXXX";

bool isTemporaryNameOf(std::string_view name, std::string_view target) {
    if (name.size() != target.size() + kTemporarySuffix.size() || name.substr(0, target.size()) != target ||
        name[target.size()] != '.')
        return false;
    for (const char c : name.substr(target.size() + 1))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// Removes what a save of `target` that was killed left in `folder`: regular
// files of this user with exactly our temporary name. A save holds an flock on
// its temporary file while it writes, so one in progress is left alone.
void removeStaleTemporaryFiles(const std::string& folder, const std::string& target) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory))
        if (isTemporaryNameOf(entry->d_name, target)) names.emplace_back(entry->d_name);
    const int folderFd = ::dirfd(directory);
    for (const std::string& name : names) {
        const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            ::unlinkat(folderFd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(directory);
}

// The file a save replaces: a symbolic link is followed to its end, so that
// the target gets the new contents and the link stays. Nothing on a loop.
std::optional<std::string> fileBehindLinks(const std::string& path) {
    fs::path file = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return file.string();
        std::error_code error;
        const fs::path link = fs::read_symlink(file, error);
        if (error) return std::nullopt;
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    return std::nullopt;
}

enum class Attempt { Done, Failed, TemporaryFileVanished };

Attempt replaceOnce(const std::string& path, std::string_view bytes) {
    std::string temporary = path + std::string(kTemporarySuffix);
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return Attempt::Failed;
    // Marks the file as in use for removeStaleTemporaryFiles of another save.
    ::flock(fd, LOCK_EX);
    struct stat original {};
    const mode_t mode = ::stat(path.c_str(), &original) == 0 ? (original.st_mode & 07777) : 0644;
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        return Attempt::Failed;
    }
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return Attempt::Done;
    const bool vanished = errno == ENOENT;
    ::unlink(temporary.c_str());
    return vanished ? Attempt::TemporaryFileVanished : Attempt::Failed;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxReadFileSize) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || bytes.size() + static_cast<std::size_t>(got) > kMaxReadFileSize) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

bool replaceFileContents(const std::string& path, std::string_view bytes) {
    const std::optional<std::string> file = fileBehindLinks(path);
    if (!file) return false;
    const fs::path asPath(*file);
    const std::string folder = asPath.has_parent_path() ? asPath.parent_path().string() : std::string(".");
    removeStaleTemporaryFiles(folder, asPath.filename().string());
    // A concurrent save's clean-up can remove our temporary file in the moments
    // it is not locked (before the flock, after the close): then it is made once more.
    Attempt attempt = replaceOnce(*file, bytes);
    if (attempt == Attempt::TemporaryFileVanished) attempt = replaceOnce(*file, bytes);
    return attempt == Attempt::Done;
}

bool createFileIfMissing(const std::string& path, std::string_view bytes) {
    // A link to a file yet to be made makes that file, as a replace would.
    const std::optional<std::string> file = fileBehindLinks(path);
    if (!file) return false;
    const int fd = ::open(file->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST;
    const bool written = writeAll(fd, bytes);
    ::close(fd);
    if (!written) ::unlink(file->c_str());
    return written;
}

}  // namespace platform
