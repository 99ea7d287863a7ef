// The radio model of the simulated adapter. It keeps no thread: every request and every control
// call first brings the state up to the simulation clock (scan completion, traffic), then acts.
// The caller holds the adapter's lock for the whole life of a CSimRadio.
#pragma once

#include <cstdint>
#include <string>

#include "SimScenario.h"
#include "SimState.h"
#include "radio/Hotspot.h"

namespace wavory::kccl {

class CSimRadio {
public:
    CSimRadio(SimState& state, int64_t nowNs) : m_state(state), m_nowNs(nowNs) {}

    // Simulation clock: CLOCK_MONOTONIC plus the offset that kccl_sim_advance moves.
    static int64_t Now(const SimState& state);

    // Replaces environment, settings, link, counters, scan results, join record, faults and log.
    void Load(const SimScenario& scenario);
    // Completes a scan or a join whose time is up and counts traffic up to now.
    void Update();
    // Follows a change of the environment: the adapter moves to the best network its active
    // settings join, or loses the link. A running join attempt is left to decide at its end.
    void Reassociate();

    void StartScan();
    void ResetCounters();

    // The set that completes a connection's settings: starts a join attempt with them. Success when
    // it started; kStatusJoinNotStarted when the adapter can tell at once that it cannot join (the
    // attempt is then failed, and the previous network restored).
    uint32_t StartJoin();
    // Ends a running attempt without going back (a disconnect, the adapter unplugged).
    void CancelJoin(uint32_t cause, const char* detail);
    // Leaves the network: no network to join until the next attempt (the user asked).
    void Disconnect();
    // The access point sends deauthentication with this reason: the link ends and the adapter does
    // not try again until the next attempt. False when there is no link to an access point.
    bool Deauthenticate(uint32_t reason);
    // Notes that the link the adapter had ended, and who ended it (KCOM_DISCONNECT_BY).
    void RecordDrop(const SimLink& link, uint32_t reason, uint32_t by);
    // The access point the adapter is on asks it to move to another of the network's (802.11v BSS
    // transition request); it moves when that one is in range and takes its settings. False
    // otherwise (no link, no such access point, or the same one).
    bool Steer(const uint8_t bssid[6]);

    // Environment changes; each re-evaluates the association. False when the BSSID is unknown
    // (remove, signal) or the environment is full (put).
    bool PutNetwork(const SimNetwork& network);
    bool RemoveNetwork(const uint8_t bssid[6]);
    bool SetSignal(const uint8_t bssid[6], int32_t dbm);

    static bool InRange(const SimNetwork& network) { return network.signalDbm > kOutOfRangeDbm; }

    // Starts the adapter's access point on `freqMHz` with settings already checked. Where the radio
    // cannot run an access point and a station at once, the network the adapter is on is left (and
    // no join may start) until the stop; `text` then says so.
    uint32_t StartHotspot(const SHotspotRecord& record, uint32_t freqMHz, std::string& text);
    // Stops it and goes back to the network left for it.
    uint32_t StopHotspot(std::string& text);
    // A client of the scenario is on the hotspot now: it runs, the client's delay has passed, and
    // it speaks the hotspot's security (and knows its passphrase, where it was given one).
    bool ClientJoined(const SimHotspotClient& client) const;
    // The radio runs a hotspot and cannot be a station beside it.
    bool StationBlocked() const { return m_state.hotspot.running && !m_state.info.apWithStation; }

private:
    int FindNetwork(const uint8_t bssid[6]) const;
    // Notes a move from the link `before` to the one now (KCOM_ROAM_TRIGGER).
    void RecordRoam(const SimLink& before, uint32_t by);
    uint64_t WallMs() const;
    // Same SSID and mode as the active settings; for ad hoc also the set channel.
    bool IsCandidate(const SimNetwork& network) const;
    bool SecurityMatches(const SimNetwork& network) const;
    // The network asks for the kind of security the active settings use (only the key may differ).
    bool SameKindOfSecurity(const SimNetwork& network) const;
    bool BuildOwnCell(SimNetwork& cell) const;
    // Joins the best network for the active settings, or starts an own ad-hoc cell, or has no link.
    void Associate();
    // Takes the hardware address the active settings ask for: the adapter's own, one made from the
    // adapter's address and the network's name (the same at every join), or a new random one.
    void ApplyAddress();
    int64_t JoinDelayNs() const;
    void FinishJoin();
    // Why a join with a pinned access point found none: the pin is not heard (empty without a pin).
    std::string PinNotHeard() const;
    // Fails the running attempt and goes back to the network the adapter was on before, if any.
    void FailJoin(uint32_t cause, const std::string& detail);
    void CountTraffic();
    void CompleteScan();

    SimState& m_state;
    int64_t m_nowNs;
};

}  // namespace wavory::kccl
