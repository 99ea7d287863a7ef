// The per-user lock the window holds and the command line checks.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "TestMain.h"
#include "platform/InstanceLock.h"

namespace wavory::test {
namespace {

std::string LockPath() { return (std::filesystem::path(TempHome()) / "lock-test" / "wavory.lock").string(); }

TEST(InstanceLockTest, OneHolderAtATimeAndItsOwnerIsKnown) {
    CInstanceLock window(CInstanceLock::kWindowOwner, LockPath());
    CInstanceLock command(CInstanceLock::kCommandLineOwner, LockPath());
    EXPECT_EQ(command.HolderOwner(), "");
    ASSERT_TRUE(window.TryLock());
    EXPECT_TRUE(window.TryLock());  // already held
    EXPECT_FALSE(command.TryLock());
    EXPECT_TRUE(command.Error().empty());
    EXPECT_EQ(command.HolderOwner(), "window");

    window.Unlock();
    EXPECT_EQ(command.HolderOwner(), "");
    EXPECT_TRUE(command.TryLock());
    EXPECT_EQ(window.HolderOwner(), "wavoryctl");
}

TEST(InstanceLockTest, LockWaitsForTheHolderUntilItsTimeout) {
    CInstanceLock first(CInstanceLock::kCommandLineOwner, LockPath());
    CInstanceLock second(CInstanceLock::kWindowOwner, LockPath());
    ASSERT_TRUE(first.TryLock());
    EXPECT_FALSE(second.Lock(std::chrono::milliseconds(120)));
    std::thread release([&first] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        first.Unlock();
    });
    EXPECT_TRUE(second.Lock(std::chrono::seconds(5)));
    release.join();
}

TEST(InstanceLockTest, TheLockEndsWithItsProcess) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CInstanceLock held(CInstanceLock::kWindowOwner, LockPath());
        // Ends without unlocking, as a crashed window would.
        ::_exit(held.TryLock() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    CInstanceLock after(CInstanceLock::kCommandLineOwner, LockPath());
    EXPECT_TRUE(after.TryLock());
}

TEST(InstanceLockTest, AnUnusableFolderIsAnError) {
    CInstanceLock lock(CInstanceLock::kWindowOwner, "/proc/wavory-cannot-be-here/wavory.lock");
    EXPECT_FALSE(lock.TryLock());
    EXPECT_FALSE(lock.Error().empty());
}

}  // namespace
}  // namespace wavory::test
