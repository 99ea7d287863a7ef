// The main and statistics locks: zero-wait gates, the busy flag, one waiter on the statistics lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "base/AppBase.h"
#include "base/Locks.h"

using namespace wavory;
using namespace std::chrono_literals;

TEST(LocksTest, MainLockIsNotReentrant) {
    ASSERT_TRUE(TryEnter(CS_MAIN));
    EXPECT_FALSE(TryEnter(CS_MAIN));
    Leave(CS_MAIN);
    EXPECT_TRUE(TryEnter(CS_MAIN));
    Leave(CS_MAIN);
}

TEST(LocksTest, MainLockHeldElsewhereFailsAtOnce) {
    ASSERT_TRUE(TryEnter(CS_MAIN));
    auto other = std::async(std::launch::async, [] {
        const auto start = std::chrono::steady_clock::now();
        const bool got = TryEnter(CS_MAIN);
        if (got) Leave(CS_MAIN);
        return std::make_pair(got, std::chrono::steady_clock::now() - start);
    });
    const auto [got, took] = other.get();
    EXPECT_FALSE(got);
    EXPECT_LT(took, 1s);
    Leave(CS_MAIN);
}

TEST(LocksTest, StatsLockAdmitsOneWaiter) {
    ASSERT_TRUE(TryEnter(CS_STATS));
    std::atomic<bool> waiterIn{false};
    std::thread waiter([&] {
        // Gets the gate, then waits for the section; retried only if it lost the gate race below.
        while (!TryEnter(CS_STATS)) std::this_thread::yield();
        waiterIn = true;
        Leave(CS_STATS);
    });
    // While the waiter keeps the gate, further attempts fail at once. They are made by the holder
    // itself, which never blocks (it already owns the section) when it happens to win the gate.
    bool otherFailed = false;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!otherFailed && std::chrono::steady_clock::now() < until) {
        if (TryEnter(CS_STATS)) {
            Leave(CS_STATS);
            std::this_thread::sleep_for(1ms);
        } else {
            otherFailed = true;
        }
    }
    EXPECT_TRUE(otherFailed);
    EXPECT_FALSE(waiterIn);
    Leave(CS_STATS);
    waiter.join();
    EXPECT_TRUE(waiterIn);
}

TEST(LocksTest, MissingGateEntersDirectly) {
    CGatedLock lock("TEST", true);
    lock.SetGateMissing(true);
    EXPECT_TRUE(lock.TryEnter());
    lock.Leave();
}

TEST(LockGuardTest, LeavesOnlyWhatItTook) {
    {
        CLockGuard a(CS_MAIN);
        EXPECT_TRUE(a.Owned());
        CLockGuard b(CS_MAIN);
        EXPECT_FALSE(b.Owned());
    }
    CLockGuard c(CS_MAIN);
    EXPECT_TRUE(c.Owned());
}
