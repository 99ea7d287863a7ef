// Stopping the operating system's wireless configuration service (and every active service that
// depends on it) so that the utility alone manages the adapter. The algorithm talks to a service
// control manager through IServiceControl: systemd on Linux, an in-memory fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace wavory {

// System error codes of the service calls, numbered and meant as on Windows.
enum ESvcError : std::uint32_t {
    SVC_OK = 0,
    SVC_ERROR_FILE_NOT_FOUND = 2,
    SVC_ERROR_ACCESS_DENIED = 5,
    SVC_ERROR_INVALID_HANDLE = 6,
    SVC_ERROR_NOT_ENOUGH_MEMORY = 8,
    SVC_ERROR_INVALID_PARAMETER = 87,
    SVC_ERROR_INVALID_NAME = 123,
    SVC_ERROR_MORE_DATA = 234,
    SVC_ERROR_DEPENDENT_SERVICES_RUNNING = 1051,
    SVC_ERROR_SERVICE_REQUEST_TIMEOUT = 1053,
    SVC_ERROR_SERVICE_DOES_NOT_EXIST = 1060,
    SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061,
    SVC_ERROR_SERVICE_NOT_ACTIVE = 1062,
    SVC_ERROR_EXCEPTION_IN_SERVICE = 1064,
    SVC_ERROR_TIMEOUT = 1460,
    SVC_ERROR_RPC_SERVER_UNAVAILABLE = 1722
};

// Access rights asked for when opening the manager or a service.
enum ESvcAccess : std::uint32_t {
    SC_MANAGER_CONNECT = 0x0001,
    SERVICE_QUERY_STATUS = 0x0004,
    SERVICE_ENUMERATE_DEPENDENTS = 0x0008,
    SERVICE_STOP = 0x0020
};

enum class EServiceState : std::uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7
};

struct SServiceStatus {
    EServiceState state = EServiceState::Stopped;
    std::uint32_t waitHintMs = 0;  // how long the service expects a pending change to take
};

// One entry of the dependents enumeration. The buffer is an array of these, so its size in bytes
// is a multiple of sizeof(SEnumServiceStatus).
struct SEnumServiceStatus {
    static constexpr std::size_t kMaxNameLength = 256;
    char szServiceName[kMaxNameLength + 1];  // NUL-terminated
    SServiceStatus status;
};

// Copies a name into an entry; false (entry unchanged) when it does not fit.
bool SetEnumEntryName(SEnumServiceStatus& entry, std::string_view name);

using SC_HANDLE = std::uint64_t;
inline constexpr SC_HANDLE SC_NULL_HANDLE = 0;

// The service control manager as the stop algorithm uses it. Calls that fail return false (or a
// null handle) and leave the reason in GetLastError. Used from one thread at a time.
class IServiceControl {
public:
    virtual ~IServiceControl() = default;

    // Connects to the manager of the local machine.
    virtual SC_HANDLE OpenSCManager(std::uint32_t access) = 0;
    // Opens a service by name; SVC_ERROR_SERVICE_DOES_NOT_EXIST when there is none.
    virtual SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t access) = 0;
    // Needs SERVICE_QUERY_STATUS.
    virtual bool QueryServiceStatus(SC_HANDLE service, SServiceStatus& status) = 0;
    // Lists the active (not stopped) services that depend on this one; needs
    // SERVICE_ENUMERATE_DEPENDENTS. When bufferBytes is too small the call fails with
    // SVC_ERROR_MORE_DATA and bytesNeeded says how much to allocate; with no dependents it
    // succeeds even with an empty buffer and returns count 0.
    virtual bool EnumDependentServices(SC_HANDLE service, SEnumServiceStatus* buffer,
                                       std::uint32_t bufferBytes, std::uint32_t& bytesNeeded,
                                       std::uint32_t& count) = 0;
    // Sends the stop control; needs SERVICE_STOP. On success status is the service's status right after.
    virtual bool SendStopControl(SC_HANDLE service, SServiceStatus& status) = 0;
    virtual bool CloseServiceHandle(SC_HANDLE handle) = 0;
    virtual std::uint32_t GetLastError() const = 0;

    // Zeroed memory for the enumeration buffer; null when it cannot be had.
    virtual void* HeapAlloc(std::size_t bytes) = 0;
    virtual void HeapFree(void* memory) = 0;

    // Millisecond tick count (wraps after 2^32 ms) and sleep, so that tests can run on a virtual clock.
    virtual std::uint32_t GetTickCount() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
};

// Real time and memory for backends that talk to an actual manager.
std::uint32_t SystemTickCount();
void SystemSleep(std::uint32_t ms);

// How long start-up waits in total for the service and its dependents to stop.
inline constexpr std::uint32_t kServiceStopTimeoutMs = 30000;

// Stops the service and its active dependents; true when the service ended up stopped. Only a
// failure to open the manager or the service is printed (to out), as PrintLastError does.
bool StopServiceAndDependents(IServiceControl& sc, const std::string& name, std::ostream& out);
// The same with the diagnostic written to the trace.
bool StopServiceAndDependents(IServiceControl& sc, const std::string& name);

// Stops an open service, first its active dependents if asked. Returns SVC_OK, SVC_ERROR_TIMEOUT
// when more than timeoutMs passed, or the code of the call that failed. Prints nothing.
std::uint32_t StopService(IServiceControl& sc, SC_HANDLE manager, SC_HANDLE service, bool stopDependents,
                          std::uint32_t timeoutMs);

// Three-line diagnostic: what failed, the code and the system's text for it.
void PrintLastError(std::string_view what, std::uint32_t code, std::ostream& out);
// The same into the trace.
void PrintLastError(std::string_view what, std::uint32_t code);

// The system's text for a service error code (a generic text for codes it does not know).
std::string ServiceErrorText(std::uint32_t code);

}  // namespace wavory
