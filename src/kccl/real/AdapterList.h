// The machine's wireless interfaces, found through sysfs, and who runs each of them. Paths are
// passed in so that tests can lay out a machine of their own in a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kccl_adapters.h"

namespace wavory::kccl {

struct SSystemPaths {
    std::string sysClassNet = "/sys/class/net";
    // Where wpa_supplicant keeps its control sockets, one per interface it runs.
    std::vector<std::string> supplicantDirs = {"/run/wpa_supplicant", "/var/run/wpa_supplicant"};
    // NetworkManager's state of the devices it knows, one file per interface index.
    std::string networkManagerDevices = "/run/NetworkManager/devices";
    // The names owned on the system D-Bus (iwd and ConnMan are known by theirs); unset: ask the bus.
    std::function<std::vector<std::string>()> busNames;
    // The interfaces iwd shows while it is on the bus (it may be told to leave some alone); nullopt
    // when iwd does not tell this user, who then takes every interface as iwd's. Unset: ask iwd.
    std::function<std::optional<std::vector<std::string>>()> iwdInterfaces;
};

struct SInterfaceInfo {
    std::string name;
    std::string driver;  // empty when sysfs does not say
    std::string mac;     // "00-11-22-33-44-55", empty when unknown
    int ifindex = 0;
    uint32_t iftype = 0;  // NL80211_IFTYPE_*; 0 while unknown (sysfs tells monitor interfaces only)
    int managedBy = KCCL_MANAGED_BY_NOBODY;
    // The supplicant's socket for this interface, when it runs it; also its path when the folder of
    // sockets is closed to this user, who is then refused by that supplicant.
    std::string controlSocket;
};

// Wireless (cfg80211) interfaces, sorted by name.
std::vector<SInterfaceInfo> FindWirelessInterfaces(const SSystemPaths& paths);
// The one interface of that name, or an entry with an empty name when it is no wireless interface.
SInterfaceInfo FindWirelessInterface(const SSystemPaths& paths, const std::string& name);

// What kcom_connect serves: "sim", or an interface name. `wanted` is WAVORY_ADAPTER (may be empty);
// a name that is neither "sim" nor a wireless interface is still returned, so that the link fails
// rather than quietly serving another adapter than the one asked for. Without one, a station
// interface is preferred, then an ad-hoc one, then any other but a monitor interface (a P2P or
// access point interface is rarely what the user means); with none, the simulated adapter.
std::string ChooseAdapter(const std::string& wanted, const std::vector<SInterfaceInfo>& found);

// The names owned on the system D-Bus; empty when there is no bus.
std::vector<std::string> SystemBusNames();
// The interfaces iwd shows; nullopt when iwd does not answer this user.
std::optional<std::vector<std::string>> IwdInterfaces();

// "aa:bb:cc:dd:ee:ff" (sysfs) to "AA-BB-CC-DD-EE-FF"; empty when it is not a MAC address.
std::string DashedMac(const std::string& colonText);

}  // namespace wavory::kccl
