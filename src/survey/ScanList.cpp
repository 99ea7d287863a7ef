#include "survey/ScanList.h"

#include <algorithm>
#include <cstring>

#include "driver/Format.h"

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
    e.security = entry[KCOM_ENTRY_SECURITY] <= KCOM_SECURITY_WPA3 ? entry[KCOM_ENTRY_SECURITY] : 0;
    return e;
}

std::string FormatBssid(const uint8_t* b) {
    return StrFormat("%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace wavory
