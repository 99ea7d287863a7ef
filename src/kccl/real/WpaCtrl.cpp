#include "WpaCtrl.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>

#include "EapSettings.h"
#include "RealFormat.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

std::atomic<int> g_socketCounter{0};
constexpr const char* kClientPrefix = "wavory-wpa-";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Event lines start with a priority in angle brackets.
std::string WithoutPriority(const std::string& line) {
    if (!line.empty() && line[0] == '<') {
        const size_t close = line.find('>');
        if (close != std::string::npos) return line.substr(close + 1);
    }
    return line;
}

// The value of " name=value" in an event line, empty when the line has no such field.
std::string FieldValue(const std::string& event, const std::string& name) {
    const std::string key = " " + name + "=";
    const size_t at = event.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    return event.substr(start, event.find_first_of(" \r\n", start) - start);
}

}  // namespace

std::map<std::string, std::string> ParseKeyValues(const std::string& reply) {
    std::map<std::string, std::string> values;
    std::istringstream in(reply);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

uint8_t EapMethodOfStatus(const std::string& reply) {
    const std::map<std::string, std::string> values = ParseKeyValues(reply);
    const auto it = values.find("selectedMethod");
    if (it == values.end()) return 0;
    // The number leads; the name in brackets is the supplicant's own spelling.
    const std::string number = it->second.substr(0, it->second.find(' '));
    if (const uint8_t method = EapMethodByType(static_cast<int>(ParseNumber(number, 10, 255).value_or(0))))
        return method;
    const size_t open = it->second.find('(');
    const size_t close = it->second.find(')', open);
    return open != std::string::npos && close != std::string::npos
               ? EapMethodByName(it->second.substr(open + 1, close - open - 1))
               : 0;
}

int GenerationOfStatus(const std::string& reply) {
    const std::map<std::string, std::string> values = ParseKeyValues(reply);
    const auto it = values.find("wifi_generation");
    if (it == values.end()) return -1;
    // Wi-Fi 4 to 7: HT, VHT, HE, EHT.
    switch (ParseNumber(it->second, 10, 99).value_or(0)) {
        case 4:
            return KCOM_PHY_N;
        case 5:
            return KCOM_PHY_AC;
        case 6:
            return KCOM_PHY_AX;
        case 7:
            return KCOM_PHY_BE;
        default:
            return -1;
    }
}

std::vector<SWpaNetwork> ParseNetworkList(const std::string& reply) {
    std::vector<SWpaNetwork> networks;
    // A line without its end was cut off by the supplicant's buffer.
    std::istringstream in(
        reply.substr(0, reply.rfind('\n') == std::string::npos ? 0 : reply.rfind('\n') + 1));
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            if (StartsWith(line, "network id")) continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        // An id that is no number or too large for one (the supplicant's text) is no entry to act on.
        SWpaNetwork network;
        network.id = ParseEntryId(std::string_view(line).substr(0, tab));
        if (network.id < 0) continue;
        const size_t tab2 = line.find('\t', tab + 1);
        network.ssid = line.substr(tab + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab - 1);
        const size_t flags = tab2 == std::string::npos ? std::string::npos : line.rfind('\t');
        if (flags != std::string::npos && flags > tab2) {
            const std::string text = line.substr(flags + 1);
            network.enabled = text.find("[DISABLED]") == std::string::npos &&
                              text.find("[P2P-PERSISTENT]") == std::string::npos;
        }
        networks.push_back(network);
    }
    return networks;
}

