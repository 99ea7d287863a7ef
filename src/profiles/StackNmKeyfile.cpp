// NetworkManager's keyfiles (*.nmconnection): one Wi-Fi connection each, read into a profile and
// written from one.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <random>

#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "profiles/StackFiles.h"
#include "profiles/StackKeyFile.h"
#include "radio/Bands.h"

namespace wavory {

namespace {

constexpr const char* kConn = "connection";
constexpr const char* kWifi = "wifi";
constexpr const char* kSec = "wifi-security";
constexpr const char* kEap = "802-1x";

// A list value ("peap;ttls;"), its "\;" read back as ';'.
}  // namespace

std::vector<std::string> NmListItems(const std::string& value) {
    std::vector<std::string> out;
    std::string item;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
            item += ';';
            ++i;
        } else if (value[i] == ';') {
            if (!item.empty()) out.push_back(item);
            item.clear();
        } else {
            item += value[i];
        }
    }
    if (!item.empty()) out.push_back(item);
    return out;
}

static std::string Unsemicolon(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') ++i;
        out += value[i];
    }
    return out;
}

// An SSID as NetworkManager writes it: text, or its bytes as decimal numbers each ended by ';'
// when it is no printable text.
bool DecodeNmSsid(const std::string& value, std::string& ssid) {
    const bool list =
        value.find(';') != std::string::npos &&
        std::all_of(value.begin(), value.end(), [](char c) { return (c >= '0' && c <= '9') || c == ';'; });
    if (!list) {
        ssid = Unsemicolon(value);
        return true;
    }
    ssid.clear();
    for (const std::string& item : NmListItems(value)) {
        if (item.size() > 3 || std::stoi(item) > 255) return false;
        ssid += static_cast<char>(std::stoi(item));
    }
    return true;
}

namespace {

bool IsUtf8Text(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return false;
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2) ||
            i + static_cast<std::size_t>(extra) >= s.size() + (extra ? 0 : 1))
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string EncodeSsid(const std::string& ssid) {
    if (IsUtf8Text(ssid)) {
        std::string out;
        for (char c : EscapeKeyValue(ssid)) out += c == ';' ? std::string("\\;") : std::string(1, c);
        return out;
    }
    std::string out;
    for (char c : ssid) out += std::to_string(static_cast<unsigned char>(c)) + ";";
    return out;
}

int EapMethodOfName(const std::string& name) {
    if (name == "peap") return KCOM_EAP_PEAP;
    if (name == "ttls") return KCOM_EAP_TTLS;
    if (name == "tls") return KCOM_EAP_TLS;
    if (name == "pwd") return KCOM_EAP_PWD;
    return 0;
}

const char* EapMethodWord(int method) {
    switch (method) {
        case KCOM_EAP_PEAP:
            return "peap";
        case KCOM_EAP_TTLS:
            return "ttls";
        case KCOM_EAP_TLS:
            return "tls";
        case KCOM_EAP_PWD:
            return "pwd";
        default:
            return nullptr;
    }
}

int Phase2OfName(const std::string& name) {
    if (name == "mschapv2") return KCOM_PHASE2_MSCHAPV2;
    if (name == "pap") return KCOM_PHASE2_PAP;
    if (name == "gtc") return KCOM_PHASE2_GTC;
    if (name == "chap") return KCOM_PHASE2_CHAP;
    return -1;
}

const char* Phase2Word(int phase2) {
    switch (phase2) {
        case KCOM_PHASE2_MSCHAPV2:
            return "mschapv2";
        case KCOM_PHASE2_PAP:
            return "pap";
        case KCOM_PHASE2_GTC:
            return "gtc";
        case KCOM_PHASE2_CHAP:
            return "chap";
        default:
            return nullptr;
    }
}

bool ParseInt(const std::string& s, int& out) {
    if (s.empty() || s.size() > 10) return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = static_cast<int>(s[0] == '-' ? -v : v);
    return true;
}

