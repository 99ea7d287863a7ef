#include "profiles/NetProfile.h"

#include <arpa/inet.h>

#include "base/AppBase.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"

namespace wavory {

kccl::SNetRecord NetRecordOf(const CProfile& p, int defaultMac) {
    kccl::SNetRecord r;
    const int mode = p.MacAddress == KCOM_MAC_NOT_TOLD ? defaultMac : p.MacAddress;
    r.macMode =
        static_cast<uint8_t>(mode >= KCOM_MAC_DEVICE && mode <= KCOM_MAC_RANDOM ? mode : KCOM_MAC_DEVICE);
    r.metered = p.Metered;
    r.ipv4 = p.IPv4Address;
    r.gateway4 = p.IPv4Gateway;
    r.ipv6 = p.IPv6Address;
    r.gateway6 = p.IPv6Gateway;
    r.dns = p.DnsServers;
    r.preferHighBand = p.PreferHighBand;
    // Out of range (only a hand-edited store holds such) the preference keeps its default floor.
    r.bandFloorDbm = kccl::BandFloorInRange(p.BandFloor) ? p.BandFloor : KCOM_BAND_FLOOR_DEFAULT;
    if (const auto pin = kccl::ParseMac(p.PinnedBssid); pin && !kccl::IsUnusableMac(*pin)) r.pin = *pin;
    return r;
}

bool HasNetSettings(const CProfile& p, int defaultMac) {
    return !(NetRecordOf(p, defaultMac) == NetRecordOf(CProfile("", false), KCOM_MAC_DEVICE));
}

void CopyNetSettings(const CProfile& from, CProfile& to) {
    to.MacAddress = from.MacAddress;
    to.Metered = from.Metered;
    to.IPv4Address = from.IPv4Address;
    to.IPv4Gateway = from.IPv4Gateway;
    to.IPv6Address = from.IPv6Address;
    to.IPv6Gateway = from.IPv6Gateway;
    to.DnsServers = from.DnsServers;
    to.PreferHighBand = from.PreferHighBand;
    to.BandFloor = from.BandFloor;
    to.PinnedBssid = from.PinnedBssid;
}

std::string CheckNetLimits(const CProfile& p) {
    if (p.MacAddress < KCOM_MAC_NOT_TOLD || p.MacAddress > KCOM_MAC_RANDOM)
        return "\"MacAddress\" is " + std::to_string(p.MacAddress) +
               "; it must be 0 (the preferences' default), 1 (the device's own), 2 (stable) or 3 (random)";
    if (!kccl::BandFloorInRange(p.BandFloor))
        return "\"BandFloor\" is " + std::to_string(p.BandFloor) + "; it must be a signal from " +
               std::to_string(KCOM_BAND_FLOOR_MIN) + " to " + std::to_string(KCOM_BAND_FLOOR_MAX) + " dBm";
    if (!p.PinnedBssid.empty())
        if (std::string problem = kccl::CheckPinText(p.PinnedBssid); !problem.empty())
            return "\"PinnedBssid\": " + problem;
    // Each value checked on its own, so that the message names the one at fault.
    struct SOne {
        const char* name;
        kccl::SNetRecord record;
    };
    kccl::SNetRecord v4, gw4, v6, gw6, dns;
    v4.ipv4 = p.IPv4Address;
    gw4.ipv4 = p.IPv4Address.empty() ? std::string() : "192.0.2.1/24";
    gw4.gateway4 = p.IPv4Gateway;
    v6.ipv6 = p.IPv6Address;
    gw6.ipv6 = p.IPv6Address.empty() ? std::string() : "2001:db8::1/64";
    gw6.gateway6 = p.IPv6Gateway;
    dns.dns = p.DnsServers;
    const SOne all[] = {{"IPv4Address", v4},
                        {"IPv4Gateway", gw4},
                        {"IPv6Address", v6},
                        {"IPv6Gateway", gw6},
                        {"DnsServers", dns}};
    for (const SOne& one : all)
        if (std::string problem = kccl::CheckNetRecord(one.record); !problem.empty())
            return "\"" + std::string(one.name) + "\": " + problem;
    return {};
}

int DefaultMacMode() {
    const int mode = theApp.GetProfileInt("", "Mac-Address", KCOM_MAC_DEVICE);
    return mode >= KCOM_MAC_DEVICE && mode <= KCOM_MAC_RANDOM ? mode : KCOM_MAC_DEVICE;
}

std::string BandChoiceText(const CProfile& p) {
    std::string text;
    if (!p.PinnedBssid.empty()) text = "stays on " + p.PinnedBssid;
    if (p.PreferHighBand)
        text += (text.empty() ? "prefers" : "; prefers") + std::string(" 5/6 GHz unless below ") +
                std::to_string(p.BandFloor) + " dBm";
    return text.empty() ? "any access point, any band" : text;
}

std::string MacModeText(int mode) {
    switch (mode) {
        case KCOM_MAC_DEVICE:
            return "the device's own";
        case KCOM_MAC_STABLE:
            return "random, stable for this network";
        case KCOM_MAC_RANDOM:
            return "random, new at each join";
        default:
            return "as in the preferences";
    }
}

}  // namespace wavory
