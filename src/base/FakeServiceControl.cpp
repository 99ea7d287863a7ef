#include "base/FakeServiceControl.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace wavory {

CFakeServiceControl::~CFakeServiceControl() {
    for (void* p : m_setBuffers) std::free(p);
}

void CFakeServiceControl::AddService(const std::string& name, const SFakeService& service) {
    SRecord& record = m_mapServices[name];
    record = SRecord{service};
    if (service.state == EServiceState::StopPending) record.nPendingSince = m_nNow;
}

EServiceState CFakeServiceControl::StateOf(const std::string& name) {
    const auto it = m_mapServices.find(name);
    if (it == m_mapServices.end()) return EServiceState::Stopped;
    ApplyTimeRule(it->second);
    return it->second.script.state;
}

void CFakeServiceControl::FailCall(EOp op, const std::string& service, std::uint32_t code, int nth) {
    m_vecFailures.push_back({op, service, code, nth});
}

std::vector<CFakeServiceControl::SCall> CFakeServiceControl::CallsOf(EOp op) const {
    std::vector<SCall> calls;
    std::copy_if(m_vecCalls.begin(), m_vecCalls.end(), std::back_inserter(calls),
                 [op](const SCall& call) { return call.op == op; });
    return calls;
}

std::vector<std::string> CFakeServiceControl::StopsSent() const {
    std::vector<std::string> names;
    for (const SCall& call : CallsOf(EOp::Stop)) names.push_back(call.service);
    return names;
}

bool CFakeServiceControl::Enter(EOp op, const std::string& service, std::uint32_t access) {
    m_vecCalls.push_back({op, service, access, m_nNow});
    const int n = ++m_mapCallCounts[{op, service}];
    for (const SFailure& failure : m_vecFailures) {
        if (failure.op == op && failure.service == service && failure.nth == n) return Fail(failure.code);
    }
    return true;
}

bool CFakeServiceControl::Fail(std::uint32_t code) {
    m_nLastError = code;
    return false;
}