// A certificate or key: a path, plain or as a file:// URI; anything else (a blob) is named.
void TakeCert(CKeyFile& kf, const char* key, std::string& field, SStackNetwork& net) {
    const std::string* v = kf.Take(kEap, key);
    if (!v) return;
    std::string path = *v;
    if (path.rfind("file://", 0) == 0) path.erase(0, 7);
    if (!path.empty() && path.back() == '\0') path.pop_back();
    if (path.empty() || path.front() != '/')
        net.notes.push_back(StrFormat("[802-1x] %s not kept: only an absolute file path is", key));
    else
        field = path;
}

void ReadEap(CKeyFile& kf, CProfile& p, SStackNetwork& net) {
    if (const std::string* eap = kf.Take(kEap, "eap")) {
        for (const std::string& m : NmListItems(*eap)) {
            if (p.EapMethod == 0)
                p.EapMethod = EapMethodOfName(m);
            else
                net.notes.push_back("EAP method " + m + " not kept: a profile takes one method");
        }
    }
    if (p.EapMethod == 0) {
        net.refusal = "its 802.1X method is none the utility runs (peap, ttls, tls, pwd)";
        return;
    }
    if (const std::string* v = kf.Take(kEap, "identity")) p.EapIdentity = *v;
    if (const std::string* v = kf.Take(kEap, "anonymous-identity")) p.EapAnonIdentity = *v;
    if (const std::string* v = kf.Take(kEap, "domain-suffix-match")) p.EapDomain = *v;
    if (const std::string* v = kf.Take(kEap, "password")) p.EapPassword = *v;
    if (const std::string* v = kf.Take(kEap, "private-key-password")) p.EapKeyPassword = *v;
    kf.Take(kEap, "password-flags");
    kf.Take(kEap, "private-key-password-flags");
    std::string bad;
    p.EapSystemCa = kf.TakeBool(kEap, "system-ca-certs", false, bad);
    if (!bad.empty()) net.notes.push_back(bad);
    TakeCert(kf, "ca-cert", p.EapCaCert, net);
    TakeCert(kf, "client-cert", p.EapClientCert, net);
    TakeCert(kf, "private-key", p.EapPrivateKey, net);
    for (const char* key : {"phase2-auth", "phase2-autheap"}) {
        const std::string* v = kf.Take(kEap, key);
        if (!v) continue;
        const int inner = Phase2OfName(*v);
        if (inner >= 0 && p.EapPhase2 == 0 && kccl::EapPhase2Fits(p.EapMethod, inner))
            p.EapPhase2 = inner;
        else
            net.notes.push_back(StrFormat("[802-1x] %s=%s not kept", key, v->c_str()));
    }
    if (p.EapCaCert.empty() && !p.EapSystemCa && p.EapDomain.empty()) {
        p.EapNoCaCheck = true;
        net.notes.push_back("the server is not checked (no CA certificate nor domain), as in the file");
    }
}

