// NetworkManager's connections as its D-Bus API gives and takes them (a{sa{sv}}), turned into its
// keyfile text and back, so that the keyfile reader and writer serve the bus as well. No bus here:
// the caller reads and sends the dictionaries.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace wavory {

// One value of a setting, of the D-Bus types NetworkManager's settings use.
struct SNmBusValue {
    enum class EKind {
        Bool,       // b
        Int,        // i (x, n, y where read)
        UInt,       // u (t, q where read)
        Text,       // s, o
        Bytes,      // ay
        Texts,      // as
        UInts,      // au: IPv4 DNS servers, in network byte order
        ByteLists,  // aay: IPv6 DNS servers
        Dicts,      // aa{sv} with plain members (address-data, route-data), the members as text
        Other,      // any other type: read over, named in the notes when it holds something
    };
    EKind kind = EKind::Other;
    bool flag = false;
    int64_t number = 0;
    uint64_t unsignedNumber = 0;
    std::string text;  // Text; for Other, the D-Bus signature
    std::vector<uint8_t> bytes;
    std::vector<std::string> texts;
    std::vector<uint32_t> uints;
    std::vector<std::vector<uint8_t>> byteLists;
    std::vector<std::map<std::string, std::string>> dicts;
    bool empty = false;  // Other: the value holds nothing (an empty array)
};

// setting name ("802-11-wireless", …) -> property -> value.
using NmBusSettings = std::map<std::string, std::map<std::string, SNmBusValue>>;

// The keyfile text of a connection read over the bus (secrets merged in by the caller). What the
// keyfile cannot hold (a certificate kept inside NetworkManager, a value of an unknown type) is
// left out and named in `notes`.
std::string NmKeyfileOfBus(const NmBusSettings& settings, std::vector<std::string>& notes);

// The dictionary NetworkManager takes for a keyfile's connection; false with the reason for a
// setting whose D-Bus type is not known here (nothing is sent then: nothing is dropped silently).
bool NmBusOfKeyfile(std::string_view keyfile, NmBusSettings& out, std::string& why);

}  // namespace wavory
