#include "platform/Folders.h"
#include "tests/support/TestEnvironment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using testsupport::IsolatedTest;

class FoldersTest : public IsolatedTest {};

TEST_F(FoldersTest, DataFolderCreatesEveryLevelUnderTheConfigHome) {
    const std::string folder = platform::setUpDataFolder("/Vendor/Product Name/");
    EXPECT_EQ(folder, home.path("config/Vendor/Product Name/"));
    EXPECT_TRUE(fs::is_directory(home.path("config/Vendor/Product Name")));
    // Sub-folders are set up the same way, one level deeper.
    EXPECT_EQ(platform::setUpDataFolder("/Vendor/Product Name/Profiles/"), folder + "Profiles/");
    EXPECT_TRUE(fs::is_directory(folder + "Profiles"));
}

TEST_F(FoldersTest, ConfigHomeFallsBackToDotConfigWhenUnsetOrRelative) {
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(platform::configHome(), home.path(".config"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::configHome(), home.path(".config"));
    EXPECT_EQ(platform::setUpDataFolder("/A/"), home.path(".config/A/"));
    EXPECT_TRUE(fs::is_directory(home.path(".config/A")));
}

TEST_F(FoldersTest, DesktopFolderFollowsUserDirsThenEnvironmentThenDefault) {
    EXPECT_EQ(platform::desktopFolder(), home.path("Desktop"));
    EXPECT_TRUE(fs::is_directory(home.path("Desktop")));

    ::setenv("XDG_DESKTOP_DIR", home.path("FromEnvironment").c_str(), 1);
    EXPECT_EQ(platform::desktopFolder(), home.path("FromEnvironment"));

    testsupport::writeFileBytes(home.path("config/user-dirs.dirs"),
                                "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    EXPECT_EQ(platform::desktopFolder(), home.path("Bureau"));
    EXPECT_TRUE(fs::is_directory(home.path("Bureau")));
}

class RuntimeFolderTest : public IsolatedTest {
protected:
    const std::string fallback = home.withoutRuntimeFolder();
};

TEST_F(RuntimeFolderTest, RuntimeFilesGoToTheRuntimeFolderElseAPrivateFolderMadeInTheTemporaryFolder) {
    ::setenv("XDG_RUNTIME_DIR", home.path("runtime").c_str(), 1);
    std::string problem = "stale";
    EXPECT_EQ(platform::runtimeFilePath("name", problem), home.path("runtime/name"));
    EXPECT_EQ(problem, "");
    EXPECT_FALSE(fs::exists(fallback));

    for (const char* runtime : {static_cast<const char*>(nullptr), "relative/runtime", "/no/such/folder"}) {
        if (runtime)
            ::setenv("XDG_RUNTIME_DIR", runtime, 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        const std::string shown = runtime ? runtime : "unset";
        EXPECT_EQ(platform::runtimeFilePath("name", problem), fallback + "/name") << shown;
        EXPECT_EQ(problem, "") << shown;
        struct stat info {};
        ASSERT_EQ(::lstat(fallback.c_str(), &info), 0) << shown;
        EXPECT_TRUE(S_ISDIR(info.st_mode)) << shown;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << shown;
        EXPECT_EQ(info.st_uid, ::getuid()) << shown;
    }
}

TEST_F(RuntimeFolderTest, AFallbackFolderThatIsNotOursAndPrivateIsRefusedAndLeftAsItIs) {
    const std::string elsewhere = home.path("elsewhere");
    testsupport::makeFolder(elsewhere, fs::perms::owner_all);
    const struct {
        const char* name;
        void (*plant)(const std::string& at, const std::string& elsewhere);
        const char* reason;
    } cases[] = {
        {"open folder", [](const std::string& at, const std::string&) { testsupport::makeFolder(at, fs::perms::all); },
         " is open to other users (mode 0777)"},
        {"group-readable folder",
         [](const std::string& at, const std::string&) {
             testsupport::makeFolder(at, fs::perms::owner_all | fs::perms::group_read);
         },
         " is open to other users (mode 0740)"},
        {"link to a private folder",
         [](const std::string& at, const std::string& target) { fs::create_directory_symlink(target, at); },
         " is a symbolic link"},
        {"file", [](const std::string& at, const std::string&) { testsupport::writeFileBytes(at, "x"); },
         " is not a folder"},
    };
    for (const auto& c : cases) {
        c.plant(fallback, elsewhere);
        struct stat before {};
        ASSERT_EQ(::lstat(fallback.c_str(), &before), 0) << c.name;
        std::string problem;
        EXPECT_EQ(platform::runtimeFilePath("name", problem), std::nullopt) << c.name;
        EXPECT_NE(problem.find("the runtime folder " + fallback + c.reason), std::string::npos) << problem;
        EXPECT_NE(problem.find("XDG_RUNTIME_DIR"), std::string::npos) << problem;
        struct stat after {};
        ASSERT_EQ(::lstat(fallback.c_str(), &after), 0) << c.name;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << c.name;
        fs::remove(fallback);
    }
}

TEST_F(RuntimeFolderTest, APrivateFolderIsOneOfTheGivenUserNoLinkAndClosedToOthers) {
    const std::string folder = home.path("private");
    testsupport::makeFolder(folder, fs::perms::owner_all);
    fs::create_directory_symlink(folder, home.path("link"));
    const struct {
        std::string path;
        uid_t owner;
        std::string problem;
    } cases[] = {
        {folder, ::getuid(), ""},
        {folder, ::getuid() + 1,
         "the runtime folder " + folder + " belongs to another user (uid " + std::to_string(::getuid()) + ")"},
        {home.path("link"), ::getuid(), "the runtime folder " + home.path("link") + " is a symbolic link"},
        {home.path("missing"), ::getuid(),
         "the runtime folder " + home.path("missing") + " cannot be opened: No such file or directory"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::privateFolderProblem(c.path, c.owner), c.problem) << c.path;
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutableWithATrailingSlash) {
    const std::string folder = platform::programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(fs::path(folder + "platform_tests"), fs::read_symlink("/proc/self/exe"));
}
