#include "profiles/StackNmBus.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "driver/Format.h"
#include "profiles/StackKeyFile.h"

namespace wavory {

namespace {

using EKind = SNmBusValue::EKind;

constexpr const char* kWifiSetting = "802-11-wireless";
constexpr const char* kSecSetting = "802-11-wireless-security";

// The keyfile's group of a setting, and back.
std::string GroupOf(const std::string& setting) {
    if (setting == kWifiSetting) return "wifi";
    if (setting == kSecSetting) return "wifi-security";
    return setting;
}

std::string SettingOf(const std::string& group) {
    if (group == "wifi") return kWifiSetting;
    if (group == "wifi-security") return kSecSetting;
    return group;
}

bool IsMacKey(const std::string& setting, const std::string& key) {
    return setting == kWifiSetting && (key == "bssid" || key == "mac-address" || key == "cloned-mac-address");
}

// 802.1X certificates and keys: NetworkManager gives a file as "file://PATH" and a NUL.
bool IsCertKey(const std::string& setting, const std::string& key) {
    return setting == "802-1x" && (key == "ca-cert" || key == "client-cert" || key == "private-key" ||
                                   key == "phase2-ca-cert" || key == "phase2-client-cert" ||
                                   key == "phase2-private-key");
}

std::string ListText(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        for (char c : EscapeKeyValue(item)) out += c == ';' ? std::string("\\;") : std::string(1, c);
        out += ';';
    }
    return out;
}

std::string ByteList(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += std::to_string(b) + ";";
    return out;
}

std::string MacText(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) out += StrFormat(i ? ":%02X" : "%02X", bytes[i]);
    return out;
}

bool ParseMac(const std::string& text, std::vector<uint8_t>& out) {
    unsigned b[6];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &tail) !=
            6 ||
        text.size() != 17)
        return false;
    out.assign(b, b + 6);
    return true;
}

std::string AddressText(int family, const void* bytes) {
    char buf[INET6_ADDRSTRLEN] = {};
    return ::inet_ntop(family, bytes, buf, sizeof buf) ? buf : "";
}

const std::string* DictMember(const std::map<std::string, std::string>& dict, const char* key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : &it->second;
}

// The keyfile lines of one setting.
std::string GroupText(const std::string& setting, const std::map<std::string, SNmBusValue>& values,
                      std::vector<std::string>& notes) {
    std::string t;
    const std::string group = GroupOf(setting);
    const bool ip = setting == "ipv4" || setting == "ipv6";
    const auto note = [&](const std::string& key, const std::string& what) {
        notes.push_back("[" + group + "] " + key + ": " + what);
    };
    const auto gateway = values.find("gateway");
    const bool addressData = ip && values.count("address-data") != 0;
    for (const auto& [key, v] : values) {
        std::string value;
        switch (v.kind) {
            case EKind::Bool:
                value = v.flag ? "true" : "false";
                break;
            case EKind::Int:
                value = std::to_string(v.number);
                break;
            case EKind::UInt:
                value = std::to_string(v.unsignedNumber);
                break;
            case EKind::Text:
                if (ip && key == "gateway" && addressData) continue;  // written with the first address
                value = EscapeKeyValue(v.text);
                break;
            case EKind::Bytes:
                if (key == "ssid") {
                    value = ByteList(v.bytes);
                } else if (IsMacKey(setting, key) && v.bytes.size() == 6) {
                    value = MacText(v.bytes);
                } else if (IsCertKey(setting, key)) {
                    std::string path(v.bytes.begin(), v.bytes.end());
                    if (path.rfind("file://", 0) != 0) {
                        note(key, "a certificate NetworkManager keeps inside the connection is not read");
                        continue;
                    }
                    path.erase(0, 7);
                    while (!path.empty() && path.back() == '\0') path.pop_back();
                    value = EscapeKeyValue(path);
                } else {
                    if (v.bytes.empty()) continue;
                    value = ByteList(v.bytes);
                }
                break;
            case EKind::Texts:
                if (v.texts.empty()) continue;
                value = ListText(v.texts);
                break;
            case EKind::UInts: {
                if (v.uints.empty()) continue;
                std::vector<std::string> items;
                for (uint32_t u : v.uints) {
                    if (setting == "ipv4" && key == "dns") {
                        uint8_t b[4];
                        std::memcpy(b, &u, 4);  // network byte order in memory
                        items.push_back(AddressText(AF_INET, b));
                    } else {
                        items.push_back(std::to_string(u));
                    }
                }
                value = ListText(items);
                break;
            }
            case EKind::ByteLists: {
                if (v.byteLists.empty()) continue;
                std::vector<std::string> items;
                for (const auto& bytes : v.byteLists) {
                    if (bytes.size() != 16) {
                        note(key, "an entry that is no IPv6 address is not read");
                        continue;
                    }
                    items.push_back(AddressText(AF_INET6, bytes.data()));
                }
                if (items.empty()) continue;
                value = ListText(items);
                break;
            }
            case EKind::Dicts:
                if (v.dicts.empty()) continue;
                if (ip && key == "address-data") {
                    int n = 0;
                    for (const auto& d : v.dicts) {
                        const std::string* address = DictMember(d, "address");
                        const std::string* prefix = DictMember(d, "prefix");
                        if (!address || !prefix) {
                            note(key, "an address without its prefix is not read");
                            continue;
                        }
                        std::string line = *address + "/" + *prefix;
                        if (n == 0 && gateway != values.end() && gateway->second.kind == EKind::Text &&
                            !gateway->second.text.empty())
                            line += "," + gateway->second.text;
                        t += StrFormat("address%d=%s\n", ++n, line.c_str());
                    }
                    continue;
                }
                note(key, StrFormat("%zu entries not read", v.dicts.size()));
                continue;
            case EKind::Other:
                // The older forms of the addresses and routes, given beside the newer ones.
                if (v.empty || (ip && (key == "addresses" || key == "routes"))) continue;
                note(key, "a value of type " + v.text + " is not read");
                continue;
        }
        // The address words (stable, random, …) come as assigned-mac-address over the bus; the
        // keyfile keeps them, and a MAC address, as cloned-mac-address.
        const bool assigned = setting == kWifiSetting && key == "assigned-mac-address";
        t += (assigned ? std::string("cloned-mac-address") : key) + "=" + value + "\n";
    }
    return t;
}