void ReadSecurity(CKeyFile& kf, CProfile& p, SStackNetwork& net) {
    const std::string* km = kf.Take(kSec, "key-mgmt");
    if (!km) {
        if (kf.HasGroup(kSec)) net.refusal = "[wifi-security] names no key-mgmt";
        return;  // an open network
    }
    const std::string* pmf = kf.Take(kSec, "pmf");
    if (*km == "wpa-psk")
        p.WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    else if (*km == "sae")
        p.WpaMode = KCOM_SECURITY_MODE_WPA3_PERSONAL;
    else if (*km == "owe")
        p.WpaMode = KCOM_SECURITY_MODE_OWE;
    else if (*km == "wpa-eap")
        p.WpaMode =
            pmf && *pmf == "3" ? KCOM_SECURITY_MODE_WPA3_ENTERPRISE : KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    else if (*km == "wpa-eap-suite-b-192") {
        p.WpaMode = KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
        net.notes.push_back("key-mgmt=wpa-eap-suite-b-192 kept as WPA3-Enterprise without the 192-bit mode");
    } else if (*km == "ieee8021x") {
        net.refusal = "dynamic WEP (key-mgmt=ieee8021x) is not a security the utility joins with";
        return;
    } else if (*km != "none") {
        net.refusal = "its key management (key-mgmt=" + *km + ") is none the utility knows";
        return;
    }
    if (pmf && p.WpaMode != KCOM_SECURITY_MODE_WPA2_PERSONAL &&
        p.WpaMode != KCOM_SECURITY_MODE_WPA2_ENTERPRISE)
        pmf = nullptr;  // implied by the mode
    if (pmf && *pmf != "0" && *pmf != "1")
        net.notes.push_back("pmf=" + *pmf + " not kept: protected frames follow the security kind");
    if (const std::string* alg = kf.Take(kSec, "auth-alg"); alg && *alg != "open")
        net.notes.push_back("auth-alg=" + *alg + " not kept: open authentication is used");
    if (p.WpaMode == KCOM_SECURITY_MODE_WPA2_PERSONAL || p.WpaMode == KCOM_SECURITY_MODE_WPA3_PERSONAL) {
        const std::string* flags = kf.Take(kSec, "psk-flags");
        if (const std::string* psk = kf.Take(kSec, "psk"))
            p.WpaPassphrase = *psk;
        else if (flags && *flags != "0")
            net.notes.push_back(
                "the passphrase is kept by a secret agent, not in the file: it is asked for when the network "
                "is joined");
        else
            net.notes.push_back("no passphrase in the file: it is asked for when the network is joined");
    }
    if (IsEnterpriseProfile(p)) ReadEap(kf, p, net);
    if (*km != "none") return;
    // key-mgmt=none is WEP.
    const std::string* type = kf.Take(kSec, "wep-key-type");
    if (type && *type == "2") {
        net.refusal =
            "its WEP key is a passphrase (wep-key-type=2), which the utility cannot turn into a key";
        return;
    }
    kf.Take(kSec, "wep-key-flags");
    bool anyKey = false;
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        const std::string* key = kf.Take(kSec, StrFormat("wep-key%d", i));
        if (!key) continue;
        std::string digits;
        if (!WepKeyDigits(*key, true, digits)) {
            net.refusal = StrFormat(
                "wep-key%d is not a 40- or 104-bit key (5 or 13 characters, 10 or 26 hexadecimal digits)", i);
            return;
        }
        p.SecKey[static_cast<std::size_t>(i)] = digits;
        p.SecKeyLen[static_cast<std::size_t>(i)] = digits.size() == 10 ? 0 : 1;
        anyKey = true;
    }
    p.SecType = 1;
    p.ActiveSecKey = 0;
    if (const std::string* idx = kf.Take(kSec, "wep-tx-keyidx")) {
        if (*idx == "0" || *idx == "1" || *idx == "2" || *idx == "3")
            p.ActiveSecKey = (*idx)[0] - '0';
        else
            net.notes.push_back("wep-tx-keyidx=" + *idx + " not kept: key 0 is used");
    }
    if (!anyKey)
        net.notes.push_back("no WEP key in the file: it is asked for when the network is joined");
    else if (p.SecKey[static_cast<std::size_t>(p.ActiveSecKey)].empty())
        net.refusal = StrFormat("wep-tx-keyidx names key %d, which the file does not give", p.ActiveSecKey);
}

