// wpa_supplicant.conf: its network={ … } blocks read into profiles and written from them. Lines
// outside the blocks (ctrl_interface, country, …) configure the daemon, not a network: they are
// passed over.
#include <algorithm>
#include <map>
#include <optional>

#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"
#include "profiles/StackFiles.h"
#include "profiles/StackKeyFile.h"
#include "radio/Bands.h"
#include "radio/NetSettings.h"

namespace wavory {

namespace {

struct SBlock {
    std::vector<std::pair<std::string, std::string>> lines;  // key, raw value, in file order
    std::map<std::string, std::size_t> index;                // key -> last line of it
    std::vector<bool> used;
    const std::string* Take(const std::string& key) {
        auto it = index.find(key);
        if (it == index.end()) return nullptr;
        used[it->second] = true;
        return &lines[it->second].second;
    }
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The printf-style escapes of a P"…" value.
bool UnescapePrintf(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        const char c = in[i];
        switch (c) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'e':
                out += '\x1b';
                break;
            case 'x': {
                std::string byte;
                if (i + 2 >= in.size()) return false;
                if (!FromHex(in.substr(i + 1, 2), byte)) return false;
                out += byte;
                i += 2;
                break;
            }
            default: {
                if (c < '0' || c > '7') return false;
                int v = 0, n = 0;
                while (n < 3 && i < in.size() && in[i] >= '0' && in[i] <= '7')
                    v = v * 8 + (in[i++] - '0'), ++n;
                --i;
                if (v > 255) return false;
                out += static_cast<char>(v);
            }
        }
    }
    return true;
}

enum class EStr { Any, TextOnly };

// A string value: "text" (up to the last quote, as wpa_supplicant reads it), P"escaped text", or
// hexadecimal bytes (unless only text is taken). False with the reason when it is none of these.
bool ParseString(const std::string& raw, std::string& out, std::string& why, EStr kind = EStr::Any) {
    if (raw.size() >= 2 && raw.front() == '"') {
        const std::size_t last = raw.rfind('"');
        if (last == 0) return why = "an opening quote is not closed", false;
        out = raw.substr(1, last - 1);
        return true;
    }
    if (raw.size() >= 3 && raw[0] == 'P' && raw[1] == '"' && raw.back() == '"') {
        if (!UnescapePrintf(std::string_view(raw).substr(2, raw.size() - 3), out))
            return why = "it holds a bad escape", false;
        return true;
    }
    if (kind == EStr::Any && FromHex(raw, out)) return true;
    why = kind == EStr::Any ? "it is neither quoted text nor hexadecimal bytes" : "it is not quoted text";
    return false;
}

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        std::size_t j = i;
        while (j < s.size() && s[j] != ' ') ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

bool Has(const std::vector<std::string>& words, std::string_view w) {
    return std::find(words.begin(), words.end(), w) != words.end();
}

int EapMethodOfName(const std::string& name) {
    if (name == "PEAP") return KCOM_EAP_PEAP;
    if (name == "TTLS") return KCOM_EAP_TTLS;
    if (name == "TLS") return KCOM_EAP_TLS;
    if (name == "PWD") return KCOM_EAP_PWD;
    return 0;
}

int Phase2OfName(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    if (name == "MSCHAPV2") return KCOM_PHASE2_MSCHAPV2;
    if (name == "PAP") return KCOM_PHASE2_PAP;
    if (name == "GTC") return KCOM_PHASE2_GTC;
    if (name == "CHAP") return KCOM_PHASE2_CHAP;
    return -1;
}

// A file path of the 802.1X settings: an absolute path is kept, anything else (a blob, a
// relative path) is named.
void TakePath(SBlock& b, const char* key, std::string& field, SStackNetwork& net) {
    const std::string* raw = b.Take(key);
    if (!raw) return;
    std::string path, why;
    if (!ParseString(*raw, path, why, EStr::TextOnly)) {
        net.notes.push_back(StrFormat("%s not kept: %s", key, why.c_str()));
    } else if (path.empty() || path.front() != '/') {
        net.notes.push_back(
            StrFormat("%s=\"%s\" not kept: only an absolute file path is", key, path.c_str()));
    } else {
        field = path;
    }
}

void TakeText(SBlock& b, const char* key, std::string& field, SStackNetwork& net) {
    const std::string* raw = b.Take(key);
    if (!raw) return;
    std::string why;
    if (!ParseString(*raw, field, why, EStr::TextOnly))
        net.notes.push_back(StrFormat("%s not kept: %s", key, why.c_str()));
}

void ReadEap(SBlock& b, CProfile& p, SStackNetwork& net) {
    if (const std::string* eap = b.Take("eap")) {
        const std::vector<std::string> methods = Words(*eap);
        for (const std::string& m : methods) {
            if (p.EapMethod == 0)
                p.EapMethod = EapMethodOfName(m);
            else
                net.notes.push_back("EAP method " + m + " not kept: a profile takes one method");
        }
        if (p.EapMethod == 0) {
            net.refusal =
                "its 802.1X method (eap=" + *eap + ") is none the utility runs (PEAP, TTLS, TLS, PWD)";
            return;
        }
    } else {
        p.EapMethod = KCOM_EAP_PEAP;
        net.notes.push_back("no eap= given: PEAP assumed");
    }
    TakeText(b, "identity", p.EapIdentity, net);
    TakeText(b, "anonymous_identity", p.EapAnonIdentity, net);
    TakePath(b, "ca_cert", p.EapCaCert, net);
    TakePath(b, "client_cert", p.EapClientCert, net);
    TakePath(b, "private_key", p.EapPrivateKey, net);
    TakeText(b, "private_key_passwd", p.EapKeyPassword, net);
    TakeText(b, "domain_suffix_match", p.EapDomain, net);
    if (const std::string* caPath = b.Take("ca_path")) {
        std::string path, why;
        if (ParseString(*caPath, path, why, EStr::TextOnly) && path.rfind("/etc/ssl/certs", 0) == 0)
            p.EapSystemCa = true;
        else
            net.notes.push_back("ca_path=" + *caPath +
                                " not kept: only the system's CA store (/etc/ssl/certs) is");
    }
    if (const std::string* pw = b.Take("password")) {
        std::string text, why;
        if (pw->rfind("hash:", 0) == 0)
            net.notes.push_back(
                "password not kept: it is stored as a hash; it is asked for when the network is joined");
        else if (ParseString(*pw, text, why, EStr::TextOnly))
            p.EapPassword = text;
        else
            net.notes.push_back("password not kept: " + why);
    }
    if (const std::string* phase2 = b.Take("phase2")) {
        std::string text, why;
        if (ParseString(*phase2, text, why, EStr::TextOnly)) {
            for (const std::string& w : Words(text)) {
                const std::size_t eq = w.find('=');
                const int inner = eq == std::string::npos ? -1 : Phase2OfName(w.substr(eq + 1));
                if (inner >= 0 && p.EapPhase2 == 0 && kccl::EapPhase2Fits(p.EapMethod, inner))
                    p.EapPhase2 = inner;
                else
                    net.notes.push_back(
                        "phase2 " + w +
                        " not kept: a profile takes one inner method, of those its method runs");
            }
        } else {
            net.notes.push_back("phase2 not kept: " + why);
        }
    }
    if (p.EapCaCert.empty() && !p.EapSystemCa && p.EapDomain.empty()) {
        p.EapNoCaCheck = true;
        net.notes.push_back("the server is not checked (no ca_cert nor domain_suffix_match), as in the file");
    }
}

void ReadSecurity(SBlock& b, CProfile& p, SStackNetwork& net) {
    const std::string* km = b.Take("key_mgmt");
    const std::vector<std::string> mgmt = km ? Words(*km) : std::vector<std::string>{"WPA-PSK", "WPA-EAP"};
    const std::string* psk = b.Take("psk");
    const std::string* sae = b.Take("sae_password");
    const bool pskKind = Has(mgmt, "WPA-PSK") || Has(mgmt, "WPA-PSK-SHA256") || Has(mgmt, "FT-PSK");
    const bool saeKind = Has(mgmt, "SAE") || Has(mgmt, "FT-SAE");
    const bool eapKind = Has(mgmt, "WPA-EAP") || Has(mgmt, "WPA-EAP-SHA256") || Has(mgmt, "FT-EAP");
    const bool eapGiven = b.index.count("eap") || b.index.count("identity");
    const std::string* pmf = b.Take("ieee80211w");
    std::vector<std::string> known;

    // The default key_mgmt allows both PSK and EAP: the settings given decide.
    if (eapKind && (eapGiven || !(pskKind || saeKind))) {
        const bool wpa3 = Has(mgmt, "WPA-EAP-SHA256") && (!Has(mgmt, "WPA-EAP") || (pmf && *pmf == "2"));
        p.WpaMode = wpa3 ? KCOM_SECURITY_MODE_WPA3_ENTERPRISE : KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
        known = {"WPA-EAP", "WPA-EAP-SHA256", "FT-EAP"};
        ReadEap(b, p, net);
        if (!net.refusal.empty()) return;
    }
    if (p.WpaMode == 0 && (pskKind || saeKind)) {
        p.WpaMode = pskKind && saeKind ? KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL
                    : saeKind          ? KCOM_SECURITY_MODE_WPA3_PERSONAL
                                       : KCOM_SECURITY_MODE_WPA2_PERSONAL;
        known = {"WPA-PSK", "WPA-PSK-SHA256", "FT-PSK", "SAE", "FT-SAE"};
        const std::string* secret = saeKind && sae ? sae : psk;
        if (saeKind && sae && psk) net.notes.push_back("psk not kept: sae_password is used for both");
        if (secret) {
            std::string why;
            if (secret->size() == 64 && secret->front() != '"') {
                p.WpaPassphrase = *secret;  // the PSK itself, 64 hexadecimal digits
            } else if (!ParseString(*secret, p.WpaPassphrase, why, EStr::TextOnly)) {
                net.refusal = "its passphrase cannot be read: " + why;
                return;
            }
        } else {
            net.notes.push_back("no passphrase in the file: it is asked for when the network is joined");
        }
    }
    if (p.WpaMode == 0 && Has(mgmt, "OWE")) {
        p.WpaMode = KCOM_SECURITY_MODE_OWE;
        known = {"OWE"};
    }
    if (p.WpaMode == 0 && Has(mgmt, "IEEE8021X")) {
        net.refusal = "dynamic WEP (key_mgmt=IEEE8021X) is not a security the utility joins with";
        return;
    }
    if (p.WpaMode == 0 && !Has(mgmt, "NONE")) {
        net.refusal =
            "its key management (key_mgmt=" + (km ? *km : std::string()) + ") is none the utility knows";
        return;
    }
    if (p.WpaMode == 0) known = {"NONE"};
    for (const std::string& m : mgmt)
        if (km && !Has(known, m))
            net.notes.push_back("key_mgmt " + m + " not kept: the profile joins with one kind");
    // Protected management frames go with the mode (required for WPA3 and OWE).
    if (pmf && p.WpaMode != KCOM_SECURITY_MODE_WPA2_PERSONAL &&
        p.WpaMode != KCOM_SECURITY_MODE_WPA2_ENTERPRISE && p.WpaMode != 0)
        pmf = nullptr;
    if (pmf)
        net.notes.push_back("ieee80211w=" + *pmf + " not kept: protected frames follow the security kind");

    // WEP keys, where the network has no WPA.
    bool anyKey = false;
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        const std::string key = StrFormat("wep_key%d", i);
        const std::string* raw = b.Take(key);
        if (!raw) continue;
        std::string value, digits, why;
        if (p.WpaMode != 0) {
            net.notes.push_back(key + " not kept: the network uses WPA");
            continue;
        }
        const bool quoted = !raw->empty() && raw->front() == '"';
        if (quoted ? !ParseString(*raw, value, why, EStr::TextOnly) : (value = *raw, false)) {
            net.refusal = key + " cannot be read: " + why;
            return;
        }
        if (!WepKeyDigits(value, quoted, digits)) {
            net.refusal =
                key + " is not a 40- or 104-bit key (5 or 13 characters, 10 or 26 hexadecimal digits)";
            return;
        }
        p.SecKey[static_cast<std::size_t>(i)] = digits;
        p.SecKeyLen[static_cast<std::size_t>(i)] = digits.size() == 10 ? 0 : 1;
        anyKey = true;
    }
    if (anyKey) {
        p.SecType = 1;
        p.ActiveSecKey = 0;
        if (const std::string* idx = b.Take("wep_tx_keyidx")) {
            if (*idx == "0" || *idx == "1" || *idx == "2" || *idx == "3")
                p.ActiveSecKey = (*idx)[0] - '0';
            else
                net.notes.push_back("wep_tx_keyidx=" + *idx + " not kept: key 0 is used");
        }
        if (p.SecKey[static_cast<std::size_t>(p.ActiveSecKey)].empty()) {
            net.refusal =
                StrFormat("wep_tx_keyidx names key %d, which the network does not give", p.ActiveSecKey);
            return;
        }
    }
}

