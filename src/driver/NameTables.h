// Fixed name tables indexed by a numeric field of the adapter or a profile.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace wavory {

inline constexpr std::array<const char*, 3> PHY_NAMES = {"PHY A", "PHY B", "PHY G"};
inline constexpr std::array<const char*, 3> POWER_SAVE_NAMES = {"Max. Performance", "Good Performance",
                                                                "Max. Power Save"};
inline constexpr std::array<const char*, 4> SECURITY_NAMES = {"None", "WEP", "TKIP", "AES"};
inline constexpr std::array<const char*, 3> MODE_NAMES = {"Ad-Hoc", "Infrastructure", "Disconnect"};
inline constexpr std::array<const char*, 6> REG_DOMAIN_NAMES = {"FCC (US)", "IC (CAN)", "ETSI (EUROPE)",
                                                                "SPAIN",    "FRANCE",   "JAPAN"};
// Regulatory-domain codes in the order of REG_DOMAIN_NAMES.
inline constexpr std::array<uint32_t, 6> REG_DOMAIN_CODES = {0x10, 0x20, 0x30, 0x31, 0x32, 0x40};

// Row of a table, or `fallback` when the index is outside it.
template <std::size_t N>
std::string NameAt(const std::array<const char*, N>& table, long long index, const char* fallback = "N/A") {
    if (index < 0 || static_cast<std::size_t>(index) >= N) return fallback;
    return table[static_cast<std::size_t>(index)];
}

// Row of REG_DOMAIN_NAMES for a domain code, or -1.
int RegDomainIndex(uint32_t code);

// Who runs the interface (KCCL_MANAGED_BY_*, or KCOM_HS_CONTROL_SIM for the simulated adapter's
// hotspot) by the name the adapter list and the hotspot print; `unknown` for any other value.
std::string ControlName(int control, const char* unknown);

}  // namespace wavory
