#include "AdapterList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>

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

SInterfaceInfo Describe(const SSystemPaths& paths, const fs::path& dir) {
    SInterfaceInfo info;
    info.name = dir.filename().string();
    std::error_code ec;
    const fs::path driver = fs::read_symlink(dir / "device" / "driver", ec);
    if (!ec) info.driver = driver.filename().string();
    info.mac = DashedMac(FirstLine(dir / "address"));
    try {
        info.ifindex = std::stoi(FirstLine(dir / "ifindex"));
    } catch (const std::exception&) {
        info.ifindex = 0;
    }
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
    // NetworkManager starts its own supplicant, which may keep a control socket as well: it is
    // NetworkManager that decides, so it is asked first.
    if (NetworkManagerRuns(paths, info.ifindex))
        info.managedBy = KCCL_MANAGED_BY_NETWORK_MANAGER;
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

std::vector<SInterfaceInfo> FindWirelessInterfaces(const SSystemPaths& paths) {
    std::vector<SInterfaceInfo> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(paths.sysClassNet, ec)) {
        if (IsWireless(entry.path())) found.push_back(Describe(paths, entry.path()));
    }
    std::sort(found.begin(), found.end(),
              [](const SInterfaceInfo& a, const SInterfaceInfo& b) { return a.name < b.name; });
    return found;
}

SInterfaceInfo FindWirelessInterface(const SSystemPaths& paths, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
    const fs::path dir = fs::path(paths.sysClassNet) / name;
    if (!IsWireless(dir)) return {};
    return Describe(paths, dir);
}

std::string ChooseAdapter(const std::string& wanted, const std::vector<SInterfaceInfo>& found) {
    if (!wanted.empty()) return wanted;
    return found.empty() ? std::string("sim") : found.front().name;
}

}  // namespace wavory::kccl
