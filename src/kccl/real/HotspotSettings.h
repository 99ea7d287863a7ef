// What NetworkManager and wpa_supplicant are told to run a hotspot, without any I/O: the settings
// of NetworkManager's access-point connection and the commands of wpa_supplicant's network block.
// The file in the user's runtime folder that remembers what to go back to at the stop (the stop
// may come from another process than the start).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "NmSettings.h"

namespace wavory::kccl {

// A hotspot as a way of control runs it: the channel already chosen.
struct SHotspotStart {
    std::string interfaceName;
    std::string ssid;      // raw bytes, 1..32
    uint8_t security = 1;  // KCOM_HOTSPOT_SECURITY_VALUE
    uint32_t freqMhz = 0;
    std::string passphrase;
    std::string uuid;  // NetworkManager: of the connection
    std::string user;  // NetworkManager: the user it is visible to

    ~SHotspotStart();
};

// The name NetworkManager's connection of the utility's hotspot goes by, and the tag of the
// supplicant's block.
inline constexpr const char* kNmHotspotId = "Wavory Hotspot";
inline constexpr const char* kWpaHotspotTag = "wavory-hotspot";

// An access-point connection that NetworkManager shares its own addresses and routing through
// (ipv4.method shared: its DHCP server and NAT), bound to the interface, never connecting by
// itself, visible to its user only; the passphrase is NetworkManager's own secret. Empty when the
// hotspot cannot be one (no name, interface, UUID or user, a passphrase WPA does not take, no
// channel, a 6 GHz channel, or both WPA2 and WPA3, which NetworkManager's access point does not
// offer at once).
NmSettings BuildHotspotSettings(const SHotspotStart& start);

// The SET_NETWORK settings ("name value") of the supplicant's access-point block (mode 2) on the
// chosen frequency; empty when the hotspot cannot be one.
std::vector<std::string> HotspotBlockSettings(const SHotspotStart& start);

// The hotspot file of an interface: "key=value" lines. Empty when there is none or no folder.
std::map<std::string, std::string> ReadHotspotFile(const std::string& ifname);
// Replaces it; false when it could not be written. An empty map removes it.
bool WriteHotspotFile(const std::string& ifname, const std::map<std::string, std::string>& values);

}  // namespace wavory::kccl
