// Control calls of the simulated adapter (tests and the wavory-sim tool). Each takes the adapter's
// lock, brings the radio up to the clock, makes its change and lets the association follow it.
#include "kccl_sim.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "SimDump.h"
#include "SimLock.h"
#include "SimRadio.h"
#include "SimScenario.h"
#include "SimSharedMemory.h"

using namespace wavory::kccl;

namespace {

constexpr int kFailed = -1;
constexpr int kBadInput = -2;

template <typename Change>
int WithAdapter(Change&& change, const SimScenario* initial = nullptr) {
    SimState* state = AttachAdapter(initial);
    if (state == nullptr) return kFailed;
    try {
        CSimLock lock(*state);
        const int64_t now = CSimRadio::Now(*state);
        CSimRadio radio(*state, now);
        radio.Update();
        return change(*state, radio, now);
    } catch (const std::exception& e) {
        ReportSimError(e.what());
        return kFailed;
    }
}

// A replugged adapter starts from its power-on settings, as a real one does.
void PowerOn(SimState& state, int64_t now) {
    SimScenario same;
    same.present = true;
    same.info = state.info;
    same.scanDurationMs = state.scanDurationMs;
    same.joinDelayMs = state.joinDelayMs;
    same.networks.assign(state.networks, state.networks + state.networkCount);
    SimFault faults[kMaxFaults];
    const uint32_t faultCount = state.faultCount;
    std::copy(state.faults, state.faults + kMaxFaults, faults);
    SimLogEntry log[kLogSlots];
    const uint32_t logNext = state.logNext;
    const uint32_t logCount = state.logCount;
    std::copy(state.log, state.log + kLogSlots, log);
    // The count of attempts goes on, so a program that follows one is not misled by the new adapter.
    const SimJoin join = state.join;
    const SimDrop drop = state.drop;
    const SimRoam roam = state.roam;

    CSimRadio(state, now).Load(same);
    state.join = join;
    state.drop = drop;
    state.roam = roam;

    // Faults and the request log belong to the test, not to the adapter: they stay.
    state.faultCount = faultCount;
    std::copy(faults, faults + kMaxFaults, state.faults);
    state.logNext = logNext;
    state.logCount = logCount;
    std::copy(log, log + kLogSlots, state.log);
}

bool ParseBssidArg(const char* text, uint8_t bssid[6]) { return text != nullptr && ParseBssid(text, bssid); }

}  // namespace

