#include "profiles/WifiUri.h"

#include <cctype>

#include "profiles/Profile.h"

namespace wavory {

namespace {

constexpr std::size_t kMaxSsidBytes = 32;

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool HasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

bool IsHex(const std::string& s) {
    for (unsigned char c : s)
        if (!std::isxdigit(c)) return false;
    return true;
}

// Checks the fields a URI carries: the same limits a typed join has.
bool CheckFields(const WifiUri& uri, std::string* error) {
    if (uri.ssid.empty()) return Fail(error, "the network name is missing");
    if (uri.ssid.find('\0') != std::string::npos)
        return Fail(error, "the network name holds a NUL byte, which a Wi-Fi URI cannot carry");
    if (uri.ssid.size() > kMaxSsidBytes) return Fail(error, "the network name is longer than 32 bytes");
    if (HasControl(uri.ssid)) return Fail(error, "the network name holds control characters");
    if (HasControl(uri.passphrase)) return Fail(error, "the passphrase holds control characters");
    if (uri.type == "WPA" || uri.type == "SAE") {
        const auto n = uri.passphrase.size();
        const bool ok = (n >= 8 && n <= 63) || (n == 64 && IsHex(uri.passphrase));
        if (!ok) return Fail(error, "the passphrase must be 8 to 63 characters or 64 hexadecimal digits");
    } else if (uri.type == "WEP") {
        if (uri.passphrase.empty()) return Fail(error, "the WEP key is missing");
    } else if (uri.type == "nopass") {
        if (!uri.passphrase.empty()) return Fail(error, "an open network carries no passphrase");
    } else {
        return Fail(error, "unknown security type \"" + uri.type + "\"");
    }
    return true;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == ';' || c == ',' || c == ':' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::string FormatWifiUri(const WifiUri& uri, std::string* error) {
    if (!CheckFields(uri, error)) return "";
    std::string out = "WIFI:T:" + uri.type + ";S:" + Escape(uri.ssid) + ";";
    if (uri.type != "nopass") out += "P:" + Escape(uri.passphrase) + ";";
    if (uri.hidden) out += "H:true;";
    return out + ";";
}

std::string WriteWifiUri(const CProfile& p, std::string* error) {
    WifiUri uri;
    uri.ssid = p.NetName;
    if (p.Use802_1 || p.WpaMode == 7 || p.WpaMode == 8) {
        Fail(error, "enterprise (802.1X) networks cannot be shared: phones cannot join them by QR code");
        return "";
    }
    if (p.WpaMode == 4) {
        uri.type = "SAE";
        uri.passphrase = p.WpaPassphrase;
    } else if (p.WpaMode == 3 || p.WpaMode == 6 || (p.WpaMode == 0 && (p.SecType == 2 || p.SecType == 3))) {
        uri.type = "WPA";
        uri.passphrase = p.WpaPassphrase;
    } else if (p.WpaMode == 0 && p.SecType == 1) {
        uri.type = "WEP";
        const int k = p.ActiveSecKey < 0 ? 0 : p.ActiveSecKey;
        if (k < static_cast<int>(p.SecKey.size())) uri.passphrase = p.SecKey[k];
    } else {
        uri.type = "nopass";  // open and Enhanced Open
    }
    return FormatWifiUri(uri, error);
}

bool ParseWifiUri(const std::string& text, WifiUri* out, std::string* error) {
    if (text.find('\0') != std::string::npos) return Fail(error, "the URI holds a NUL byte");
    if (text.rfind("WIFI:", 0) != 0) return Fail(error, "not a Wi-Fi URI: it must start with \"WIFI:\"");
    WifiUri uri;
    bool haveSsid = false, haveType = false, ended = false;
    std::size_t i = 5;
    while (i < text.size()) {
        if (text[i] == ';') {  // the empty field that ends the URI
            ended = true;
            ++i;
            break;
        }
        // A field: NAME ':' VALUE ';', the value with backslash escapes.
        const auto colon = text.find(':', i);
        if (colon == std::string::npos) return Fail(error, "a field has no \":\"");
        const std::string name = text.substr(i, colon - i);
        std::string value;
        bool closed = false;
        for (i = colon + 1; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\\') {
                if (i + 1 >= text.size()) return Fail(error, "the URI ends in the middle of an escape");
                const char e = text[++i];
                if (e != '\\' && e != ';' && e != ',' && e != ':' && e != '"')
                    return Fail(error, std::string("bad escape \"\\") + e + "\"");
                value += e;
            } else if (c == ';') {
                closed = true;
                ++i;
                break;
            } else {
                value += c;
            }
        }
        if (!closed) return Fail(error, "the URI does not end with \";;\"");
        if (name == "S") {
            uri.ssid = value;
            haveSsid = true;
        } else if (name == "T") {
            uri.type = value.empty() ? "nopass" : value;
            haveType = true;
        } else if (name == "P") {
            uri.passphrase = value;
        } else if (name == "H") {
            uri.hidden = value == "true";
        }  // other fields are ignored, as the format allows
    }
    if (!ended) return Fail(error, "the URI does not end with \";;\"");
    if (i != text.size()) return Fail(error, "text follows the end of the URI");
    if (!haveSsid) return Fail(error, "the URI names no network (no \"S:\" field)");
    if (!haveType) uri.type = uri.passphrase.empty() ? "nopass" : "WPA";
    if (!CheckFields(uri, error)) return false;
    *out = uri;
    return true;
}

}  // namespace wavory
