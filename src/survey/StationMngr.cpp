#include "survey/StationMngr.h"

#include <algorithm>
#include <cstring>

#include "base/AppBase.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "radio/Bands.h"
#include "survey/PollControl.h"
#include "survey/Station.h"

namespace wavory {

CStationMngr::CStationMngr(bool startScan) {
    if (IPollControl* poll = theApp.GetPollControl()) poll->SetInterval(3);
    if (startScan) StartScan();
}

CStationMngr::~CStationMngr() {
    theApp.WriteProfileString("", "ConnectedStation", GetCurrentKey());
    RemoveAllStations();
}

std::string CStationMngr::StationKey(const CStation& station) {
    return EntryKey(station.NetName, station.PhyChnl, station.PhyFreq);
}

std::string CStationMngr::EntryKey(const std::string& ssid, int channel, int freqMHz) {
    // Built by concatenation rather than "%s", so SSID bytes after a zero byte stay in the key. A 6 GHz
    // network is keyed by its frequency: its channel numbers repeat those of 2.4 and 5 GHz, while
    // 5935..7115 is no channel number of any band.
    const bool sixGhz = kccl::BandOfFrequency(freqMHz) == kccl::EBand::Band6G;
    return ssid + ";" + std::to_string(sixGhz ? freqMHz : channel);
}

CStationMngr::StationPtr CStationMngr::FromScanEntry(const SScanEntry& entry, bool adHoc, int index) {
    // A profile load of the application key itself, which holds no profile values: the defaults.
    return FromScanEntry(entry, adHoc, index, CProfile("", true));
}

CStationMngr::StationPtr CStationMngr::FromScanEntry(const SScanEntry& entry, bool adHoc, int index,
                                                     const CProfile& defaults) {
    auto station = std::make_shared<CStation>(defaults, FormatBssid(entry.bssid), entry.rssi);
    station->NetName = entry.ssid;
    station->NetMode = !adHoc;
    station->PhyType = static_cast<int>(entry.phyType);
    station->PhyChnl = entry.channel;
    station->PhyFreq = static_cast<int>(entry.freqMHz);
    station->SecType = entry.privacy ? 1 : 0;
    station->m_nSecurityKind = entry.security;
    station->m_nMaxRate100k = entry.maxRate100k;
    station->m_nWidthMHz = entry.widthMHz;
    // WPA and its relatives are joined in their own security mode (with a passphrase where they
    // take one), not with a WEP key.
    if (const int mode = SecurityModeOfKind(entry.security); mode >= KCOM_SECURITY_MODE_WPA2_PERSONAL)
        station->WpaMode = mode;
    station->SetSection(StrFormat("Station %d", index));
    return station;
}

void CStationMngr::ReadScanPage(const uint8_t* list, std::vector<SScanEntry> halves[2]) {
    const int offsets[2][2] = {{kScanInfraCountOffset, kScanInfraEntriesOffset},
                               {kScanAdHocCountOffset, kScanAdHocEntriesOffset}};
    for (int half = 0; half < 2; ++half) {
        const int count = std::min<int>(list[offsets[half][0]], kScanHalfSlots);
        for (int slot = 0; slot < count; ++slot)
            halves[half].push_back(ParseScanEntry(list + offsets[half][1] + slot * kScanEntrySize));
    }
}

void CStationMngr::ReadFurtherPages(const uint8_t* first, std::vector<SScanEntry> halves[2]) {
    // A full half may go on in further pages; a page with both halves short of full is the last.
    // A library without the request answers with a failed status, and the first page stands alone.
    bool full =
        first[kScanInfraCountOffset] >= kScanHalfSlots || first[kScanAdHocCountOffset] >= kScanHalfSlots;
    for (int page = 1; full && page <= kMaxScanPages; ++page) {
        CCommVarList more;
        more.AddVarExt(OID_SCAN_LIST_MORE, 0, nullptr, nullptr);
        uint8_t* payload = Payload(more.GetVar(0)->GetBlock(0));
        payload[KCOM_SCAN_PAGE] = static_cast<uint8_t>(page);
        payload[KCOM_SCAN_PAGE + 1] = static_cast<uint8_t>(page >> 8);
        if (!more.RefreshAll(false, false)) break;
        ReadScanPage(payload, halves);
        full = payload[kScanInfraCountOffset] >= kScanHalfSlots ||
               payload[kScanAdHocCountOffset] >= kScanHalfSlots;
    }
}

int CStationMngr::StartScan() {
    CCommVarList list;
    list.AddVarExt(OID_START_SCAN, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return 0;
    m_nScanStartNs = std::max<int64_t>(
        1, std::chrono::duration_cast<std::chrono::nanoseconds>(m_fnNow().time_since_epoch()).count());
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

bool CStationMngr::ScanOverdue() const {
    const int64_t start = m_nScanStartNs;
    if (start == 0) return false;
    return m_fnNow().time_since_epoch() - std::chrono::nanoseconds(start) > kScanLimit;
}

CStationMngr::EScanState CStationMngr::ReadScanState() {
    CCommVarList scan;
    scan.AddVarExt(OID_SCAN_LIST, 0, nullptr, nullptr);
    if (!scan.RefreshAll(false, false)) return EScanState::Unread;
    return Payload(scan.GetVar(0)->GetBlock(0))[kScanStatusOffset] == 1 ? EScanState::Scanning
                                                                        : EScanState::Complete;
}

bool CStationMngr::MergeScan() {
    bool lost = false;
    bool stillScanning = false;
    {
        std::lock_guard lock(m_Mutex);
        RemoveAllLocked();
        m_Heard.clear();
        m_bLastMergeRead = false;

        if (IsConnected() || theApp.m_bAdHocApplied) {
            m_bConnected = true;
        } else if (m_bConnected) {
            lost = true;  // statistics and the connected profile are reset once the lock is left
            m_bConnected = false;
        }

        uint8_t currentBssid[6] = {};
        int currentChannel = -1;  // matches no entry
        int currentFreq = 0;      // 0: the adapter does not tell, the channel decides alone
        {
            CCommVarList link;
            link.AddVarExt(OID_BSSID, 0, nullptr, nullptr);
            link.AddVarExt(OID_CHANNEL_QUERY, 0, nullptr, nullptr);
            if (link.RefreshAll(false, false)) {
                std::memcpy(currentBssid, Payload(link.GetVar(0)->GetBlock(0)), 6);
                currentChannel = Payload(link.GetVar(1)->GetBlock(0))[KCOM_CHANNEL_NUMBER];
                currentFreq = static_cast<int>(PayloadU32(link.GetVar(1)->GetBlock(0), KCOM_CHANNEL_FREQ));
            }
        }

        CCommVarList scan;
        scan.AddVarExt(OID_SCAN_LIST, 0, nullptr, nullptr);
        if (scan.RefreshAll(false, false)) {
            m_bLastMergeRead = true;
            const uint8_t* list = Payload(scan.GetVar(0)->GetBlock(0));
            // Loaded once for the whole list: every station starts from the same defaults.
            const CProfile defaults("", true);
            std::vector<SScanEntry> halves[2];
            ReadScanPage(list, halves);
            ReadFurtherPages(list, halves);
            // Every access point with its signal, before the stations keep one per key or name.
            std::vector<STrailHeard> heard;
            std::string ownBssid;
            for (const SScanEntry& entry : halves[0]) {
                SAirEntry air;
                air.ssid = entry.ssid;
                air.bssid = FormatBssid(entry.bssid);
                air.channel = entry.channel;
                air.freqMHz = static_cast<int>(entry.freqMHz);
                air.widthMHz = entry.widthMHz;
                air.signalDbm = entry.rssi;
                air.current = m_bConnected && std::memcmp(entry.bssid, currentBssid, 6) == 0 &&
                              entry.channel == currentChannel &&
                              (currentFreq == 0 || static_cast<int>(entry.freqMHz) == currentFreq);
                if (air.current) ownBssid = air.bssid;
                heard.push_back({air.bssid, air.ssid, air.freqMHz, air.signalDbm});
                m_Heard.push_back(std::move(air));
            }
            m_Trail.Add(
                std::chrono::duration_cast<std::chrono::milliseconds>(m_fnNow().time_since_epoch()).count(),
                heard, ownBssid);
            int index = 0;
            for (int half = 0; half < 2; ++half) {
                for (const SScanEntry& entry : halves[half]) {
                    const int position = index++;
                    const std::string key =
                        EntryKey(entry.ssid, entry.channel, static_cast<int>(entry.freqMHz));
                    if (m_Stations.count(key)) continue;  // the first entry of a key wins
                    StationPtr station = FromScanEntry(entry, half == 1, position, defaults);
                    m_Stations[key] = station;
                    if (std::memcmp(entry.bssid, currentBssid, 6) == 0 && entry.channel == currentChannel &&
                        (currentFreq == 0 || static_cast<int>(entry.freqMHz) == currentFreq)) {
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

std::vector<SAirEntry> CStationMngr::HeardAir() {
    std::lock_guard lock(m_Mutex);
    return m_Heard;
}

std::unordered_map<std::string, CStationMngr::StationPtr> CStationMngr::FirstOfEachName(
    const std::vector<StationPtr>& stations) {
    std::unordered_map<std::string, StationPtr> first;
    first.reserve(stations.size());
    for (const auto& station : stations)
        if (station) first.emplace(station->NetName, station);  // an existing name is kept
    return first;
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
