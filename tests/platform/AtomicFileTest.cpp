#include "platform/AtomicFile.h"
#include "tests/support/TestEnvironment.h"

#include <sys/stat.h>

#include <filesystem>

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
