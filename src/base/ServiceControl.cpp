#include "base/ServiceControl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <sstream>
#include <thread>

#include "base/Trace.h"

namespace wavory {

namespace {

// Closes a manager or service handle when the scope is left.
class CScHandleGuard {
public:
    CScHandleGuard(IServiceControl& sc, SC_HANDLE handle) : m_sc(sc), m_hHandle(handle) {}
    ~CScHandleGuard() {
        if (m_hHandle != SC_NULL_HANDLE) m_sc.CloseServiceHandle(m_hHandle);
    }
    CScHandleGuard(const CScHandleGuard&) = delete;
    CScHandleGuard& operator=(const CScHandleGuard&) = delete;

    SC_HANDLE Get() const { return m_hHandle; }
    explicit operator bool() const { return m_hHandle != SC_NULL_HANDLE; }

private:
    IServiceControl& m_sc;
    SC_HANDLE m_hHandle;
};

// Gives the enumeration buffer back to the heap it came from.
class CHeapGuard {
public:
    CHeapGuard(IServiceControl& sc, void* memory) : m_sc(sc), m_pMemory(memory) {}
    ~CHeapGuard() {
        if (m_pMemory) m_sc.HeapFree(m_pMemory);
    }
    CHeapGuard(const CHeapGuard&) = delete;
    CHeapGuard& operator=(const CHeapGuard&) = delete;

