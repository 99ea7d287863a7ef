// A network the adapter can join: a profile plus the signal strength and BSSID of a scan. Every
// connection is made through a station, also for a stored profile (a temporary copy).
#pragma once

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
    // The kind of security the scan saw (KCOM_SECURITY_KIND; 0 when not told or not scanned).
    int m_nSecurityKind = 0;

    // "None", "WEP", "WPA", "WPA2" or "WPA3" as the scan saw it, else the profile's security name.
    std::string SecurityText() const;
};

}  // namespace wavory
