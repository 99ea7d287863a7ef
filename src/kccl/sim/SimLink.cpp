// The link to the simulated adapter: the three calls of the driver-access library as the simulation
// carries them out. A request costs one lock, a lazy update of the radio and a copy.
#include "SimLink.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "SimLock.h"
#include "SimRequests.h"
#include "SimSharedMemory.h"
#include "kccl_sim.h"

namespace wavory::kccl {

namespace {

// This process's link: the adapter mapping it was opened on and the plug generation then. An
// unplug moves the generation on, so a link from before stays dead even after the adapter is back.
std::atomic<SimState*> g_linkState{nullptr};
std::atomic<uint32_t> g_linkGeneration{0};

bool LinkAlive(const SimState& state) {
    return g_linkState.load(std::memory_order_acquire) == &state && AttachedAdapter() == &state &&
           state.present && state.plugGeneration == g_linkGeneration.load(std::memory_order_relaxed);
}

const SimFault* FindFault(const SimState& state, uint32_t code) {
    for (uint32_t i = 0; i < state.faultCount; ++i) {
        if (state.faults[i].code == code) return &state.faults[i];
    }
    return nullptr;
}

SimLogEntry& BeginLogEntry(SimState& state, const KCOM_REQUEST& request) {
    SimLogEntry& entry = state.log[state.logNext];
    state.logNext = (state.logNext + 1) % kLogSlots;
    if (state.logCount < kLogSlots) ++state.logCount;
    entry.code = request.code;
    entry.status = 0;
    entry.result = 0;
    std::memcpy(entry.head, request.payload, kLogHeadBytes);
    // Passwords stay out of the log: the 802.1X record keeps its method and flags only, a passphrase
    // its length.
    if (request.code == OID_EAP_SETTINGS_SET)
        std::memset(entry.head + KCOM_EAP_STRINGS, 0, kLogHeadBytes - KCOM_EAP_STRINGS);
    if (request.code == OID_PASSPHRASE_SET) std::memset(entry.head + 1, 0, kLogHeadBytes - 1);
    return entry;
}

// Carries out one request under the lock; true when an injected fault asks for an exception.
bool Execute(SimState& state, KCOM_REQUEST& request, int& result) {
    CSimLock lock(state);
    if (!LinkAlive(state)) {
        result = kResultNoLink;
        return false;
    }
    const int64_t now = CSimRadio::Now(state);
    CSimRadio(state, now).Update();
    SimLogEntry& entry = BeginLogEntry(state, request);
    result = 0;
    if (const SimFault* fault = FindFault(state, request.code)) {
        switch (fault->kind) {
            case KCCL_SIM_FAULT_RESULT:
                result = fault->value;
                entry.result = result;
                return false;
            case KCCL_SIM_FAULT_STATUS:
                request.status = static_cast<uint32_t>(fault->value);
                entry.status = request.status;
                return false;
            case KCCL_SIM_FAULT_THROW:
                entry.result = -1;
                return true;
            default:
                break;
        }
    }
    CSimRequests(state, now).Handle(request);
    entry.status = request.status;
    return false;
}

}  // namespace

int SimConnect() {
    EAttachError error = EAttachError::None;
    SimState* state = AttachAdapter(nullptr, &error);
    if (state == nullptr) return error == EAttachError::Refused ? kResultRefused : kResultNoAdapter;
    try {
        CSimLock lock(*state);
        if (!state->present) {
            g_linkState.store(nullptr, std::memory_order_release);
            return kResultNoLink;
        }
        g_linkGeneration.store(state->plugGeneration, std::memory_order_relaxed);
        g_linkState.store(state, std::memory_order_release);
    } catch (const CSimBusyError&) {
        return kResultBusy;
    } catch (const std::exception& e) {
        ReportSimError(e.what());
        return kResultNoAdapter;
    }
    return 0;
}

int SimExec(KCOM_REQUEST* request) {
    SimState* state = g_linkState.load(std::memory_order_acquire);
    if (state == nullptr) return kResultNoLink;
    int result = 0;
    bool raise = false;
    try {
        raise = Execute(*state, *request, result);
    } catch (const CSimBusyError&) {
        return kResultBusy;  // the request was not carried out; the state is as the holder left it
    } catch (const std::exception& e) {
        ReportSimError(e.what());
        return kResultNoAdapter;
    }
    if (raise) {
        char what[96];
        std::snprintf(what, sizeof what, "kccl: injected failure of request 0x%X", request->code);
        throw std::runtime_error(what);
    }
    return result;
}

void SimDisconnect() { g_linkState.store(nullptr, std::memory_order_release); }

}  // namespace wavory::kccl
