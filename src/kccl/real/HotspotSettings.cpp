#include "HotspotSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "JoinLock.h"
#include "RealFormat.h"
#include "WpaCtrl.h"
#include "kccl_oid.h"
#include "radio/Hotspot.h"
#include "radio/SecretMemory.h"

namespace wavory::kccl {

namespace {

// NMSettingSecretFlags NONE: NetworkManager keeps the passphrase itself; no agent is asked.
constexpr uint32_t kSecretOwnedByNm = 0;
// NMSettingWirelessSecurityPmf: required.
constexpr uint32_t kPmfRequired = 3;

bool Usable(const SHotspotStart& s) {
    SHotspotRecord record;
    record.ssid = s.ssid;
    record.security = s.security;
    record.passphrase = s.passphrase;
    return CheckHotspotRecord(record).empty() && s.freqMhz != 0 &&
           HotspotBandOf(s.freqMhz) != KCOM_HOTSPOT_BAND_BEST;
}

std::string HotspotFilePath(const std::string& ifname) {
    std::string error;
    const std::string folder = CJoinLock::Folder(error);
    if (folder.empty() || ifname.empty() || ifname.find('/') != std::string::npos) return {};
    return folder + "/hotspot-" + ifname;
}

}  // namespace

SHotspotStart::~SHotspotStart() { SecureClear(passphrase); }

NmSettings BuildHotspotSettings(const SHotspotStart& s) {
    if (!Usable(s) || s.interfaceName.empty() || s.uuid.empty() || s.user.empty()) return {};
    const int band = HotspotBandOf(s.freqMhz);
    // NetworkManager's access point takes one key management, and names no 6 GHz band.
    if (band == KCOM_HOTSPOT_BAND_6G || s.security == KCOM_HOTSPOT_WPA2_WPA3) return {};
    NmSettings out;
    out["connection"] = {
        {"id", std::string(kNmHotspotId)},
        {"uuid", s.uuid},
        {"type", std::string("802-11-wireless")},
        {"interface-name", s.interfaceName},
        {"autoconnect", false},
        {"permissions", std::vector<std::string>{"user:" + s.user}},
    };
    auto& wifi = out["802-11-wireless"];
    wifi["ssid"] = std::vector<uint8_t>(s.ssid.begin(), s.ssid.end());
    wifi["mode"] = std::string("ap");
    wifi["band"] = std::string(band == KCOM_HOTSPOT_BAND_2G4 ? "bg" : "a");
    wifi["channel"] = static_cast<uint32_t>(FrequencyToChannel(s.freqMhz));
    if (s.security != KCOM_HOTSPOT_OPEN) {
        auto& sec = out["802-11-wireless-security"];
        const bool sae = s.security == KCOM_HOTSPOT_WPA3;
        sec["key-mgmt"] = std::string(sae ? "sae" : "wpa-psk");
        sec["proto"] = std::vector<std::string>{"rsn"};
        sec["pairwise"] = std::vector<std::string>{"ccmp"};
        sec["group"] = std::vector<std::string>{"ccmp"};
        sec["psk"] = s.passphrase;
        sec["psk-flags"] = kSecretOwnedByNm;
        if (sae) sec["pmf"] = kPmfRequired;
    }
    // NetworkManager's own DHCP server and NAT give the clients addresses and a way out.
    out["ipv4"] = {{"method", std::string("shared")}};
    out["ipv6"] = {{"method", std::string("ignore")}};
    return out;
}

std::vector<std::string> HotspotBlockSettings(const SHotspotStart& s) {
    if (!Usable(s)) return {};
    std::vector<std::string> out = {
        "ssid " + HexValue(s.ssid),
        "mode 2",
        "frequency " + std::to_string(s.freqMhz),
    };
    switch (s.security) {
        case KCOM_HOTSPOT_OPEN:
            out.push_back("key_mgmt NONE");
            break;
        case KCOM_HOTSPOT_WPA2:
            out.push_back("key_mgmt WPA-PSK");
            break;
        case KCOM_HOTSPOT_WPA3:
            out.push_back("key_mgmt SAE");
            out.push_back("ieee80211w 2");
            break;
        case KCOM_HOTSPOT_WPA2_WPA3:
            // WPA3 clients must protect management frames, WPA2 ones may.
            out.push_back("key_mgmt WPA-PSK SAE");
            out.push_back("ieee80211w 1");
            break;
        default:
            return {};
    }
    if (s.security != KCOM_HOTSPOT_OPEN) {
        out.push_back("proto RSN");
        out.push_back("pairwise CCMP");
        out.push_back("group CCMP");
        out.push_back("psk " + QuotedValue(s.passphrase));
    }
    out.push_back("id_str " + QuotedValue(kWpaHotspotTag));
    return out;
}

std::map<std::string, std::string> ReadHotspotFile(const std::string& ifname) {
    std::map<std::string, std::string> out;
    const std::string path = HotspotFilePath(ifname);
    if (path.empty()) return out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

bool WriteHotspotFile(const std::string& ifname, const std::map<std::string, std::string>& values) {
    const std::string path = HotspotFilePath(ifname);
    if (path.empty()) return false;
    if (values.empty()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    std::ostringstream text;
    for (const auto& [key, value] : values) text << key << '=' << value << '\n';
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string data = text.str();
    const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    ::close(fd);
    return written && ::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace wavory::kccl