    void* Get() const { return m_pMemory; }

private:
    IServiceControl& m_sc;
    void* m_pMemory;
};

// One clock bounds the whole operation. Unsigned subtraction keeps it right across the wrap of the
// 32-bit tick count.
class CDeadline {
public:
    CDeadline(IServiceControl& sc, std::uint32_t timeoutMs)
        : m_sc(sc), m_nStart(sc.GetTickCount()), m_nTimeout(timeoutMs) {}
    bool Passed() const { return m_sc.GetTickCount() - m_nStart > m_nTimeout; }

private:
    IServiceControl& m_sc;
    std::uint32_t m_nStart;
    std::uint32_t m_nTimeout;
};

// A wait hint of 0 means "poll again at once".
void SleepFor(IServiceControl& sc, std::uint32_t waitHintMs) {
    if (waitHintMs > 0) sc.Sleep(waitHintMs);
}

// Polls a service that was sent the stop control until it reports stopped.
std::uint32_t WaitUntilStopped(IServiceControl& sc, SC_HANDLE service, SServiceStatus status,
                               const CDeadline& deadline) {
    while (status.state != EServiceState::Stopped) {
        SleepFor(sc, status.waitHintMs);
        if (!sc.QueryServiceStatus(service, status)) return sc.GetLastError();
        if (status.state == EServiceState::Stopped) break;
        if (deadline.Passed()) return SVC_ERROR_TIMEOUT;
    }
    return SVC_OK;
}

// Stops every active dependent in the order the manager lists them, each until it has stopped.
std::uint32_t StopDependents(IServiceControl& sc, SC_HANDLE manager, SC_HANDLE service,
                             const CDeadline& deadline) {
    std::uint32_t nNeeded = 0;
    std::uint32_t nCount = 0;
    if (sc.EnumDependentServices(service, nullptr, 0, nNeeded, nCount)) return SVC_OK;  // none
    const std::uint32_t probeError = sc.GetLastError();
    if (probeError != SVC_ERROR_MORE_DATA) return probeError;

    CHeapGuard buffer(sc, sc.HeapAlloc(nNeeded));
    if (!buffer.Get()) return SVC_ERROR_NOT_ENOUGH_MEMORY;
    auto* pEntries = static_cast<SEnumServiceStatus*>(buffer.Get());
    std::uint32_t nUsed = 0;
    if (!sc.EnumDependentServices(service, pEntries, nNeeded, nUsed, nCount)) return sc.GetLastError();
    // Never read past the buffer, whatever count the manager claims.
    nCount = std::min<std::uint32_t>(nCount, nNeeded / sizeof(SEnumServiceStatus));

    for (std::uint32_t i = 0; i < nCount; ++i) {
        SEnumServiceStatus& entry = pEntries[i];
        entry.szServiceName[SEnumServiceStatus::kMaxNameLength] = '\0';
        CScHandleGuard dependent(
            sc, sc.OpenService(manager, entry.szServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
        if (!dependent) return sc.GetLastError();
        SServiceStatus status;
        if (!sc.SendStopControl(dependent.Get(), status)) return sc.GetLastError();
        if (const std::uint32_t err = WaitUntilStopped(sc, dependent.Get(), status, deadline); err != SVC_OK)
            return err;
    }
    return SVC_OK;
}

struct SErrorText {
    std::uint32_t code;
    const char* text;
};

constexpr SErrorText kErrorTexts[] = {
    {SVC_OK, "The operation completed successfully."},
    {SVC_ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {SVC_ERROR_ACCESS_DENIED, "Access is denied."},
    {SVC_ERROR_INVALID_HANDLE, "The handle is invalid."},
    {SVC_ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {SVC_ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {SVC_ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {SVC_ERROR_MORE_DATA, "More data is available."},
    {SVC_ERROR_DEPENDENT_SERVICES_RUNNING,
     "A stop control has been sent to a service that other running services are dependent on."},
    {SVC_ERROR_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start or control request in a timely fashion."},
    {SVC_ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
    {SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
    {SVC_ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
    {SVC_ERROR_EXCEPTION_IN_SERVICE,
     "An exception occurred in the service when handling the control request."},
    {SVC_ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {SVC_ERROR_RPC_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
};

}  // namespace

bool SetEnumEntryName(SEnumServiceStatus& entry, std::string_view name) {
    if (name.size() > SEnumServiceStatus::kMaxNameLength) return false;
    std::memcpy(entry.szServiceName, name.data(), name.size());
    entry.szServiceName[name.size()] = '\0';
    return true;
}

std::uint32_t SystemTickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

void SystemSleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::uint32_t StopService(IServiceControl& sc, SC_HANDLE manager, SC_HANDLE service, bool stopDependents,
                          std::uint32_t timeoutMs) {
    const CDeadline deadline(sc, timeoutMs);

    SServiceStatus status;
    if (!sc.QueryServiceStatus(service, status)) return sc.GetLastError();
    if (status.state == EServiceState::Stopped) return SVC_OK;

    // Someone else is already stopping it: wait for that instead of sending another control.
    while (status.state == EServiceState::StopPending) {
        SleepFor(sc, status.waitHintMs);
        if (!sc.QueryServiceStatus(service, status)) return sc.GetLastError();
        if (status.state == EServiceState::Stopped) return SVC_OK;
        if (deadline.Passed()) return SVC_ERROR_TIMEOUT;
    }

    if (stopDependents) {
        if (const std::uint32_t err = StopDependents(sc, manager, service, deadline); err != SVC_OK)
            return err;
    }

    if (!sc.SendStopControl(service, status)) return sc.GetLastError();
    return WaitUntilStopped(sc, service, status, deadline);
}

bool StopServiceAndDependents(IServiceControl& sc, const std::string& name, std::ostream& out) {
    // Declared in this order so that the service handle is closed before the manager's.
    CScHandleGuard manager(sc, sc.OpenSCManager(SC_MANAGER_CONNECT));
    if (!manager) {
        PrintLastError("OpenSCManager()", sc.GetLastError(), out);
        return false;
    }
    CScHandleGuard service(
        sc, sc.OpenService(manager.Get(), name,
                           SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
    if (!service) {
        PrintLastError("OpenService()", sc.GetLastError(), out);
        return false;
    }
    return StopService(sc, manager.Get(), service.Get(), true, kServiceStopTimeoutMs) == SVC_OK;
}

bool StopServiceAndDependents(IServiceControl& sc, const std::string& name) {
    // Diagnostics for the trace, not for the user's terminal (no such service is the usual case).
    std::ostringstream out;
    const bool stopped = StopServiceAndDependents(sc, name, out);
    if (!out.str().empty()) Trace("%s", out.str().c_str());
    return stopped;
}

std::string ServiceErrorText(std::uint32_t code) {
    for (const SErrorText& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Unknown error.";
}

void PrintLastError(std::string_view what, std::uint32_t code, std::ostream& out) {
    out << what << " failed:\n"
        << "    error code = " << code << "\n"
        << "    message    = " << ServiceErrorText(code) << "\n";
    out.flush();
}

void PrintLastError(std::string_view what, std::uint32_t code) {
    std::ostringstream out;
    PrintLastError(what, code, out);
    Trace("%s", out.str().c_str());
}

}  // namespace wavory
