#include "platform/Folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool isAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// Expands a value of user-dirs.dirs: "$HOME/Desktop" or an absolute path.
std::string expandUserDirValue(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) return homeFolder() + value.substr(5);
    return isAbsolute(value) ? value : std::string();
}

std::string desktopFromUserDirsFile() {
    std::ifstream file(configHome() + "/user-dirs.dirs");
    std::string line;
    std::string found;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(file, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        found = expandUserDirValue(line.substr(start + key.size()));
    }
    return found;
}

void createDirectoryIgnoringErrors(const std::string& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) fs::create_directory(path, error);
}

}  // namespace

std::string homeFolder() {
    std::string home = environment("HOME");
    if (isAbsolute(home)) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::string programFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) return "./";
    std::string folder = executable.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string lumenstraFolder(const std::string& programFolder) {
    std::error_code error;
    if (fs::is_regular_file(programFolder + "Skins.xml", error)) return programFolder;
    return fs::path(programFolder + LUMENSTRA_INSTALL_RELATIVE).lexically_normal().string();
}

std::string configHome() {
    const std::string configured = environment("XDG_CONFIG_HOME");
    return isAbsolute(configured) ? configured : homeFolder() + "/.config";
}

std::string setUpDataFolder(std::string_view relativePath) {
    const std::string base = configHome();
    std::error_code error;
    fs::create_directories(base, error);
    for (std::size_t slash = relativePath.find('/'); slash != std::string_view::npos;
         slash = relativePath.find('/', slash + 1)) {
        if (slash == 0) continue;  // the level "base" itself
        createDirectoryIgnoringErrors(base + std::string(relativePath.substr(0, slash)));
    }
    return base + std::string(relativePath);
}

std::string desktopFolder() {
    std::string desktop = desktopFromUserDirsFile();
    if (desktop.empty() && isAbsolute(environment("XDG_DESKTOP_DIR"))) desktop = environment("XDG_DESKTOP_DIR");
    if (desktop.empty()) desktop = homeFolder() + "/Desktop";
    while (desktop.size() > 1 && desktop.back() == '/') desktop.pop_back();
    std::error_code error;
    fs::create_directories(desktop, error);
    return desktop;
}

std::string privateFolderProblem(const std::string& folder, uid_t owner) {
    const std::string named = "the runtime folder " + folder;
    struct stat entry {};
    if (::lstat(folder.c_str(), &entry) != 0)
        return named + " cannot be opened: " + std::generic_category().message(errno);
    if (S_ISLNK(entry.st_mode)) return named + " is a symbolic link";
    if (!S_ISDIR(entry.st_mode)) return named + " is not a folder";
    // The checks below are on what was opened, whatever the name points to by then.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return named + " cannot be opened: " + std::generic_category().message(errno);
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!known) return named + " cannot be examined";
    if (info.st_uid != owner) return named + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return named + " is open to other users (mode " + mode + ")";
    }
    return {};
}

std::optional<std::string> runtimeFolder(std::string& problem) {
    problem.clear();
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    std::error_code error;
    if (isAbsolute(runtime) && fs::is_directory(runtime, error)) return runtime;
    std::string temporary = fs::temp_directory_path(error).string();
    if (error || !isAbsolute(temporary)) temporary = "/tmp";
    while (temporary.size() > 1 && temporary.back() == '/') temporary.pop_back();
    const std::string folder =
        (temporary == "/" ? std::string() : temporary) + "/lumenstra-" + std::to_string(::getuid());
    // An existing folder is taken only after the check below.
    ::mkdir(folder.c_str(), 0700);
    problem = privateFolderProblem(folder, ::getuid());
    if (problem.empty()) return folder;
    problem += "; set XDG_RUNTIME_DIR to a private folder of yours";
    return std::nullopt;
    return folder;
}

std::optional<std::string> runtimeFilePath(std::string_view name, std::string& problem) {
    std::optional<std::string> folder = runtimeFolder(problem);
    if (folder) *folder += "/" + std::string(name);
    return folder;
}

}  // namespace platform