SWpaEvent ClassifyWpaEvent(const std::string& line) {
    const std::string event = WithoutPriority(line);
    auto number = [](const std::string& text) { return ParseEntryId(text); };
    if (StartsWith(event, "CTRL-EVENT-CONNECTED")) {
        // "... completed [id=1 id_str=wavory]"
        const size_t at = event.find("[id=");
        int id = -1;
        if (at != std::string::npos)
            id = number(event.substr(at + 4, event.find_first_of(" ]", at + 4) - at - 4));
        return {EWpaEvent::Connected, id};
    }
    if (StartsWith(event, "CTRL-EVENT-SSID-TEMP-DISABLED")) {
        const int id = number(FieldValue(event, "id"));
        const std::string reason = FieldValue(event, "reason");
        if (reason == "WRONG_KEY") return {EWpaEvent::WrongKey, id};
        if (reason == "CONN_FAILED") return {EWpaEvent::ConnFailed, id};
        return {EWpaEvent::Refused, id};
    }
    if (StartsWith(event, "CTRL-EVENT-AUTH-REJECT")) {
        const std::string status = FieldValue(event, "status_code");
        if (FieldValue(event, "auth_type") == "0" && status == "13") return {};
        // A shared-key challenge that failed: the WEP key is not the network's.
        if (status == "15") return {EWpaEvent::WrongKey, -1};
        // SAE's confirm refused as an unspecified failure: both sides derived their keys and the
        // network's did not match ours, which only a different password does.
        if (FieldValue(event, "auth_type") == "3" && FieldValue(event, "auth_transaction") == "2" &&
            status == "1")
            return {EWpaEvent::WrongKey, -1};
        return {EWpaEvent::Refused, -1};
    }
    if (StartsWith(event, "CTRL-EVENT-ASSOC-REJECT")) {
        if (event.find(" timeout") != std::string::npos) return {};
        return {EWpaEvent::Refused, -1};
    }
    if (StartsWith(event, "WPA: 4-Way Handshake failed") ||
        event.find("pre-shared key may be incorrect") != std::string::npos)
        return {EWpaEvent::WrongKey, -1};
    if (StartsWith(event, "CTRL-EVENT-NETWORK-NOT-FOUND")) return {EWpaEvent::NotFound, -1};
    if (StartsWith(event, "CTRL-EVENT-SCAN-STARTED")) return {EWpaEvent::ScanStarted, -1};
    if (StartsWith(event, "CTRL-EVENT-TERMINATING")) return {EWpaEvent::Terminating, -1};
    if (StartsWith(event, "CTRL-EVENT-DISCONNECTED")) return {EWpaEvent::Disconnected, -1};
    return {};
}

std::vector<std::string> KeyMgmtFallbacks(const std::string& setting) {
    if (setting.rfind("key_mgmt ", 0) != 0) return {};
    // The newest suites first: SAE with the larger groups (wpa_supplicant 2.11), then fast roaming
    // (a build without 802.11r).
    std::vector<std::string> out;
    std::string current = setting;
    for (const char* drop : {" SAE-EXT-KEY FT-SAE-EXT-KEY", " FT-PSK", " FT-SAE"}) {
        const size_t at = current.find(drop);
        if (at == std::string::npos) continue;
        current.erase(at, std::strlen(drop));
        if (current.size() > 9) out.push_back(current);
    }
    return out;
}

std::string HexValue(const std::string& bytes) {
    std::string out;
    char pair[3];
    for (const char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        out += pair;
    }
    return out;
}

std::string QuotedValue(const std::string& text) { return "\"" + text + "\""; }

