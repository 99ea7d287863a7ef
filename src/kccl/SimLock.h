// Holds the adapter's process-shared robust mutex for one scope. When the previous holder died
// with the lock held, the lock is taken over and marked consistent: the state is plain data and
// every change to it is small, so the survivor carries on with it.
#pragma once

#include <pthread.h>

#include <cerrno>
#include <stdexcept>

#include "SimState.h"

namespace wavory::kccl {

class CSimLock {
public:
    explicit CSimLock(SimState& state) : m_state(state) {
        const int rc = pthread_mutex_lock(&m_state.mutex);
        if (rc == EOWNERDEAD) {
            pthread_mutex_consistent(&m_state.mutex);
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
