// What the kernel reports about networks, turned into the library's payloads.
#include <gtest/gtest.h>

#include <cstdlib>

#include <cstring>
#include <vector>

#include "RealFormat.h"
#include "kccl.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

std::vector<uint8_t> Ie(uint8_t id, std::vector<uint8_t> body) {
    body.insert(body.begin(), {id, static_cast<uint8_t>(body.size())});
    return body;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// An RSN element with one pairwise cipher (CCMP) and the given AKM suite types.
std::vector<uint8_t> Rsn(std::vector<uint8_t> akms) {
    std::vector<uint8_t> body = {1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4};
    body.push_back(static_cast<uint8_t>(akms.size()));
    body.push_back(0);
    for (uint8_t akm : akms) body.insert(body.end(), {0x00, 0x0F, 0xAC, akm});
    return Ie(48, body);
}

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

TEST(RealFormatTest, ChannelsAndFrequenciesOfEveryBand) {
    EXPECT_EQ(FrequencyToChannel(2412), 1);
    EXPECT_EQ(FrequencyToChannel(2472), 13);
    EXPECT_EQ(FrequencyToChannel(2484), 14);
    EXPECT_EQ(FrequencyToChannel(5180), 36);
    EXPECT_EQ(FrequencyToChannel(5825), 165);
    EXPECT_EQ(FrequencyToChannel(4920), 184);
    EXPECT_EQ(FrequencyToChannel(5955), 1);  // 6 GHz channel 1
    EXPECT_EQ(FrequencyToChannel(5935), 2);  // 6 GHz channel 2, below the band's base
    EXPECT_EQ(FrequencyToChannel(5975), 5);
    EXPECT_EQ(FrequencyToChannel(7115), 233);
    EXPECT_EQ(FrequencyToChannel(5977), 0);  // no channel's centre
    EXPECT_EQ(FrequencyToChannel(900), 0);
    for (int channel : {1, 6, 11, 13, 14, 36, 64, 149, 165})
        EXPECT_EQ(FrequencyToChannel(ChannelToFrequency(channel)), channel) << channel;
    EXPECT_EQ(ChannelToFrequency(0), 0u);
    EXPECT_EQ(ChannelToFrequency(15), 0u);
    EXPECT_EQ(ChannelToFrequency(250), 0u);
}

TEST(RealFormatTest, SecurityKindFromTheElements) {
    const auto ssid = Ie(0, {'n', 'e', 't'});
    EXPECT_EQ(SecurityKind(0x0001, ssid), KCOM_SECURITY_OPEN);
    EXPECT_EQ(SecurityKind(0x0011, ssid), KCOM_SECURITY_WEP);
    EXPECT_EQ(SecurityKind(0x0011, Concat({ssid, Rsn({2})})), KCOM_SECURITY_WPA2);
    EXPECT_EQ(SecurityKind(0x0011, Concat({ssid, Rsn({8})})), KCOM_SECURITY_WPA3);
    EXPECT_EQ(SecurityKind(0x0011, Concat({ssid, Rsn({2, 8})})), KCOM_SECURITY_WPA2_WPA3);
    EXPECT_EQ(SecurityKind(0x0011, Concat({ssid, Rsn({1})})), KCOM_SECURITY_WPA2_ENTERPRISE);
    // A WPA element that ends after its version offers the default suite, 802.1X.
    EXPECT_EQ(SecurityKind(0x0011, Concat({ssid, Ie(221, {0x00, 0x50, 0xF2, 0x01, 1, 0})})),
              KCOM_SECURITY_WPA_ENTERPRISE);
    // Another vendor's element is no WPA.
    EXPECT_EQ(SecurityKind(0x0011, Ie(221, {0x00, 0x50, 0xF2, 0x04})), KCOM_SECURITY_WEP);
    // An RSN element that ends after its version offers the default suite, 802.1X.
    EXPECT_EQ(SecurityKind(0x0011, Ie(48, {1, 0})), KCOM_SECURITY_WPA2_ENTERPRISE);
}

TEST(RealFormatTest, TruncatedElementsStopTheWalk) {
    std::vector<uint8_t> ies = Ie(0, {'a', 'b'});
    ies.insert(ies.end(), {48, 40, 1, 0});  // claims 40 bytes, has 2
    EXPECT_EQ(SsidFromIes(ies), "ab");
    EXPECT_EQ(SecurityKind(0, ies), KCOM_SECURITY_OPEN);
    EXPECT_EQ(SsidFromIes({0, 5, 'a'}), "");
    EXPECT_EQ(SsidFromIes({}), "");
}

TEST(RealFormatTest, PhyTypeFromBandAndRates) {
    const auto cck = Ie(1, {0x82, 0x84, 0x8B, 0x96});                   // 1, 2, 5.5, 11
    const auto ofdm = Concat({cck, Ie(50, {0x0C, 0x12, 0x18, 0x6C})});  // + 6, 9, 12, 54
    EXPECT_EQ(PhyType(5180, ofdm), 0u);
    EXPECT_EQ(PhyType(2437, cck), 1u);
    EXPECT_EQ(PhyType(2437, ofdm), 2u);
    EXPECT_EQ(PhyType(2437, {}), 2u);
    // Nothing older than 802.11ax is allowed on 6 GHz, whatever the elements say.
    EXPECT_EQ(PhyType(5975, ofdm), static_cast<uint32_t>(KCOM_PHY_AX));
}

// The beacon of the hardware stage's 6 GHz network (hostapd, HE at 20 MHz, SAE with hash-to-element,
// protection required): channel 5 there is 5975 MHz, not the 2.4 GHz channel 5.
TEST(RealFormatTest, ASixGigahertzEntryCarriesItsFrequencyGenerationRateAndSuites) {
    SBss bss;
    bss.ssid = "Wavory6G";
    bss.freqMhz = 5975;
    bss.signalDbm = -30;
    bss.capability = 0x0011;
    std::vector<uint8_t> rsn = Rsn({8});
    rsn[1] += 2;
    rsn.insert(rsn.end(), {0xC0, 0x00});  // MFP required and capable
    // Rates 6..54 and the SAE hash-to-element selector (0xFB), HE capabilities for 2 streams.
    const auto rates = Ie(1, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C, 0xFB});
    const auto heCap = Ie(255, {35,   0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x04, 0x20, 0x0E,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0xFF, 0xFA, 0xFF});
    bss.ies = Concat({Ie(0, {'W', 'a', 'v', 'o', 'r', 'y', '6', 'G'}), rates, rsn, heCap});
    std::vector<uint8_t> entry(KCOM_SCAN_ENTRY_SIZE);
    EncodeScanEntry(bss, entry.data());
    EXPECT_EQ(entry[KCOM_ENTRY_CHANNEL], 5);
    EXPECT_EQ(U32(entry.data() + KCOM_ENTRY_FREQ), 5975u);
    EXPECT_EQ(U32(entry.data() + KCOM_ENTRY_PHY), static_cast<uint32_t>(KCOM_PHY_AX));
    EXPECT_EQ(entry[KCOM_ENTRY_SECURITY], KCOM_SECURITY_WPA3);
    EXPECT_EQ(U32(entry.data() + KCOM_ENTRY_AKM), static_cast<uint32_t>(KCOM_AKM_SAE));
    EXPECT_EQ(entry[KCOM_ENTRY_WIDTH] | entry[KCOM_ENTRY_WIDTH + 1] << 8, 20);
    // HE MCS 11 on two streams at 20 MHz: 286.8 Mbit/s, far above 54.
    EXPECT_EQ(U32(entry.data() + KCOM_ENTRY_MAX_RATE), 2868u);
}

