// The radio model of the simulated adapter. It keeps no thread: every request and every control
// call first brings the state up to the simulation clock (scan completion, traffic), then acts.
// The caller holds the adapter's lock for the whole life of a CSimRadio.
#pragma once

#include <cstdint>

#include "SimScenario.h"
#include "SimState.h"

namespace wavory::kccl {

class CSimRadio {
public:
    CSimRadio(SimState& state, int64_t nowNs) : m_state(state), m_nowNs(nowNs) {}

    // Simulation clock: CLOCK_MONOTONIC plus the offset that kccl_sim_advance moves.
    static int64_t Now(const SimState& state);

    // Replaces environment, settings, link, counters, scan results, faults and log.
    void Load(const SimScenario& scenario);
    // Completes a scan whose time is up and counts traffic up to now.
    void Update();
    // Decides afresh which network the settings join (or whether an own ad-hoc cell runs).
    void Reassociate();

    void StartScan();
    void ResetCounters();

    // The answers a real adapter gives when it is told to join a network that is in range but
    // refuses these credentials; success when the network is not in range at all.
    uint32_t SecurityStatus() const;
    uint32_t KeyStatus(const SimWepKey& key) const;
    uint32_t PassphraseStatus() const;

    // Environment changes; each re-evaluates the association. False when the BSSID is unknown
    // (remove, signal) or the environment is full (put).
    bool PutNetwork(const SimNetwork& network);
    bool RemoveNetwork(const uint8_t bssid[6]);
    bool SetSignal(const uint8_t bssid[6], int32_t dbm);

    static bool InRange(const SimNetwork& network) { return network.signalDbm > kOutOfRangeDbm; }

private:
    int FindNetwork(const uint8_t bssid[6]) const;
    // Same SSID and mode as the settings; for ad hoc also the set channel.
    bool IsCandidate(const SimNetwork& network) const;
    bool SecurityMatches(const SimNetwork& network) const;
    bool BuildOwnCell(SimNetwork& cell) const;
    void CountTraffic();
    void CompleteScan();

    SimState& m_state;
    int64_t m_nowNs;
};

}  // namespace wavory::kccl
