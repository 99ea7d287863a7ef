// One way of changing an interface: through wpa_supplicant, through NetworkManager, or directly
// through nl80211. The adapter reads the kernel itself and hands every change to the way of control
// of its interface. A join runs on a thread of its own (CJoinRunner) so that nothing waits for it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "DropEvents.h"
#include "RealFormat.h"
#include "radio/Eap.h"
#include "radio/NetSettings.h"
#include "radio/SecretMemory.h"

namespace wavory::kccl {

// What the utility asked for, as the requests built it up.
struct SJoinSettings {
    std::string ssid;   // raw bytes, 1..32
    uint32_t mode = 1;  // 1 infrastructure, 2 ad hoc
    uint8_t channel = 0;
    uint32_t freqMhz = 0;   // of an ad-hoc cell, where it was told beside the channel; 0 = the channel's
    // The access point chosen among the network's (infrastructure only); all zero = any of them.
    std::array<uint8_t, 6> bssid{};
    uint32_t bssidFreqMhz = 0;  // its channel's frequency, where known
    // The access point the band preference picked for this attempt, given to the way of control as
    // a hint it may leave (all zero = none); with a pin, bssid holds the pinned one instead.
    std::array<uint8_t, 6> hintBssid{};
    uint32_t hintFreqMhz = 0;
    // The radio roams by itself (its firmware): only such a radio does anything with a hint when
    // the kernel is told it directly.
    bool radioRoams = false;
    // What a joined attempt says of the access point choice (a preference it could not follow).
    std::string choiceNote;
    uint32_t security = 0;  // 0 none, 1 WEP, KCOM_SECURITY_MODE_* from 3 on
    // The radio can do SAE: a WPA2/WPA3 transition network is joined as WPA3.
    bool sae = true;
    std::array<std::string, 4> wepKeys;
    uint8_t activeKey = 0;
    std::string passphrase;
    SEapRecord eap;            // 802.1X, for the enterprise modes (7, 8)
    uint32_t nmPowerSave = 0;  // NetworkManager's connection: 0 its default, 2 off, 3 on
    // The network's own settings: hardware address, metered, fixed addresses (OID_NET_SETTINGS_SET).
    SNetRecord net;
    // How long the attempt may take; zero: as long as the way of control allows (WAVORY_JOIN_TIMEOUT_MS
    // sets it for the process, for networks slower than usual and for tests).
    std::chrono::milliseconds timeout{0};

    // The keys are overwritten before their memory goes (the 802.1X passwords by their record).
    ~SJoinSettings() {
        SecureClear(passphrase);
        SecureClearAll(wepKeys);
    }
};

// An access point was chosen: the attempt joins it and no other of the network.
inline bool HasChosenBssid(const SJoinSettings& s) {
    return s.mode == 1 && s.bssid != std::array<uint8_t, 6>{};
}

// The band preference picked an access point for this attempt.
inline bool HasHintBssid(const SJoinSettings& s) {
    return s.mode == 1 && !HasChosenBssid(s) && s.hintBssid != std::array<uint8_t, 6>{};
}

// The note of a joined attempt: the choice's, then the way of control's own; either may be empty.
inline std::string JoinNotes(const SJoinSettings& s, std::string own) {
    if (s.choiceNote.empty()) return own;
    return own.empty() ? s.choiceNote : s.choiceNote + "; " + own;
}

// The frequency of an ad-hoc cell's channel; 0 when the channel is none.
inline uint32_t CellFrequency(const SJoinSettings& s) {
    return s.freqMhz != 0 ? s.freqMhz : ChannelToFrequency(s.channel);
}

// The attempt's time limit: the settings' own, else the way of control's.
inline std::chrono::milliseconds JoinLimit(const SJoinSettings& s, std::chrono::milliseconds fallback) {
    return s.timeout.count() > 0 ? s.timeout : fallback;
}

// What a joined attempt says of the settings only NetworkManager applies (fixed addresses and name
// servers) where another way of control ran it; empty when none were asked for.
inline std::string AddressingNote(const SJoinSettings& s, const std::string& ifname) {
    if (!s.net.HasAddressing()) return {};
    return "fixed addresses and name servers need NetworkManager, which does not run " + ifname +
           ": they were not applied; the system's own addressing is in use";
}

// The end of an attempt, or why it could not start.
struct SJoinOutcome {
    bool joined = false;
    uint32_t cause = 0;  // KCOM_CAUSE_* of a failure
    bool restored = false;
    std::string detail;
    // The status the starting request answers when the attempt could not start (2 when it did).
    uint32_t status = 2;
};

// What an attempt is told while it runs: that it should end (a newer attempt, a disconnect, the
// library closing) or that the process got a termination signal and is about to end.
class CJoinContext {
public:
    CJoinContext();
    ~CJoinContext();
    CJoinContext(const CJoinContext&) = delete;
    CJoinContext& operator=(const CJoinContext&) = delete;

