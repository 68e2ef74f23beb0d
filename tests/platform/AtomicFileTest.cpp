#include "platform/AtomicFile.h"
#include "tests/support/TestEnvironment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

class AtomicFileTest : public testsupport::IsolatedTest {};

TEST_F(AtomicFileTest, ReplaceWritesTheNewBytesKeepsTheModeAndLeavesNoTemporaryFile) {
    const std::string path = home.path("settings.ini");
    testsupport::writeFileBytes(path, "old contents");
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(platform::replaceFileContents(path, std::string("new\0bytes", 9)));
    EXPECT_EQ(testsupport::readFileBytes(path), std::string("new\0bytes", 9));
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home.root())) ++entries;
    EXPECT_EQ(entries, 3);  // config, runtime, settings.ini
}

TEST_F(AtomicFileTest, AFailedReplaceLeavesNothingBehind) {
    EXPECT_FALSE(platform::replaceFileContents(home.path("missing-folder/file"), "bytes"));
    EXPECT_FALSE(fs::exists(home.path("missing-folder")));
}

TEST_F(AtomicFileTest, CreateIfMissingNeverTouchesAnExistingFile) {
    const std::string path = home.path("file");
    EXPECT_TRUE(platform::createFileIfMissing(path, "\xFF\xFE"));
    EXPECT_EQ(testsupport::readFileBytes(path), "\xFF\xFE");
    testsupport::writeFileBytes(path, "kept");
    EXPECT_TRUE(platform::createFileIfMissing(path, "\xFF\xFE"));
    EXPECT_EQ(testsupport::readFileBytes(path), "kept");
    EXPECT_FALSE(platform::createFileIfMissing(home.path("missing-folder/file"), "x"));
}

TEST_F(AtomicFileTest, ReadRefusesMissingFilesAndFolders) {
    EXPECT_FALSE(platform::readWholeFile(home.path("missing")).has_value());
    EXPECT_FALSE(platform::readWholeFile(home.root()).has_value());
    testsupport::writeFileBytes(home.path("file"), std::string(100000, 'x'));
    EXPECT_EQ(platform::readWholeFile(home.path("file")).value().size(), 100000u);
}

TEST_F(AtomicFileTest, AReplaceRemovesOnlyTheStaleTemporaryFilesOfItsOwnTarget) {
    const std::string folder = home.path("data/");
    fs::create_directories(folder + "sub");
    testsupport::writeFileBytes(home.path("outside"), "linked");
    const std::string path = folder + "Profile0.Prf";
    testsupport::writeFileBytes(path, "old");
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {"Profile0.Prf.a1B2c3", true},                                       // left by a save that was killed
        {"Profile0.Prf.ZZZZZZ", true},      {"Profile0.Prf.a1B2c", false},   // not our length
        {"Profile0.Prf.a1B2c3d", false},    {"Profile0.Prf.a1B-c3", false},  // not our alphabet
        {"Profile0.Prf-a1B2c3", false},     {"profile0.prf.a1B2c3", false},  // another target
        {"Profile1.Prf.a1B2c3", false},     {"config.ini.a1B2c3", false},
        {"sub/Profile0.Prf.a1B2c3", false},  // another folder
    };
    for (const auto& c : cases) testsupport::writeFileBytes(folder + c.name, "stale");
    // Ours by name, but a link or a folder, or held by a save still in progress.
    fs::create_symlink(home.path("outside"), folder + "Profile0.Prf.Link00");
    fs::create_directory(folder + "Profile0.Prf.Dir000");
    testsupport::writeFileBytes(folder + "Profile0.Prf.Busy00", "in progress");
    const int busy = ::open((folder + "Profile0.Prf.Busy00").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    ASSERT_TRUE(platform::replaceFileContents(path, "new"));
    EXPECT_EQ(testsupport::readFileBytes(path), "new");
    for (const auto& c : cases) EXPECT_EQ(fs::exists(folder + c.name), !c.removed) << c.name;
    EXPECT_TRUE(fs::is_symlink(folder + "Profile0.Prf.Link00"));
    EXPECT_EQ(testsupport::readFileBytes(home.path("outside")), "linked");
    EXPECT_TRUE(fs::is_directory(folder + "Profile0.Prf.Dir000"));
    EXPECT_EQ(testsupport::readFileBytes(folder + "Profile0.Prf.Busy00"), "in progress");
    ::close(busy);
}

TEST_F(AtomicFileTest, AReplaceThroughASymbolicLinkReplacesItsTargetAndKeepsTheLink) {
    fs::create_directories(home.path("real/deeper"));
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link, what it points to
        std::string target;
        bool existed;
    } cases[] = {
        {"relative link", {{"data/a.ini", "../real/a.ini"}}, "real/a.ini", true},
        {"absolute link", {{"data/b.ini", home.path("real/b.ini")}}, "real/b.ini", true},
        {"chain of links",
         {{"data/c.ini", "c2.ini"}, {"data/c2.ini", "../real/deeper/c.ini"}},
         "real/deeper/c.ini",
         true},
        {"link to a file yet to be made", {{"data/d.ini", "../real/d.ini"}}, "real/d.ini", false},
    };
    fs::create_directories(home.path("data"));
    for (const auto& c : cases) {
        if (c.existed) {
            testsupport::writeFileBytes(home.path(c.target), "old");
            ::chmod(home.path(c.target).c_str(), 0600);
            testsupport::writeFileBytes(home.path(c.target) + ".Stale1", "stale");
        }
        for (const auto& [link, to] : c.links) fs::create_symlink(to, home.path(link));
        const std::string path = home.path(c.links.front().first);

        ASSERT_TRUE(platform::replaceFileContents(path, "new")) << c.name;
        for (const auto& [link, to] : c.links) {
            EXPECT_TRUE(fs::is_symlink(home.path(link))) << c.name << ": " << link;
            EXPECT_EQ(fs::read_symlink(home.path(link)).string(), to) << c.name;
        }
        EXPECT_EQ(testsupport::readFileBytes(home.path(c.target)), "new") << c.name;
        EXPECT_EQ(testsupport::readFileBytes(path), "new") << c.name;
        if (c.existed) {
            struct stat info {};
            ::stat(home.path(c.target).c_str(), &info);
            EXPECT_EQ(info.st_mode & 0777, 0600u) << c.name;
            // The clean-up runs beside the file that is replaced.
            EXPECT_FALSE(fs::exists(home.path(c.target) + ".Stale1")) << c.name;
        }
    }
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home.path("data"))) ++entries;
    EXPECT_EQ(entries, 5);  // the links only
}

TEST_F(AtomicFileTest, ALoopOfLinksIsRefusedAndLeftAsItIs) {
    fs::create_symlink("loop-b", home.path("loop-a"));
    fs::create_symlink("loop-a", home.path("loop-b"));
    EXPECT_FALSE(platform::replaceFileContents(home.path("loop-a"), "new"));
    EXPECT_TRUE(fs::is_symlink(home.path("loop-a")));
    EXPECT_EQ(fs::read_symlink(home.path("loop-a")), "loop-b");
}
