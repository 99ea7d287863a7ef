// Information elements of a beacon or probe response (as nl80211 hands them over, or as a scan
// result's "ie" field holds them in hex): walking them, and what the supported rates and the HT,
// VHT, HE and EHT capability and operation elements say about a network's radio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace wavory::kccl {

// Element IDs this module reads.
enum EElementId : int {
    EID_SUPPORTED_RATES = 1,
    EID_HT_CAPABILITIES = 45,
    EID_RSN = 48,
    EID_EXTENDED_RATES = 50,
    EID_HT_OPERATION = 61,
    EID_VHT_CAPABILITIES = 191,
    EID_VHT_OPERATION = 192,
    EID_VENDOR = 221,
    EID_EXTENSION = 255
};
// Extension IDs (the first byte of an element 255).
enum EElementExtId : int {
    EXT_HE_CAPABILITIES = 35,
    EXT_HE_OPERATION = 36,
    EXT_EHT_OPERATION = 106,
    EXT_EHT_CAPABILITIES = 108
};

// One element: its ID, the extension ID for element 255 (else -1) and its body (after the
// extension ID for element 255).
struct SElement {
    int id;
    int extId;
    const uint8_t* data;
    std::size_t len;
};

// Calls `visit` for each complete element in order; stops at a truncated one. False when the
// bytes end inside an element (what came before was still visited).
bool ForEachElement(const uint8_t* ies, std::size_t len, const std::function<void(const SElement&)>& visit);

// Hex text (as wpa_supplicant's BSS "ie=" gives it) to bytes; empty on a bad digit or odd count.
std::vector<uint8_t> ElementsFromHex(std::string_view hex);

// What a network's elements say of its radio.
struct SNetworkRadio {
    int phyType = -1;          // KCOM_PHY_*; -1 when no rate element was found
    int widthMHz = 20;         // the width it operates at
    int streams = 1;           // spatial streams it offers (at its fastest MCS)
    uint32_t maxRate100k = 0;  // the fastest rate it offers, in 100 kbit/s; 0 when none is known
};

// Reads the rate and capability elements of a network on the given centre frequency (the band
// decides what 40 MHz and VHT mean). The generation is that of the newest PHY whose capability
// element is present; the width comes from the operation elements (the capabilities where those
// are missing); the rate is that generation's at the width, its highest MCS and streams, and the
// shortest guard interval it claims.
SNetworkRadio ParseNetworkRadio(const uint8_t* ies, std::size_t len, int freqMHz);

}  // namespace wavory::kccl