// The hardware address, metered, and fixed addresses and name servers, where a profile can keep them.
void ReadNetSettings(CKeyFile& kf, CProfile& p, SStackNetwork& net) {
    if (const std::string* mac = kf.Take(kWifi, "cloned-mac-address")) {
        const int mode = *mac == "permanent" ? KCOM_MAC_DEVICE
                         : *mac == "stable"  ? KCOM_MAC_STABLE
                         : *mac == "random"  ? KCOM_MAC_RANDOM
                                             : -1;
        if (mode > 0)
            p.MacAddress = mode;
        else
            net.notes.push_back("cloned-mac-address=" + *mac +
                                " not kept: a profile keeps permanent, stable or random");
    }
    if (const std::string* metered = kf.Take(kConn, "metered"))
        p.Metered = *metered == "1" || *metered == "yes" || *metered == "true";
    CProfile fixed("", false);
    for (const bool v6 : {false, true}) {
        const char* group = v6 ? "ipv6" : "ipv4";
        std::string& address = v6 ? fixed.IPv6Address : fixed.IPv4Address;
        std::string& gateway = v6 ? fixed.IPv6Gateway : fixed.IPv4Gateway;
        const std::string* method = kf.Take(group, "method");
        if (method && *method == "manual") {
            // "address1=ADDR/PREFIX[,GATEWAY]"; a second address is more than a profile keeps.
            if (const std::string* first = kf.Take(group, "address1")) {
                const std::size_t comma = first->find(',');
                address = first->substr(0, comma);
                if (comma != std::string::npos) gateway = first->substr(comma + 1);
            }
            if (const std::string* g = kf.Take(group, "gateway")) gateway = *g;
            if (kf.Take(group, "address2"))
                net.notes.push_back(
                    StrFormat("[%s] address2 and later not kept: a profile keeps one address", group));
        } else if (method && *method != "auto" && *method != "ignore" && *method != "disabled") {
            net.notes.push_back(
                StrFormat("[%s] method=%s not kept: a profile has automatic or fixed addresses", group,
                          method->c_str()));
        }
        if (const std::string* dns = kf.Take(group, "dns")) {
            for (const std::string& server : kccl::SplitAddressList(*dns))
                fixed.DnsServers += (fixed.DnsServers.empty() ? "" : " ") + server;
        }
        kf.Take(group, "ignore-auto-dns");
    }
    kf.Take("ipv6", "addr-gen-mode");
    if (std::string problem = CheckNetLimits(fixed); !problem.empty()) {
        net.notes.push_back("fixed addresses not kept: " + problem);
        return;
    }
    p.IPv4Address = fixed.IPv4Address;
    p.IPv4Gateway = fixed.IPv4Gateway;
    p.IPv6Address = fixed.IPv6Address;
    p.IPv6Gateway = fixed.IPv6Gateway;
    p.DnsServers = fixed.DnsServers;
}

// One family's addressing as the keyfile writes it.
std::string NetGroupText(const CProfile& p, bool v6) {
    const std::string& address = v6 ? p.IPv6Address : p.IPv4Address;
    const std::string& gateway = v6 ? p.IPv6Gateway : p.IPv4Gateway;
    std::string dns;
    for (const std::string& server : kccl::SplitAddressList(p.DnsServers))
        if (kccl::ParseIpAddress(server, v6 ? AF_INET6 : AF_INET, false)) dns += server + ";";
    std::string t = v6 ? "\n[ipv6]\naddr-gen-mode=default\n" : "\n[ipv4]\n";
    if (!address.empty()) t += "address1=" + address + (gateway.empty() ? "" : "," + gateway) + "\n";
    if (!dns.empty()) t += "dns=" + dns + "\nignore-auto-dns=true\n";
    t += std::string("method=") + (address.empty() ? "auto" : "manual") + "\n";
    return t;
}

}  // namespace

