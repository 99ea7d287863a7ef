// Join attempts on a thread of their own, as OID_JOIN_STATE reports them, and the termination
// signals that an attempt hears first.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "JoinRunner.h"
#include "TestMain.h"
#include "kccl.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

using namespace std::chrono_literals;

uint32_t U32(const uint8_t* p, size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

struct SState {
    uint32_t state, cause, attempt, flags;
    std::string ssid, detail;
};

SState Read(const CJoinRunner& runner) {
    uint8_t p[KCOM_PAYLOAD_SIZE];
    std::memset(p, 0xAB, sizeof p);
    runner.Fill(p);
    SState s{U32(p, KCOM_JOIN_STATE_FIELD),
             U32(p, KCOM_JOIN_CAUSE),
             U32(p, KCOM_JOIN_ATTEMPT),
             U32(p, KCOM_JOIN_FLAGS),
             std::string(reinterpret_cast<char*>(p + KCOM_JOIN_SSID), p[KCOM_JOIN_SSID_LEN]),
             std::string(reinterpret_cast<char*>(p + KCOM_JOIN_DETAIL))};
    return s;
}

// A way of control whose attempt ends when the test says, or when it is stopped.
class CScriptedControl final : public IAdapterControl {
public:
    SJoinOutcome result;
    std::atomic<int> stoppedBy{0};  // the signal the attempt heard, -1 for a cancel

    uint32_t StartScan() override { return 2; }
    uint32_t Disconnect() override { return 2; }
    uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override { return 2; }
    SJoinOutcome CheckJoin(const SJoinSettings&) override { return {}; }
    SJoinOutcome Join(const SJoinSettings&, CJoinContext& context) override {
        {
            std::lock_guard lock(m_mutex);
            m_bStarted = true;
        }
        m_cv.notify_all();
        while (!context.Stopping()) {
            std::unique_lock lock(m_mutex);
            if (m_bEnd) return result;
            lock.unlock();
            context.Sleep(10ms);
        }
        stoppedBy = context.Signalled() ? context.Signalled() : -1;
        SJoinOutcome out;
        out.cause = KCOM_CAUSE_TIMEOUT;  // whatever it says, a stopped attempt is cancelled
        return out;
    }
    void WaitStarted() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_bStarted; });
    }
    void End() {
        std::lock_guard lock(m_mutex);
        m_bEnd = true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStarted = false;
    bool m_bEnd = false;
};

SJoinSettings Network(const std::string& ssid) {
    SJoinSettings s;
    s.ssid = ssid;
    return s;
}

TEST(JoinRunnerTest, JoiningUntilTheAttemptEndsThenItsOutcome) {
    CJoinRunner runner;
    EXPECT_EQ(Read(runner).state, static_cast<uint32_t>(KCOM_JOIN_IDLE));
    EXPECT_EQ(Read(runner).attempt, 0u);

    CScriptedControl control;
    control.result.joined = true;
    runner.Start(control, Network("Harbour"));
    control.WaitStarted();
    SState s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_JOINING));
    EXPECT_EQ(s.attempt, 1u);
    EXPECT_EQ(s.ssid, "Harbour");
    EXPECT_TRUE(runner.Running());
    control.End();
    runner.Wait();
    s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(s.cause, static_cast<uint32_t>(KCOM_CAUSE_NONE));

    CScriptedControl refused;
    refused.result.cause = KCOM_CAUSE_WRONG_KEY;
    refused.result.restored = true;
    refused.result.detail = "the passphrase was not accepted";
    runner.Start(refused, Network("Harbour"));
    refused.End();
    runner.Wait();
    s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(s.cause, static_cast<uint32_t>(KCOM_CAUSE_WRONG_KEY));
    EXPECT_EQ(s.flags, static_cast<uint32_t>(KCOM_JOIN_FLAG_RESTORED));
    EXPECT_EQ(s.attempt, 2u);
    EXPECT_EQ(s.detail, "the passphrase was not accepted");
}

