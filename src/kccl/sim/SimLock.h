// Holds the adapter's process-shared robust mutex for one scope. When the previous holder died
// with the lock held, the lock is taken over and marked consistent: the state is plain data and
// every change to it is small, so the survivor carries on with it. A holder that stays inside
// (a program stopped in the middle of a request) is waited for a bounded time only; then the
// request fails as busy and the state is left as the holder has it. Once a wait has run out, this
// process's later requests wait only briefly until the lock is taken again, so that a window does
// not freeze for the full wait on every request while the holder stays stopped. A thread that must
// stay responsive (kccl_set_busy_wait) waits a short time at first and not at all once the adapter
// was found busy.
#pragma once

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "SimState.h"

namespace wavory::kccl {

// How long a request waits for another program that holds the adapter, and how long while the
// adapter was last found busy.
inline constexpr int kLockWaitMs = 3000;
inline constexpr int kBusyLockWaitMs = 100;

// The last wait of this process ran out; cleared when the lock is taken again.
inline std::atomic<bool> g_bAdapterBusy{false};
// This thread's own first wait in milliseconds; negative: the library's default (kLockWaitMs).
inline thread_local int t_nBusyWaitMs = -1;
// Requests of this process that waited for a held adapter until the wait ran out (for tests).
inline std::atomic<int> g_nBusyWaits{0};

// The adapter stayed held by another program for the whole wait.
class CSimBusyError : public std::runtime_error {
public:
    CSimBusyError() : std::runtime_error("kccl: the simulated adapter is busy (held by another program)") {}
};

class CSimLock {
public:
    explicit CSimLock(SimState& state) : m_state(state) {
        const bool responsive = t_nBusyWaitMs >= 0;
        int waitMs = responsive ? t_nBusyWaitMs : kLockWaitMs;
        if (g_bAdapterBusy.load()) waitMs = responsive ? 0 : kBusyLockWaitMs;
        // Tries the lock, then again after short pauses until the wait runs out. Polling with
        // trylock rather than a timed lock keeps the lock visible to the thread checker, and the
        // pauses stay small against a request's own cost.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        auto pause = std::chrono::microseconds(50);
        int rc = pthread_mutex_trylock(&m_state.mutex);
        while (rc == EBUSY && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(5000));
            rc = pthread_mutex_trylock(&m_state.mutex);
        }
        if (rc == EOWNERDEAD) {
            pthread_mutex_consistent(&m_state.mutex);
        } else if (rc == EBUSY) {
            if (waitMs > 0) ++g_nBusyWaits;
            g_bAdapterBusy = true;
            throw CSimBusyError();
        } else if (rc != 0) {
            throw std::runtime_error("kccl: the simulated adapter's lock is unusable");
        }
        g_bAdapterBusy = false;
    }
    ~CSimLock() { pthread_mutex_unlock(&m_state.mutex); }
    CSimLock(const CSimLock&) = delete;
    CSimLock& operator=(const CSimLock&) = delete;

private:
    SimState& m_state;
};

}  // namespace wavory::kccl
