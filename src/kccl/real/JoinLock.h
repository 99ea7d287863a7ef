// One join per interface at a time, across the user's processes (the window's auto-selection, a
// second wavoryctl): an attempt changes the whole state of whoever runs the interface (it disables
// the supplicant's other entries, replaces NetworkManager's active connection), and two at once
// would undo each other. The lock is an flock on a file per interface in the user's runtime folder;
// it goes with the process, so a killed attempt never leaves it held.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "AdapterControl.h"

namespace wavory::kccl {

class CJoinLock {
public:
    enum class EResult { Taken, Busy, Stopped, Failed };

    CJoinLock() = default;
    ~CJoinLock() { Release(); }
    CJoinLock(const CJoinLock&) = delete;
    CJoinLock& operator=(const CJoinLock&) = delete;

    // Takes the lock of interface `ifname`, waiting up to `wait` for another attempt to end (and no
    // longer than `context` lets it, where one is given). Busy when the wait ran out; Failed when
    // there is no private folder for the lock. Reason() says why in words either way.
    EResult Take(const std::string& ifname, std::chrono::milliseconds wait, const CJoinContext* context);
    void Release();
    bool Held() const { return m_fd >= 0; }
    const std::string& Reason() const { return m_Reason; }

    // The folder of the lock files: $XDG_RUNTIME_DIR/wavory where that is the user's own, else
    // /tmp/wavory-UID; made 0700 and refused unless it is the user's own and closed to others.
    // Empty, with `error` set, when there is none.
    static std::string Folder(std::string& error);

private:
    int m_fd = -1;
    std::string m_Reason;
};

// Takes the lock for an attempt of a way of control on `ifname`, waiting as long as the attempt
// may take; the attempt's outcome when it cannot go on (another attempt holds the interface, the
// attempt was stopped meanwhile, no folder for the lock).
std::optional<SJoinOutcome> LockForJoin(CJoinLock& lock, const std::string& ifname,
                                        std::chrono::milliseconds wait, const CJoinContext& context);

}  // namespace wavory::kccl
