// The scanned stations: one per access point or ad-hoc network heard in the last scan, keyed by
// "SSID;channel", and which of them the adapter is connected to. Used from the interface thread
// and the polling thread; an internal lock keeps the map consistent and stations are shared, so a
// station stays alive while anyone still holds it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "survey/ScanList.h"

namespace wavory {

class CStation;

class CStationMngr {
public:
    using StationPtr = std::shared_ptr<CStation>;

    CStationMngr();
    virtual ~CStationMngr();
    CStationMngr(const CStationMngr&) = delete;
    CStationMngr& operator=(const CStationMngr&) = delete;

    // Asks the driver for a scan: 2 when it started, 0 otherwise.
    int StartScan();
    // Rebuilds the stations from the driver's list; true while the driver is still scanning.
    bool MergeScan();
    // The driver's connection status (one read); safe on either thread, takes no lock.
    bool IsConnected();
    void SetCurrent(const StationPtr& station);
    StationPtr GetCurrent();
    StationPtr Lookup(const std::string& key);
    void AddStation(const StationPtr& station);
    void RemoveStation(const std::string& key);
    void RemoveAllStations();
    // Keeps the strongest station of each network name.
    void GroupByNetwork();
    // Reads the live connection back into a station (mode 0), under the manager's lock.
    bool ReadBack(const StationPtr& station);

    // The stations in key order, for views.
    std::vector<StationPtr> Snapshot();
    std::string GetCurrentKey();
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(m_Mutex); }

    // "%s;%d" of a station's SSID and channel.
    static std::string StationKey(const CStation& station);
    // A station as the scan entry describes it; `index` names its section "Station %d".
    static StationPtr FromScanEntry(const SScanEntry& entry, bool adHoc, int index);

    // More pages than this are not read: 20 * 64 networks of each kind is more than any place hears.
    static constexpr int kMaxScanPages = 64;

private:
    void RemoveAllLocked();
    // The entries of one page of the scan result list, appended to the two halves.
    static void ReadScanPage(const uint8_t* list, std::vector<SScanEntry> halves[2]);
    // The pages beyond the first, while the previous page was full.
    static void ReadFurtherPages(const uint8_t* first, std::vector<SScanEntry> halves[2]);

    std::recursive_mutex m_Mutex;
    std::string m_strCurrentKey;
    std::map<std::string, StationPtr> m_Stations;
    // The station last made current that the map does not hold (a connection made from a profile);
    // answered by GetCurrent until the next merge finds the connection in the scan list.
    StationPtr m_pCurrentExtra;
    bool m_bConnected = false;
};

}  // namespace wavory