TEST(JoinRunnerTest, ANewerAttemptOrADisconnectCancelsTheOneOnItsWay) {
    CJoinRunner runner;
    CScriptedControl first;
    runner.Start(first, Network("First"));
    first.WaitStarted();
    CScriptedControl second;
    second.result.joined = true;
    runner.Start(second, Network("Second"));
    EXPECT_EQ(first.stoppedBy, -1);
    EXPECT_EQ(Read(runner).ssid, "Second");
    EXPECT_EQ(Read(runner).attempt, 2u);
    second.WaitStarted();
    runner.Cancel();
    const SState s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(s.cause, static_cast<uint32_t>(KCOM_CAUSE_CANCELLED));
}

TEST(JoinRunnerTest, AnAttemptThatCannotStartSaysWhyAtOnce) {
    CJoinRunner runner;
    SJoinOutcome refusal;
    refusal.cause = KCOM_CAUSE_NOT_PERMITTED;
    refusal.status = 0xC0000022u;
    // A detail longer than its field is cut at a character's boundary (é is two bytes).
    refusal.detail = std::string(KCOM_JOIN_DETAIL_SIZE - 2, 'x') + "\xC3\xA9" + "yz";
    runner.Refuse(Network(std::string(40, 'n')), refusal);
    const SState s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(s.cause, static_cast<uint32_t>(KCOM_CAUSE_NOT_PERMITTED));
    EXPECT_EQ(s.attempt, 1u);
    EXPECT_EQ(s.ssid.size(), 32u);
    EXPECT_EQ(s.detail, std::string(KCOM_JOIN_DETAIL_SIZE - 2, 'x'));
}

// An exception out of the way of control (a parse of the supplicant's text gone wrong, memory)
// ends that attempt as failed with the reason; the program and the next attempt go on.
TEST(JoinRunnerTest, AnExceptionInTheAttemptIsAFailedAttemptNotTheProgramsEnd) {
    struct SThrowing final : IAdapterControl {
        uint32_t StartScan() override { return 2; }
        uint32_t Disconnect() override { return 2; }
        uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override { return 2; }
        SJoinOutcome CheckJoin(const SJoinSettings&) override { return {}; }
        SJoinOutcome Join(const SJoinSettings&, CJoinContext&) override { throw std::out_of_range("stoi"); }
    } throwing;
    CJoinRunner runner;
    bool ended = false;
    runner.Start(throwing, Network("Harbour"), [&](const SJoinSettings&, const SJoinOutcome& outcome) {
        ended = !outcome.joined;
    });
    runner.Wait();
    SState s = Read(runner);
    EXPECT_EQ(s.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_NE(s.detail.find("internal error: stoi"), std::string::npos) << s.detail;
    EXPECT_TRUE(ended);

    CScriptedControl next;
    next.result.joined = true;
    runner.Start(next, Network("Harbour"));
    next.End();
    runner.Wait();
    EXPECT_EQ(Read(runner).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
}

std::atomic<int> g_handled{0};
void CountSignal(int) { g_handled++; }

// A termination signal during an attempt reaches the attempt first (which puts things back), then
// the program's own handler, as if nothing had stood in between; after the attempt the program's
// handler is the one in place.
TEST(JoinRunnerTest, ATerminationSignalEndsTheAttemptThenReachesTheProgram) {
    struct sigaction mine {
    }, saved{};
    mine.sa_handler = CountSignal;
    sigemptyset(&mine.sa_mask);
    ASSERT_EQ(::sigaction(SIGHUP, &mine, &saved), 0);
    g_handled = 0;

    CJoinRunner runner;
    CScriptedControl control;
    runner.Start(control, Network("Harbour"));
    control.WaitStarted();
    ::raise(SIGHUP);
    runner.Wait();
    EXPECT_EQ(control.stoppedBy, SIGHUP);
    EXPECT_EQ(Read(runner).cause, static_cast<uint32_t>(KCOM_CAUSE_CANCELLED));
    EXPECT_EQ(g_handled, 1) << "the program's handler did not get the signal after the attempt";

    struct sigaction now {};
    ::sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, &CountSignal);
    ::raise(SIGHUP);
    EXPECT_EQ(g_handled, 2);
    ::sigaction(SIGHUP, &saved, nullptr);
}

}  // namespace
}  // namespace wavory::kccl
