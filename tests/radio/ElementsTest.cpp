// Security kinds and radio figures from elements as access points send them (hostapd's beacons
// for the networks of the hardware stage, and common real-world variants of each).
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "kccl_oid.h"
#include "radio/Elements.h"
#include "radio/Security.h"

namespace wavory::kccl {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        for (uint8_t b : p) out.push_back(b);
    return out;
}

// RSN elements: CCMP, then the key management suites and capabilities given.
Bytes Rsn(std::initializer_list<uint8_t> akms, uint8_t capsLow = 0x00) {
    Bytes body = {0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04};
    body.push_back(static_cast<uint8_t>(akms.size()));
    body.push_back(0x00);
    for (uint8_t akm : akms)
        for (uint8_t b : {uint8_t{0x00}, uint8_t{0x0F}, uint8_t{0xAC}, akm}) body.push_back(b);
    body.push_back(capsLow);
    body.push_back(0x00);
    Bytes element = {0x30, static_cast<uint8_t>(body.size())};
    for (uint8_t b : body) element.push_back(b);
    return element;
}

constexpr uint8_t kMfpc = 0x80;
constexpr uint8_t kMfpcMfpr = 0xC0;

// WPA (first version) with TKIP and one key management suite.
Bytes Wpa(uint8_t akm) {
    return {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
            0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, akm};
}

struct SSecurityCase {
    const char* what;
    Bytes ies;
    bool privacy;
    int kind;
    uint32_t akm;
};

