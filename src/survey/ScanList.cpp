#include "survey/ScanList.h"

#include <algorithm>
#include <cstring>

#include "driver/Format.h"
#include "radio/Bands.h"
#include "radio/Security.h"

namespace wavory {

SScanEntry ParseScanEntry(const uint8_t* entry) {
    SScanEntry e;
    std::memcpy(e.bssid, entry + KCOM_ENTRY_BSSID, 6);
    const int len = std::min<int>(entry[KCOM_ENTRY_SSID_LEN], 32);  // a longer length is taken as 32
    e.ssid.assign(reinterpret_cast<const char*>(entry + KCOM_ENTRY_SSID), static_cast<std::size_t>(len));
    std::memcpy(&e.phyType, entry + KCOM_ENTRY_PHY, 4);
    e.channel = entry[KCOM_ENTRY_CHANNEL];
    e.privacy = entry[KCOM_ENTRY_PRIVACY] != 0;
    std::memcpy(&e.rssi, entry + KCOM_ENTRY_SIGNAL, 4);
    e.security = entry[KCOM_ENTRY_SECURITY] <= KCOM_SECURITY_WPA_ENTERPRISE ? entry[KCOM_ENTRY_SECURITY] : 0;
    uint32_t freq = 0;
    std::memcpy(&freq, entry + KCOM_ENTRY_FREQ, 4);
    // A frequency that is no channel's is taken as not told.
    if (kccl::FrequencyToChannel(static_cast<int>(freq)) == 0) freq = 0;
    e.freqMHz = static_cast<uint32_t>(kccl::ChannelFrequency(e.channel, static_cast<int>(freq)));
    std::memcpy(&e.maxRate100k, entry + KCOM_ENTRY_MAX_RATE, 4);
    std::memcpy(&e.widthMHz, entry + KCOM_ENTRY_WIDTH, 2);
    std::memcpy(&e.akm, entry + KCOM_ENTRY_AKM, 4);
    // An adapter that tells the suites but not the kind: the kind follows from them.
    if (e.security == 0 && e.akm != 0)
        e.security = static_cast<uint8_t>(kccl::ClassifySecurity(e.akm, true, false));
    return e;
}

std::string FormatBssid(const uint8_t* b) {
    return StrFormat("%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
}

bool ParseBssid(const std::string& text, uint8_t* bssid) {
    if (text.size() != 17) return false;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (int i = 0; i < 6; ++i) {
        const int hi = digit(text[static_cast<size_t>(3 * i)]);
        const int lo = digit(text[static_cast<size_t>(3 * i + 1)]);
        if (hi < 0 || lo < 0) return false;
        const char separator = i < 5 ? text[static_cast<size_t>(3 * i + 2)] : '-';
        if (separator != '-' && separator != ':') return false;
        bssid[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

}  // namespace wavory
