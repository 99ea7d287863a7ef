// A network's own settings beside its security: the hardware address a join uses, the metered
// flag, and fixed addresses and name servers. The record of OID_NET_SETTINGS_QUERY/SET as a value,
// its encoding, the checks of its addresses, and how a stable address is made. Shared by the
// utility (which builds the record from a profile) and the adapters (which apply it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wavory::kccl {

struct SNetRecord {
    uint8_t macMode = 0;  // KCOM_MAC_MODE
    bool metered = false;
    std::string ipv4;      // "192.0.2.10/24"; empty = automatic
    std::string gateway4;  // only with ipv4
    std::string ipv6;      // "2001:db8::10/64"; empty = automatic
    std::string gateway6;  // only with ipv6
    std::string dns;       // name servers separated by spaces
    // Which of the network's access points a join takes: with preferHighBand the best 5 or 6 GHz
    // one heard at or above bandFloorDbm before any 2.4 GHz one; with a pin (not all zero) that
    // access point alone.
    bool preferHighBand = false;
    int bandFloorDbm = -70;  // KCOM_BAND_FLOOR_MIN..MAX
    std::array<uint8_t, 6> pin{};

    bool operator==(const SNetRecord&) const = default;
    bool HasPin() const { return pin != std::array<uint8_t, 6>{}; }
    // Fixed addresses or name servers are asked for: only NetworkManager applies them.
    bool HasAddressing() const { return !ipv4.empty() || !ipv6.empty() || !dns.empty(); }
};

// Writes the record into a payload of `size` bytes; the bytes used, 0 when it does not fit or a
// string is longer than KCOM_NET_FIELD_MAX.
std::size_t EncodeNetRecord(const SNetRecord& record, uint8_t* payload, std::size_t size);
// Reads a record; false when a length runs past the payload or the limit, or a string holds a zero.
bool DecodeNetRecord(const uint8_t* payload, std::size_t size, SNetRecord& out);

// An IP address, with its prefix length where one was given.
struct SIpAddress {
    int family = 0;  // AF_INET or AF_INET6
    std::array<uint8_t, 16> bytes{};
    int prefix = -1;   // -1: none given
    std::string text;  // the address alone, as given
};
// "192.0.2.10" or "2001:db8::1" (with `withPrefix`, followed by "/N"); nothing when the text is no
// address of the family (0: either), or the prefix is missing or out of range (1..32, 1..128).
std::optional<SIpAddress> ParseIpAddress(std::string_view text, int family, bool withPrefix);
// An address no host can have: all zeros, multicast, loopback, IPv4's broadcast.
bool IsUnusableIp(const SIpAddress& address);
// The entries of a list separated by spaces, commas or semicolons.
std::vector<std::string> SplitAddressList(std::string_view text);
// The first problem of the record's addresses, as a sentence naming the setting; empty when none.
std::string CheckNetRecord(const SNetRecord& record);

// "device", "stable", "random"; "default" for KCOM_MAC_NOT_TOLD; empty for an unknown mode.
const char* MacModeName(int mode);
// The mode a name stands for; -1 for none of them ("default" is KCOM_MAC_NOT_TOLD).
int MacModeByName(std::string_view name);

using MacAddress = std::array<uint8_t, 6>;
// A unicast, locally administered address: what a made-up address must be.
MacAddress AsLocalUnicast(MacAddress address);
// The address for a network that stays the same for the same secret and network name and differs
// across names (SHA-256 of the two), locally administered and unicast.
MacAddress StableAddress(const std::vector<uint8_t>& secret, const std::string& ssid);
// A new random address, locally administered and unicast.
MacAddress RandomAddress();
// Multicast or all zeros: no interface may take it.
bool IsUnusableMac(const MacAddress& address);
// "02:1a:..", lower case.
std::string MacText(const MacAddress& address);
// Six hex pairs separated by ':' or '-', either case; nothing for any other text.
std::optional<MacAddress> ParseMac(std::string_view text);
// The first problem of a BSSID to pin, as a sentence; empty when a station can be pinned to it.
std::string CheckPinText(std::string_view text);
// The band floor is one the preference can use (KCOM_BAND_FLOOR_MIN..MAX dBm).
bool BandFloorInRange(int dbm);

// The user's secret for stable addresses: 32 random bytes kept in a file only the user can read
// ($XDG_CONFIG_HOME, else ~/.config, /wavory/address-secret), made on first use. Empty when it can
// neither be read nor made.
std::vector<uint8_t> UserAddressSecret();

}  // namespace wavory::kccl
