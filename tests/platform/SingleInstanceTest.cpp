#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

using Result = platform::SingleInstanceLock::Result;

class SingleInstanceTest : public testsupport::IsolatedTest {};

TEST_F(SingleInstanceTest, OnlyOneHolderAtATimeAndReleaseFreesTheName) {
    platform::SingleInstanceLock first;
    platform::SingleInstanceLock second;
    EXPECT_EQ(first.acquire("Some Mutex_name"), Result::Acquired);
    EXPECT_EQ(second.acquire("Some Mutex_name"), Result::HeldElsewhere);
    EXPECT_FALSE(second.held());
    EXPECT_EQ(second.acquire("Other mutex"), Result::Acquired);

    first.release();
    platform::SingleInstanceLock third;
    EXPECT_EQ(third.acquire("Some Mutex_name"), Result::Acquired);
}

TEST_F(SingleInstanceTest, TheLockEndsWithItsObject) {
    {
        platform::SingleInstanceLock scoped;
        ASSERT_EQ(scoped.acquire("scoped"), Result::Acquired);
    }
    platform::SingleInstanceLock next;
    EXPECT_EQ(next.acquire("scoped"), Result::Acquired);
}

TEST_F(SingleInstanceTest, AnUnusableRuntimeFolderIsReportedAsUnavailable) {
    ::setenv("XDG_RUNTIME_DIR", home.path("runtime").c_str(), 1);
    platform::SingleInstanceLock lock;
    // A name that cannot be a file: the lock file cannot be opened.
    EXPECT_EQ(lock.acquire("no/such/folder/name"), Result::Unavailable);
    EXPECT_FALSE(lock.held());
}

class SingleInstanceFallbackTest : public testsupport::IsolatedTest {
protected:
    const std::string fallback = home.withoutRuntimeFolder();
};

TEST_F(SingleInstanceFallbackTest, AFileAnotherUserLockedAtThePredictableNameDoesNotBlockUs) {
    // What another user could plant before: the lock file name in the shared temporary folder.
    const std::string planted = home.path("tmp/Some Mutex_name.lock-" + std::to_string(::getuid()));
    const int plantedFd = ::open(planted.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(plantedFd, 0);
    ASSERT_EQ(::flock(plantedFd, LOCK_EX | LOCK_NB), 0);

    platform::SingleInstanceLock lock;
    EXPECT_EQ(lock.acquire("Some Mutex_name"), Result::Acquired);
    EXPECT_TRUE(std::filesystem::is_regular_file(fallback + "/Some Mutex_name.lock"));
    platform::SingleInstanceLock second;
    EXPECT_EQ(second.acquire("Some Mutex_name"), Result::HeldElsewhere);
    ::close(plantedFd);
}

TEST_F(SingleInstanceFallbackTest, ALockInARuntimeFolderOrFileNotOursIsRefusedWithTheReason) {
    const std::string elsewhere = home.path("elsewhere");
    const struct {
        const char* name;
        void (*plant)(const std::string& folder, const std::string& elsewhere);
        const char* problem;
    } cases[] = {
        {"open folder",
         [](const std::string& folder, const std::string&) {
             testsupport::makeFolder(folder, std::filesystem::perms::all);
         },
         "is open to other users"},
        {"lock file linked elsewhere",
         [](const std::string& folder, const std::string& target) {
             testsupport::makeFolder(folder, std::filesystem::perms::owner_all);
             std::filesystem::create_symlink(target, folder + "/Some Mutex_name.lock");
         },
         "is a symbolic link"},
    };
    for (const auto& c : cases) {
        c.plant(fallback, elsewhere);
        platform::SingleInstanceLock lock;
        const Result result = lock.acquire("Some Mutex_name");
        EXPECT_EQ(result, Result::Refused) << c.name;
        EXPECT_NE(lock.problem().find(c.problem), std::string::npos) << c.name << ": " << lock.problem();
        EXPECT_FALSE(lock.held()) << c.name;
        EXPECT_FALSE(std::filesystem::exists(elsewhere)) << c.name;
        std::filesystem::remove_all(fallback);
    }
}
