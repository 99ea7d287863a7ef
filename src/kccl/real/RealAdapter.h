// A real wireless interface behind the driver-access library. Reads go to the kernel (nl80211,
// sysfs, the ethtool ioctl), which any user may do; changes go to the interface's way of control:
// wpa_supplicant's control socket when it runs the interface, NetworkManager's D-Bus API while
// NetworkManager runs it, iwd's D-Bus API while iwd runs it, nl80211 itself when nobody does (which
// needs CAP_NET_ADMIN); ConnMan leaves it read only.
//
// The settings of a connection arrive one request at a time (mode, SSID, channel, security, key);
// they are kept here, and the request that completes them (the security mode when it needs no key,
// else the WEP key or the passphrase) starts a join attempt and answers at once. The attempt runs
// on a thread of its own; OID_JOIN_STATE follows it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AdapterControl.h"
#include "AdapterList.h"
#include "DropEvents.h"
#include "JoinRunner.h"
#include "LinkView.h"
#include "Nl80211.h"
#include "RealFormat.h"
#include "Refusal.h"
#include "RoamWatch.h"
#include "WpaCtrl.h"
#include "kccl.h"

namespace wavory::kccl {

class CRealAdapter {
public:
    CRealAdapter(SInterfaceInfo info, std::shared_ptr<CNl80211> nl);
    // Lets a running join attempt end first.
    ~CRealAdapter();
    CRealAdapter(const CRealAdapter&) = delete;
    CRealAdapter& operator=(const CRealAdapter&) = delete;

    // 0 when the interface is there and nl80211 answers; a library result otherwise.
    int Open();
    // Carries out one request; 0 when the block was processed, nonzero when the interface is gone.
    int Exec(KCOM_REQUEST& request);
    // The interface is still the one this adapter was opened on.
    bool Alive() const { return !m_bGone; }

    const SInterfaceInfo& Info() const { return m_Info; }
    // The line for a status this adapter writes when a right is missing (empty for others).
    std::string StatusMessage(uint32_t status) const {
        return RefusalText(status, m_Info.name, m_Info.controlSocket);
    }

private:
    // What the utility asked for: the join settings, and the values that are only kept.
    struct SWanted : SJoinSettings {
        uint32_t phy = 2;
        uint32_t channelFlag = 0;
        uint32_t connectionSetting = 0;
    };

    uint32_t Dispatch(uint32_t code, uint8_t* p);
    void OnEvent(int cmd, CNl80211::Attrs tb);
    // Keeps the network and access point a status read saw, for the drop that may follow.
    void NoteLink(uint32_t code, const uint8_t* p);
    // Notes a connection that ended (from the kernel's disconnect event).
    void NoteDrop(const SDropEvent& event);
    uint32_t QueryLastDisconnect(uint8_t* p);
    // Asks the way of control who ended a connection this machine ended, once, just after.
    void ExplainDrop();
    uint32_t QueryLastRoam(uint8_t* p);
    // A connection the kernel made: a move to another access point where it follows a link.
    void NoteConnected(CNl80211::Attrs tb);
    // Reads the supplicant's lines for an access point's request to move (see QueryLastRoam).
    void PumpSupplicantLines();
    bool ReadInterface(SIfaceState& state);

    uint32_t StartJoin();
    uint32_t StartScan();
    uint32_t Disconnect();
    uint32_t PowerSave(uint8_t* p, bool set);
    // The hotspot (RealHotspot.cpp).
    uint32_t StartHotspot(uint8_t* p);
    uint32_t StopHotspot(uint8_t* p);
    uint32_t QueryHotspot(uint8_t* p);