    void Cancel();
    void Signal(int sig);
    bool Stopping() const { return m_bCancelled || m_nSignal != 0; }
    bool Cancelled() const { return m_bCancelled; }
    int Signalled() const { return m_nSignal; }
    // Readable once Cancel or Signal was called, for a poll beside the attempt's own sockets.
    int WakeFd() const { return m_nWake; }
    // Waits up to `timeout` for one of `fds` to become readable or for the attempt to be stopped;
    // true when an fd is readable.
    bool Wait(const int* fds, int count, std::chrono::milliseconds timeout) const;
    void Sleep(std::chrono::milliseconds timeout) const { Wait(nullptr, 0, timeout); }

private:
    std::atomic<bool> m_bCancelled{false};
    std::atomic<int> m_nSignal{0};
    int m_nWake = -1;
};

struct SHotspotStart;

// The answer of a hotspot's start or stop: a request status and a sentence for the user (why it
// failed, or what to know of the hotspot that runs).
struct SHotspotAnswer {
    uint32_t status = 2;
    std::string text;
};

// What the way of control knows of the interface's access point beyond the kernel: whether it is
// the utility's, and what the user should know of it.
struct SHotspotFacts {
    bool canStart = false;  // this way of control starts a hotspot
    bool ours = false;
    std::string note;  // why it cannot start one, or a word on the one that runs
};

class IAdapterControl {
public:
    virtual ~IAdapterControl() = default;

    // Starts a scan; a request status.
    virtual uint32_t StartScan() = 0;
    // The scan StartScan started is still running by this way of control's own account: iwd scans
    // 6 GHz apart from the other bands, so the kernel's first scan results end only a part of it.
    // False where it does not tell (the kernel's results event ends the scan).
    virtual bool ScanRunning() { return false; }
    // Leaves the network the interface is on; a request status.
    virtual uint32_t Disconnect() = 0;
    // Power save through whoever runs the interface; kStatusNotSupported leaves it to the kernel.
    virtual uint32_t SetPowerSave(uint32_t index, const SJoinSettings& last) = 0;
    // What can be told before an attempt starts (a missing right, a network this way cannot join).
    // Fast; an outcome with status 2 lets the attempt start.
    virtual SJoinOutcome CheckJoin(const SJoinSettings& settings) = 0;
    // One attempt, on the attempt's thread, to its end: joined, or failed with the interface back on
    // the network it was on where that can be done. Ends soon after the context says so.
    virtual SJoinOutcome Join(const SJoinSettings& settings, CJoinContext& context) = 0;
    // The 802.1X method (KCOM_EAP_METHOD) of the interface's connection, as whoever runs it tells;
    // KCOM_EAP_NONE where it is not known. The kernel does not know it: EAP runs in the supplicant.
    virtual uint8_t LinkEapMethod() { return 0; }
    // The generation (KCOM_PHY_TYPE) the interface's connection was joined with, as whoever runs it
    // tells; -1 where it is not known. The link's rates show it too, except where the radio's rate
    // control has no rates of that generation.
    virtual int LinkGeneration() { return -1; }
    // Who ended the interface's last connection, as whoever runs it knows (NetworkManager knows a
    // user's disconnect from the desktop); not valid where it cannot tell. Asked just after the
    // kernel said this machine ended it.
    virtual SDropEvent ExplainDrop() { return {}; }

    // Starts an access point with the settings (the channel chosen already), leaving the network
    // the interface is on; waits until it runs or has failed. The default refuses with the reason.
    virtual SHotspotAnswer StartHotspot(const SHotspotStart& start, CJoinContext& context);
    // Stops the utility's access point and brings back the network the interface was on before.
    virtual SHotspotAnswer StopHotspot(CJoinContext& context);
    virtual SHotspotFacts HotspotFacts();
    // Why this way of control runs no hotspot, for the default refusals.
    virtual std::string NoHotspotReason() { return "this way of control runs no access point"; }
};

}  // namespace wavory::kccl
