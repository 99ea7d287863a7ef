// Guards of the shared adapter: the object is the user's own and private, and a program that holds
// the adapter's lock without going on (stopped, not killed) delays others only for a bounded time.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "SimFixture.h"

namespace wavory::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;

// Points WAVORY_SIM at another adapter object for one scope, and removes that object afterwards.
class CScopedSimName {
public:
    explicit CScopedSimName(const std::string& suffix)
        : m_strOld(std::getenv("WAVORY_SIM")), m_strName(m_strOld + "-" + suffix) {
        ::setenv("WAVORY_SIM", m_strName.c_str(), 1);
    }
    ~CScopedSimName() {
        kcom_disconnect();
        ::setenv("WAVORY_SIM", m_strOld.c_str(), 1);
        shm_unlink(m_strName.c_str());
    }
    const std::string& Name() const { return m_strName; }
    std::string Path() const { return "/dev/shm" + m_strName; }

private:
    std::string m_strOld;
    std::string m_strName;
};

// Runs `body` in a child process and returns its exit code.
template <typename Body>
int InChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child: creates the named adapter as the user `uid` would and opens it to everyone.
int CreateOpenAdapter(const std::string& name, uid_t uid) {
    if (uid != geteuid() && (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)) return 20;
    ::setenv("WAVORY_SIM", name.c_str(), 1);
    if (kcom_connect("SEARCH") != 0) return 21;
    const int fd = shm_open(name.c_str(), O_RDWR, 0);
    if (fd < 0 || fchmod(fd, 0666) != 0) return 22;
    close(fd);
    return 0;
}

class AdapterGuardTest : public SimFixture {};

TEST_F(AdapterGuardTest, NewObjectIsPrivateWhateverTheUmask) {
    CScopedSimName scoped("fresh");
    const mode_t old = umask(0);
    const int rc = kcom_connect("SEARCH");
    umask(old);
    ASSERT_EQ(rc, 0);
    struct stat st {};
    ASSERT_EQ(stat(scoped.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());
}

TEST_F(AdapterGuardTest, OwnObjectOpenToOthersIsRefusedAndLeftAlone) {
    CScopedSimName scoped("open");
    ASSERT_EQ(InChild([&] { return CreateOpenAdapter(scoped.Name(), geteuid()); }), 0);
    EXPECT_EQ(kcom_connect("SEARCH"), KCOM_RESULT_REFUSED);
    EXPECT_NE(kccl_sim_set_present(0), 0);  // the control calls refuse it too
    struct stat st {};
    ASSERT_EQ(stat(scoped.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);  // not repaired, not replaced: it is reported
}

TEST_F(AdapterGuardTest, ObjectOfAnotherUserIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    CScopedSimName scoped("other");
    ASSERT_EQ(InChild([&] { return CreateOpenAdapter(scoped.Name(), kNobody); }), 0);
    EXPECT_EQ(kcom_connect("SEARCH"), KCOM_RESULT_REFUSED);
    // Nothing was written into it: the other user's adapter still has no SSID set.
    const int fd = shm_open(scoped.Name().c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    close(fd);
}

// A child that takes the adapter's lock and stops itself while holding it.
class CStoppedHolder {
public:
    CStoppedHolder() {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            static int s_fd;
            s_fd = fds[1];
            const int rc = kccl_sim_hold_lock(
                [](void*) {
                    const char held = 'h';
                    if (write(s_fd, &held, 1) != 1) _exit(3);
                    raise(SIGSTOP);
                },
                nullptr);
            _exit(rc == 0 ? 0 : 2);
        }
        close(fds[1]);
        char held = 0;
        const bool told = read(fds[0], &held, 1) == 1;
        close(fds[0]);
        int status = 0;
        m_bStopped = told && waitpid(m_pid, &status, WUNTRACED) == m_pid && WIFSTOPPED(status);
    }
    ~CStoppedHolder() { Resume(); }
    bool Stopped() const { return m_bStopped; }
    // Lets it go on; it leaves the lock and ends. Its exit code.
    int Resume() {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGCONT);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_bStopped = false;
};

TEST_F(AdapterGuardTest, StoppedLockHolderMakesRequestsBusyForABoundedTimeOnly) {
    JoinInfra("Lighthouse");
    ASSERT_TRUE(Associated());
    CStoppedHolder holder;
    ASSERT_TRUE(holder.Stopped());

    auto block = Block(0x590);
    const auto start = Clock::now();
    EXPECT_EQ(kcom_exec_oid(block.get()), KCOM_RESULT_BUSY);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(1));
    EXPECT_LT(waited, std::chrono::seconds(30));
    // Found busy once, the adapter is not waited for in full again while it stays held.
    const auto again = Clock::now();
    EXPECT_EQ(kcom_connect("SEARCH"), KCOM_RESULT_BUSY);
    EXPECT_EQ(kcom_exec_oid(block.get()), KCOM_RESULT_BUSY);
    EXPECT_LT(Clock::now() - again, std::chrono::seconds(1));

    ASSERT_EQ(holder.Resume(), 0);
    // The link was not lost to the wait, and the adapter is as it was.
    EXPECT_EQ(Exec(*block), 2u);
    EXPECT_NE(block->payload[0], 0);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
}

TEST_F(AdapterGuardTest, LockHolderThatDiesLeavesTheAdapterUsable) {
    const pid_t pid = fork();
    if (pid == 0) {
        kccl_sim_hold_lock([](void*) { _exit(0); }, nullptr);
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(Exec(*Block(0x590)), 2u);
    EXPECT_EQ(kccl_sim_set_present(0), 0);
    EXPECT_EQ(kccl_sim_set_present(1), 0);
}

}  // namespace
}  // namespace wavory::test
