#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh temporary folder that stands in for the user's home: HOME,
// XDG_CONFIG_HOME and XDG_RUNTIME_DIR point into it for the object's life, and
// XDG_DESKTOP_DIR is unset. Removed again, with the variables (and TMPDIR,
// which a test may point into it) restored, at the end.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }
    // Unsets XDG_RUNTIME_DIR and moves the temporary folder (TMPDIR) to "tmp"
    // here; returns the private runtime folder the programs then fall back to.
    std::string withoutRuntimeFolder() const;

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_saved;
};

// A test that runs inside its own TemporaryHome.
class IsolatedTest : public ::testing::Test {
protected:
    TemporaryHome home;
};

// Makes one folder level and gives it exactly these permissions.
void makeFolder(const std::string& path, std::filesystem::perms permissions);

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

// UTF-16LE bytes of an ASCII/UTF-8 text, for byte-exact fixtures.
std::string utf16le(const std::string& text);

}  // namespace testsupport
