// The two locks the threads share. Each is a gate taken with a zero wait plus a section that may
// block; the main lock also has a busy flag, so it never waits and is not re-entrant.
#pragma once

#include <atomic>
#include <mutex>

namespace wavory {

enum ELockSelector : int { CS_MAIN = 0, CS_STATS = 1 };

class CGatedLock {
public:
    CGatedLock(const char* traceName, bool hasBusyFlag) : m_pszName(traceName), m_bHasBusy(hasBusyFlag) {}

    // Takes the lock unless its gate (or busy flag) is held; may then wait for the section.
    bool TryEnter();
    void Leave();
    // Drops the gate, as if it had never been created: TryEnter then enters the section directly.
    void SetGateMissing(bool missing) { m_bGateMissing = missing; }

private:
    const char* m_pszName;
    bool m_bHasBusy;
    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bGateMissing{false};
    std::timed_mutex m_Gate;
    std::recursive_mutex m_Section;
};

// Lock operations on the application's locks by selector.
bool TryEnter(int selector);
void Leave(int selector);

// Holds a lock taken with TryEnter for a scope.
class CLockGuard {
public:
    explicit CLockGuard(int selector) : m_nSelector(selector), m_bOwned(TryEnter(selector)) {}
    ~CLockGuard() {
        if (m_bOwned) Leave(m_nSelector);
    }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    bool Owned() const { return m_bOwned; }

private:
    int m_nSelector;
    bool m_bOwned;
};

}  // namespace wavory