std::vector<std::string> WpaEntrySettings(const SWpaEntry& entry) {
    if (entry.ssid.empty() || entry.ssid.size() > 32) return {};
    std::vector<std::string> settings = {"ssid " + HexValue(entry.ssid)};
    if (!entry.tag.empty()) settings.push_back("id_str " + QuotedValue(entry.tag));
    // A hidden network answers only a probe that names it.
    settings.push_back("scan_ssid 1");
    // One access point of the network chosen: the supplicant joins it and no other. Else the one
    // the band preference picked: the first association goes there, roaming stays the supplicant's.
    if (!entry.adHoc && !entry.bssid.empty())
        settings.push_back("bssid " + entry.bssid);
    else if (!entry.adHoc && !entry.bssidHint.empty())
        settings.push_back("bssid_hint " + entry.bssidHint);
    // wpa_supplicant's address policies: the stable choice gives the network's own address (3 with
    // mac_value, from 2.11 on), else a random one that keeps the maker's part (2); each join anew
    // takes a new one every time (1).
    switch (entry.macMode) {
        case KCOM_MAC_DEVICE:
            settings.push_back("mac_addr 0");
            break;
        case KCOM_MAC_STABLE:
            if (!entry.stableMac.empty()) {
                settings.push_back("mac_addr 3");
                settings.push_back("mac_value " + entry.stableMac);
            } else {
                settings.push_back("mac_addr 2");
            }
            break;
        case KCOM_MAC_RANDOM:
            settings.push_back("mac_addr 1");
            break;
        default:
            break;
    }
    if (entry.adHoc) {
        if (entry.frequencyMhz == 0) return {};
        settings.push_back("mode 1");
        settings.push_back("frequency " + std::to_string(entry.frequencyMhz));
    }
    switch (entry.security) {
        case 0:
            settings.push_back("key_mgmt NONE");
            break;
        case 1: {
            if (entry.activeKey >= entry.wepKeys.size() || entry.wepKeys[entry.activeKey].empty()) return {};
            // Open system first, shared key when the access point refuses it, as a driver would.
            settings.push_back("key_mgmt NONE");
            settings.push_back("auth_alg OPEN SHARED");
            for (size_t i = 0; i < entry.wepKeys.size(); ++i) {
                const std::string& key = entry.wepKeys[i];
                if (key.empty()) continue;
                if (key.size() != 5 && key.size() != 13) return {};
                settings.push_back("wep_key" + std::to_string(i) + " " + HexValue(key));
            }
            settings.push_back("wep_tx_keyidx " + std::to_string(entry.activeKey));
            break;
        }
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL: {
            const bool wpa2 = entry.security != KCOM_SECURITY_MODE_WPA3_PERSONAL;
            const bool wpa3 = entry.security != KCOM_SECURITY_MODE_WPA2_PERSONAL;
            const std::string& pass = entry.passphrase;
            const bool rawKey = pass.size() == 64;
            // SAE needs the passphrase itself; a raw key joins a transition network as WPA2 only.
            if (pass.empty() || (rawKey && !wpa2)) return {};
            const bool sae = wpa3 && !rawKey && entry.sae;
            std::string akm;
            if (wpa2) akm = "WPA-PSK WPA-PSK-SHA256 FT-PSK";
            if (sae) akm += std::string(akm.empty() ? "" : " ") + "SAE FT-SAE SAE-EXT-KEY FT-SAE-EXT-KEY";
            if (akm.empty()) return {};
            settings.push_back("key_mgmt " + akm);
            settings.push_back("psk " + (rawKey ? pass : QuotedValue(pass)));
            // WPA3 alone requires protected management frames; WPA2 (and the transition) uses them
            // where the network offers them.
            settings.push_back(wpa2 ? "ieee80211w 1" : "ieee80211w 2");
            break;
        }
        case KCOM_SECURITY_MODE_WPA2_ENTERPRISE:
        case KCOM_SECURITY_MODE_WPA3_ENTERPRISE: {
            if (entry.adHoc) return {};
            const auto eap = WpaEapSettings(entry.eap, entry.security == KCOM_SECURITY_MODE_WPA3_ENTERPRISE);
            if (eap.empty()) return {};
            settings.insert(settings.end(), eap.begin(), eap.end());
            break;
        }
        case KCOM_SECURITY_MODE_OWE:
            settings.push_back("key_mgmt OWE");
            settings.push_back("ieee80211w 2");
            break;
        default:
            return {};
    }
    return settings;
}

CWpaCtrl::~CWpaCtrl() { Close(); }

