#include "platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

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
