// One join per interface at a time across processes: the lock file in the user's runtime folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "JoinLock.h"
#include "TestMain.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

using namespace std::chrono_literals;

std::string Runtime() { return std::getenv("XDG_RUNTIME_DIR"); }

TEST(JoinLockTest, AnotherProcessHoldingTheInterfaceIsNamedAndTheWaitIsBounded) {
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CJoinLock held;
        const bool taken = held.Take("wlan9", 0ms, nullptr) == CJoinLock::EResult::Taken;
        [[maybe_unused]] ssize_t n = ::write(ready[1], taken ? "1" : "0", 1);
        char c;
        n = ::read(done[0], &c, 1);  // until the parent says
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');

    CJoinLock lock;
    CJoinContext context;
    EXPECT_EQ(lock.Take("wlan9", 200ms, &context), CJoinLock::EResult::Busy);
    EXPECT_EQ(lock.Reason(), "another program is joining on wlan9 (process " + std::to_string(child) + ")");
    EXPECT_FALSE(lock.Held());
    // Another interface is not held.
    EXPECT_EQ(lock.Take("wlan8", 0ms, &context), CJoinLock::EResult::Taken);
    lock.Release();
    // An attempt stopped while it waits ends at once, not at the end of its wait.
    context.Cancel();
    EXPECT_EQ(lock.Take("wlan9", 60s, &context), CJoinLock::EResult::Stopped);

    // The holder ending (however it ends) frees the interface.
    [[maybe_unused]] const ssize_t n = ::write(done[1], "x", 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(lock.Take("wlan9", 0ms, nullptr), CJoinLock::EResult::Taken);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);

    const auto outcome = LockForJoin(*std::make_unique<CJoinLock>(), "wlan9", 0ms, CJoinContext{});
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->cause, static_cast<uint32_t>(KCOM_CAUSE_BUSY));
    EXPECT_NE(outcome->detail.find("another program is joining on wlan9"), std::string::npos);
}

TEST(JoinLockTest, TheFolderIsTheUsersOwnAndClosedToOthers) {
    std::string error;
    const std::string folder = Runtime() + "/wavory";
    ASSERT_EQ(CJoinLock::Folder(error), folder) << error;
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Opened to others by mistake: closed again before a lock file goes in.
    ::chmod(folder.c_str(), 0777);
    ASSERT_EQ(CJoinLock::Folder(error), folder) << error;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Something else in its place (a link planted to another folder) is refused, with the reason.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory_symlink(test::TempHome(), folder);
    EXPECT_EQ(CJoinLock::Folder(error), "");
    EXPECT_NE(error.find("is not a folder of this user's"), std::string::npos) << error;
    CJoinLock lock;
    EXPECT_EQ(lock.Take("wlan9", 0ms, nullptr), CJoinLock::EResult::Failed);
    EXPECT_NE(lock.Reason().find("no private folder for the join lock"), std::string::npos);
    std::filesystem::remove(folder);
    // A name that is no interface's never becomes a path.
    EXPECT_EQ(lock.Take("../wlan9", 0ms, nullptr), CJoinLock::EResult::Failed);
}

}  // namespace
}  // namespace wavory::kccl
