#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <atomic>
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
