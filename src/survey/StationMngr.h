// The scanned stations: one per access point or ad-hoc network heard in the last scan, keyed by
// "SSID;channel", and which of them the adapter is connected to. Used from the interface thread
// and the polling thread; an internal lock keeps the map consistent and stations are shared, so a
// station stays alive while anyone still holds it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "survey/AirView.h"
#include "survey/ScanList.h"
#include "survey/SignalTrail.h"

namespace wavory {

class CProfile;
class CStation;

class CStationMngr {
public:
    using StationPtr = std::shared_ptr<CStation>;

    // What the scan result list's status byte says.
    enum class EScanState { Scanning, Complete, Unread };

    // A scan of ours that the adapter still reports as running after this long is taken as done:
    // the adapter is shared, and other programs' scans keep its status at "scanning".
    static constexpr std::chrono::seconds kScanLimit{10};

    // Starts a scan, as at the window's start-up, unless told not to (a program that only reads
    // uses the adapter's last list).
    explicit CStationMngr(bool startScan = true);
    virtual ~CStationMngr();
    CStationMngr(const CStationMngr&) = delete;
    CStationMngr& operator=(const CStationMngr&) = delete;

    // Asks the driver for a scan: 2 when it started, 0 otherwise.
    int StartScan();
    // Rebuilds the stations from the driver's list; true while the driver is still scanning.
    bool MergeScan();
    // Whether the last MergeScan could read the list (false: the map is empty for want of it).
    bool LastMergeRead() const { return m_bLastMergeRead; }
    // Reads the list for its status only, without a merge: for waiting until a scan completes.
    EScanState ReadScanState();
    // The scan this manager started has run past kScanLimit.
    bool ScanOverdue() const;
    // The clock that times scans (tests move it on).
    void SetClock(std::function<std::chrono::steady_clock::time_point()> now) { m_fnNow = std::move(now); }
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

    // Every access point the last readable scan list held, one entry each (the stations keep one
    // per key and, in the per-network view, one per name), the connection's marked: the view of
    // the air. Takes the manager's lock.
    std::vector<SAirEntry> HeardAir();
    // The signal of each access point over the last minutes, one point per merge that read the
    // list. Read it under Lock().
    const CSignalTrail& Trail() const { return m_Trail; }

    // The stations in key order, for views.
    std::vector<StationPtr> Snapshot();
    std::string GetCurrentKey();
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(m_Mutex); }

    // "%s;%d" of a station's SSID and channel; a 6 GHz station's frequency in MHz takes the channel's
    // place, since 6 GHz channel numbers repeat those of the other bands.
    static std::string StationKey(const CStation& station);
    static std::string EntryKey(const std::string& ssid, int channel, int freqMHz);
    // A station as the scan entry describes it; `index` names its section "Station %d". The fields
    // a scan does not give come from `defaults`, a profile loaded from the application key itself.
    static StationPtr FromScanEntry(const SScanEntry& entry, bool adHoc, int index, const CProfile& defaults);
    static StationPtr FromScanEntry(const SScanEntry& entry, bool adHoc, int index);
    // The first station of each network name in the order given, in one pass: what a row of the
    // per-network view shows.
    static std::unordered_map<std::string, StationPtr> FirstOfEachName(
        const std::vector<StationPtr>& stations);

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
    std::vector<SAirEntry> m_Heard;  // the access points of the last readable list
    CSignalTrail m_Trail;
    bool m_bConnected = false;
    std::atomic<bool> m_bLastMergeRead{false};  // read by the polling thread without the lock
    std::function<std::chrono::steady_clock::time_point()> m_fnNow = [] {
        return std::chrono::steady_clock::now();
    };
    // When this manager's last scan started (clock time in nanoseconds); 0 when none did.
    std::atomic<int64_t> m_nScanStartNs{0};
};

}  // namespace wavory
