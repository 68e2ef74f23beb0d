#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

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

TEST_F(SingleInstanceTest, ABoundedWaitGetsTheLockItsHolderReleasesAndGivesUpOnOneKept) {
    platform::SingleInstanceLock holder;
    ASSERT_EQ(holder.acquire("shared"), Result::Acquired);
    platform::SingleInstanceLock waiter;
    EXPECT_EQ(waiter.acquire("shared", std::chrono::milliseconds(20)), Result::HeldElsewhere);
    EXPECT_FALSE(waiter.held());

    std::atomic<bool> started{false};
    std::thread release([&] {
        while (!started.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        holder.release();
    });
    started.store(true);
    EXPECT_EQ(waiter.acquire("shared", std::chrono::seconds(30)), Result::Acquired);
    release.join();
    EXPECT_TRUE(waiter.held());
}

TEST_F(SingleInstanceTest, ALockFileInAFolderIsCreatedAndLockedLikeANamedOne) {
    const std::string path = home.path("folder.lock");
    platform::SingleInstanceLock first;
    platform::SingleInstanceLock second;
    EXPECT_EQ(first.acquireFile(path, std::chrono::milliseconds(0)), Result::Acquired);
    EXPECT_EQ(second.acquireFile(path, std::chrono::milliseconds(0)), Result::HeldElsewhere);
    EXPECT_EQ(second.acquireFile(home.path("missing/folder.lock"), std::chrono::milliseconds(0)), Result::Unavailable);
}

TEST_F(SingleInstanceTest, ALockFileInAFolderThatIsALinkOrNotAFileIsRefusedWithTheReason) {
    const std::string target = home.path("elsewhere.lock");
    const std::string linked = home.path("linked.lock");
    std::filesystem::create_symlink(target, linked);
    platform::SingleInstanceLock lock;
    EXPECT_EQ(lock.acquireFile(linked, std::chrono::milliseconds(0)), Result::Refused);
    EXPECT_NE(lock.problem().find("is a symbolic link"), std::string::npos) << lock.problem();
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(std::filesystem::exists(target));

    const std::string folder = home.path("a-folder.lock");
    std::filesystem::create_directories(folder);
    EXPECT_NE(lock.acquireFile(folder, std::chrono::milliseconds(0)), Result::Acquired);
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
