#include "WpaCtrl.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace wavory::kccl {

namespace {

std::atomic<int> g_socketCounter{0};

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

std::vector<SWpaNetwork> ParseNetworkList(const std::string& reply) {
    std::vector<SWpaNetwork> networks;
    std::istringstream in(reply);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            if (StartsWith(line, "network id")) continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        const std::string id = line.substr(0, tab);
        if (id.find_first_not_of("0123456789") != std::string::npos) continue;
        SWpaNetwork network;
        network.id = std::stoi(id);
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

EWpaEvent ClassifyWpaEvent(const std::string& line) {
    const std::string event = WithoutPriority(line);
    if (StartsWith(event, "CTRL-EVENT-CONNECTED")) return EWpaEvent::Connected;
    if (StartsWith(event, "CTRL-EVENT-AUTH-REJECT") && FieldValue(event, "auth_type") == "0" &&
        FieldValue(event, "status_code") == "13")
        return EWpaEvent::None;
    if (StartsWith(event, "CTRL-EVENT-SSID-TEMP-DISABLED") || StartsWith(event, "CTRL-EVENT-ASSOC-REJECT") ||
        StartsWith(event, "CTRL-EVENT-AUTH-REJECT") || StartsWith(event, "WPA: 4-Way Handshake failed") ||
        event.find("pre-shared key may be incorrect") != std::string::npos)
        return EWpaEvent::Refused;
    if (StartsWith(event, "CTRL-EVENT-DISCONNECTED")) return EWpaEvent::Disconnected;
    return EWpaEvent::None;
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
        case 3:
        case 4: {
            const bool sae = entry.security == 4;
            const std::string& pass = entry.passphrase;
            const bool rawKey = pass.size() == 64;
            if (pass.empty() || (sae && rawKey)) return {};
            settings.push_back(sae ? "key_mgmt SAE" : "key_mgmt WPA-PSK");
            settings.push_back("psk " + (rawKey ? pass : QuotedValue(pass)));
            if (sae) settings.push_back("ieee80211w 2");  // WPA3 requires protected management frames
            break;
        }
        default:
            return {};
    }
    return settings;
}

CWpaCtrl::~CWpaCtrl() { Close(); }

int CWpaCtrl::Open(const std::string& path) {
    Close();
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return -errno;
    // The supplicant answers to the client's address, so the client binds one of its own.
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    m_localPath = "/tmp/wavory-wpa-" + std::to_string(::getpid()) + "-" + std::to_string(++g_socketCounter);
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
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        std::string text;
        if (!Receive(text, static_cast<int>(left.count()))) return false;
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
    return Request("ATTACH", reply) && StartsWith(reply, "OK");
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