SStackNetwork ReadNmKeyfile(std::string_view text, const std::string& where) {
    SStackNetwork net;
    net.where = where;
    CKeyFile kf;
    std::string error;
    if (!kf.Parse(text, error)) return net.refusal = error, net;
    kf.RenameGroup("802-11-wireless", kWifi);
    kf.RenameGroup("802-11-wireless-security", kSec);
    const std::string* type = kf.Take(kConn, "type");
    if (!type) return net.refusal = "it names no connection type ([connection] type=)", net;
    if (*type != "wifi" && *type != "802-11-wireless")
        return net.refusal = "it is no Wi-Fi connection (type=" + *type + ")", net;
    auto p = NewStackProfile();
    if (const std::string* id = kf.Take(kConn, "id")) p->ProfName = *id;
    kf.Take(kConn, "uuid");       // NetworkManager's own handle of the connection
    kf.Take(kConn, "timestamp");  // when it was last used
    std::string bad;
    net.autoConnect = kf.TakeBool(kConn, "autoconnect", true, bad);
    if (const std::string* pri = kf.Take(kConn, "autoconnect-priority"); pri && !ParseInt(*pri, net.priority))
        net.notes.push_back("autoconnect-priority=" + *pri + " not kept: it is no number");
    const std::string* ssid = kf.Take(kWifi, "ssid");
    if (!ssid) return net.refusal = "it names no network ([wifi] ssid=)", net;
    if (!DecodeNmSsid(*ssid, p->NetName))
        return net.refusal = "its ssid byte list holds a number above 255", net;
    if (p->ProfName.empty()) p->ProfName = p->NetName;
    if (const std::string* mode = kf.Take(kWifi, "mode")) {
        if (*mode == "adhoc")
            p->NetMode = false;
        else if (*mode != "infrastructure")
            return net.refusal = "it is an access point or mesh (mode=" + *mode + "), not a network to join",
                   net;
    }
    if (kf.TakeBool(kWifi, "hidden", false, bad))
        net.notes.push_back("hidden=true not kept: the utility finds a hidden network without it");
    const std::string* band = kf.Take(kWifi, "band");
    if (const std::string* channel = kf.Take(kWifi, "channel"); channel && *channel != "0") {
        int number = 0;
        const int phy = band && *band == "a" ? 0 : 1;
        const int mhz = ParseInt(*channel, number) && number > 0 && number < 200
                            ? (phy == 0 ? 5000 + 5 * number : (number == 14 ? 2484 : 2407 + 5 * number))
                            : 0;
        if (!p->NetMode && mhz != 0 && kccl::FrequencyToChannel(mhz) == number) {
            p->PhyType = phy;
            p->PhyFreq = mhz;
            p->PhyChnl = ChannelNumberToIndex(phy, number);
        } else {
            net.notes.push_back("channel=" + *channel +
                                " not kept: a profile keeps the channel of an ad-hoc network only");
        }
    }
    // On an infrastructure network the band is a hard lock; the nearest a profile keeps is the
    // preference for 5/6 GHz.
    if (band && p->NetMode) {
        if (*band == "a") {
            p->PreferHighBand = true;
            net.notes.push_back(
                "band=a kept as a preference for 5/6 GHz: 2.4 GHz stays possible where 5 GHz is weak");
        } else {
            net.notes.push_back("band=" + *band + " not kept: a profile prefers 5/6 GHz or no band");
        }
    }
    if (const std::string* bssid = kf.Take(kWifi, "bssid")) {
        if (std::string problem = kccl::CheckPinText(*bssid); problem.empty() && p->NetMode)
            p->PinnedBssid = kccl::MacText(*kccl::ParseMac(*bssid));
        else
            net.notes.push_back("bssid=" + *bssid + " not kept: " +
                                (problem.empty() ? std::string("an ad-hoc cell is not pinned") : problem));
    }
    if (!bad.empty()) net.notes.push_back(bad);
    kf.Take(kWifi, "seen-bssids");  // where NetworkManager last saw the network: state, no setting
    ReadNetSettings(kf, *p, net);
    ReadSecurity(kf, *p, net);
    if (!net.refusal.empty()) return net;
    for (const std::string& rest : kf.Unused())
        net.notes.push_back(rest + " not kept: a profile has no such setting");
    FinishStackNetwork(net, p);
    return net;
}

std::vector<std::string_view> SplitNmKeyfiles(std::string_view text) {
    std::vector<std::string_view> files;
    std::size_t start = 0, pos = 0;
    bool seen = false;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line == "[connection]") {
            if (seen) {
                files.push_back(text.substr(start, pos - start));
                start = pos;
            }
            seen = true;
        }
        pos = end + 1;
    }
    files.push_back(text.substr(start));
    return files;
}

