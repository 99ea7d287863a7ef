// Holds the adapter's process-shared robust mutex for one scope. When the previous holder died
// with the lock held, the lock is taken over and marked consistent: the state is plain data and
// every change to it is small, so the survivor carries on with it. A holder that stays inside
// (a program stopped in the middle of a request) is waited for a bounded time only; then the
// request fails as busy and the state is left as the holder has it.
#pragma once

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "SimState.h"

namespace wavory::kccl {

// How long a request waits for another program that holds the adapter.
inline constexpr int kLockWaitMs = 3000;

// The adapter stayed held by another program for the whole wait.
class CSimBusyError : public std::runtime_error {
public:
    CSimBusyError() : std::runtime_error("kccl: the simulated adapter is busy (held by another program)") {}
};

class CSimLock {
public:
    explicit CSimLock(SimState& state) : m_state(state) {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += kLockWaitMs / 1000;
        deadline.tv_nsec += static_cast<long>(kLockWaitMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        const int rc = pthread_mutex_clocklock(&m_state.mutex, CLOCK_MONOTONIC, &deadline);
        if (rc == EOWNERDEAD) {
            pthread_mutex_consistent(&m_state.mutex);
        } else if (rc == ETIMEDOUT) {
            throw CSimBusyError();
        } else if (rc != 0) {
            throw std::runtime_error("kccl: the simulated adapter's lock is unusable");
        }
    }
    ~CSimLock() { pthread_mutex_unlock(&m_state.mutex); }
    CSimLock(const CSimLock&) = delete;
    CSimLock& operator=(const CSimLock&) = delete;

private:
    SimState& m_state;
};

}  // namespace wavory::kccl
