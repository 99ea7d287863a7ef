// The standard Wi-Fi URI a phone reads from a QR code ("WIFI:T:WPA;S:name;P:secret;H:true;;"):
// written from a profile to share it, parsed back to join from one.
#pragma once

#include <string>

namespace wavory {

class CProfile;

struct WifiUri {
    std::string type;  // "WPA", "SAE", "WEP" or "nopass"
    std::string ssid;
    std::string passphrase;
    bool hidden = false;
};

// The URI of a profile, or "" with the reason in *error when it cannot be shared.
std::string WriteWifiUri(const CProfile& profile, std::string* error);
std::string FormatWifiUri(const WifiUri& uri, std::string* error);

// Parses a URI; false with the reason in *error when the text is hostile or incomplete.
bool ParseWifiUri(const std::string& text, WifiUri* out, std::string* error);

}  // namespace wavory