bool ParseInt(const std::string& s, int lo, int hi, int& out) {
    if (s.empty() || s.size() > 10) return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (s[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

SStackNetwork ReadBlock(SBlock& b, int number) {
    SStackNetwork net;
    auto p = NewStackProfile();
    net.where = StrFormat("network %d", number);
    if (const std::string* ssid = b.Take("ssid")) {
        std::string why;
        if (!ParseString(*ssid, p->NetName, why)) {
            net.refusal = "its ssid cannot be read: " + why;
            return net;
        }
        net.where += " (\"" + p->NetName + "\")";
    }
    p->ProfName = p->NetName;
    if (const std::string* id = b.Take("id_str")) {
        std::string name, why;
        if (ParseString(*id, name, why, EStr::TextOnly) && !name.empty()) p->ProfName = name;
    }
    if (const std::string* mode = b.Take("mode")) {
        if (*mode == "1") {
            p->NetMode = false;
        } else if (*mode != "0") {
            net.refusal = "it is an access point or P2P group (mode=" + *mode + "), not a network to join";
            return net;
        }
    }
    if (const std::string* freq = b.Take("frequency")) {
        int mhz = 0;
        if (!p->NetMode && ParseInt(*freq, 1, 100000, mhz) && kccl::FrequencyToChannel(mhz) != 0) {
            p->PhyType = kccl::BandOfFrequency(mhz) == kccl::EBand::Band2G4 ? 1 : 0;
            p->PhyFreq = mhz;
            p->PhyChnl = ChannelNumberToIndex(p->PhyType, kccl::FrequencyToChannel(mhz));
        } else {
            net.notes.push_back("frequency=" + *freq +
                                " not kept: a profile keeps the channel of an ad-hoc network only");
        }
    }
    if (const std::string* pri = b.Take("priority")) {
        if (!ParseInt(*pri, -1000000, 1000000, net.priority))
            net.notes.push_back("priority=" + *pri + " not kept: it is no number");
    }
    if (const std::string* disabled = b.Take("disabled")) {
        if (*disabled == "2") {
            net.refusal = "it is a P2P group (disabled=2), not a network to join";
            return net;
        }
        net.autoConnect = *disabled != "1";
    }
    if (const std::string* scan = b.Take("scan_ssid"); scan && *scan != "0")
        net.notes.push_back(
            "scan_ssid (hidden network) not kept: the utility finds a hidden network without it");
    if (const std::string* alg = b.Take("auth_alg"); alg && *alg != "OPEN")
        net.notes.push_back("auth_alg=" + *alg + " not kept: open authentication is used");
    // The address policy: 0 the adapter's own, 1 new at each join, 2 random keeping the vendor part.
    if (const std::string* mac = b.Take("mac_addr")) {
        if (*mac == "0")
            p->MacAddress = KCOM_MAC_DEVICE;
        else if (*mac == "1")
            p->MacAddress = KCOM_MAC_RANDOM;
        else if (*mac == "2")
            p->MacAddress = KCOM_MAC_STABLE;
        else
            net.notes.push_back("mac_addr=" + *mac + " not kept: a profile keeps 0, 1 or 2");
    }
    // One access point of the network: the profile's pin.
    if (const std::string* bssid = b.Take("bssid")) {
        if (std::string problem = kccl::CheckPinText(*bssid); problem.empty() && p->NetMode)
            p->PinnedBssid = kccl::MacText(*kccl::ParseMac(*bssid));
        else
            net.notes.push_back("bssid=" + *bssid + " not kept: " +
                                (problem.empty() ? std::string("an ad-hoc cell is not pinned") : problem));
    }
    ReadSecurity(b, *p, net);
    if (!net.refusal.empty()) return net;
    // What is left is named, secrets masked.
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        if (b.used[i] || b.index[b.lines[i].first] != i) continue;
        const std::string& key = b.lines[i].first;
        const bool secret = LooksSecret(key);
        net.notes.push_back(key + "=" + (secret ? std::string("(secret)") : b.lines[i].second) +
                            " not kept: a profile has no such setting");
    }
    FinishStackNetwork(net, p);
    return net;
}

}  // namespace

SStackRead ReadWpaSupplicantConf(std::string_view text) {
    SStackRead result;
    if (text.size() > kMaxStackFileBytes)
        return result.refusal = StrFormat("the file is larger than %zu bytes", kMaxStackFileBytes), result;
    if (HoldsBinary(text))
        return result.refusal = "the file holds binary bytes; it is no configuration file", result;
    std::optional<SBlock> block;
    std::size_t lineNo = 0, blockLine = 0;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNo;
        if (line.size() > kMaxStackLineBytes)
            return result.refusal =
                       StrFormat("line %zu is longer than %zu bytes", lineNo, kMaxStackLineBytes),
                   result;
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        if (!block) {
            std::string compact(line);
            compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
            if (compact == "network={") {
                block.emplace();
                blockLine = lineNo;
                ++number;
            }
            continue;  // a setting of the daemon
        }
        if (line == "}") {
            block->used.assign(block->lines.size(), false);
            result.networks.push_back(ReadBlock(*block, number));
            block.reset();
            if (result.networks.size() > 10000)
                return result.refusal = "the file holds more than 10000 networks", result.networks.clear(),
                       result;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            SStackNetwork bad;
            bad.where = StrFormat("network %d", number);
            bad.refusal = StrFormat("line %zu is no setting (key=value)", lineNo);
            result.networks.push_back(bad);
            // The rest of the block is passed over.
            while (!text.empty() && Trim(text.substr(0, text.find('\n'))) != "}") {
                const std::size_t e = text.find('\n');
                text.remove_prefix(e == std::string_view::npos ? text.size() : e + 1);
                ++lineNo;
            }
            block.reset();
            continue;
        }
        const std::string key(Trim(line.substr(0, eq)));
        block->index[key] = block->lines.size();
        block->lines.emplace_back(key, std::string(Trim(line.substr(eq + 1))));
    }
    if (block) {
        SStackNetwork bad;
        bad.where = StrFormat("network %d", number);
        bad.refusal = StrFormat("its block (line %zu) is not closed with '}'", blockLine);
        result.networks.push_back(bad);
    }
    if (result.networks.empty()) result.refusal = "the file holds no network={ } block";
    return result;
}

