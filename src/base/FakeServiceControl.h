// An in-memory service control manager with scripted services and a virtual clock: tests drive the
// stop algorithm through it (states over time, wait hints, dependents, failures) and then check
// what it was asked to do. It behaves like a strict manager: wrong handles, missing access rights,
// stopping a service whose dependents still run, are refused with the codes a real one gives.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/ServiceControl.h"

namespace wavory {

// The script of one service.
struct SFakeService {
    static constexpr std::int64_t kNever = -1;

    EServiceState state = EServiceState::Running;
    std::uint32_t waitHintMs = 0;         // reported while the service is stop-pending
    std::vector<std::string> dependents;  // services that depend on this one, in listed order
    // Once stop-pending (from the start or after the stop control) the service is stopped when it
    // has been queried this many times, or when this many virtual ms have passed, whichever comes
    // first (kNever turns a rule off). The defaults stop it with the stop control itself.
    std::int64_t stopAfterQueries = 0;
    std::int64_t stopAfterMs = kNever;
};

class CFakeServiceControl final : public IServiceControl {
public:
    enum class EOp { OpenManager, OpenService, Query, EnumDependents, Stop, Close, Alloc, Free };

    // One call as it reached the fake; service is empty for the manager and for memory calls.
    struct SCall {
        EOp op;
        std::string service;
        std::uint32_t access;  // OpenManager, OpenService: the rights asked for
        std::uint32_t tick;    // virtual time of the call
    };

    CFakeServiceControl() = default;
    ~CFakeServiceControl() override;
    CFakeServiceControl(const CFakeServiceControl&) = delete;
    CFakeServiceControl& operator=(const CFakeServiceControl&) = delete;

    // Adds or replaces a service; a stop-pending one starts its stop rules now.
    void AddService(const std::string& name, const SFakeService& service);
    // Current state (time rules applied); Stopped for an unknown name.
    EServiceState StateOf(const std::string& name);

    // The nth call (1-based) of op naming this service fails with code; "" names the manager and
    // memory calls. A failing Alloc returns null.
    void FailCall(EOp op, const std::string& service, std::uint32_t code, int nth = 1);

    void SetTickCount(std::uint32_t tick) { m_nNow = tick; }
    // Virtual ms that each status query takes, so that polling without sleeping still sees time pass.
    void SetQueryCostMs(std::uint32_t ms) { m_nQueryCostMs = ms; }

    const std::vector<SCall>& Calls() const { return m_vecCalls; }
    std::vector<SCall> CallsOf(EOp op) const;
    // Services sent the stop control, in order.
    std::vector<std::string> StopsSent() const;
    std::size_t OpenHandles() const { return m_mapHandles.size(); }
    std::size_t LiveBuffers() const { return m_setBuffers.size(); }
    int SleepCalls() const { return m_nSleepCalls; }
    std::uint64_t SleptMs() const { return m_nSleptMs; }

    // IServiceControl
    SC_HANDLE OpenSCManager(std::uint32_t access) override;
    SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t access) override;
    bool QueryServiceStatus(SC_HANDLE service, SServiceStatus& status) override;
    bool EnumDependentServices(SC_HANDLE service, SEnumServiceStatus* buffer, std::uint32_t bufferBytes,
                               std::uint32_t& bytesNeeded, std::uint32_t& count) override;
    bool SendStopControl(SC_HANDLE service, SServiceStatus& status) override;
    bool CloseServiceHandle(SC_HANDLE handle) override;
    std::uint32_t GetLastError() const override { return m_nLastError; }
    void* HeapAlloc(std::size_t bytes) override;
    void HeapFree(void* memory) override;
    std::uint32_t GetTickCount() override { return m_nNow; }
    void Sleep(std::uint32_t ms) override;

private:
    struct SRecord {
        SFakeService script;
        std::int64_t nPendingQueries = 0;
        std::uint32_t nPendingSince = 0;
    };
    struct SHandle {
        bool bManager;
        std::string strService;
        std::uint32_t access;
    };
    struct SFailure {
        EOp op;
        std::string service;
        std::uint32_t code;
        int nth;
    };

    // Records the call and applies an injected failure; false when the call is to fail.
    bool Enter(EOp op, const std::string& service, std::uint32_t access = 0);
    bool Fail(std::uint32_t code);
    // The open service behind a handle with the given right, or null with the error set.
    SRecord* ServiceFor(SC_HANDLE handle, std::uint32_t right);
    void BeginStopPending(SRecord& record);
    void ApplyTimeRule(SRecord& record);
    std::vector<std::string> ActiveDependents(const SRecord& record);

    std::map<std::string, SRecord> m_mapServices;
    std::map<SC_HANDLE, SHandle> m_mapHandles;
    std::set<void*> m_setBuffers;
    std::vector<SFailure> m_vecFailures;
    std::map<std::pair<EOp, std::string>, int> m_mapCallCounts;
    std::vector<SCall> m_vecCalls;
    SC_HANDLE m_hNext = 1;
    std::uint32_t m_nLastError = SVC_OK;
    std::uint32_t m_nNow = 0;
    std::uint32_t m_nQueryCostMs = 0;
    int m_nSleepCalls = 0;
    std::uint64_t m_nSleptMs = 0;
};

}  // namespace wavory