TEST(Security, EveryKindIsToldFromItsElements) {
    const SSecurityCase cases[] = {
        {"open", {}, false, KCOM_SECURITY_OPEN, 0},
        {"WEP", {}, true, KCOM_SECURITY_WEP, 0},
        {"WPA2-Personal", Rsn({2}, 0x0C), true, KCOM_SECURITY_WPA2, KCOM_AKM_PSK},
        {"WPA2 with FT and SHA-256", Rsn({2, 4, 6}, kMfpc), true, KCOM_SECURITY_WPA2,
         KCOM_AKM_PSK | KCOM_AKM_FT_PSK | KCOM_AKM_PSK_SHA256},
        {"WPA2/WPA3 transition", Rsn({2, 8}, kMfpc), true, KCOM_SECURITY_WPA2_WPA3,
         KCOM_AKM_PSK | KCOM_AKM_SAE},
        {"WPA3-Personal", Rsn({8}, kMfpcMfpr), true, KCOM_SECURITY_WPA3, KCOM_AKM_SAE},
        {"WPA3 FT-SAE and SAE-EXT-KEY", Rsn({9, 24}, kMfpcMfpr), true, KCOM_SECURITY_WPA3,
         KCOM_AKM_FT_SAE | KCOM_AKM_SAE_EXT_KEY},
        {"WPA3 FT-SAE-EXT-KEY alone", Rsn({25}, kMfpcMfpr), true, KCOM_SECURITY_WPA3,
         KCOM_AKM_FT_SAE_EXT_KEY},
        {"OWE", Rsn({18}, kMfpcMfpr), true, KCOM_SECURITY_OWE, KCOM_AKM_OWE},
        {"WPA2-Enterprise", Rsn({1}), true, KCOM_SECURITY_WPA2_ENTERPRISE, KCOM_AKM_8021X},
        {"WPA2-Enterprise with FT", Rsn({1, 3}, kMfpc), true, KCOM_SECURITY_WPA2_ENTERPRISE,
         KCOM_AKM_8021X | KCOM_AKM_FT_8021X},
        {"WPA3-Enterprise transition counts as WPA2", Rsn({1, 5}, kMfpc), true, KCOM_SECURITY_WPA2_ENTERPRISE,
         KCOM_AKM_8021X | KCOM_AKM_8021X_SHA256},
        {"WPA3-Enterprise", Rsn({5}, kMfpcMfpr), true, KCOM_SECURITY_WPA3_ENTERPRISE, KCOM_AKM_8021X_SHA256},
        {"WPA3-Enterprise with FT", Rsn({3, 5}, kMfpcMfpr), true, KCOM_SECURITY_WPA3_ENTERPRISE,
         KCOM_AKM_FT_8021X | KCOM_AKM_8021X_SHA256},
        {"SHA-256 without required protection", Rsn({5}, kMfpc), true, KCOM_SECURITY_WPA2_ENTERPRISE,
         KCOM_AKM_8021X_SHA256},
        {"Suite-B 192", Rsn({12}, kMfpcMfpr), true, KCOM_SECURITY_WPA3_ENTERPRISE, KCOM_AKM_SUITE_B_192},
        {"802.1X SHA-384", Rsn({23}, kMfpcMfpr), true, KCOM_SECURITY_WPA3_ENTERPRISE, KCOM_AKM_8021X_SHA384},
        {"WPA-Personal", Wpa(2), true, KCOM_SECURITY_WPA, KCOM_AKM_PSK | KCOM_AKM_WPA1},
        {"WPA-Enterprise", Wpa(1), true, KCOM_SECURITY_WPA_ENTERPRISE, KCOM_AKM_8021X | KCOM_AKM_WPA1},
        {"WPA and WPA2 mixed: the RSN element counts", Join({Wpa(2), Rsn({2})}), true, KCOM_SECURITY_WPA2,
         KCOM_AKM_PSK},
        // An RSN element that ends after the version offers the default suites: 802.1X.
        {"RSN version only", {0x30, 0x02, 0x01, 0x00}, true, KCOM_SECURITY_WPA2_ENTERPRISE, KCOM_AKM_8021X},
        {"RSN of an unknown version is ignored", {0x30, 0x02, 0x02, 0x00}, true, KCOM_SECURITY_WEP, 0},
        {"unknown suites only", Rsn({7}), true, KCOM_SECURITY_UNKNOWN, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SSecurity s = ParseSecurity(c.ies.data(), c.ies.size(), c.privacy);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ(s.akm, c.akm);
    }
}

TEST(Security, ACountBeyondTheElementIsRefused) {
    // Two pairwise suites announced, one given.
    const Bytes body = {0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x02, 0x00, 0x00, 0x0F, 0xAC, 0x04};
    SRsnInfo info;
    EXPECT_FALSE(ParseRsnElement(body.data(), body.size(), info));
    const Bytes rsn = Rsn({8}, kMfpcMfpr);
    ASSERT_TRUE(ParseRsnElement(rsn.data() + 2, rsn.size() - 2, info));
    EXPECT_TRUE(info.mfpRequired);
    EXPECT_TRUE(info.mfpCapable);
}

TEST(Security, KindNamesRoundTrip) {
    for (int kind = KCOM_SECURITY_OPEN; kind <= KCOM_SECURITY_WPA_ENTERPRISE; ++kind)
        EXPECT_EQ(SecurityKindFromId(SecurityKindId(kind)), kind) << kind;
    EXPECT_STREQ(SecurityKindId(KCOM_SECURITY_WPA2_WPA3), "wpa2-wpa3");
    EXPECT_STREQ(SecurityKindId(KCOM_SECURITY_UNKNOWN), "");
    EXPECT_EQ(SecurityKindFromId("WPA2"), KCOM_SECURITY_UNKNOWN);
}

// ---- radio figures ----

const Bytes kRatesOfdm = {0x01, 0x08, 0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};  // 6 … 54
const Bytes kRatesB = {0x01, 0x04, 0x82, 0x84, 0x8B, 0x96};                             // 1, 2, 5.5, 11
// HT capabilities: 40 MHz, short guard at 20 and 40 MHz, MCS 0..15 (two streams).
const Bytes kHtCap2ss = {0x2D, 0x1A, 0x6E, 0x00, 0x1B, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// HT capabilities: 20 MHz only, short guard at 20 MHz, one stream.
const Bytes kHtCap1ss20 = {0x2D, 0x1A, 0x20, 0x00, 0x1B, 0xFF, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
Bytes HtOperation(uint8_t primary, uint8_t info) {
    Bytes e = {0x3D, 0x16, primary, info};
    e.resize(2 + 22, 0);
    return e;
}
// VHT capabilities: 80 MHz, short guard at 80 MHz, MCS 0..9 on two streams (map 0xFFFA).
const Bytes kVhtCap = {0xBF, 0x0C, 0x20, 0x00, 0x00, 0x00, 0xFA, 0xFF, 0x00, 0x00, 0xFA, 0xFF, 0x00, 0x00};
Bytes VhtOperation(uint8_t width, uint8_t ccfs0, uint8_t ccfs1) {
    return {0xC0, 0x05, width, ccfs0, ccfs1, 0xFC, 0xFF};
}
// HE capabilities: 40/80 MHz in 5 and 6 GHz, MCS 0..11 on two streams up to 80 MHz.
const Bytes kHeCap = {0xFF, 0x16, 0x23, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x04, 0x20, 0x0E,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0xFF, 0xFA, 0xFF};
// HE operation without optional parts, and with the 6 GHz part (primary 5975 MHz, 80 MHz).
const Bytes kHeOp5g = {0xFF, 0x07, 0x24, 0x04, 0x00, 0x00, 0x01, 0xFC, 0xFF};
const Bytes kHeOp6g80 = {0xFF, 0x0C, 0x24, 0x04, 0x00, 0x02, 0x01, 0xFC, 0xFF, 0x05, 0x02, 0x07, 0x00, 0x01};
// EHT capabilities: 320 MHz in 6 GHz; up to 80 MHz two streams for every MCS through 13.
const Bytes kEhtCap320 = {0xFF, 0x0F, 0x6C, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x22, 0x22, 0x22};
// EHT operation with its information: 320 MHz.
const Bytes kEhtOp320 = {0xFF, 0x09, 0x6A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0x1F, 0x1F};

struct SRadioCase {
    const char* what;
    Bytes ies;
    int freq;
    int phy;
    int width;
    int streams;
    uint32_t rate100k;
};

TEST(Elements, NetworkRadioFromRealElements) {
    const SRadioCase cases[] = {
        {"802.11b", kRatesB, 2437, KCOM_PHY_B, 20, 1, 110},
        {"802.11g", Join({kRatesB, {0x32, 0x04, 0x0C, 0x12, 0x18, 0x60}, {0x01, 0x02, 0x30, 0x6C}}), 2412,
         KCOM_PHY_G, 20, 1, 540},
        {"802.11a", kRatesOfdm, 5180, KCOM_PHY_A, 20, 1, 540},
        {"Wi-Fi 4 20 MHz one stream", Join({kRatesOfdm, kHtCap1ss20, HtOperation(6, 0x00)}), 2437, KCOM_PHY_N,
         20, 1, 722},
        {"Wi-Fi 4 40 MHz two streams", Join({kRatesOfdm, kHtCap2ss, HtOperation(36, 0x05)}), 5180, KCOM_PHY_N,
         40, 2, 3000},
        {"VHT on 2.4 GHz counts as HT", Join({kRatesOfdm, kHtCap1ss20, HtOperation(6, 0), kVhtCap}), 2437,
         KCOM_PHY_N, 20, 1, 722},
        {"Wi-Fi 5 80 MHz",
         Join({kRatesOfdm, kHtCap2ss, HtOperation(36, 0x05), kVhtCap, VhtOperation(1, 42, 0)}), 5180,
         KCOM_PHY_AC, 80, 2, 8667},
        {"Wi-Fi 5 160 MHz by the second segment",
         Join({kRatesOfdm, kHtCap2ss, HtOperation(36, 0x05), kVhtCap, VhtOperation(1, 42, 50)}), 5180,
         KCOM_PHY_AC, 160, 2, 15600},
        {"Wi-Fi 6 80 MHz (hostapd, channel 36)",
         Join({kRatesOfdm, kHtCap2ss, HtOperation(36, 0x05), kVhtCap, VhtOperation(1, 42, 0), kHeCap,
               kHeOp5g}),
         5180, KCOM_PHY_AX, 80, 2, 12010},
        {"Wi-Fi 6E 80 MHz (6 GHz operation)", Join({kRatesOfdm, kHeCap, kHeOp6g80}), 5975, KCOM_PHY_AX, 80, 2,
         12010},
        {"Wi-Fi 7 320 MHz", Join({kRatesOfdm, kHeCap, kHeOp6g80, kEhtCap320, kEhtOp320}), 6135, KCOM_PHY_BE,
         320, 2, 57647},
        {"no rate elements", {}, 2412, -1, 20, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SNetworkRadio r = ParseNetworkRadio(c.ies.data(), c.ies.size(), c.freq);
        EXPECT_EQ(r.phyType, c.phy);
        EXPECT_EQ(r.widthMHz, c.width);
        EXPECT_EQ(r.streams, c.streams);
        EXPECT_EQ(r.maxRate100k, c.rate100k);
    }
}

TEST(Elements, ATruncatedElementEndsTheWalkButKeepsWhatCameBefore) {
    Bytes ies = Join({kRatesOfdm, kHtCap2ss});
    ies.resize(ies.size() - 3);  // the HT capabilities lose their last bytes
    int seen = 0;
    EXPECT_FALSE(ForEachElement(ies.data(), ies.size(), [&](const SElement&) { ++seen; }));
    EXPECT_EQ(seen, 1);
    const SNetworkRadio r = ParseNetworkRadio(ies.data(), ies.size(), 5180);
    EXPECT_EQ(r.phyType, KCOM_PHY_A);
    EXPECT_EQ(r.maxRate100k, 540u);
}

TEST(Elements, ElementsComeFromHexText) {
    EXPECT_EQ(ElementsFromHex("30020100"), (Bytes{0x30, 0x02, 0x01, 0x00}));
    EXPECT_EQ(ElementsFromHex("DDa0"), (Bytes{0xDD, 0xA0}));
    EXPECT_TRUE(ElementsFromHex("300").empty());
    EXPECT_TRUE(ElementsFromHex("30zz").empty());
}

}  // namespace
}  // namespace wavory::kccl