namespace {

// Text wpa_supplicant reads between quotes: up to the last quote of the line, so a quote inside
// is kept; a control character is not.
bool Quotable(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

const char* EapMethodWord(int method) {
    switch (method) {
        case KCOM_EAP_PEAP:
            return "PEAP";
        case KCOM_EAP_TTLS:
            return "TTLS";
        case KCOM_EAP_TLS:
            return "TLS";
        case KCOM_EAP_PWD:
            return "PWD";
        default:
            return nullptr;
    }
}

const char* Phase2Word(int phase2) {
    switch (phase2) {
        case KCOM_PHASE2_MSCHAPV2:
            return "MSCHAPV2";
        case KCOM_PHASE2_PAP:
            return "PAP";
        case KCOM_PHASE2_GTC:
            return "GTC";
        case KCOM_PHASE2_CHAP:
            return "CHAP";
        default:
            return nullptr;
    }
}

}  // namespace

std::string WriteWpaSupplicantConf(const std::vector<const CProfile*>& profiles,
                                   std::vector<SStackFile>& notes) {
    std::string out = "# Networks exported by wavoryctl; add them to wpa_supplicant.conf.\n";
    // Auto-selection members first in their order, as the highest priorities.
    int members = 0;
    for (const CProfile* p : profiles)
        if (p->AutoSelect && p->Priority >= 0) members = std::max(members, p->Priority + 1);
    for (const CProfile* p : profiles) {
        SStackFile note;
        note.name = p->ProfName;
        if (p->Hotspot) {
            note.refusal = kHotspotNotWritten;
            notes.push_back(std::move(note));
            continue;
        }
        std::string b = "\nnetwork={\n";
        const auto line = [&b](const std::string& key, const std::string& value) {
            b += "\t" + key + "=" + value + "\n";
        };
        const auto quoted = [&](const std::string& key, const std::string& value) {
            if (value.empty()) return;
            if (Quotable(value))
                line(key, "\"" + value + "\"");
            else
                note.notes.push_back(key + " not written: it holds a control character");
        };
        const bool plainSsid = Quotable(p->NetName) && p->NetName.find('"') == std::string::npos;
        line("ssid", plainSsid ? "\"" + p->NetName + "\"" : ToHex(p->NetName));
        if (p->ProfName != p->NetName) quoted("id_str", p->ProfName);
        if (!p->NetMode) {
            line("mode", "1");
            if (p->PhyFreq != 0) line("frequency", std::to_string(p->PhyFreq));
        }
        if (p->MacAddress == KCOM_MAC_DEVICE) line("mac_addr", "0");
        if (p->MacAddress == KCOM_MAC_STABLE) line("mac_addr", "2");
        if (p->MacAddress == KCOM_MAC_RANDOM) line("mac_addr", "1");
        if (p->NetMode && !p->PinnedBssid.empty()) line("bssid", p->PinnedBssid);
        if (p->PreferHighBand)
            note.notes.push_back(
                "the 5/6 GHz preference not written: wpa_supplicant keeps none per network (freq_list is a "
                "hard limit)");
        if (p->Metered || !p->IPv4Address.empty() || !p->IPv6Address.empty() || !p->DnsServers.empty())
            note.notes.push_back(
                "metered, fixed addresses and DNS servers not written: wpa_supplicant has none");
        const int mode = p->WpaMode;
        const bool legacyWpa = mode == 0 && (p->SecType == 2 || p->SecType == 3);
        if (mode == KCOM_SECURITY_MODE_WPA2_PERSONAL || legacyWpa) {
            line("key_mgmt", "WPA-PSK");
        } else if (mode == KCOM_SECURITY_MODE_WPA3_PERSONAL) {
            line("key_mgmt", "SAE");
            line("ieee80211w", "2");
        } else if (mode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL) {
            line("key_mgmt", "WPA-PSK SAE");
            line("ieee80211w", "1");
        } else if (mode == KCOM_SECURITY_MODE_OWE) {
            line("key_mgmt", "OWE");
            line("ieee80211w", "2");
        } else if (mode == KCOM_SECURITY_MODE_WPA2_ENTERPRISE) {
            line("key_mgmt", "WPA-EAP");
        } else if (mode == KCOM_SECURITY_MODE_WPA3_ENTERPRISE) {
            line("key_mgmt", "WPA-EAP-SHA256");
            line("ieee80211w", "2");
        } else {
            line("key_mgmt", "NONE");
        }
        if (!p->WpaPassphrase.empty() && (mode == 3 || mode == 4 || mode == 6 || legacyWpa)) {
            if (p->WpaPassphrase.size() == 64)
                line("psk", p->WpaPassphrase);
            else
                quoted(mode == 4 ? "sae_password" : "psk", p->WpaPassphrase);
        }
        if (mode == 0 && p->SecType == 1) {
            if (p->Use802_1)
                note.notes.push_back(
                    "802.1X with WEP not written: the keys are written, the 802.1X part is not");
            for (std::size_t i = 0; i < p->SecKey.size(); ++i)
                if (!p->SecKey[i].empty()) line(StrFormat("wep_key%zu", i), p->SecKey[i]);
            if (p->ActiveSecKey >= 0) line("wep_tx_keyidx", std::to_string(p->ActiveSecKey));
        }
        if (IsEnterpriseProfile(*p)) {
            NoteUncheckedServer(*p, note.notes);
            if (const char* m = EapMethodWord(p->EapMethod)) line("eap", m);
            quoted("identity", p->EapIdentity);
            quoted("anonymous_identity", p->EapAnonIdentity);
            quoted("ca_cert", p->EapCaCert);
            if (p->EapSystemCa) line("ca_path", "\"/etc/ssl/certs\"");
            quoted("domain_suffix_match", p->EapDomain);
            if (const char* inner = Phase2Word(p->EapPhase2))
                line("phase2", std::string("\"") + (p->EapPhase2 == KCOM_PHASE2_GTC ? "autheap=" : "auth=") +
                                   inner + "\"");
            if (p->EapMethod == KCOM_EAP_TLS) {
                quoted("client_cert", p->EapClientCert);
                quoted("private_key", p->EapPrivateKey);
                quoted("private_key_passwd", p->EapKeyPassword);
            } else {
                quoted("password", p->EapPassword);
            }
        }
        if (p->AutoSelect && p->Priority >= 0)
            line("priority", std::to_string(members - p->Priority));
        else
            line("disabled", "1");
        b += "}\n";
        out += b;
        notes.push_back(std::move(note));
    }
    return out;
}

}  // namespace wavory
