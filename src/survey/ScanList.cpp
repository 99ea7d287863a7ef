#include "survey/ScanList.h"

#include <algorithm>
#include <cstring>

#include "driver/Format.h"

namespace wavory {

SScanEntry ParseScanEntry(const uint8_t* entry) {
    SScanEntry e;
    std::memcpy(e.bssid, entry + 2, 6);
    const int len = std::min<int>(entry[53], 32);  // a longer length is taken as 32
    e.ssid.assign(reinterpret_cast<const char*>(entry + 54), static_cast<std::size_t>(len));
    std::memcpy(&e.phyType, entry + 88, 4);
    e.channel = entry[96];
    e.privacy = entry[99] != 0;
    std::memcpy(&e.rssi, entry + 104, 4);
    return e;
}

std::string FormatBssid(const uint8_t* b) {
    return StrFormat("%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace wavory
