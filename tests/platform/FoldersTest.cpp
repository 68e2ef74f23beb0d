#include "platform/Folders.h"
#include "tests/support/TestEnvironment.h"

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

TEST_F(FoldersTest, RuntimeFilesGoToTheRuntimeFolderElseTheTemporaryFolderWithTheUserId) {
    EXPECT_EQ(platform::runtimeFilePath("name"), home.path("runtime/name"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::runtimeFilePath("name"),
              (fs::temp_directory_path() / ("name-" + std::to_string(::getuid()))).string());
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutableWithATrailingSlash) {
    const std::string folder = platform::programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(fs::path(folder + "platform_tests"), fs::read_symlink("/proc/self/exe"));
}

TEST_F(FoldersTest, LumenstraFolderIsTheProgramFolderWhenItHoldsTheSkinElseTheInstalledLibFolder) {
    const std::string prefix = home.path("prefix/");
    const std::string bin = prefix + LUMENSTRA_TEST_BINDIR "/";
    fs::create_directories(bin);
    EXPECT_EQ(platform::lumenstraFolder(bin),
              fs::path(prefix + LUMENSTRA_TEST_LIBDIR "/lumenstra/").lexically_normal().string());

    // A folder with Lumenstra's skin beside the programs, as the build tree's bin/.
    testsupport::writeFileBytes(bin + "Skins.xml", "<Skins/>");
    EXPECT_EQ(platform::lumenstraFolder(bin), bin);
}
