#include "ui/survey/SiteRows.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "driver/Format.h"
#include "monitor/Signal.h"
#include "profiles/Profile.h"
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

// Highest channel-list position worth probing (802.11a ends well before it).
constexpr int kMaxChannelIndex = 64;

// Length of the UTF-8 sequence starting with this byte, 0 when it cannot start one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Decodes one well-formed sequence (no overlong form, no surrogate, nothing above U+10FFFF);
// false when the bytes at pos do not make one.
bool DecodeUtf8(const std::string& bytes, std::size_t pos, int* length, char32_t* code) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    const int n = SequenceLength(lead);
    if (n == 0 || pos + static_cast<std::size_t>(n) > bytes.size()) return false;
    char32_t value = n == 1 ? lead : lead & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        const auto next = static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLowest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *length = n;
    *code = value;
    return true;
}

bool Hidden(char32_t code) {
    const QChar::Category category = QChar::category(code);
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

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
            return StrFormat("%d", station.PhyChnl);
        case SITE_COL_RATE:
            return StrFormat("%d Mbps", station.PhyType == 1 ? 11 : 54);
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
        order.emplace(SiteColumnText(*station, column), SiteRowKey(*station, networkView));
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

QString SafeSsidText(const std::string& bytes) {
    QString text;
    std::size_t pos = 0;
    auto escape = [&text](unsigned char byte) {
        text += QStringLiteral("\\x") + QStringLiteral("%1").arg(byte, 2, 16, QChar('0')).toUpper();
    };
    while (pos < bytes.size()) {
        int length = 0;
        char32_t code = 0;
        if (!DecodeUtf8(bytes, pos, &length, &code)) {
            escape(static_cast<unsigned char>(bytes[pos]));
            ++pos;
            continue;
        }
        if (Hidden(code)) {
            for (int i = 0; i < length; ++i)
                escape(static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]));
        } else {
            text += QString::fromUcs4(&code, 1);
        }
        pos += static_cast<std::size_t>(length);
    }
    return text;
}

int ChannelNumberToIndex(int phyType, int channel) {
    int index = 0;
    for (int i = 1; i <= kMaxChannelIndex; ++i) {
        if (ChannelIndexToNumber(phyType, i) > channel) break;
        index = i;
    }
    return index;
}

}  // namespace wavory
