#include "NmSettings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "EapSettings.h"
#include "RealFormat.h"
#include "Refusal.h"
#include "kccl_status.h"
#include "WpaCtrl.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

// NetworkManager's 802-11-wireless-security.wep-key-type: the key as hexadecimal digits.
constexpr uint32_t kWepKeyTypeKey = 1;
// NMSettingWirelessSecurityPmf: protected management frames where offered, or required (WPA3, OWE).
constexpr uint32_t kPmfOptional = 2;
constexpr uint32_t kPmfRequired = 3;
// NMSettingSecretFlags NONE: NetworkManager keeps the secret itself; no agent owns or asks for it.
constexpr uint32_t kSecretOwnedByNm = 0;

bool ValidWpaPassphrase(const std::string& text, bool sae) {
    if (text.size() == 64)
        return !sae && std::all_of(text.begin(), text.end(),
                                   [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (text.size() < 8 || text.size() > 63) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

bool ContainsAny(const std::string& text, std::initializer_list<const char*> words) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return lower.find(w) != std::string::npos; });
}

// NMMetered: yes.
constexpr int32_t kMeteredYes = 1;

// One family's addressing: the method, the fixed address with its gateway, and the name servers of
// that family. Name servers given replace those DHCP or router advertisements bring.
std::map<std::string, NmValue> AddressingOf(const SNetRecord& net, int family, bool adHoc) {
    std::map<std::string, NmValue> out;
    const std::string& fixed = family == AF_INET ? net.ipv4 : net.ipv6;
    const std::string& gateway = family == AF_INET ? net.gateway4 : net.gateway6;
    // Addresses as a desktop expects them: DHCP on a network with an access point, link-local
    // addresses in an ad-hoc cell, where nobody serves DHCP.
    out["method"] = std::string(adHoc ? "link-local" : "auto");
    if (const auto a = ParseIpAddress(fixed, family, true)) {
        out["method"] = std::string("manual");
        out["address-data"] = std::vector<SNmAddress>{{a->text, static_cast<uint32_t>(a->prefix)}};
        if (const auto g = ParseIpAddress(gateway, family, false)) out["gateway"] = g->text;
    }
    std::vector<uint32_t> v4;
    std::vector<std::vector<uint8_t>> v6;
    for (const std::string& server : SplitAddressList(net.dns)) {
        const auto a = ParseIpAddress(server, family, false);
        if (!a) continue;
        if (family == AF_INET) {
            uint32_t raw = 0;  // network byte order, as the address's bytes stand
            std::memcpy(&raw, a->bytes.data(), 4);
            v4.push_back(raw);
        } else {
            v6.emplace_back(a->bytes.begin(), a->bytes.end());
        }
    }
    if (!v4.empty()) out["dns"] = v4;
    if (!v6.empty()) out["dns"] = v6;
    if (!v4.empty() || !v6.empty()) out["ignore-auto-dns"] = true;
    return out;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

NmSettings BuildConnectionSettings(const SNmRequest& r) {
    if (r.ssid.empty() || r.ssid.size() > 32 || r.interfaceName.empty() || r.uuid.empty() || r.user.empty())
        return {};
    NmSettings s;
    s["connection"] = {
        {"id", std::string(kNmConnectionId)},
        {"uuid", r.uuid},
        {"type", std::string("802-11-wireless")},
        {"interface-name", r.interfaceName},
        // The utility decides when this network is joined; NetworkManager must not on its own.
        {"autoconnect", false},
        // The user's own: other users of the machine neither see it nor its secrets.
        {"permissions", std::vector<std::string>{"user:" + r.user}},
    };
    auto& wifi = s["802-11-wireless"];
    wifi["ssid"] = std::vector<uint8_t>(r.ssid.begin(), r.ssid.end());
    wifi["mode"] = std::string(r.adHoc ? "adhoc" : "infrastructure");
    // Ask the network by name, as the other ways of joining do: a hidden network answers only so.
    if (!r.adHoc) wifi["hidden"] = true;
    // The one access point chosen, for this attempt's connection only.
    if (!r.adHoc && r.bssid.size() == 6) wifi["bssid"] = r.bssid;
    if (r.powerSave != 0) wifi["powersave"] = r.powerSave;
    // The cloned address by its mode: over D-Bus it is the text property "assigned-mac-address"
    // ("cloned-mac-address" is its older byte form, which takes an address only).
    switch (r.net.macMode) {
        case KCOM_MAC_DEVICE:
            wifi["assigned-mac-address"] = std::string("permanent");
            break;
        case KCOM_MAC_STABLE:
            // NetworkManager derives a stable address from its own secret and the connection's
            // stable ID; each join makes a new connection, so the ID is the network's name.
            wifi["assigned-mac-address"] = std::string("stable");
            s["connection"]["stable-id"] = "wavory-ssid-" + HexValue(r.ssid);
            break;
        case KCOM_MAC_RANDOM:
            wifi["assigned-mac-address"] = std::string("random");
            break;
        default:
            break;
    }
    if (r.net.metered) s["connection"]["metered"] = kMeteredYes;
    if (r.adHoc) {
        const uint32_t freq = r.freqMhz != 0 ? r.freqMhz : ChannelToFrequency(r.channel);
        // No own cell may start on 6 GHz, and NetworkManager names no band for one there.
        if (freq == 0 || freq >= 5925) return {};
        wifi["band"] = std::string(freq < 3000 ? "bg" : "a");
        wifi["channel"] = static_cast<uint32_t>(r.channel);
    }
    switch (r.security) {
        case 0:
            break;
        case 1: {
            if (r.activeKey >= 4) return {};
            auto& sec = s["802-11-wireless-security"];
            sec["key-mgmt"] = std::string("none");
            sec["auth-alg"] = std::string(r.wepSharedKey ? "shared" : "open");
            sec["wep-key-type"] = kWepKeyTypeKey;
            sec["wep-key-flags"] = kSecretOwnedByNm;
            sec["wep-tx-keyidx"] = static_cast<uint32_t>(r.activeKey);
            for (size_t i = 0; i < r.wepKeys.size(); ++i) {
                const std::string& key = r.wepKeys[i];
                if (key.empty()) continue;
                if (key.size() != 5 && key.size() != 13) return {};
                sec["wep-key" + std::to_string(i)] = HexValue(key);
            }
            if (r.wepKeys[r.activeKey].empty()) return {};
            break;
        }
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL: {
            // A transition network as WPA3 where the radio can do SAE and the passphrase is no raw key.
            const bool sae = r.security == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
                             (r.security == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL && r.sae &&
                              ValidWpaPassphrase(r.passphrase, true));
            if (!ValidWpaPassphrase(r.passphrase, sae)) return {};
            auto& sec = s["802-11-wireless-security"];
            sec["key-mgmt"] = std::string(sae ? "sae" : "wpa-psk");
            sec["psk"] = r.passphrase;
            sec["psk-flags"] = kSecretOwnedByNm;
            sec["pmf"] = sae ? kPmfRequired : kPmfOptional;
            break;
        }
        case KCOM_SECURITY_MODE_OWE: {
            auto& sec = s["802-11-wireless-security"];
            sec["key-mgmt"] = std::string("owe");
            sec["pmf"] = kPmfRequired;
            break;
        }
        case KCOM_SECURITY_MODE_WPA2_ENTERPRISE:
        case KCOM_SECURITY_MODE_WPA3_ENTERPRISE:
            if (r.adHoc || !AddNmEapSettings(s, r.eap, r.security == KCOM_SECURITY_MODE_WPA3_ENTERPRISE))
                return {};
            break;
        default:
            return {};
    }
    if (!CheckNetRecord(r.net).empty()) return {};
    s["ipv4"] = AddressingOf(r.net, AF_INET, r.adHoc);
    s["ipv6"] = AddressingOf(r.net, AF_INET6, r.adHoc);
    return s;
}

ENmProgress ProgressOfDevice(uint32_t state, uint32_t reason) {
    if (state >= kNmDeviceIpConfig && state <= kNmDeviceActivated) return ENmProgress::Associated;
    // Secrets asked for after the key exchange failed: the network did not take the key. On the
    // way to a network NetworkManager passes by here as well (for a WEP key), then goes on.
    if (state == kNmDeviceNeedAuth)
        return reason == kNmReasonSupplicantDisconnect ? ENmProgress::Refused : ENmProgress::Pending;
    if (state == kNmDeviceFailed || state == kNmDeviceDeactivating) return ProgressAfterRelease(reason);
    return ENmProgress::Pending;
}

uint32_t CauseOfNmFailure(ENmProgress progress, uint32_t reason, bool secured) {
    if (progress == ENmProgress::Refused) return secured ? KCOM_CAUSE_WRONG_KEY : KCOM_CAUSE_REFUSED;
    switch (reason) {
        case kNmReasonNoSecrets:
        case kNmReasonSupplicantDisconnect:
            return secured ? KCOM_CAUSE_WRONG_KEY : KCOM_CAUSE_REFUSED;
        case kNmReasonSsidNotFound:
            return KCOM_CAUSE_NOT_FOUND;
        case kNmReasonSupplicantTimeout:
            return KCOM_CAUSE_TIMEOUT;
        case kNmReasonRemoved:
        case kNmReasonNowUnmanaged:
            return KCOM_CAUSE_ADAPTER_GONE;
        case kNmReasonUserRequested:
        case kNmReasonNewActivation:
        case kNmReasonConnectionRemoved:
            return KCOM_CAUSE_CANCELLED;
        case 0:
            return KCOM_CAUSE_TIMEOUT;  // nothing came of it in time
        default:
            return KCOM_CAUSE_REFUSED;
    }
}

ENmProgress ProgressAfterRelease(uint32_t lastReason) {
    switch (lastReason) {
        case kNmReasonNoSecrets:
        case kNmReasonSupplicantDisconnect:
            return ENmProgress::Refused;
        default:
            return ENmProgress::Failed;
    }
}

ENmError ClassifyNmError(const std::string& name, const std::string& message) {
    if (EndsWith(name, ".PermissionDenied") || name == "org.freedesktop.DBus.Error.AccessDenied" ||
        name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")
        return ENmError::PermissionDenied;
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.NoServer" || name == "org.freedesktop.DBus.Error.Disconnected")
        return ENmError::Unreachable;
    // A device's NotAllowed covers both a missing permission and a request at the wrong moment.
    if (EndsWith(name, ".NotAllowed"))
        return ContainsAny(message, {"authoriz", "permi", "privilege"}) ? ENmError::PermissionDenied
                                                                        : ENmError::NotNow;
    if (EndsWith(name, ".InvalidConnection") || EndsWith(name, ".InvalidProperty") ||
        EndsWith(name, ".MissingProperty") || name == "org.freedesktop.DBus.Error.InvalidArgs")
        return ENmError::InvalidSettings;
    return ENmError::Other;
}

uint32_t StatusOfNmError(ENmError error) {
    switch (error) {
        case ENmError::PermissionDenied:
            return KCCL_STATUS_NM_REFUSED;
        case ENmError::Unreachable:
            return KCCL_STATUS_READ_ONLY;
        case ENmError::InvalidSettings:
            return kStatusInvalidData;
        case ENmError::NotNow:
            return kStatusNotAssociated;
        default:
            return kStatusFailed;
    }
}

std::string UuidText(const std::array<uint8_t, 16>& random) {
    std::array<uint8_t, 16> b = random;
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::string NmAccessPointOf(const std::vector<std::pair<std::string, std::string>>& accessPoints,
                            const std::array<uint8_t, 6>& bssid) {
    for (const auto& [path, address] : accessPoints)
        if (const auto parsed = ParseMac(address); parsed && *parsed == bssid) return path;
    return "/";
}

}  // namespace wavory::kccl
