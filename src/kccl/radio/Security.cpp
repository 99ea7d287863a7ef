#include "radio/Security.h"

#include <array>
#include <cstring>

#include "kccl_oid.h"
#include "radio/Elements.h"

namespace wavory::kccl {

namespace {

constexpr uint8_t kRsnOui[3] = {0x00, 0x0F, 0xAC};
constexpr uint8_t kWpaOui[3] = {0x00, 0x50, 0xF2};
constexpr uint8_t kWpaOuiType = 1;
constexpr uint16_t kMfpRequired = 1u << 6;
constexpr uint16_t kMfpCapable = 1u << 7;

constexpr uint32_t kSaeFamily =
    KCOM_AKM_SAE | KCOM_AKM_FT_SAE | KCOM_AKM_SAE_EXT_KEY | KCOM_AKM_FT_SAE_EXT_KEY;
constexpr uint32_t kPskFamily = KCOM_AKM_PSK | KCOM_AKM_FT_PSK | KCOM_AKM_PSK_SHA256;
constexpr uint32_t kSuiteBFamily =
    KCOM_AKM_SUITE_B | KCOM_AKM_SUITE_B_192 | KCOM_AKM_8021X_SHA384 | KCOM_AKM_FT_8021X_SHA384;
constexpr uint32_t kEapFamily = KCOM_AKM_8021X | KCOM_AKM_FT_8021X | KCOM_AKM_8021X_SHA256 | kSuiteBFamily;

// RSN key-management suite types (00-0F-AC:n) to their bits; suites without a bit are left out.
uint32_t RsnAkmBit(uint8_t type) {
    switch (type) {
        case 1:
            return KCOM_AKM_8021X;
        case 2:
            return KCOM_AKM_PSK;
        case 3:
            return KCOM_AKM_FT_8021X;
        case 4:
            return KCOM_AKM_FT_PSK;
        case 5:
            return KCOM_AKM_8021X_SHA256;
        case 6:
            return KCOM_AKM_PSK_SHA256;
        case 8:
            return KCOM_AKM_SAE;
        case 9:
            return KCOM_AKM_FT_SAE;
        case 11:
            return KCOM_AKM_SUITE_B;
        case 12:
            return KCOM_AKM_SUITE_B_192;
        case 13:
            return KCOM_AKM_FT_8021X_SHA384;
        case 18:
            return KCOM_AKM_OWE;
        case 23:
            return KCOM_AKM_8021X_SHA384;
        case 24:
            return KCOM_AKM_SAE_EXT_KEY;
        case 25:
            return KCOM_AKM_FT_SAE_EXT_KEY;
        default:
            return 0;
    }
}

uint32_t WpaAkmBit(uint8_t type) { return type == 1 ? KCOM_AKM_8021X : type == 2 ? KCOM_AKM_PSK : 0; }

// The common layout of both elements after the version: group cipher, pairwise ciphers, key
// management, capabilities. `oui` is the suites' organisation.
bool ParseSuites(const uint8_t* p, std::size_t len, const uint8_t* oui, uint32_t (*akmBit)(uint8_t),
                 SRsnInfo& out) {
    // A list that is left out means the default suites: 802.1X for key management.
    auto defaults = [&] {
        out.akm = akmBit(1);
        return true;
    };
    std::size_t pos = 2;  // after the version
    out.akm = 0;
    if (len < pos + 4) return defaults();
    pos += 4;  // group data cipher
    if (len < pos + 2) return defaults();
    const std::size_t pairwise = static_cast<std::size_t>(p[pos] | p[pos + 1] << 8);
    pos += 2;
    if (len < pos + 4 * pairwise) return false;
    pos += 4 * pairwise;
    if (len < pos + 2) return defaults();
    const std::size_t akms = static_cast<std::size_t>(p[pos] | p[pos + 1] << 8);
    pos += 2;
    if (len < pos + 4 * akms) return false;
    for (std::size_t i = 0; i < akms; ++i, pos += 4)
        if (std::memcmp(p + pos, oui, 3) == 0) out.akm |= akmBit(p[pos + 3]);
    if (len >= pos + 2) {
        const uint16_t caps = static_cast<uint16_t>(p[pos] | p[pos + 1] << 8);
        out.mfpRequired = caps & kMfpRequired;
        out.mfpCapable = (caps & kMfpCapable) || out.mfpRequired;
    }
    return true;
}

}  // namespace

bool ParseRsnElement(const uint8_t* body, std::size_t len, SRsnInfo& out) {
    out = SRsnInfo{};
    if (len < 2 || (body[0] | body[1] << 8) != 1) return false;
    return ParseSuites(body, len, kRsnOui, RsnAkmBit, out);
}

bool ParseWpaElement(const uint8_t* body, std::size_t len, SRsnInfo& out) {
    out = SRsnInfo{};
    if (len < 2 || (body[0] | body[1] << 8) != 1) return false;
    if (!ParseSuites(body, len, kWpaOui, WpaAkmBit, out)) return false;
    out.akm |= KCOM_AKM_WPA1;
    return true;
}

SSecurity ParseSecurity(const uint8_t* ies, std::size_t len, bool privacy) {
    SRsnInfo rsn, wpa;
    bool haveRsn = false, haveWpa = false;
    ForEachElement(ies, len, [&](const SElement& e) {
        if (e.id == EID_RSN && !haveRsn) {
            haveRsn = ParseRsnElement(e.data, e.len, rsn);
        } else if (e.id == EID_VENDOR && !haveWpa && e.len >= 4 && std::memcmp(e.data, kWpaOui, 3) == 0 &&
                   e.data[3] == kWpaOuiType) {
            haveWpa = ParseWpaElement(e.data + 4, e.len - 4, wpa);
        }
    });
    SSecurity out;
    const SRsnInfo* chosen = haveRsn ? &rsn : haveWpa ? &wpa : nullptr;
    if (chosen) {
        out.akm = chosen->akm;
        out.mfpRequired = chosen->mfpRequired;
    }
    // An element whose suites are all unknown here (FILS, TDLS …) is no WEP network.
    out.kind = chosen && out.akm == 0
                   ? KCOM_SECURITY_UNKNOWN
                   : ClassifySecurity(out.akm, privacy || chosen != nullptr, out.mfpRequired);
    return out;
}

int ClassifySecurity(uint32_t akm, bool privacy, bool mfpRequired) {
    const bool wpa1 = akm & KCOM_AKM_WPA1;
    const uint32_t suites = akm & ~static_cast<uint32_t>(KCOM_AKM_WPA1);
    if (suites == 0) return privacy ? KCOM_SECURITY_WEP : KCOM_SECURITY_OPEN;
    const bool sae = suites & kSaeFamily;
    const bool psk = suites & kPskFamily;
    if (sae) return psk ? KCOM_SECURITY_WPA2_WPA3 : KCOM_SECURITY_WPA3;
    if (psk) return wpa1 ? KCOM_SECURITY_WPA : KCOM_SECURITY_WPA2;
    if (suites & kEapFamily) {
        if (wpa1) return KCOM_SECURITY_WPA_ENTERPRISE;
        if (suites & kSuiteBFamily) return KCOM_SECURITY_WPA3_ENTERPRISE;
        // WPA3-Enterprise proper: SHA-256 key management only (FT included), management frames
        // protected always; the SHA-1 suite makes it WPA2 (or its transition mode).
        const bool sha256Only = (suites & KCOM_AKM_8021X) == 0;
        return sha256Only && mfpRequired ? KCOM_SECURITY_WPA3_ENTERPRISE : KCOM_SECURITY_WPA2_ENTERPRISE;
    }
    if (suites & KCOM_AKM_OWE) return KCOM_SECURITY_OWE;
    return KCOM_SECURITY_UNKNOWN;
}

namespace {

constexpr std::array<const char*, 11> kKindIds = {"",
                                                  "open",
                                                  "wep",
                                                  "wpa",
                                                  "wpa2",
                                                  "wpa3",
                                                  "owe",
                                                  "wpa2-wpa3",
                                                  "wpa2-enterprise",
                                                  "wpa3-enterprise",
                                                  "wpa-enterprise"};

}  // namespace

const char* SecurityKindId(int kind) {
    return kind >= 0 && kind < static_cast<int>(kKindIds.size()) ? kKindIds[static_cast<std::size_t>(kind)]
                                                                 : "";
}

int SecurityKindFromId(const char* id) {
    if (id == nullptr || *id == '\0') return KCOM_SECURITY_UNKNOWN;
    for (std::size_t i = 1; i < kKindIds.size(); ++i)
        if (std::strcmp(kKindIds[i], id) == 0) return static_cast<int>(i);
    return KCOM_SECURITY_UNKNOWN;
}

}  // namespace wavory::kccl
