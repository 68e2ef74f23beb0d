#include "tests/support/TestEnvironment.h"

#include "platform/Utf16.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {
// TMPDIR is only restored: withoutRuntimeFolder() sets it.
constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DESKTOP_DIR", "TMPDIR"};
}  // namespace

TemporaryHome::TemporaryHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumenstra-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    for (const char* name : kVariables) {
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value ? value : std::string("\x01unset"));
    }
    std::filesystem::create_directories(m_root + "/config");
    std::filesystem::create_directories(m_root + "/runtime");
    std::filesystem::permissions(m_root + "/runtime", std::filesystem::perms::owner_all);
    ::setenv("HOME", m_root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_root + "/runtime").c_str(), 1);
    ::unsetenv("XDG_DESKTOP_DIR");
}

TemporaryHome::~TemporaryHome() {
    for (const auto& [name, value] : m_saved) {
        if (value == "\x01unset")
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string TemporaryHome::withoutRuntimeFolder() const {
    std::filesystem::create_directories(path("tmp"));
    ::setenv("TMPDIR", path("tmp").c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    return path("tmp/lumenstra-" + std::to_string(::getuid()));
}

void makeFolder(const std::string& path, std::filesystem::perms permissions) {
    std::filesystem::create_directory(path);
    std::filesystem::permissions(path, permissions, std::filesystem::perm_options::replace);
}

std::string readFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

std::string utf16le(const std::string& text) { return platform::utf16ToLittleEndianBytes(platform::utf8ToUtf16(text)); }

}  // namespace testsupport
