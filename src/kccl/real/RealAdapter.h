// A real wireless interface behind the driver-access library. Reads go to the kernel (nl80211,
// sysfs, the ethtool ioctl), which any user may do; changes go through whoever runs the interface:
// wpa_supplicant's control socket when it runs it, nl80211 itself when nobody does (which needs
// CAP_NET_ADMIN), and NetworkManager's D-Bus API while NetworkManager runs it.
//
// The settings of a connection arrive one request at a time (mode, SSID, channel, security, key);
// they are kept here and the connection is made when the last of them arrives: the security mode
// when it needs no key, else the WEP key or the passphrase.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "AdapterList.h"
#include "Nl80211.h"
#include "RealFormat.h"
#include "kccl.h"

namespace wavory::kccl {

class CNmClient;

class CRealAdapter {
public:
    explicit CRealAdapter(SInterfaceInfo info);

    // 0 when the interface is there and nl80211 answers; a library result otherwise.
    int Open();
    // Carries out one request; 0 when the block was processed, nonzero when the interface is gone.
    int Exec(KCOM_REQUEST& request);

    const SInterfaceInfo& Info() const { return m_Info; }
    // The line for a status this adapter writes when a right is missing (empty for others).
    std::string StatusMessage(uint32_t status) const {
        return RefusalText(status, m_Info.name, m_Info.controlSocket);
    }
    // The same for an adapter of that name (and supplicant socket, when one runs it).
    static std::string RefusalText(uint32_t status, const std::string& name,
                                   const std::string& controlSocket);

private:
    struct SInterfaceState {
        uint32_t iftype = 0;  // NL80211_IFTYPE_*
        std::string ssid;     // of the link, empty without one
        uint32_t freqMhz = 0;
    };
    // What the utility asked for, applied when the connection is made.
    struct SWanted {
        std::string ssid;
        uint32_t mode = 1;  // 1 infrastructure, 2 ad hoc
        uint8_t channel = 0;
        uint32_t channelFlag = 0;
        uint32_t phy = 2;
        uint32_t security = 0;  // 0 none, 1 WEP, 3 WPA2-Personal, 4 WPA3-Personal
        std::array<std::string, 4> wepKeys;
        uint8_t activeKey = 0;
        std::string passphrase;
        uint32_t connectionSetting = 0;
        uint32_t nmPowerSave = 0;  // for NetworkManager's connection: 0 its default, 2 off, 3 on
    };

    uint32_t Dispatch(uint32_t code, uint8_t* p);

    bool ReadInterface(SInterfaceState& state);
    std::vector<SBss> DumpScan();
    bool Associated(SBss& bss);
    void PollEvents(int timeoutMs);

    uint32_t DeviceInfo(uint8_t* p);
    uint32_t QuerySnr(uint8_t* p);
    uint32_t QueryCounters(uint8_t* p, bool reset);
    uint32_t QueryScan(uint8_t* p, bool more);
    uint32_t QueryChannel(uint8_t* p);
    uint32_t QuerySecurity(uint8_t* p);
    uint32_t WepKey(uint8_t* p);
    uint32_t RegDomain(uint8_t* p);
    uint32_t HardwareStatus(uint8_t* p);
    uint32_t PowerSave(uint8_t* p, bool set);

    uint32_t StartScan();
    uint32_t Disconnect();
    uint32_t Commit();
    uint32_t CommitSupplicant();
    uint32_t CommitDirect();
    uint32_t CommitNetworkManager();
    uint32_t ActivateThroughNm(CNmClient& nm, bool wepSharedKey, bool& keepTrying);
    uint32_t ScanThroughNm();
    uint32_t PowerSaveThroughNm(uint32_t index);
    uint32_t DisconnectThroughNm();
    bool NmRunsOurConnection();
    bool InRangeThroughNm(CNmClient& nm);
    uint32_t DirectInfrastructure();
    uint32_t DirectAdHoc();
    uint32_t SetInterfaceType(uint32_t iftype);
    bool BringUp();
    uint32_t Refusal(int err) const;

    SInterfaceInfo m_Info;
    CNl80211 m_Nl;
    SWanted m_Wanted;
    bool m_bScanning = false;
    std::chrono::steady_clock::time_point m_ScanStart;
    std::array<uint64_t, 4> m_CounterBase{};  // tx frames, rx frames, tx bytes, rx bytes at the last reset
    std::vector<SBss> m_Snapshot;             // the list of the last scan list request, for its pages
    size_t m_nSnapshotInfra = 0;
    bool m_bWpaRefused = false;
    std::string m_NmUuid;  // the connection the utility last activated through NetworkManager  // the last
                           // commit met a supplicant socket we may not use
};

}  // namespace wavory::kccl