    // Reads (RealQueries.cpp).
    uint32_t DeviceInfo(uint8_t* p);
    uint32_t QueryMac(uint8_t* p);
    // The address in use, the adapter's own, and whether the last join asked for another.
    uint32_t QueryAddressInfo(uint8_t* p);
    uint32_t QuerySsid(uint8_t* p);
    uint32_t QueryBssid(uint8_t* p);
    uint32_t QueryPhy(uint8_t* p);
    uint32_t QueryNetMode(uint8_t* p);
    uint32_t QuerySnr(uint8_t* p);
    uint32_t QueryCounters(uint8_t* p, bool reset);
    uint32_t QueryScan(uint8_t* p, bool more);
    uint32_t QueryChannel(uint8_t* p);
    uint32_t QuerySecurity(uint8_t* p);
    uint32_t QueryLinkInfo(uint8_t* p);
    uint32_t QueryChannelList(uint8_t* p);
    uint32_t SetChannel(const uint8_t* p);
    // The connection's generation (from the link's rates, see LinkGeneration in NlStation.h) and
    // security kind.
    int LinkGeneration(const SBss& bss);
    uint32_t LinkSecurity(const SBss& bss);
    // The 802.1X method of an enterprise link, asked of the way of control once per association.
    uint8_t LinkEapMethod(const SBss& bss);
    // The interface is an access point (a hotspot runs): the outcome refuses the join.
    bool RunsAccessPoint(SJoinOutcome& outcome);
    // Why an attempt cannot start before the way of control is asked: an enterprise network without
    // usable 802.1X settings.
    bool RefusedBeforeStart(SJoinOutcome& outcome);
    // The access point the network's pin or band preference takes, from the scan list; true (and
    // the outcome) when the attempt cannot start: the pinned one is not heard.
    bool ChooseAccessPoint(SJoinOutcome& outcome);
    uint32_t QueryConnected(uint8_t* p);
    uint32_t WepKey(uint8_t* p);
    uint32_t RegDomain(uint8_t* p);
    uint32_t HardwareStatus(uint8_t* p);

    SInterfaceInfo m_Info;
    // The last connection that ended (OID_LAST_DISCONNECT) and the link it would have ended; events
    // and requests may come on different threads.
    std::mutex m_DropMutex;
    SDropEvent m_Drop;
    uint32_t m_nDrops = 0;
    uint64_t m_nDropTimeMs = 0;
    std::string m_strDropSsid, m_strLinkSsid;
    bool m_bDropToExplain = false;  // this machine ended it: the way of control may know who
    std::chrono::steady_clock::time_point m_DropAt{};
    std::array<uint8_t, 6> m_LinkBssid{};
    std::chrono::steady_clock::time_point m_UserLeft{};     // the last disconnect asked through this library
    std::chrono::steady_clock::time_point m_JoinStarted{};  // the last join asked through this library
    // The last move to another access point (OID_LAST_ROAM); watched once it was first asked for.
    CRoamWatch m_Roam;
    std::atomic<bool> m_bWatchRoams{false};
    // The supplicant's monitor, attached while roams are watched, for its requests to move.
    CWpaCtrl m_Monitor;
    std::chrono::steady_clock::time_point m_MonitorTried{};
    std::shared_ptr<CNl80211> m_pNl;
    CLinkView m_View;
    std::unique_ptr<IAdapterControl> m_pDirect;
    std::unique_ptr<IAdapterControl> m_pControl;  // the interface's way of control
    CJoinRunner m_Join;
    std::mutex m_Mutex;  // one request at a time
    std::mutex m_HotspotMutex;  // one hotspot start or stop at a time (they run without m_Mutex)
    int m_nListener = 0;
    SWanted m_Wanted;
    bool m_bBssidFromPin = false;            // m_Wanted.bssid is the pin's, not the request's
    std::atomic<uint8_t> m_nJoinMacMode{0};  // the address mode the last join asked for
    std::atomic<bool> m_bGone{false};
    std::atomic<bool> m_bEventsLost{false};
    std::atomic<bool> m_bScanning{false};
    // The way of control started the scan and may tell that it goes on past the kernel's results.
    bool m_bControlScan = false;
    std::atomic<uint32_t> m_nLinkChanges{0};  // links made or lost, as the kernel told
    // What the way of control told of the connection, asked once per association (see AskPerLink).
    template <typename T>
    struct SLinkFact {
        uint32_t changes = 0;
        uint8_t bssid[6] = {};
        T value{};
        std::chrono::steady_clock::time_point askedAt{};
    };
    template <typename T, typename Ask>
    T AskPerLink(SLinkFact<T>& fact, const SBss& bss, T unknown, const Ask& ask);
    SLinkFact<uint8_t> m_LinkEap;
    SLinkFact<int> m_LinkGeneration;
    std::chrono::steady_clock::time_point m_ScanStart;
    std::array<uint64_t, 4> m_CounterBase{};  // tx frames, rx frames, tx bytes, rx bytes at the last reset
    std::vector<SBss> m_Snapshot;             // the list of the last scan list request, for its pages
    size_t m_nSnapshotInfra = 0;
};

}  // namespace wavory::kccl