extern "C" {

int kccl_sim_reset(const char* scenario_json) {
    SimScenario scenario;
    try {
        scenario = ParseScenario(scenario_json != nullptr ? scenario_json : DefaultScenarioText());
    } catch (const CSimScenarioError& e) {
        ReportSimError(std::string("bad scenario: ") + e.what());
        return kBadInput;
    }
    return WithAdapter(
        [&](SimState& state, CSimRadio& radio, int64_t) {
            (void)state;
            radio.Load(scenario);
            return 0;
        },
        &scenario);
}

int kccl_sim_set_present(int present) {
    return WithAdapter([&](SimState& state, CSimRadio& radio, int64_t now) {
        if (present == 0 && state.present) {
            radio.CancelJoin(KCOM_CAUSE_ADAPTER_GONE, "the adapter was unplugged during the attempt");
            radio.RecordDrop(state.link, 0, KCOM_DISCONNECT_BY_THIS_MACHINE);
            // Every link opened so far dies with the unplug.
            ++state.plugGeneration;
            state.present = 0;
            state.link = SimLink{};
        } else if (present != 0 && !state.present) {
            const uint32_t generation = state.plugGeneration;
            PowerOn(state, now);
            state.plugGeneration = generation;
        }
        return 0;
    });
}

int kccl_sim_set_fault(uint32_t code, int kind, int value) {
    if (kind < KCCL_SIM_FAULT_NONE || kind > KCCL_SIM_FAULT_THROW) return kBadInput;
    if (kind == KCCL_SIM_FAULT_RESULT && value == 0) return kBadInput;
    if (kind == KCCL_SIM_FAULT_STATUS && value == static_cast<int>(KCOM_STATUS_SUCCESS)) return kBadInput;
    return WithAdapter([&](SimState& state, CSimRadio&, int64_t) {
        uint32_t i = 0;
        while (i < state.faultCount && state.faults[i].code != code) ++i;
        if (kind == KCCL_SIM_FAULT_NONE) {
            if (i < state.faultCount) {
                std::copy(state.faults + i + 1, state.faults + state.faultCount, state.faults + i);
                state.faults[--state.faultCount] = SimFault{};
            }
            return 0;
        }
        if (i == state.faultCount) {
            if (state.faultCount == kMaxFaults) return kFailed;
            ++state.faultCount;
        }
        state.faults[i] = SimFault{code, kind, value};
        return 0;
    });
}

int kccl_sim_clear_faults(void) {
    return WithAdapter([](SimState& state, CSimRadio&, int64_t) {
        state.faultCount = 0;
        std::memset(state.faults, 0, sizeof state.faults);
        return 0;
    });
}

int kccl_sim_put_network(const char* network_json) {
    if (network_json == nullptr) return kBadInput;
    SimNetwork network{};
    try {
        network = ParseNetwork(network_json);
    } catch (const CSimScenarioError& e) {
        ReportSimError(std::string("bad network: ") + e.what());
        return kBadInput;
    }
    return WithAdapter([&](SimState&, CSimRadio& radio, int64_t) {
        if (radio.PutNetwork(network)) return 0;
        ReportSimError("no room for another network");
        return kFailed;
    });
}

int kccl_sim_remove_network(const char* bssid) {
    uint8_t address[6];
    if (!ParseBssidArg(bssid, address)) return kBadInput;
    return WithAdapter(
        [&](SimState&, CSimRadio& radio, int64_t) { return radio.RemoveNetwork(address) ? 0 : kFailed; });
}

int kccl_sim_set_signal(const char* bssid, int dbm) {
    uint8_t address[6];
    if (!ParseBssidArg(bssid, address) || dbm < -200 || dbm > 0) return kBadInput;
    return WithAdapter(
        [&](SimState&, CSimRadio& radio, int64_t) { return radio.SetSignal(address, dbm) ? 0 : kFailed; });
}

int kccl_sim_steer(const char* bssid) {
    uint8_t address[6];
    if (!ParseBssidArg(bssid, address)) return kBadInput;
    return WithAdapter([&](SimState&, CSimRadio& radio, int64_t) { return radio.Steer(address) ? 0 : kFailed; });
}

int kccl_sim_deauth(int reason) {
    if (reason < 0 || reason > 65535) return kBadInput;
    return WithAdapter([&](SimState&, CSimRadio& radio, int64_t) {
        return radio.Deauthenticate(static_cast<uint32_t>(reason)) ? 0 : kFailed;
    });
}

int kccl_sim_set_scan_duration(int ms) {
    if (ms < 0 || ms > 600000) return kBadInput;
    return WithAdapter([&](SimState& state, CSimRadio&, int64_t) {
        state.scanDurationMs = static_cast<uint32_t>(ms);  // from the next scan on
        return 0;
    });
}

int kccl_sim_set_join_delay(int ms) {
    if (ms < 0 || ms > 600000) return kBadInput;
    return WithAdapter([&](SimState& state, CSimRadio&, int64_t) {
        state.joinDelayMs = static_cast<uint32_t>(ms);  // from the next attempt on
        return 0;
    });
}

int kccl_sim_advance(int ms) {
    if (ms < 0) return kBadInput;
    return WithAdapter([&](SimState& state, CSimRadio&, int64_t now) {
        const int64_t step = static_cast<int64_t>(ms) * 1000000;
        state.clockOffsetNs += step;
        CSimRadio(state, now + step).Update();
        return 0;
    });
}

int kccl_sim_state_json(char* buf, size_t size) {
    std::string text;
    const int rc = WithAdapter([&](SimState& state, CSimRadio&, int64_t now) {
        text = StateToJson(state, now);
        return 0;
    });
    if (rc != 0) {
        if (buf != nullptr && size > 0) buf[0] = '\0';
        return rc;
    }
    if (buf != nullptr && size > 0) {
        const size_t n = std::min(size - 1, text.size());
        std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    return static_cast<int>(text.size());
}

int kccl_sim_get_log(KCCL_SIM_LOG_ENTRY* out, int max) {
    if (out == nullptr || max <= 0) return 0;
    return WithAdapter([&](SimState& state, CSimRadio&, int64_t) {
        // The newest `max` entries, oldest first.
        const int count = std::min(max, static_cast<int>(state.logCount));
        for (int i = 0; i < count; ++i) {
            const uint32_t slot =
                (state.logNext + kLogSlots - static_cast<uint32_t>(count) + static_cast<uint32_t>(i)) %
                kLogSlots;
            const SimLogEntry& e = state.log[slot];
            out[i].code = e.code;
            out[i].status = e.status;
            out[i].result = e.result;
            std::memcpy(out[i].head, e.head, sizeof out[i].head);
        }
        return count;
    });
}

int kccl_sim_clear_log(void) {
    return WithAdapter([](SimState& state, CSimRadio&, int64_t) {
        state.logNext = 0;
        state.logCount = 0;
        std::memset(state.log, 0, sizeof state.log);
        return 0;
    });
}

int kccl_sim_hold_lock(void (*while_held)(void* arg), void* arg) {
    if (while_held == nullptr) return kBadInput;
    SimState* state = AttachAdapter();
    if (state == nullptr) return kFailed;
    try {
        CSimLock lock(*state);
        while_held(arg);
    } catch (const std::exception& e) {
        ReportSimError(e.what());
        return kFailed;
    }
    return 0;
}

int kccl_sim_busy_waits(void) { return g_nBusyWaits.load(); }

int kccl_sim_unlink(void) { return UnlinkAdapter() ? 0 : kFailed; }

}  // extern "C"