std::string CWpaCtrl::ClientFolder(const std::string& supplicantSocket) {
    struct stat st {};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && ::access(runtime, W_OK | X_OK) == 0)
        return runtime;
    const std::string folder = std::filesystem::path(supplicantSocket).parent_path().string();
    if (!folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0) return folder;
    return "/tmp";
}

void CWpaCtrl::RemoveStaleSockets(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!StartsWith(name, kClientPrefix)) continue;
        // "wavory-wpa-<pid>-<n>": only a socket of this user whose process has ended goes.
        const std::string rest = name.substr(std::strlen(kClientPrefix));
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos ||
            rest.find_first_not_of("0123456789-") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(ParseNumber(rest.substr(0, dash), 10, INT32_MAX).value_or(0));
        if (pid <= 0 || (::kill(pid, 0) != 0 ? errno != ESRCH : true)) continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

int CWpaCtrl::Open(const std::string& path) {
    Close();
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return -errno;
    // The supplicant answers to the client's address, so the client binds one of its own. Those of
    // processes that ended without removing theirs (killed) are removed once per folder.
    const std::string folder = ClientFolder(path);
    {
        static std::mutex cleaned;
        static std::set<std::string> folders;
        std::lock_guard lock(cleaned);
        if (folders.insert(folder).second) RemoveStaleSockets(folder);
    }
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    m_localPath =
        folder + "/" + kClientPrefix + std::to_string(::getpid()) + "-" + std::to_string(++g_socketCounter);
    if (m_localPath.size() >= sizeof local.sun_path)
        m_localPath = "/tmp/" + m_localPath.substr(folder.size() + 1);
    std::snprintf(local.sun_path, sizeof local.sun_path, "%s", m_localPath.c_str());
    ::unlink(m_localPath.c_str());
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        Close();
        return -err;
    }
    sockaddr_un remote{};
    remote.sun_family = AF_UNIX;
    if (path.size() >= sizeof remote.sun_path) {
        Close();
        return -ENAMETOOLONG;
    }
    std::memcpy(remote.sun_path, path.c_str(), path.size() + 1);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        const int err = errno;
        Close();
        return -err;
    }
    m_remotePath = path;
    return 0;
}

void CWpaCtrl::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_localPath.empty()) {
        ::unlink(m_localPath.c_str());
        m_localPath.clear();
    }
    m_bAttached = false;
    m_Events.clear();
}

bool CWpaCtrl::Receive(std::string& text, int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buf[8192];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n < 0) return false;
    text.assign(buf, static_cast<size_t>(n));
    return true;
}

bool CWpaCtrl::Request(const std::string& command, std::string& reply, std::chrono::milliseconds timeout) {
    if (m_fd < 0) return false;
    if (::send(m_fd, command.data(), command.size(), 0) < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + (timeout.count() < 0 ? m_Timeout : timeout);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::string text;
        if (left.count() <= 0 || !Receive(text, static_cast<int>(left.count()))) {
            // The reply may still come: to a socket that is no longer there.
            const std::string remote = m_remotePath;
            const bool attached = m_bAttached;
            if (Open(remote) == 0 && attached) {
                std::string ignored;
                if (::send(m_fd, "ATTACH", 6, 0) >= 0 && Receive(ignored, 1000)) m_bAttached = true;
            }
            return false;
        }
        if (!text.empty() && text[0] == '<') {
            m_Events.push_back(text);  // an event, not the reply
            continue;
        }
        reply = text;
        return true;
    }
}

bool CWpaCtrl::Attach() {
    std::string reply;
    m_bAttached = Request("ATTACH", reply) && StartsWith(reply, "OK");
    return m_bAttached;
}

std::string CWpaCtrl::NextEvent(std::chrono::milliseconds timeout) {
    if (!m_Events.empty()) {
        std::string event = m_Events.front();
        m_Events.erase(m_Events.begin());
        return event;
    }
    std::string text;
    if (m_fd < 0 || !Receive(text, static_cast<int>(timeout.count()))) return {};
    return text;
}

}  // namespace wavory::kccl
