// The kind of security a network asks for, from its RSN element (and the WPA element of the first
// WPA), in the driver library's terms: KCOM_AKM bits and a KCOM_SECURITY_KIND.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wavory::kccl {

// What one RSN or WPA element offers.
struct SRsnInfo {
    uint32_t akm = 0;  // KCOM_AKM bits; KCOM_AKM_WPA1 for a WPA element
    bool mfpCapable = false;
    bool mfpRequired = false;
};

// The body of an RSN element (ID 48) or of the WPA vendor element (after OUI 00-50-F2 and type
// 1). False when it is too short for its version or names another version. An element that ends
// before its key-management list offers 802.1X, as the standard's default says.
bool ParseRsnElement(const uint8_t* body, std::size_t len, SRsnInfo& out);
bool ParseWpaElement(const uint8_t* body, std::size_t len, SRsnInfo& out);

// The security of a network from all its elements and its privacy capability bit: the RSN
// element's suites when it has one, else the WPA element's (with KCOM_AKM_WPA1).
struct SSecurity {
    uint32_t akm = 0;
    int kind = 0;  // KCOM_SECURITY_KIND
    bool mfpRequired = false;
};
SSecurity ParseSecurity(const uint8_t* ies, std::size_t len, bool privacy);

// The kind the suites make: SAE with PSK is the WPA2/WPA3 transition, SAE alone WPA3-Personal,
// PSK WPA2-Personal (WPA with KCOM_AKM_WPA1); 802.1X with SHA-384 or Suite B, or 802.1X SHA-256
// with protected management frames required, WPA3-Enterprise; other 802.1X WPA2-Enterprise (WPA-
// Enterprise with KCOM_AKM_WPA1); OWE alone Enhanced Open. No suites: WEP with privacy, else open.
// A network that offers both a passphrase and 802.1X counts as personal: a passphrase joins it.
int ClassifySecurity(uint32_t akm, bool privacy, bool mfpRequired);

// Stable lower-case names of the kinds: "open", "owe", "wep", "wpa", "wpa2", "wpa2-wpa3", "wpa3",
// "wpa-enterprise", "wpa2-enterprise", "wpa3-enterprise"; empty for unknown.
const char* SecurityKindId(int kind);
// The kind a name stands for; 0 (unknown) for any other text.
int SecurityKindFromId(const char* id);

}  // namespace wavory::kccl
