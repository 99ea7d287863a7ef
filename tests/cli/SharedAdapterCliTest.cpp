// wavoryctl beside other programs on the one adapter: reading starts no scan, a scan is waited for
// and merged once, an adapter that goes away or stays held fails the command with its reason, and
// an adapter object that is not the user's own is refused.
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kStartScan = 0x200;
constexpr uint32_t kBssid = 0x50;  // read once by every merge of the scan list
constexpr uint32_t kStatistics = 0x370;

json SimState() {
    std::vector<char> buffer(256 * 1024);
    kccl_sim_state_json(buffer.data(), buffer.size());
    return json::parse(buffer.data());
}

int CountLogged(uint32_t code) {
    KCCL_SIM_LOG_ENTRY entries[64];
    const int count = kccl_sim_get_log(entries, 64);
    int found = 0;
    for (int i = 0; i < count; ++i)
        if (entries[i].code == code) ++found;
    return found;
}

// Polls until `done` holds or the generous limit passes.
template <typename Pred>
bool WaitFor(Pred done, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The simulator tool in a folder every user can read, for a test that runs it as another user: the
// build may lie in a private folder (a checkout under /root) that user cannot reach. The program is
// copied with the libraries of the build it loads, which come through LD_LIBRARY_PATH (searched
// before the program's own RUNPATH). Empty `error` when it is ready.
class CSharedToolCopy {
public:
    CSharedToolCopy() {
        namespace fs = std::filesystem;
        struct stat st {};
        if (::stat("/tmp", &st) != 0 || (st.st_mode & S_IXOTH) == 0) {
            error = "/tmp is not open to other users, so no copy of the tool can be put where they reach it";
            return;
        }
        std::string folder = "/tmp/wavory-sim-tool-XXXXXX";
        if (!::mkdtemp(folder.data())) {
            error = "cannot make a folder in /tmp";
            return;
        }
        m_Folder = folder;
        fs::permissions(m_Folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
        const fs::path tool = WAVORY_SIM_TOOL_PATH;
        const std::string build = tool.parent_path().parent_path().string() + "/";
        fs::copy_file(tool, m_Folder / tool.filename());
        path = (m_Folder / tool.filename()).string();
        // The libraries the loader finds for it inside the build folder.
        FILE* ldd = ::popen(("/usr/bin/ldd '" + tool.string() + "'").c_str(), "r");
        if (!ldd) {
            error = "cannot run ldd";
            return;
        }
        char line[4096];
        while (std::fgets(line, sizeof line, ldd)) {
            const std::string text = line;
            const size_t arrow = text.find("=> ");
            if (arrow == std::string::npos) continue;
            const std::string lib = text.substr(arrow + 3, text.find(" (", arrow) - arrow - 3);
            if (lib.starts_with(build)) fs::copy_file(lib, m_Folder / fs::path(lib).filename());
        }
        if (::pclose(ldd) != 0) error = "ldd failed on " + tool.string();
        libraryPath = "LD_LIBRARY_PATH=" + m_Folder.string();
    }
    ~CSharedToolCopy() {
        std::error_code ignored;
        if (!m_Folder.empty()) std::filesystem::remove_all(m_Folder, ignored);
    }
    CSharedToolCopy(const CSharedToolCopy&) = delete;
    CSharedToolCopy& operator=(const CSharedToolCopy&) = delete;

    std::string path;
    std::string libraryPath;
    std::string error;

private:
    std::filesystem::path m_Folder;
};

class SharedAdapterCliTest : public CliTest {
protected:
    SChild StartCtl(const std::vector<std::string>& args) {
        std::vector<std::string> argv{WAVORYCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return Start(argv);
    }

    // Expects a failure that names its step and reason, on standard error and as --json output.
    static void ExpectAdapterFailure(const SRun& run, const std::string& failed, const std::string& reason,
                                     const std::string& needle) {
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_TRUE(IsOneLine(run.err)) << run.err;
        EXPECT_NE(run.err.find(needle), std::string::npos) << run.err;
        json error;
        try {
            error = json::parse(run.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not JSON: " << e.what() << "\n" << run.out;
            return;
        }
        EXPECT_EQ(error["failed"], failed) << run.out;
        EXPECT_EQ(error["reason"], reason) << run.out;
        EXPECT_EQ(error["exit_code"], 1);
        EXPECT_FALSE(error.contains("connected")) << "a failure must not look like a result: " << run.out;
    }
};

TEST_F(SharedAdapterCliTest, ReadingCommandsStartNoScan) {
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], false);
    EXPECT_EQ(RunJson({"stats", "--seconds", "1"})["connected"], false);
    EXPECT_EQ(RunJson({"about"})["mac"], "00-0A-F5-3C-9E-12");
    EXPECT_EQ(CountLogged(kStartScan), 0);
    EXPECT_EQ(SimState()["scanning"], false);

    ASSERT_EQ(RunJson({"scan"})["stations"].size(), 14u);
    EXPECT_EQ(CountLogged(kStartScan), 1);
}

TEST_F(SharedAdapterCliTest, ScanWaitsOnTheStatusAndMergesOnce) {
    ASSERT_EQ(kccl_sim_set_scan_duration(1200), 0);
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    const json scan = RunJson({"scan"});
    EXPECT_EQ(scan["scanning"], false);
    EXPECT_EQ(scan["stations"].size(), 14u);
    EXPECT_EQ(CountLogged(kBssid), 1) << "the list was merged more than once";
}

TEST_F(SharedAdapterCliTest, UnplugDuringScanFails) {
    ASSERT_EQ(kccl_sim_set_scan_duration(4000), 0);
    SChild scan = StartCtl({"scan", "--json"});
    ASSERT_TRUE(WaitFor([] { return SimState()["scanning"] == true; }));
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    const SRun run = Finish(scan);
    ExpectAdapterFailure(run, "scan", "adapter_gone", "stopped answering during the scan");
    EXPECT_EQ(run.out.find("No networks found"), std::string::npos);

    ASSERT_EQ(kccl_sim_set_present(1), 0);
    ASSERT_EQ(kccl_sim_set_scan_duration(150), 0);
    EXPECT_EQ(RunJson({"scan"})["stations"].size(), 14u);
}

TEST_F(SharedAdapterCliTest, UnplugDuringStatsFails) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ASSERT_EQ(RunJson({"connect", "Light"})["associated"], true);
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    SChild stats = StartCtl({"stats", "--seconds", "3", "--json"});
    // Unplugged after the first traffic sample, during the wait for the second.
    ASSERT_TRUE(WaitFor([] { return CountLogged(kStatistics) > 0; }));
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    const SRun run = Finish(stats);
    ExpectAdapterFailure(run, "traffic sample", "adapter_gone", "stopped answering");

    // Plugged back in between the two samples is a failure too: the counters started over.
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    SChild again = StartCtl({"stats", "--seconds", "2", "--json"});
    ASSERT_TRUE(WaitFor([] { return CountLogged(kStatistics) > 0; }));
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    ExpectAdapterFailure(Finish(again), "traffic sample", "adapter_gone", "stopped answering");
}

// A program that takes the adapter's lock and is then stopped (not killed) while it holds it.
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

TEST_F(SharedAdapterCliTest, StoppedLockHolderMakesARequestFailAsBusyUntilItGoesOn) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ASSERT_EQ(RunJson({"connect", "Light"})["associated"], true);
    // What a request could have changed; the clock, the traffic counters and the scan that
    // connecting started move on their own.
    auto settings = [] {
        json state = SimState();
        for (const char* moving : {"clock_ms", "counters", "scanning", "scan_results"}) state.erase(moving);
        return state.dump();
    };
    const std::string before = settings();
    CStoppedHolder holder;
    ASSERT_TRUE(holder.Stopped());

    const auto start = Clock::now();
    SChild status = StartCtl({"status", "--json"});
    const SRun run = Finish(status, std::chrono::seconds(50));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(45)) << "the wait was not bounded";
    ExpectAdapterFailure(run, "adapter link", "adapter_busy", "adapter busy");

    ASSERT_EQ(holder.Resume(), 0);
    // Nothing was corrupted: the adapter is as it was, and the next request works.
    EXPECT_EQ(settings(), before);
    const json after = RunJson({"status"});
    EXPECT_EQ(after["connected"], true);
    EXPECT_EQ(after["ssid"], "Lighthouse");
}