struct SKeyType {
    const char* setting;
    const char* key;
    EKind kind;
};

// The D-Bus types of the keyfile settings sent to NetworkManager.
constexpr SKeyType kKeyTypes[] = {
    {"connection", "id", EKind::Text},
    {"connection", "uuid", EKind::Text},
    {"connection", "type", EKind::Text},
    {"connection", "autoconnect", EKind::Bool},
    {"connection", "autoconnect-priority", EKind::Int},
    {"connection", "autoconnect-retries", EKind::Int},
    {"connection", "permissions", EKind::Texts},
    {"connection", "metered", EKind::Int},
    {"connection", "interface-name", EKind::Text},
    {"connection", "zone", EKind::Text},
    {kWifiSetting, "ssid", EKind::Bytes},
    {kWifiSetting, "mode", EKind::Text},
    {kWifiSetting, "band", EKind::Text},
    {kWifiSetting, "channel", EKind::UInt},
    {kWifiSetting, "hidden", EKind::Bool},
    {kWifiSetting, "bssid", EKind::Bytes},
    {kWifiSetting, "mac-address", EKind::Bytes},
    {kWifiSetting, "cloned-mac-address", EKind::Bytes},
    {kWifiSetting, "powersave", EKind::UInt},
    {kWifiSetting, "mtu", EKind::UInt},
    {kSecSetting, "key-mgmt", EKind::Text},
    {kSecSetting, "psk", EKind::Text},
    {kSecSetting, "wep-key0", EKind::Text},
    {kSecSetting, "wep-key1", EKind::Text},
    {kSecSetting, "wep-key2", EKind::Text},
    {kSecSetting, "wep-key3", EKind::Text},
    {kSecSetting, "wep-key-type", EKind::UInt},
    {kSecSetting, "wep-tx-keyidx", EKind::UInt},
    {kSecSetting, "auth-alg", EKind::Text},
    {kSecSetting, "pmf", EKind::Int},
    {kSecSetting, "proto", EKind::Texts},
    {kSecSetting, "pairwise", EKind::Texts},
    {kSecSetting, "group", EKind::Texts},
    {kSecSetting, "psk-flags", EKind::UInt},
    {kSecSetting, "wep-key-flags", EKind::UInt},
    {"802-1x", "eap", EKind::Texts},
    {"802-1x", "identity", EKind::Text},
    {"802-1x", "anonymous-identity", EKind::Text},
    {"802-1x", "password", EKind::Text},
    {"802-1x", "password-flags", EKind::UInt},
    {"802-1x", "private-key-password", EKind::Text},
    {"802-1x", "phase2-auth", EKind::Text},
    {"802-1x", "phase2-autheap", EKind::Text},
    {"802-1x", "domain-suffix-match", EKind::Text},
    {"802-1x", "domain-match", EKind::Text},
    {"802-1x", "system-ca-certs", EKind::Bool},
    {"802-1x", "ca-path", EKind::Text},
    {"802-1x", "ca-cert", EKind::Bytes},
    {"802-1x", "client-cert", EKind::Bytes},
    {"802-1x", "private-key", EKind::Bytes},
    {"ipv4", "method", EKind::Text},
    {"ipv4", "gateway", EKind::Text},
    {"ipv4", "dns", EKind::UInts},
    {"ipv4", "dns-search", EKind::Texts},
    {"ipv4", "ignore-auto-dns", EKind::Bool},
    {"ipv4", "may-fail", EKind::Bool},
    {"ipv4", "never-default", EKind::Bool},
    {"ipv6", "method", EKind::Text},
    {"ipv6", "gateway", EKind::Text},
    {"ipv6", "dns", EKind::ByteLists},
    {"ipv6", "dns-search", EKind::Texts},
    {"ipv6", "ignore-auto-dns", EKind::Bool},
    {"ipv6", "may-fail", EKind::Bool},
    {"ipv6", "never-default", EKind::Bool},
    {"ipv6", "addr-gen-mode", EKind::Int},
};

