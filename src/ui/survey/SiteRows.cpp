#include "ui/survey/SiteRows.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "driver/AirText.h"
#include "driver/Format.h"
#include "monitor/Signal.h"
#include "profiles/Profile.h"
#include "radio/Rates.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

namespace {

struct SColumn {
    const char* header;
    double networkShare;
    double apShare;
};

// Shares of the list's client width; the network view's four add up to one, as do the seven.
constexpr std::array<SColumn, kApViewColumns> kColumns = {{
    {"Link Quality", 0.23177250374171476, 0.15323720667232119},
    {"Network Name (SSID)", 0.41693393200769724, 0.27565733672603904},
    {"Mode", 0.18045755826384435, 0.11931014984450099},
    {"Security", 0.17083600598674364, 0.1129488266892847},
    {"Channel", 0.0, 0.1129488266892847},
    {"Rate", 0.0, 0.1129488266892847},
    {"MAC", 0.0, 0.3388464800678541},
}};

}  // namespace

const char* SiteColumnHeader(int column) {
    return column >= 0 && column < kApViewColumns ? kColumns[static_cast<std::size_t>(column)].header : "";
}

double SiteColumnFraction(int column, bool networkView) {
    if (column < 0 || column >= (networkView ? kNetworkViewColumns : kApViewColumns)) return 0.0;
    const SColumn& c = kColumns[static_cast<std::size_t>(column)];
    return networkView ? c.networkShare : c.apShare;
}

int QualityImage(int dBm) {
    if (dBm < -81) return SITE_IMG_POOR;
    if (dBm < -71) return SITE_IMG_FAIR;
    if (dBm < -67) return SITE_IMG_GOOD;
    return SITE_IMG_EXCELLENT;
}

std::string SiteColumnText(const CStation& station, int column) {
    switch (column) {
        case SITE_COL_QUALITY: {
            std::string text;
            FormatSignal(station.m_nRssi, &text);
            return text;
        }
        case SITE_COL_SSID:
            return station.NetName;
        case SITE_COL_MODE:
            return station.NetMode ? "Infrastructure" : "Ad-Hoc";
        case SITE_COL_SECURITY:
            return station.SecurityText();
        case SITE_COL_CHANNEL:
            return ChannelColumnText(station.PhyChnl, station.FrequencyMHz());
        case SITE_COL_RATE:
            return kccl::FormatRate100k(station.MaxRate100k());
        case SITE_COL_MAC:
            return station.m_strBssid;
        default:
            return {};
    }
}

std::string SiteRowKey(const CStation& station, bool networkView) {
    return networkView ? station.NetName : CStationMngr::StationKey(station);
}

std::vector<std::string> SortSiteKeys(const std::vector<std::shared_ptr<CStation>>& stations, int column,
                                      bool ascending, bool networkView) {
    // The text and the key are kept as a pair rather than joined into one text, so an SSID that
    // itself holds the joining characters cannot be split wrongly.
    std::set<std::pair<std::string, std::string>> order;
    for (const auto& station : stations) {
        if (!station) continue;
        // Link quality sorts by the signal itself, so that percent and dBm give the same order (their
        // texts do not sort alike); a fixed-width number keeps the text comparison numeric.
        std::string text = column == SITE_COL_QUALITY ? StrFormat("%05d", station->m_nRssi + 10000)
                                                      : SiteColumnText(*station, column);
        order.emplace(std::move(text), SiteRowKey(*station, networkView));
    }
    std::vector<std::string> keys;
    std::set<std::string> seen;
    auto take = [&](const std::pair<std::string, std::string>& entry) {
        if (seen.insert(entry.second).second) keys.push_back(entry.second);
    };
    if (ascending)
        std::for_each(order.begin(), order.end(), take);
    else
        std::for_each(order.rbegin(), order.rend(), take);
    return keys;
}

}  // namespace wavory
