// Records the connection history from what the utility sees anyway: each polling tick says whether
// the adapter is connected; the link itself (network, access point, band, signal, rates) is read
// when that changes and every few ticks while connected, the adapter's last disconnect when a
// connection ends. Joins are recorded as this program's attempts end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/History.h"
#include "survey/LastDisconnect.h"

namespace wavory {

class CConnectAttempt;

// What one look at the link found.
struct SLinkLook {
    bool connected = false;
    std::string ssid;
    std::string bssid;
    int freqMHz = 0;
    int signalDbm = 0;  // 0 = not known
    std::string security;
    int64_t txKbps = 0, rxKbps = 0;
    // The adapter's record of the last connection that ended, where it keeps one.
    std::optional<SLastDisconnect> lastDrop;
    // The adapter's record of its last move to another access point, read when the access point
    // changed; where the adapter keeps one.
    std::optional<SLastRoam> lastRoam;
    // The user (this program or another) asked for the disconnect.
    bool userDisconnected = false;
};

class CHistoryRecorder {
public:
    // How many ticks apart the link is read while connected (a roam shows within this many seconds).
    static constexpr int kLookEveryTicks = 10;

    using OpenFn = std::function<std::shared_ptr<IHistoryStore>()>;
    // The store is opened by `open` when the first event is written (off the interface thread).
    explicit CHistoryRecorder(OpenFn open);

    // One look: records the connection, roam or disconnect it tells (a disconnect the adapter
    // recorded between two looks too), and a minute's link summary when a minute has passed.
    void Observe(const SLinkLook& look, int64_t nowMs);
    // A join attempt of this program has ended (any thread).
    void JoinEnded(const CConnectAttempt& attempt, int64_t nowMs);

    // The polling tick's part: reads the link when `connected` changed or a look is due, then
    // Observe. False when nothing was read.
    bool Tick(bool connected);

    // The last write's failure (empty when it worked): shown once by the caller.
    std::string TakeError();

private:
    void Add(const SHistoryEvent& event);
    void RecordDrop(const SLastDisconnect& drop);
    void FlushMinute();
    // Writes a roam with its trigger: the stable word in `cause`, the sentence in `detail`.
    void AddRoam(SHistoryEvent& e, SLastRoam::ETrigger trigger);
    void NoteEnded(const SHistoryEvent& e);
    // Whether a connection now is the same network's, through another access point, soon after the
    // last one ended in a way that makes it a roam.
    bool RoamThroughDrop(const SLinkLook& look, int64_t nowMs) const;
    // How soon after a drop a connection to another access point of the network counts as a roam.
    static constexpr int64_t kRoamThroughDropMs = 30000;

    OpenFn m_fnOpen;
    std::shared_ptr<IHistoryStore> m_pDb;
    std::mutex m_Mutex;  // the link state, between the polling tick and JoinEnded's writes
    bool m_bSeen = false;
    SLinkLook m_Link;           // the link at the last look
    uint32_t m_nDropCount = 0;  // the adapter's disconnect count seen last
    // The last connection that ended, for a connection to another access point of the same network
    // soon after (a roam that went through a disconnect, as wpa_supplicant makes some).
    SHistoryEvent m_Ended;
    bool m_bJoinedSinceEnd = false;
    int m_nTicks = 0;
    bool m_bWasConnected = false;
    // The minute being summed up.
    int64_t m_nMinute = -1;
    int m_nSamples = 0, m_nSigMin = 0, m_nSigMax = 0;
    int64_t m_nSigSum = 0, m_nTxSum = 0, m_nRxSum = 0;
    int64_t m_nLastSampleMs = 0;  // a summary is dated at its last sample
    std::string m_strError;
};

// A recorder into `store` that the join attempts of this program report to as well; null when the
// history is switched off (WAVORY_HISTORY=off) or there is no store. A store that could not be
// opened records nothing; the recorder says why (TakeError).
std::shared_ptr<CHistoryRecorder> StartHistory(CHistoryRecorder::OpenFn open);
// Whether the history is switched on (WAVORY_HISTORY is not "off").
bool HistoryWanted();
// Ends the join attempts' recording (shutdown).
void StopHistory();

// One read of the link for the history (network, access point, link information).
SLinkLook ReadLinkLook();

}  // namespace wavory