CFakeServiceControl::SRecord* CFakeServiceControl::ServiceFor(SC_HANDLE handle, std::uint32_t right) {
    const auto it = m_mapHandles.find(handle);
    if (it == m_mapHandles.end() || it->second.bManager) {
        Fail(SVC_ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((it->second.access & right) != right) {
        Fail(SVC_ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const auto service = m_mapServices.find(it->second.strService);
    if (service == m_mapServices.end()) {
        Fail(SVC_ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return &service->second;
}

void CFakeServiceControl::BeginStopPending(SRecord& record) {
    record.script.state = EServiceState::StopPending;
    record.nPendingQueries = 0;
    record.nPendingSince = m_nNow;
    if (record.script.stopAfterQueries == 0) record.script.state = EServiceState::Stopped;
    ApplyTimeRule(record);
}

void CFakeServiceControl::ApplyTimeRule(SRecord& record) {
    const SFakeService& script = record.script;
    if (script.state != EServiceState::StopPending || script.stopAfterMs == SFakeService::kNever) return;
    if (static_cast<std::uint32_t>(m_nNow - record.nPendingSince) >= script.stopAfterMs)
        record.script.state = EServiceState::Stopped;
}

std::vector<std::string> CFakeServiceControl::ActiveDependents(const SRecord& record) {
    std::vector<std::string> active;
    for (const std::string& name : record.script.dependents) {
        // A listed dependent the fake does not know stays listed: its open then fails.
        if (!m_mapServices.contains(name) || StateOf(name) != EServiceState::Stopped) active.push_back(name);
    }
    return active;
}

SC_HANDLE CFakeServiceControl::OpenSCManager(std::uint32_t access) {
    if (!Enter(EOp::OpenManager, "", access)) return SC_NULL_HANDLE;
    const SC_HANDLE handle = m_hNext++;
    m_mapHandles[handle] = {true, "", access};
    return handle;
}

SC_HANDLE CFakeServiceControl::OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t access) {
    if (!Enter(EOp::OpenService, name, access)) return SC_NULL_HANDLE;
    const auto it = m_mapHandles.find(manager);
    if (it == m_mapHandles.end() || !it->second.bManager) {
        Fail(SVC_ERROR_INVALID_HANDLE);
        return SC_NULL_HANDLE;
    }
    if (!m_mapServices.contains(name)) {
        Fail(SVC_ERROR_SERVICE_DOES_NOT_EXIST);
        return SC_NULL_HANDLE;
    }
    const SC_HANDLE handle = m_hNext++;
    m_mapHandles[handle] = {false, name, access};
    return handle;
}

bool CFakeServiceControl::QueryServiceStatus(SC_HANDLE service, SServiceStatus& status) {
    const auto it = m_mapHandles.find(service);
    if (!Enter(EOp::Query, it == m_mapHandles.end() ? "" : it->second.strService)) return false;
    SRecord* record = ServiceFor(service, SERVICE_QUERY_STATUS);
    if (!record) return false;
    m_nNow += m_nQueryCostMs;
    if (record->script.state == EServiceState::StopPending) {
        ++record->nPendingQueries;
        if (record->script.stopAfterQueries != SFakeService::kNever &&
            record->nPendingQueries >= record->script.stopAfterQueries)
            record->script.state = EServiceState::Stopped;
        ApplyTimeRule(*record);
    }
    status.state = record->script.state;
    status.waitHintMs = status.state == EServiceState::StopPending ? record->script.waitHintMs : 0;
    return true;
}

bool CFakeServiceControl::EnumDependentServices(SC_HANDLE service, SEnumServiceStatus* buffer,
                                                std::uint32_t bufferBytes, std::uint32_t& bytesNeeded,
                                                std::uint32_t& count) {
    const auto it = m_mapHandles.find(service);
    count = 0;
    bytesNeeded = 0;
    if (!Enter(EOp::EnumDependents, it == m_mapHandles.end() ? "" : it->second.strService)) return false;
    SRecord* record = ServiceFor(service, SERVICE_ENUMERATE_DEPENDENTS);
    if (!record) return false;

    const std::vector<std::string> active = ActiveDependents(*record);
    bytesNeeded = static_cast<std::uint32_t>(active.size() * sizeof(SEnumServiceStatus));
    if (bufferBytes < bytesNeeded || (bytesNeeded > 0 && !buffer)) return Fail(SVC_ERROR_MORE_DATA);
    for (const std::string& name : active) {
        SEnumServiceStatus& entry = buffer[count++];
        SetEnumEntryName(entry, name);
        const auto dep = m_mapServices.find(name);
        entry.status.state = dep == m_mapServices.end() ? EServiceState::Running : dep->second.script.state;
    }
    return true;
}

bool CFakeServiceControl::SendStopControl(SC_HANDLE service, SServiceStatus& status) {
    const auto it = m_mapHandles.find(service);
    if (!Enter(EOp::Stop, it == m_mapHandles.end() ? "" : it->second.strService)) return false;
    SRecord* record = ServiceFor(service, SERVICE_STOP);
    if (!record) return false;
    ApplyTimeRule(*record);
    if (record->script.state == EServiceState::Stopped) return Fail(SVC_ERROR_SERVICE_NOT_ACTIVE);
    if (record->script.state == EServiceState::StopPending) return Fail(SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if (!ActiveDependents(*record).empty()) return Fail(SVC_ERROR_DEPENDENT_SERVICES_RUNNING);
    BeginStopPending(*record);
    status.state = record->script.state;
    status.waitHintMs = status.state == EServiceState::StopPending ? record->script.waitHintMs : 0;
    return true;
}

bool CFakeServiceControl::CloseServiceHandle(SC_HANDLE handle) {
    const auto it = m_mapHandles.find(handle);
    if (!Enter(EOp::Close, it == m_mapHandles.end() ? "" : it->second.strService)) return false;
    if (it == m_mapHandles.end()) return Fail(SVC_ERROR_INVALID_HANDLE);
    m_mapHandles.erase(it);
    return true;
}

void* CFakeServiceControl::HeapAlloc(std::size_t bytes) {
    if (!Enter(EOp::Alloc, "")) return nullptr;
    void* memory = std::calloc(1, std::max<std::size_t>(bytes, 1));
    if (memory) m_setBuffers.insert(memory);
    return memory;
}

void CFakeServiceControl::HeapFree(void* memory) {
    Enter(EOp::Free, "");
    if (m_setBuffers.erase(memory) > 0) std::free(memory);
}

void CFakeServiceControl::Sleep(std::uint32_t ms) {
    ++m_nSleepCalls;
    m_nSleptMs += ms;
    m_nNow += ms;
}

}  // namespace wavory