const SKeyType* KeyType(const std::string& setting, const std::string& key) {
    for (const SKeyType& k : kKeyTypes)
        if (setting == k.setting && key == k.key) return &k;
    return nullptr;
}

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size() || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                         [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = std::stoll(text);
    return out >= low && out <= high;
}

// "ADDRESS/PREFIX[,GATEWAY]" of a keyfile's addressN.
bool ParseAddressLine(const std::string& setting, const std::string& text,
                      std::map<std::string, std::string>& entry, std::string& gateway) {
    const int family = setting == "ipv4" ? AF_INET : AF_INET6;
    std::string rest = text;
    if (const std::size_t comma = rest.find(','); comma != std::string::npos) {
        gateway = rest.substr(comma + 1);
        rest.resize(comma);
        uint8_t buf[16];
        if (::inet_pton(family, gateway.c_str(), buf) != 1) return false;
    }
    const std::size_t slash = rest.find('/');
    const std::string address = rest.substr(0, slash);
    int64_t prefix = family == AF_INET ? 32 : 128;
    if (slash != std::string::npos && !ParseNumber(rest.substr(slash + 1), 0, prefix, prefix)) return false;
    uint8_t buf[16];
    if (::inet_pton(family, address.c_str(), buf) != 1) return false;
    entry = {{"address", address}, {"prefix", std::to_string(prefix)}};
    return true;
}

}  // namespace

std::string NmKeyfileOfBus(const NmBusSettings& settings, std::vector<std::string>& notes) {
    // "[connection]" comes first: several keyfiles in one text are cut apart there.
    std::string t;
    if (const auto it = settings.find("connection"); it != settings.end())
        t += "[connection]\n" + GroupText(it->first, it->second, notes);
    for (const auto& [setting, values] : settings) {
        if (setting == "connection") continue;
        const std::string lines = GroupText(setting, values, notes);
        if (!lines.empty()) t += "\n[" + GroupOf(setting) + "]\n" + lines;
    }
    return t;
}