TEST(RealFormatTest, ScanEntryCarriesTheFieldsAtTheirOffsets) {
    SBss bss;
    const uint8_t bssid[6] = {0x02, 0x00, 0x00, 0x00, 0x01, 0x00};
    std::memcpy(bss.bssid, bssid, 6);
    bss.ssid = std::string("caf\xC3\xA9\x00x", 7);  // any bytes, a zero among them
    bss.freqMhz = 2462;
    bss.signalDbm = -67;
    bss.capability = 0x0011;
    bss.ies = Concat({Ie(0, {'x'}), Rsn({2})});
    std::vector<uint8_t> entry(KCOM_SCAN_ENTRY_SIZE, 0xEE);
    EncodeScanEntry(bss, entry.data());
    EXPECT_EQ(std::memcmp(entry.data() + KCOM_ENTRY_BSSID, bssid, 6), 0);
    EXPECT_EQ(entry[KCOM_ENTRY_SSID_LEN], 7);
    EXPECT_EQ(std::memcmp(entry.data() + KCOM_ENTRY_SSID, bss.ssid.data(), 7), 0);
    EXPECT_EQ(U32(entry.data() + KCOM_ENTRY_PHY), 2u);
    EXPECT_EQ(entry[KCOM_ENTRY_CHANNEL], 11);
    EXPECT_EQ(entry[KCOM_ENTRY_PRIVACY], 1);
    EXPECT_EQ(entry[KCOM_ENTRY_SECURITY], KCOM_SECURITY_WPA2);
    EXPECT_EQ(static_cast<int32_t>(U32(entry.data() + KCOM_ENTRY_SIGNAL)), -67);
    EXPECT_EQ(entry[0], 0);  // the rest is cleared, not left as it was

    bss.ssid = std::string(40, 'L');  // longer than an SSID can be
    bss.capability = 0x0001;
    bss.ies.clear();
    EncodeScanEntry(bss, entry.data());
    EXPECT_EQ(entry[KCOM_ENTRY_SSID_LEN], 32);
    EXPECT_EQ(entry[KCOM_ENTRY_PRIVACY], 0);
    EXPECT_EQ(entry[KCOM_ENTRY_SECURITY], KCOM_SECURITY_OPEN);
}

// 45 access points and 3 ad-hoc cells, signals in a scrambled order.
std::vector<SBss> City() {
    std::vector<SBss> list;
    for (int i = 0; i < 48; ++i) {
        SBss bss;
        bss.bssid[5] = static_cast<uint8_t>(i);
        bss.ssid = "net" + std::to_string(i);
        bss.freqMhz = 2412;
        bss.signalDbm = -40 - (i * 7) % 48;
        bss.capability = i % 16 == 5 ? kCapabilityIbss : 0x0001;
        list.push_back(bss);
    }
    return list;
}