SStackFile WriteNmKeyfile(const CProfile& p) {
    SStackFile file;
    file.name = SafeFileName(p.ProfName) + ".nmconnection";
    if (p.Hotspot) return file.refusal = kHotspotNotWritten, file;
    std::mt19937_64 random{std::random_device{}()};
    const auto r1 = random(), r2 = random();
    const std::string uuid =
        StrFormat("%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(r1 >> 32),
                  static_cast<unsigned>((r1 >> 16) & 0xFFFF), static_cast<unsigned>(r1 & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((r2 >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(r2 & 0xFFFFFFFFFFFFULL));
    std::string& t = file.text;
    const auto line = [&t](const std::string& key, const std::string& value) {
        t += key + "=" + value + "\n";
    };
    const auto text = [&](const std::string& key, const std::string& value) {
        if (!value.empty()) line(key, EscapeKeyValue(value));
    };
    t = "[connection]\n";
    text("id", p.ProfName);
    line("uuid", uuid);
    line("type", "wifi");
    if (p.AutoSelect && p.Priority >= 0)
        line("autoconnect-priority", std::to_string(std::max(0, 999 - p.Priority)));
    else
        line("autoconnect", "false");
    if (p.Metered) line("metered", "1");
    t += "\n[wifi]\n";
    if (p.MacAddress == KCOM_MAC_DEVICE) line("cloned-mac-address", "permanent");
    if (p.MacAddress == KCOM_MAC_STABLE) line("cloned-mac-address", "stable");
    if (p.MacAddress == KCOM_MAC_RANDOM) line("cloned-mac-address", "random");
    line("mode", p.NetMode ? "infrastructure" : "adhoc");
    line("ssid", EncodeSsid(p.NetName));
    if (p.NetMode && !p.PinnedBssid.empty()) {
        // NetworkManager writes BSSIDs in capitals.
        std::string upper = p.PinnedBssid;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        line("bssid", upper);
    }
    if (p.PreferHighBand)
        file.notes.push_back(
            "the 5/6 GHz preference not written: NetworkManager's band is a hard limit, which would keep the "
            "network off 2.4 GHz even where 5 GHz is weak");
    if (!p.NetMode && p.PhyFreq != 0) {
        line("band", kccl::BandOfFrequency(p.PhyFreq) == kccl::EBand::Band2G4 ? "bg" : "a");
        line("channel", std::to_string(kccl::FrequencyToChannel(p.PhyFreq)));
        if (kccl::BandOfFrequency(p.PhyFreq) == kccl::EBand::Band6G)
            file.notes.push_back(
                "the 6 GHz channel is written as a 5 GHz one: keyfiles name bands a and bg only");
    }
    const int mode = p.WpaMode;
    const bool legacyWpa = mode == 0 && (p.SecType == 2 || p.SecType == 3);
    std::string km;
    if (mode == KCOM_SECURITY_MODE_WPA2_PERSONAL || legacyWpa)
        km = "wpa-psk";
    else if (mode == KCOM_SECURITY_MODE_WPA3_PERSONAL)
        km = "sae";
    else if (mode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL) {
        km = "wpa-psk";
        file.notes.push_back(
            "WPA2/WPA3 written as wpa-psk: NetworkManager then joins with WPA3 where it can");
    } else if (mode == KCOM_SECURITY_MODE_OWE)
        km = "owe";
    else if (IsEnterpriseProfile(p))
        km = "wpa-eap";
    else if (p.SecType == 1)
        km = "none";
    if (!km.empty()) {
        t += "\n[wifi-security]\n";
        line("key-mgmt", km);
        if (mode == KCOM_SECURITY_MODE_WPA3_ENTERPRISE) line("pmf", "3");
        if (km == "wpa-psk" || km == "sae") text("psk", p.WpaPassphrase);
        if (km == "none") {
            if (p.Use802_1)
                file.notes.push_back(
                    "802.1X with WEP not written: the keys are written, the 802.1X part is not");
            for (std::size_t i = 0; i < p.SecKey.size(); ++i)
                if (!p.SecKey[i].empty()) line(StrFormat("wep-key%zu", i), p.SecKey[i]);
            line("wep-key-type", "1");
            if (p.ActiveSecKey > 0) line("wep-tx-keyidx", std::to_string(p.ActiveSecKey));
        }
    }
    if (IsEnterpriseProfile(p)) {
        NoteUncheckedServer(p, file.notes);
        t += "\n[802-1x]\n";
        if (const char* m = EapMethodWord(p.EapMethod)) line("eap", std::string(m) + ";");
        text("identity", p.EapIdentity);
        text("anonymous-identity", p.EapAnonIdentity);
        text("ca-cert", p.EapCaCert);
        if (p.EapSystemCa) line("system-ca-certs", "true");
        text("domain-suffix-match", p.EapDomain);
        if (const char* inner = Phase2Word(p.EapPhase2))
            line(p.EapPhase2 == KCOM_PHASE2_GTC ? "phase2-autheap" : "phase2-auth", inner);
        if (p.EapMethod == KCOM_EAP_TLS) {
            text("client-cert", p.EapClientCert);
            text("private-key", p.EapPrivateKey);
            text("private-key-password", p.EapKeyPassword);
        } else {
            text("password", p.EapPassword);
        }
    }
    t += NetGroupText(p, false) + NetGroupText(p, true);
    return file;
}

}  // namespace wavory