// The simulated adapter's object, pre-created by another local user and opened to everyone.
TEST_F(SharedAdapterCliTest, AnotherUsersAdapterObjectIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run a second user with setpriv";
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    const std::string name = std::getenv("WAVORY_SIM");
    const CSharedToolCopy tool;
    ASSERT_EQ(tool.error, "");
    ASSERT_EQ(kccl_sim_unlink(), 0);
    const std::vector<std::string> asOther{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups", "--"};
    auto runAsOther = [&](std::vector<std::string> argv) {
        argv.insert(argv.begin(), asOther.begin(), asOther.end());
        SChild child = Start(argv, {tool.libraryPath});
        return Finish(child);
    };
    const SRun made = runAsOther({tool.path, "status"});
    ASSERT_EQ(made.code, 0) << made.err;
    ASSERT_EQ(runAsOther({"/bin/chmod", "0666", "/dev/shm" + name}).code, 0);

    const SRun connect = Run({"connect", "--ssid", "Harbour", "--key", "1A2B3C4D5E"});
    EXPECT_EQ(connect.code, 1);
    EXPECT_NE(connect.err.find("belongs to user 65534"), std::string::npos) << connect.err;
    // It says how to recover: which file, removed by whom.
    EXPECT_NE(connect.err.find("user 65534 or root can remove it: rm /dev/shm" + name), std::string::npos)
        << connect.err;
    EXPECT_NE(connect.err.find("wavoryctl: the adapter was refused"), std::string::npos) << connect.err;
    EXPECT_EQ(connect.out, "");

    // What the other user sees of it (made private again, so that the library opens it): no key
    // written, no network joined, still plugged in.
    ASSERT_EQ(runAsOther({"/bin/chmod", "0600", "/dev/shm" + name}).code, 0);
    const SRun seen = runAsOther({tool.path, "status"});
    ASSERT_EQ(seen.code, 0) << seen.err;
    const json state = json::parse(seen.out);
    EXPECT_EQ(state["associated"], false);
    EXPECT_EQ(state["present"], true);
    EXPECT_EQ(state["ssid"], "");
    EXPECT_EQ(state["keys"], json::array({"", "", "", ""}));

    EXPECT_EQ(shm_unlink(name.c_str()), 0);
    EXPECT_EQ(Run({"status"}).code, 0);  // a fresh object of this user's own
}

}  // namespace
}  // namespace wavory::test
