#include "Refusal.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <sys/stat.h>

#include <filesystem>

#include "kccl_adapters.h"

namespace wavory::kccl {

namespace {

// Owner group of the supplicant's socket (or of its folder), for the message that names it.
std::string SocketGroup(const std::string& path) {
    struct stat st {};
    if (::stat(std::filesystem::path(path).parent_path().c_str(), &st) != 0 && ::stat(path.c_str(), &st) != 0)
        return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : std::to_string(st.st_gid);
}

// The name of the user this process runs as, for the commands the texts suggest.
std::string UserName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? pw->pw_name : std::to_string(::geteuid());
}

}  // namespace

std::string RefusalText(uint32_t status, const std::string& name, const std::string& controlSocket) {
    switch (status) {
        case KCCL_STATUS_NEEDS_NET_ADMIN:
            return "changing " + name +
                   " needs the CAP_NET_ADMIN right: run as root (sudo), or give the program that right "
                   "(setcap cap_net_admin+ep), or let wpa_supplicant run the interface";
        case KCCL_STATUS_NEEDS_SUPPLICANT: {
            const std::string group = SocketGroup(controlSocket);
            return "wpa_supplicant runs " + name + " and refuses this user: join the group that owns " +
                   controlSocket + (group.empty() ? "" : " (" + group + ")") +
                   " and log in again, or run as root";
        }
        case KCCL_STATUS_READ_ONLY:
            return "NetworkManager runs " + name +
                   " but does not answer on the system D-Bus: start NetworkManager (or its D-Bus), or "
                   "change the connection with NetworkManager's own tools";
        case KCCL_STATUS_NM_REFUSED:
            return "NetworkManager runs " + name +
                   " and refuses this user the change: it needs NetworkManager's permission "
                   "org.freedesktop.NetworkManager.network-control (polkit gives it to the user of the "
                   "active local session; an administrator can grant it with a polkit rule), or run as root";
        case KCCL_STATUS_WPA_NEEDS_SUPPLICANT:
            return "WPA2, WPA3 and Enhanced Open (OWE) networks are joined through wpa_supplicant or "
                   "NetworkManager (direct nl80211 control has no SAE, OWE or WPA handshake), neither of "
                   "which runs " +
                   name + ": start wpa_supplicant on it (with a control socket)";
        case KCCL_STATUS_RUN_BY_IWD:
            return "iwd runs " + name +
                   " but does not answer on the system D-Bus: the utility only reads it; start iwd (or its "
                   "D-Bus), or join networks with iwd's own tools (iwctl)";
        case KCCL_STATUS_IWD_REFUSED:
            return "iwd runs " + name +
                   " and its D-Bus policy refuses this user: it answers root and the members of the group "
                   "netdev (wheel on some systems); join that group (sudo usermod -aG netdev " +
                   UserName() + ") and log in again, or run as root";
        case KCCL_STATUS_RUN_BY_CONNMAN:
            return "ConnMan runs " + name +
                   ": the utility only reads it; join networks with ConnMan's own tools (connmanctl), or "
                   "stop "
                   "ConnMan and let wpa_supplicant run the interface";
        case KCCL_STATUS_NOT_OURS:
            return name +
                   " is on a NetworkManager connection of the user's own, which the utility leaves alone: "
                   "leave "
                   "it with NetworkManager's tools (nmcli device disconnect " +
                   name + ")";
        case KCCL_STATUS_OTHER_MODE:
            return name +
                   " is neither a station nor an ad-hoc interface (an access point, monitor or P2P "
                   "interface), "
                   "and the utility does not change its kind: choose a station interface (--adapter)";
        default:
            return {};
    }
}

}  // namespace wavory::kccl
