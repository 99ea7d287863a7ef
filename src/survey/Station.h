// A network the adapter can join: a profile plus the signal strength and BSSID of a scan. Every
// connection is made through a station, also for a stored profile (a temporary copy).
#pragma once

#include <cstdint>
#include <string>

#include "profiles/Profile.h"

namespace wavory {

class CStation : public CProfile {
public:
    // What Connect does with the record.
    enum EConnectMode : int {
        CONNECT_READ = 0,          // read the adapter's live settings back into the record
        CONNECT_APPLY = 1,         // write the record's connection settings to the adapter
        CONNECT_SECURITY_ONLY = 2  // write only the security mode and the active key
    };

    // A copy of the profile (no section, Priority -1) with the given BSSID text and strength in dBm.
    explicit CStation(const CProfile& profile, const std::string& bssid = {}, int rssi = 0);

    // ---- Construction from a scan entry goes here, together with the station manager. ----

    ~CStation() override;

    // Exchanges the settings with the adapter in the given mode; true when every exchange went
    // through. The first failing request ends the exchange.
    bool Connect(int mode);

    int m_nRssi = 0;
    std::string m_strBssid;
    // The access point a join goes to ("02-00-00-00-01-00"), where the user chose one of the
    // network's; empty joins whichever the adapter prefers.
    std::string m_strJoinBssid;
    // The kind of security the scan saw (KCOM_SECURITY_KIND; 0 when not told or not scanned).
    int m_nSecurityKind = 0;
    // The fastest rate the network offers (100 kbit/s; 0 when the scan did not tell) and the width
    // it operates at (MHz; 0 when not told).
    uint32_t m_nMaxRate100k = 0;
    int m_nWidthMHz = 0;

    // The kind of security as the scan saw it ("None", "WEP", "WPA2-Personal", "WPA2/WPA3-Personal",
    // "Enhanced Open", "WPA2-Enterprise" …), else the profile's security.
    std::string SecurityText() const;
    // The kind of security (KCOM_SECURITY_KIND): the scan's, else the profile's settings'.
    int SecurityKind() const;
    // The fastest rate: the scan's figure, else what the PHY type of old allows (54 or 11 Mbit/s);
    // 0 for a newer PHY the scan gave no figure for.
    uint32_t MaxRate100k() const;
    // The channel's frequency: the stored one, else the channel number's legacy reading.
    int FrequencyMHz() const;
};

}  // namespace wavory