TEST(RealFormatTest, PagesHoldEveryNetworkOnceStrongestFirst) {
    std::vector<SBss> list = City();
    size_t infra = 0;
    OrderForList(list, infra);
    ASSERT_EQ(infra, 45u);
    for (size_t i = 1; i < infra; ++i) EXPECT_GE(list[i - 1].signalDbm, list[i].signalDbm);

    std::vector<uint8_t> payload(KCOM_PAYLOAD_SIZE);
    std::vector<int> seen(48, 0);
    int infraSeen = 0, adhocSeen = 0;
    for (int page = 0; page < 4; ++page) {
        EncodeScanPage(list, infra, page == 0, page, payload.data());
        EXPECT_EQ(payload[KCOM_SCAN_STATUS], page == 0 ? 1 : 0);
        const int counts[2] = {payload[KCOM_SCAN_INFRA_COUNT], payload[KCOM_SCAN_ADHOC_COUNT]};
        const int expectedInfra[4] = {20, 20, 5, 0};
        EXPECT_EQ(counts[0], expectedInfra[page]) << page;
        EXPECT_EQ(counts[1], page == 0 ? 3 : 0) << page;
        for (int half = 0; half < 2; ++half) {
            const size_t base = half == 0 ? KCOM_SCAN_INFRA_ENTRIES : KCOM_SCAN_ADHOC_ENTRIES;
            for (int slot = 0; slot < counts[half]; ++slot) {
                const uint8_t* entry = payload.data() + base + KCOM_SCAN_ENTRY_SIZE * slot;
                ++seen[entry[KCOM_ENTRY_BSSID + 5]];
                (half == 0 ? infraSeen : adhocSeen)++;
            }
        }
    }
    EXPECT_EQ(infraSeen, 45);
    EXPECT_EQ(adhocSeen, 3);
    for (int i = 0; i < 48; ++i) EXPECT_EQ(seen[i], 1) << i;
}

// A driver's own units (0..100) show as that percentage, never as the best possible signal.
TEST(RealFormatTest, SignalInTheDriversOwnUnits) {
    EXPECT_EQ(SignalFromUnspecified(0), -91);
    EXPECT_EQ(SignalFromUnspecified(100), -61);
    EXPECT_EQ(SignalFromUnspecified(50), -76);
    EXPECT_EQ(SignalFromUnspecified(255), -61);
    for (int level = 0; level <= 100; level += 7) {
        const int dbm = SignalFromUnspecified(static_cast<uint8_t>(level));
        EXPECT_LE(std::abs((dbm + 91) * 100 / 30 - level), 2) << level;
    }
}

TEST(RealFormatTest, RegulatoryDomains) {
    EXPECT_EQ(RegDomainCode("US"), 0x10u);
    EXPECT_EQ(RegDomainCode("CA"), 0x20u);
    EXPECT_EQ(RegDomainCode("DE"), 0x30u);
    EXPECT_EQ(RegDomainCode("GB"), 0x30u);
    EXPECT_EQ(RegDomainCode("ES"), 0x31u);
    EXPECT_EQ(RegDomainCode("FR"), 0x32u);
    EXPECT_EQ(RegDomainCode("JP"), 0x40u);
    EXPECT_EQ(RegDomainCode("00"), 0u);
    EXPECT_EQ(RegDomainCode("BR"), 0u);
    EXPECT_EQ(RegDomainCode(""), 0u);
}

TEST(RealFormatTest, VersionTextsBecomeWordsThatShowTheirDigits) {
    EXPECT_EQ(DriverVersionWords("6.1.0-18-amd64"), (std::array<uint32_t, 4>{6, 1, 0, 18}));
    EXPECT_EQ(DriverVersionWords("5.10"), (std::array<uint32_t, 4>{5, 10, 0, 0}));
    EXPECT_EQ(DriverVersionWords(""), (std::array<uint32_t, 4>{}));
    EXPECT_EQ(DriverVersionWords("99999999999999.1")[0], 999999999u);  // no overflow
    // Firmware "%.4X" halves show the text's own digits.
    EXPECT_EQ(FirmwareVersionWords("1.2.33"), (std::array<uint32_t, 2>{0x00010002, 0x00330000}));
    EXPECT_EQ(FirmwareVersionWords("83.e8f84e98.0 ty-a0-gf-a0-83.ucode"),
              (std::array<uint32_t, 2>{0x00834E98, 0x0000A0}));
    EXPECT_EQ(FirmwareVersionWords("N/A"), (std::array<uint32_t, 2>{}));
    EXPECT_EQ(NvmVersionWords("0x1a2b 7"), (std::array<uint32_t, 2>{0x1A2B, 0x7}));
    EXPECT_EQ(NvmVersionWords(""), (std::array<uint32_t, 2>{}));
}

}  // namespace
}  // namespace wavory::kccl