bool NmBusOfKeyfile(std::string_view keyfile, NmBusSettings& out, std::string& why) {
    out.clear();
    CKeyFile kf;
    if (!kf.Parse(keyfile, why)) return false;
    std::map<std::string, std::string> gateways;  // from the first addressN of ipv4 and ipv6
    for (const SKeyEntry& e : kf.Entries()) {
        const std::string setting = SettingOf(e.group);
        const std::string where = "[" + e.group + "] " + e.key;
        const auto bad = [&](const std::string& what) {
            why = where + ": " + what;
            return false;
        };
        if (e.value.empty()) continue;
        SNmBusValue v;
        if ((setting == "ipv4" || setting == "ipv6") && e.key.rfind("address", 0) == 0 && e.key.size() > 7 &&
            std::all_of(e.key.begin() + 7, e.key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            std::map<std::string, std::string> entry;
            std::string gateway;
            if (!ParseAddressLine(setting, e.value, entry, gateway)) return bad("no address and prefix");
            SNmBusValue& list = out[setting]["address-data"];
            list.kind = EKind::Dicts;
            list.dicts.push_back(std::move(entry));
            if (!gateway.empty() && !gateways.count(setting)) gateways[setting] = gateway;
            continue;
        }
        if (setting == kWifiSetting && e.key == "seen-bssids") continue;  // NetworkManager's state
        if (setting == "connection" && e.key == "timestamp") continue;
        if (setting == kWifiSetting && e.key == "cloned-mac-address" &&
            (e.value == "stable" || e.value == "random" || e.value == "permanent" || e.value == "preserve")) {
            v.kind = EKind::Text;
            v.text = e.value;
            out[setting]["assigned-mac-address"] = std::move(v);
            continue;
        }
        const SKeyType* type = KeyType(setting, e.key);
        if (!type) return bad("NetworkManager is not told this setting by this utility");
        v.kind = type->kind;
        int64_t n = 0;
        switch (type->kind) {
            case EKind::Bool:
                if (e.value != "true" && e.value != "false" && e.value != "1" && e.value != "0")
                    return bad("no true or false");
                v.flag = e.value == "true" || e.value == "1";
                break;
            case EKind::Int:
                if (setting == "ipv6" && e.key == "addr-gen-mode") {
                    static const std::map<std::string, int> kModes = {
                        {"eui64", 0}, {"stable-privacy", 1}, {"default-or-eui64", 2}, {"default", 3}};
                    const auto mode = kModes.find(e.value);
                    if (mode != kModes.end()) {
                        v.number = mode->second;
                        break;
                    }
                }
                if (!ParseNumber(e.value, INT32_MIN, INT32_MAX, n)) return bad("no number");
                v.number = n;
                break;
            case EKind::UInt:
                if (!ParseNumber(e.value, 0, UINT32_MAX, n)) return bad("no number");
                v.unsignedNumber = static_cast<uint64_t>(n);
                break;
            case EKind::Text:
                v.text = setting == "connection" && e.key == "type" && e.value == "wifi" ? kWifiSetting : e.value;
                break;
            case EKind::Bytes:
                if (e.key == "ssid") {
                    std::string ssid;
                    if (!DecodeNmSsid(e.value, ssid)) return bad("a byte above 255");
                    v.bytes.assign(ssid.begin(), ssid.end());
                } else if (IsMacKey(setting, e.key)) {
                    if (!ParseMac(e.value, v.bytes)) return bad("no hardware address");
                } else {
                    if (e.value[0] != '/') return bad("only a file's absolute path is sent");
                    const std::string uri = "file://" + e.value;
                    v.bytes.assign(uri.begin(), uri.end());
                    v.bytes.push_back(0);
                }
                break;
            case EKind::Texts:
                v.texts = NmListItems(e.value);
                break;
            case EKind::UInts:
                for (const std::string& item : NmListItems(e.value)) {
                    uint8_t b[4];
                    if (::inet_pton(AF_INET, item.c_str(), b) != 1) return bad("\"" + item + "\" is no IPv4 address");
                    uint32_t u = 0;
                    std::memcpy(&u, b, 4);
                    v.uints.push_back(u);
                }
                break;
            case EKind::ByteLists:
                for (const std::string& item : NmListItems(e.value)) {
                    uint8_t b[16];
                    if (::inet_pton(AF_INET6, item.c_str(), b) != 1) return bad("\"" + item + "\" is no IPv6 address");
                    v.byteLists.emplace_back(b, b + 16);
                }
                break;
            case EKind::Dicts:
            case EKind::Other:
                return bad("not sent");
        }
        out[setting][e.key] = std::move(v);
    }
    for (const auto& [setting, gateway] : gateways) {
        SNmBusValue& g = out[setting]["gateway"];
        if (g.text.empty()) {
            g.kind = EKind::Text;
            g.text = gateway;
        }
    }
    if (!out.count("connection") || !out["connection"].count("type"))
        return why = "it names no connection type ([connection] type=)", false;
    return true;
}

}  // namespace wavory
