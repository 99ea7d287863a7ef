#include "survey/StationMngr.h"

#include <algorithm>
#include <cstring>

#include "base/AppBase.h"
#include "driver/CommVarList.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "survey/PollControl.h"
#include "survey/Station.h"

namespace wavory {

CStationMngr::CStationMngr() {
    if (IPollControl* poll = theApp.GetPollControl()) poll->SetInterval(3);
    StartScan();
}

CStationMngr::~CStationMngr() {
    theApp.WriteProfileString("", "ConnectedStation", GetCurrentKey());
    RemoveAllStations();
}

std::string CStationMngr::StationKey(const CStation& station) {
    // Built by concatenation rather than "%s", so SSID bytes after a zero byte stay in the key.
    return station.NetName + ";" + std::to_string(station.PhyChnl);
}

CStationMngr::StationPtr CStationMngr::FromScanEntry(const SScanEntry& entry, bool adHoc, int index) {
    // The fields a scan does not give come from a profile load of the application key itself,
    // which holds no profile values: the profile defaults.
    const CProfile defaults("", true);
    auto station = std::make_shared<CStation>(defaults, FormatBssid(entry.bssid), entry.rssi);
    station->NetName = entry.ssid;
    station->NetMode = !adHoc;
    station->PhyType = static_cast<int>(entry.phyType);
    station->PhyChnl = entry.channel;
    station->SecType = entry.privacy ? 1 : 0;
    station->SetSection(StrFormat("Station %d", index));
    return station;
}

int CStationMngr::StartScan() {
    CCommVarList list;
    list.AddVarExt(OID_START_SCAN, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return 0;
    if (IPollControl* poll = theApp.GetPollControl())
        poll->BeginScan();
    else
        theApp.m_bScanning = true;
    return 2;
}

bool CStationMngr::IsConnected() {
    CCommVarList list;
    list.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    return list.RefreshAll(false, false) && Payload(list.GetVar(0)->GetBlock(0))[0] != 0;
}

void CStationMngr::SetCurrent(const StationPtr& station) {
    std::lock_guard lock(m_Mutex);
    if (!station) {
        m_strCurrentKey.clear();
        m_pCurrentExtra.reset();
        return;
    }
    m_strCurrentKey = StationKey(*station);
    auto it = m_Stations.find(m_strCurrentKey);
    m_pCurrentExtra = (it != m_Stations.end() && it->second == station) ? nullptr : station;
}

CStationMngr::StationPtr CStationMngr::GetCurrent() {
    std::lock_guard lock(m_Mutex);
    if (m_strCurrentKey.empty()) return nullptr;
    if (auto found = Lookup(m_strCurrentKey)) return found;
    return m_pCurrentExtra;
}

std::string CStationMngr::GetCurrentKey() {
    std::lock_guard lock(m_Mutex);
    return m_strCurrentKey;
}

CStationMngr::StationPtr CStationMngr::Lookup(const std::string& key) {
    std::lock_guard lock(m_Mutex);
    auto it = m_Stations.find(key);
    return it == m_Stations.end() ? nullptr : it->second;
}

void CStationMngr::AddStation(const StationPtr& station) {
    std::lock_guard lock(m_Mutex);
    m_Stations[StationKey(*station)] = station;
}

void CStationMngr::RemoveStation(const std::string& key) {
    std::lock_guard lock(m_Mutex);
    m_Stations.erase(key);
}

void CStationMngr::RemoveAllLocked() {
    m_Stations.clear();
    m_strCurrentKey.clear();
    m_pCurrentExtra.reset();
}

void CStationMngr::RemoveAllStations() {
    std::lock_guard lock(m_Mutex);
    RemoveAllLocked();
}

std::vector<CStationMngr::StationPtr> CStationMngr::Snapshot() {
    std::lock_guard lock(m_Mutex);
    std::vector<StationPtr> out;
    out.reserve(m_Stations.size());
    for (const auto& [key, station] : m_Stations) out.push_back(station);
    return out;
}

bool CStationMngr::ReadBack(const StationPtr& station) {
    std::lock_guard lock(m_Mutex);
    return station && station->Connect(0);
}

bool CStationMngr::MergeScan() {
    bool lost = false;
    bool stillScanning = false;
    {
        std::lock_guard lock(m_Mutex);
        RemoveAllLocked();

        if (IsConnected() || theApp.m_bAdHocApplied) {
            m_bConnected = true;
        } else if (m_bConnected) {
            lost = true;  // statistics and the connected profile are reset once the lock is left
            m_bConnected = false;
        }

        uint8_t currentBssid[6] = {};
        int currentChannel = -1;  // matches no entry
        {
            CCommVarList link;
            link.AddVarExt(OID_BSSID, 0, nullptr, nullptr);
            link.AddVarExt(OID_CHANNEL_QUERY, 0, nullptr, nullptr);
            if (link.RefreshAll(false, false)) {
                std::memcpy(currentBssid, Payload(link.GetVar(0)->GetBlock(0)), 6);
                currentChannel = Payload(link.GetVar(1)->GetBlock(0))[8];
            }
        }

        CCommVarList scan;
        scan.AddVarExt(OID_SCAN_LIST, 0, nullptr, nullptr);
        if (scan.RefreshAll(false, false)) {
            const uint8_t* list = Payload(scan.GetVar(0)->GetBlock(0));
            const int halves[2][2] = {{kScanInfraCountOffset, kScanInfraEntriesOffset},
                                      {kScanAdHocCountOffset, kScanAdHocEntriesOffset}};
            int index = 0;
            for (int half = 0; half < 2; ++half) {
                const int count = std::min<int>(list[halves[half][0]], kScanHalfSlots);
                for (int slot = 0; slot < count; ++slot, ++index) {
                    const SScanEntry entry = ParseScanEntry(list + halves[half][1] + slot * kScanEntrySize);
                    const std::string key = entry.ssid + ";" + std::to_string(entry.channel);
                    if (m_Stations.count(key)) continue;  // the first entry of a key wins
                    StationPtr station = FromScanEntry(entry, half == 1, index);
                    m_Stations[key] = station;
                    if (std::memcmp(entry.bssid, currentBssid, 6) == 0 && entry.channel == currentChannel) {
                        m_strCurrentKey = key;
                        m_pCurrentExtra.reset();
                    }
                }
            }
            if (theApp.GetProfileInt("", "View AP or NET", 0) != 0) GroupByNetwork();
            stillScanning = list[kScanStatusOffset] == 1;
        }
    }
    if (lost) {
        if (IPollControl* poll = theApp.GetPollControl()) poll->ResetStats(true);
        if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->SetConnected(nullptr, true);
    }
    return stillScanning;
}

void CStationMngr::GroupByNetwork() {
    std::lock_guard lock(m_Mutex);
    // The strongest station of each name; among equals the first in map order.
    std::map<std::string, StationPtr> chosen;
    for (const auto& [key, station] : m_Stations) {
        auto it = chosen.find(station->NetName);
        if (it == chosen.end() || station->m_nRssi > it->second->m_nRssi) chosen[station->NetName] = station;
    }
    for (auto it = m_Stations.begin(); it != m_Stations.end();) {
        const StationPtr& best = chosen[it->second->NetName];
        if (it->second->m_strBssid != best->m_strBssid && it->second->PhyChnl != best->PhyChnl)
            it = m_Stations.erase(it);
        else
            ++it;
    }
}

}  // namespace wavory
