// The join attempts of one adapter: each runs on a thread of its own, so that the library's other
// requests are answered meanwhile, and its state is what OID_JOIN_STATE reports. While an attempt
// runs, SIGINT, SIGTERM and SIGHUP first end it (the way of control puts back what it changed)
// and are then delivered as they would have been.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AdapterControl.h"

namespace wavory::kccl {

class CJoinRunner {
public:
    using EndFn = std::function<void(const SJoinSettings&, const SJoinOutcome&)>;

    CJoinRunner() = default;
    // Lets a running attempt end by itself first.
    ~CJoinRunner();
    CJoinRunner(const CJoinRunner&) = delete;
    CJoinRunner& operator=(const CJoinRunner&) = delete;

    // Starts an attempt; one still running ends first, as cancelled. `onEnd` runs on the attempt's
    // thread when it has ended.
    void Start(IAdapterControl& control, const SJoinSettings& settings, EndFn onEnd = nullptr);
    // Records an attempt that could not start.
    void Refuse(const SJoinSettings& settings, const SJoinOutcome& outcome);
    // Ends a running attempt as cancelled and waits for it.
    void Cancel();
    // Waits for a running attempt to end by itself.
    void Wait();
    bool Running() const;
    // The payload of OID_JOIN_STATE.
    void Fill(uint8_t* payload) const;

private:
    void Record(uint32_t state, const SJoinSettings& settings, const SJoinOutcome& outcome);
    void JoinThread();

    mutable std::mutex m_Mutex;
    uint32_t m_nState = 0;  // KCOM_JOIN_IDLE
    uint32_t m_nCause = 0;
    uint32_t m_nAttempt = 0;
    uint32_t m_nFlags = 0;
    std::string m_Ssid;
    std::string m_Detail;
    std::thread m_Thread;
    std::unique_ptr<CJoinContext> m_pContext;
};

// While alive, SIGINT, SIGTERM and SIGHUP tell `context` (and are held back); Release restores the
// handlers that were there and delivers a signal that came meanwhile. One at a time per process.
class CSignalGuard {
public:
    explicit CSignalGuard(CJoinContext& context);
    ~CSignalGuard() { Release(); }
    CSignalGuard(const CSignalGuard&) = delete;
    CSignalGuard& operator=(const CSignalGuard&) = delete;
    void Release();

private:
    CJoinContext& m_Context;
    bool m_bActive = false;
};

}  // namespace wavory::kccl
