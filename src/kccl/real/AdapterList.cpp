#include "AdapterList.h"

#include <linux/nl80211.h>
#include <net/if_arp.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "IwdClient.h"
#include "RealFormat.h"

namespace wavory::kccl {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

enum class ESocketLook { Absent, Socket, Denied };

// A supplicant keeps its sockets in a folder only its group may search: a user outside that group
// cannot tell whether the socket is there, which means the supplicant runs the interface and will
// refuse this user, rather than that nobody runs it.
ESocketLook LookForSocket(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISSOCK(st.st_mode) ? ESocketLook::Socket : ESocketLook::Absent;
    return errno == EACCES ? ESocketLook::Denied : ESocketLook::Absent;
}

// NetworkManager writes "managed=true" into the state file of each device it runs.
bool NetworkManagerRuns(const SSystemPaths& paths, int ifindex) {
    if (ifindex <= 0) return false;
    std::ifstream in(fs::path(paths.networkManagerDevices) / std::to_string(ifindex));
    std::string line;
    while (std::getline(in, line)) {
        line.erase(std::remove_if(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); }),
                   line.end());
        if (line == "managed=true" || line == "managed=1") return true;
    }
    return false;
}

// The programs known by their names on the system bus that run wireless interfaces themselves.
class CBusNames {
public:
    explicit CBusNames(const SSystemPaths& paths) : m_paths(paths) {}
    // Whether iwd runs the interface: it is on the bus and shows the interface, or does not say.
    bool IwdRuns(const std::string& interfaceName) {
        if (!Owned("net.connman.iwd")) return false;
        if (!m_bIwdRead) {
            m_IwdInterfaces = m_paths.iwdInterfaces ? m_paths.iwdInterfaces() : IwdInterfaces();
            m_bIwdRead = true;
        }
        return !m_IwdInterfaces || std::find(m_IwdInterfaces->begin(), m_IwdInterfaces->end(), interfaceName) !=
                                       m_IwdInterfaces->end();
    }

    bool Owned(const std::string& name) {
        if (!m_bRead) {
            m_Names = m_paths.busNames ? m_paths.busNames() : SystemBusNames();
            m_bRead = true;
        }
        return std::find(m_Names.begin(), m_Names.end(), name) != m_Names.end();
    }

private:
    const SSystemPaths& m_paths;
    bool m_bRead = false;
    std::vector<std::string> m_Names;
    bool m_bIwdRead = false;
    std::optional<std::vector<std::string>> m_IwdInterfaces;
};

SInterfaceInfo Describe(const SSystemPaths& paths, const fs::path& dir, CBusNames& bus) {
    SInterfaceInfo info;
    info.name = dir.filename().string();
    // A monitor interface is the one kind sysfs tells apart (by its link type, radiotap).
    if (FirstLine(dir / "type") == std::to_string(ARPHRD_IEEE80211_RADIOTAP))
        info.iftype = NL80211_IFTYPE_MONITOR;
    std::error_code ec;
    const fs::path driver = fs::read_symlink(dir / "device" / "driver", ec);
    if (!ec) info.driver = driver.filename().string();
    info.mac = DashedMac(FirstLine(dir / "address"));
    info.ifindex = static_cast<int>(ParseNumber(FirstLine(dir / "ifindex"), 10, INT32_MAX).value_or(0));
    // A socket seen in one folder wins over a folder that may not be looked into.
    std::string denied;
    for (const std::string& supplicantDir : paths.supplicantDirs) {
        const fs::path socket = fs::path(supplicantDir) / info.name;
        const ESocketLook look = LookForSocket(socket);
        if (look == ESocketLook::Socket) {
            info.controlSocket = socket.string();
            break;
        }
        if (look == ESocketLook::Denied && denied.empty()) denied = socket.string();
    }
    if (info.controlSocket.empty()) info.controlSocket = denied;
    // NetworkManager and ConnMan start a supplicant of their own, which may keep a control socket as
    // well: it is they that decide, so they are asked first. iwd needs no supplicant.
    if (NetworkManagerRuns(paths, info.ifindex))
        info.managedBy = KCCL_MANAGED_BY_NETWORK_MANAGER;
    else if (bus.IwdRuns(info.name))
        info.managedBy = KCCL_MANAGED_BY_IWD;
    else if (bus.Owned("net.connman"))
        info.managedBy = KCCL_MANAGED_BY_CONNMAN;
    else if (!info.controlSocket.empty())
        info.managedBy = KCCL_MANAGED_BY_WPA_SUPPLICANT;
    return info;
}

bool IsWireless(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir / "phy80211", ec) || fs::exists(dir / "wireless", ec);
}

}  // namespace

std::string DashedMac(const std::string& text) {
    if (text.size() < 17) return {};
    std::string out;
    for (size_t i = 0; i < 17; ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ':' && c != '-') return {};
            out += '-';
        } else {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::optional<std::vector<std::string>> IwdInterfaces() {
    CIwdClient iwd;
    SIwdObjects objects;
    if (!iwd.Open() || !iwd.Read(objects)) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [path, name] : objects.devices) names.push_back(name);
    return names;
}

std::vector<std::string> SystemBusNames() {
    std::vector<std::string> names;
    // No bus socket, no bus: spare the attempt to connect.
    if (::access("/run/dbus/system_bus_socket", F_OK) != 0) return names;
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return names;
    sd_bus_set_method_call_timeout(bus, 2000000);
    char** list = nullptr;
    if (sd_bus_list_names(bus, &list, nullptr) >= 0 && list) {
        for (char** name = list; *name; ++name) {
            names.emplace_back(*name);
            free(*name);
        }
        free(list);
    }
    sd_bus_flush_close_unref(bus);
    return names;
}

std::vector<SInterfaceInfo> FindWirelessInterfaces(const SSystemPaths& paths) {
    std::vector<SInterfaceInfo> found;
    CBusNames bus(paths);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(paths.sysClassNet, ec)) {
        if (IsWireless(entry.path())) found.push_back(Describe(paths, entry.path(), bus));
    }
    std::sort(found.begin(), found.end(),
              [](const SInterfaceInfo& a, const SInterfaceInfo& b) { return a.name < b.name; });
    return found;
}

SInterfaceInfo FindWirelessInterface(const SSystemPaths& paths, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
    const fs::path dir = fs::path(paths.sysClassNet) / name;
    if (!IsWireless(dir)) return {};
    CBusNames bus(paths);
    return Describe(paths, dir, bus);
}

std::string ChooseAdapter(const std::string& wanted, const std::vector<SInterfaceInfo>& found) {
    if (!wanted.empty()) return wanted;
    auto rank = [](uint32_t iftype) {
        switch (iftype) {
            case NL80211_IFTYPE_STATION:
                return 0;
            case NL80211_IFTYPE_UNSPECIFIED:  // not known: most likely a station
                return 1;
            case NL80211_IFTYPE_ADHOC:
                return 2;
            case NL80211_IFTYPE_MONITOR:
                return 9;
            default:
                return 3;
        }
    };
    const SInterfaceInfo* best = nullptr;
    for (const SInterfaceInfo& info : found) {  // sorted by name: the first of a rank wins
        if (rank(info.iftype) == 9) continue;
        if (!best || rank(info.iftype) < rank(best->iftype)) best = &info;
    }
    return best ? best->name : std::string("sim");
}

}  // namespace wavory::kccl
