#include "cli/StationView.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "cli/CliSession.h"
#include "driver/Format.h"
#include "monitor/Signal.h"
#include "shell/Tessal.h"
#include "survey/Station.h"

namespace wavory::cli {

namespace {

constexpr const char* kViewPreference = "View AP or NET";

struct SColumn {
    const char* name;
    const char* header;
};

constexpr SColumn kColumns[COL_COUNT] = {{"link-quality", "Link Quality"},
                                         {"ssid", "Network Name (SSID)"},
                                         {"mode", "Mode"},
                                         {"security", "Security"},
                                         {"channel", "Channel"},
                                         {"rate", "Rate"},
                                         {"mac", "MAC"}};

int RateMbps(const CStation& station) { return station.PhyType == 1 ? 11 : 54; }

}  // namespace

const char* ColumnName(int column) { return kColumns[column].name; }
const char* ColumnHeader(int column) { return kColumns[column].header; }
int ColumnCount(EView view) { return view == EView::Network ? COL_CHANNEL : COL_COUNT; }

EView StoredView() {
    return theApp.GetProfileInt("", kViewPreference, 0) != 0 ? EView::Network : EView::AccessPoint;
}

const char* ViewName(EView view) { return view == EView::Network ? "network" : "ap"; }

bool MergeForView(CCliSession& session, EView view) {
    session.Registry().OverrideInt(kViewPreference, view == EView::Network ? 1 : 0);
    const bool scanning = session.Stations(false).MergeScan();
    session.Registry().ClearOverride(kViewPreference);
    return scanning;
}

std::string ColumnText(const CStation& station, int column) {
    switch (column) {
        case COL_LINK_QUALITY: {
            std::string text;
            FormatSignal(station.m_nRssi, &text);
            return text;
        }
        case COL_SSID:
            return station.NetName;
        case COL_MODE:
            return station.NetMode ? "Infrastructure" : "Ad-Hoc";
        case COL_SECURITY:
            return station.SecurityText();
        case COL_CHANNEL:
            return StrFormat("%d", station.PhyChnl);
        case COL_RATE:
            return StrFormat("%d Mbps", RateMbps(station));
        case COL_MAC:
            return station.m_strBssid;
        default:
            return {};
    }
}

std::string RowKey(const CStation& station, EView view) {
    return view == EView::Network ? station.NetName : CStationMngr::StationKey(station);
}

CStationMngr::StationPtr FindStation(CStationMngr& stations, EView view, const std::string& key) {
    if (view == EView::AccessPoint) return stations.Lookup(key);
    for (const auto& station : stations.Snapshot())
        if (station->NetName == key) return station;
    return nullptr;
}

bool IsCurrentStation(CStationMngr& stations, const CStation& station) {
    const std::string current = stations.GetCurrentKey();
    return !station.NetName.empty() && !current.empty() && current == CStationMngr::StationKey(station);
}

std::vector<CStationMngr::StationPtr> SortedStations(CStationMngr& stations, EView view, int column,
                                                     bool ascending) {
    const std::vector<CStationMngr::StationPtr> all = stations.Snapshot();
    // Sort text: the column's text, " -- " and the row key; std::string orders by byte value.
    std::set<std::pair<std::string, std::string>> order;
    for (const auto& station : all) {
        const std::string key = RowKey(*station, view);
        order.emplace(ColumnText(*station, column) + " -- " + key, key);
    }
    std::vector<std::string> keys;
    for (const auto& [text, key] : order) keys.push_back(key);
    if (!ascending) std::reverse(keys.begin(), keys.end());

    // Each row's station, found in one pass rather than a search per row.
    std::unordered_map<std::string, CStationMngr::StationPtr> byName;
    if (view == EView::Network) byName = CStationMngr::FirstOfEachName(all);
    // One access point heard on two channels stays two stations of one name even in the network
    // view; the dialog would show that name twice, with the same station, so it is shown once.
    std::vector<CStationMngr::StationPtr> rows;
    std::set<std::string> shown;
    for (const std::string& key : keys) {
        if (!shown.insert(key).second) continue;
        if (view == EView::AccessPoint) {
            if (auto station = stations.Lookup(key)) rows.push_back(station);
        } else if (auto it = byName.find(key); it != byName.end()) {
            rows.push_back(it->second);
        }
    }
    return rows;
}

json StationJson(CStationMngr& stations, const CStation& station) {
    json j;
    PutSsid(j, station.NetName);
    std::string quality;
    j["signal_percent"] = FormatSignal(station.m_nRssi, &quality);
    j["signal_dbm"] = station.m_nRssi;
    j["link_quality"] = quality;
    j["mode"] = ColumnText(station, COL_MODE);
    j["security"] = ColumnText(station, COL_SECURITY);
    j["channel"] = station.PhyChnl;
    j["rate_mbps"] = RateMbps(station);
    j["bssid"] = station.m_strBssid;
    j["connected"] = IsCurrentStation(stations, station);
    return j;
}

}  // namespace wavory::cli
