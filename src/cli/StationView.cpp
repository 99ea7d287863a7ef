#include "cli/StationView.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "cli/CliSession.h"
#include "driver/AirText.h"
#include "driver/Format.h"
#include "monitor/Signal.h"
#include "radio/Bands.h"
#include "radio/Rates.h"
#include "radio/Security.h"
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

// Mbit/s from 100 kbit/s: a whole number where it is one, so that 54 stays 54.
json Mbps(uint32_t rate100k) {
    return rate100k % 10 == 0 ? json(rate100k / 10) : json(static_cast<double>(rate100k) / 10.0);
}

bool IsNumericColumn(int column) {
    return column == COL_LINK_QUALITY || column == COL_CHANNEL || column == COL_RATE;
}

// The number a numeric column sorts by, 0 for the others.
long long SortNumber(const CStation& station, int column) {
    switch (column) {
        case COL_LINK_QUALITY:
            return -static_cast<long long>(station.m_nRssi);  // the strongest signal first
        case COL_CHANNEL: {
            const int freq = station.FrequencyMHz();
            return freq > 0 ? freq : station.PhyChnl;
        }
        case COL_RATE:
            return station.MaxRate100k();
        default:
            return 0;
    }
}

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
    const bool scanning = session.Stations(false, CProfileMngr::ELoad::Names).MergeScan();
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
            return ChannelColumnText(station.PhyChnl, station.FrequencyMHz());
        case COL_RATE:
            return kccl::FormatRate100k(station.MaxRate100k());
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
    // Numeric columns sort by their number (link quality strongest first, channels by frequency,
    // rates by speed), text columns by their text as bytes; ties by the row key.
    std::set<std::tuple<long long, std::string, std::string>> order;
    for (const auto& station : all) {
        const std::string key = RowKey(*station, view);
        order.emplace(SortNumber(*station, column),
                      IsNumericColumn(column) ? std::string() : ColumnText(*station, column), key);
    }
    std::vector<std::string> keys;
    for (const auto& [number, text, key] : order) keys.push_back(key);
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

void PutRadio(json& j, int phyType, int freqMHz, int widthMHz) {
    const kccl::EBand band = kccl::BandOfFrequency(freqMHz);
    j["frequency_mhz"] = freqMHz > 0 ? json(freqMHz) : json(nullptr);
    j["band"] = band != kccl::EBand::Unknown ? json(kccl::BandName(band)) : json(nullptr);
    const std::string generation = GenerationText(phyType, freqMHz);
    j["generation"] = generation.empty() ? json(nullptr) : json(generation);
    j["standard"] = *kccl::PhyStandard(phyType) ? json(kccl::PhyStandard(phyType)) : json(nullptr);
    j["channel_width_mhz"] = widthMHz > 0 ? json(widthMHz) : json(nullptr);
}

json Mbps100k(uint32_t rate100k) { return Mbps(rate100k); }

json StationJson(CStationMngr& stations, const CStation& station) {
    json j;
    PutSsid(j, station.NetName);
    std::string quality;
    j["signal_percent"] = FormatSignal(station.m_nRssi, &quality);
    j["signal_dbm"] = station.m_nRssi;
    j["link_quality"] = quality;
    j["link_quality_percent"] = j["signal_percent"];
    j["link_quality_text"] = quality;
    j["mode"] = station.NetMode ? "infrastructure" : "adhoc";
    j["mode_text"] = ColumnText(station, COL_MODE);
    const int kind = station.SecurityKind();
    j["security"] = *kccl::SecurityKindId(kind) ? json(kccl::SecurityKindId(kind)) : json(nullptr);
    j["security_text"] = ColumnText(station, COL_SECURITY);
    j["channel"] = station.PhyChnl;
    PutRadio(j, station.PhyType, station.FrequencyMHz(), station.m_nWidthMHz);
    const uint32_t rate = station.MaxRate100k();
    j["rate_mbps"] = rate != 0 ? Mbps(rate) : json(nullptr);
    j["max_rate_mbps"] = j["rate_mbps"];
    j["bssid"] = station.m_strBssid;
    const bool connected = IsCurrentStation(stations, station);
    j["connected"] = connected;
    // The rates of the link itself belong to the connected station only.
    j["tx_rate_mbps"] = j["rx_rate_mbps"] = nullptr;
    if (connected) {
        if (auto link = ReadLinkInfo(); link && link->freqMHz != 0) {
            if (link->txRate100k) j["tx_rate_mbps"] = Mbps(link->txRate100k);
            if (link->rxRate100k) j["rx_rate_mbps"] = Mbps(link->rxRate100k);
        }
    }
    return j;
}

}  // namespace wavory::cli
