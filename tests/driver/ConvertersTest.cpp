// Converters between payloads and texts, driven on plain request blocks.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "driver/Converters.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "kccl_adapters.h"

using namespace wavory;

namespace {

// Two request blocks back to back, as a two-pair variable holds them.
struct Blocks {
    std::array<uint8_t, 2 * KCOM_BLOCK_SIZE> bytes{};
    uint8_t* b0() { return bytes.data(); }
    uint8_t* b1() { return bytes.data() + KCOM_BLOCK_SIZE; }
    void SetCode(uint32_t code) { std::memcpy(b0(), &code, 4); }
};

std::string Read(PFNCONVERT conv, Blocks& b) {
    std::string text;
    conv(b.b0(), &text, CONV_AFTER_QUERY);
    return text;
}

}  // namespace

TEST(ConvChannelTest, FormatsChannelFrequencyAndBand) {
    Blocks b;
    Payload(b.b0())[8] = 36;
    SetPayloadU32(b.b1(), 0, 0);
    EXPECT_EQ(Read(ConvChannel, b), "36 / 5.180 GHz - 802.11a");
    Payload(b.b0())[8] = 14;
    SetPayloadU32(b.b1(), 0, 1);
    EXPECT_EQ(Read(ConvChannel, b), "14 / 2.484 GHz - 802.11b");
    Payload(b.b0())[8] = 6;
    SetPayloadU32(b.b1(), 0, 2);
    EXPECT_EQ(Read(ConvChannel, b), "6 / 2.437 GHz - 802.11g");
}

TEST(ConvChannelTest, FrequencyRanges) {
    EXPECT_EQ(ChannelToMHz(1), 2412);
    EXPECT_EQ(ChannelToMHz(14), 2484);
    EXPECT_EQ(ChannelToMHz(31), 2562);
    EXPECT_EQ(ChannelToMHz(32), 5160);
    EXPECT_EQ(ChannelToMHz(199), 5995);
    EXPECT_EQ(ChannelToMHz(200), 4900);
}

TEST(ConvChannelScanTest, PreparesRecordAndRoundTrips) {
    Blocks b;
    std::string text = "149 1";
    ConvChannelScan(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 12u);
    EXPECT_EQ(Payload(b.b0())[8], 149);
    EXPECT_EQ(PayloadU32(b.b0(), 12), 1u);
    EXPECT_EQ(Read(ConvChannelScan, b), "149 1");

    SetPayloadU32(b.b0(), 0, 0);
    ConvChannelScan(b.b0(), &text, CONV_BEFORE_QUERY);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 12u);
    SetPayloadU32(b.b0(), 12, 7);  // any flag but 1 reads as 0
    EXPECT_EQ(Read(ConvChannelScan, b), "149 0");
}

TEST(ConvNetModeTest, TextsBothWays) {
    Blocks b;
    std::string text = "Ad-Hoc";
    ConvNetMode(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 2u);
    text = "Infrastructure";
    ConvNetMode(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 1u);
    text = "Disconnect";
    ConvNetMode(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 5u);
    EXPECT_EQ(Read(ConvNetMode, b), "N/A");
    SetPayloadU32(b.b0(), 0, 2);
    EXPECT_EQ(Read(ConvNetMode, b), "Ad-Hoc");
    SetPayloadU32(b.b0(), 0, 1);
    EXPECT_EQ(Read(ConvNetMode, b), "Infrastructure");
}

TEST(ConvSsidTest, StoresAtMost32Bytes) {
    Blocks b;
    std::string text(40, 'x');
    ConvSsid(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(Payload(b.b0())[0], 32);
    EXPECT_EQ(Read(ConvSsid, b), std::string(32, 'x'));

    // 31 ASCII bytes then a 3-byte character: counting bytes, the character does not fit.
    text = std::string(31, 'a') + "\xE2\x82\xAC";
    ConvSsid(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(Payload(b.b0())[0], 31);
    // Exactly 32 bytes of multi-byte characters are kept whole.
    text = "";
    for (int i = 0; i < 16; ++i) text += "\xC3\xA9";
    ConvSsid(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(Payload(b.b0())[0], 32);
    EXPECT_EQ(Read(ConvSsid, b), text);
}

TEST(ConvSsidTest, ReadKeepsRawBytesAndClampsLength) {
    Blocks b;
    uint8_t* p = Payload(b.b0());
    p[0] = 4;
    std::memcpy(p + 1, "a\0\xFF" "b", 4);
    EXPECT_EQ(Read(ConvSsid, b), std::string("a\0\xFF" "b", 4));
    p[0] = 200;  // a length above 32 is taken as 32
    EXPECT_EQ(Read(ConvSsid, b).size(), 32u);
}

TEST(ConvWepKeyTest, WriteLengthsAndTypes) {
    Blocks b;
    std::string text = "0 10 0123456789";
    ConvWepKey(b.b0(), &text, CONV_BEFORE_SET);
    const uint8_t* p = Payload(b.b0());
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 5);
    EXPECT_EQ(PayloadU32(b.b0(), 4), 1u);
    EXPECT_EQ(p[8], 0x01);
    EXPECT_EQ(p[12], 0x89);

    text = "2 26 00112233445566778899AABBCC";
    ConvWepKey(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(p[1], 13);
    EXPECT_EQ(PayloadU32(b.b0(), 4), 2u);
    EXPECT_EQ(p[8 + 12], 0xCC);
}

TEST(ConvWepKeyTest, CaseDoesNotMatterAndReadRoundTrips) {
    Blocks upper, lower;
    std::string u = "1 26 ABCDEF0123456789ABCDEF0123", l = "1 26 abcdef0123456789abcdef0123";
    ConvWepKey(upper.b0(), &u, CONV_BEFORE_SET);
    ConvWepKey(lower.b0(), &l, CONV_BEFORE_SET);
    EXPECT_EQ(0, std::memcmp(Payload(upper.b0()), Payload(lower.b0()), 44));
    // Two digits per byte on a read, so bytes above 15 come back as written.
    EXPECT_EQ(Read(ConvWepKey, upper), "ABCDEF0123456789ABCDEF0123");
}

TEST(ConvWepKeyTest, ReadRefusesImplausibleRecords) {
    Blocks b;
    uint8_t* p = Payload(b.b0());
    p[0] = 0;
    p[1] = 27;
    EXPECT_EQ(Read(ConvWepKey, b), "");
    p[0] = 5;
    p[1] = 5;
    EXPECT_EQ(Read(ConvWepKey, b), "");
    p[0] = 4;
    p[8] = 0xF0;
    EXPECT_EQ(Read(ConvWepKey, b).substr(0, 2), "F0");
}

TEST(ConvWepKeyTest, NoActiveKeyAndOverlongLengthStayInsideTheRecord) {
    Blocks b;
    std::memset(Payload(b.b0()) + 44, 0x5A, 8);
    std::string text = "-1 -1";
    ConvWepKey(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(Payload(b.b0())[0], 0xFF);
    EXPECT_EQ(Payload(b.b0())[1], 0);
    text = "0 400 " + std::string(400, 'F');
    ConvWepKey(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(Payload(b.b0())[1], 36);
    EXPECT_EQ(Payload(b.b0())[44], 0x5A);  // nothing written past the 44-byte record
}

TEST(ConvNumberTest, UsesTheRequestCodeOfTheBlock) {
    Blocks b;
    b.SetCode(OID_SNR);
    SetPayloadU32(b.b0(), 0, static_cast<uint32_t>(-7));
    EXPECT_EQ(Read(ConvNumber, b), "-7 dB");
    b.SetCode(OID_REG_DOMAIN);
    SetPayloadU32(b.b0(), 0, 0x30);
    EXPECT_EQ(Read(ConvNumber, b), "48");
    b.SetCode(OID_CONN_SETTING_SET);
    std::string text = "2";
    ConvNumber(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 2u);
    b.SetCode(OID_CONN_SETTING_QUERY);  // a query code is not converted on a set
    text = "9";
    ConvNumber(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 2u);
}

TEST(DeviceTextsTest, RegulatoryDomainVersionsAndMac) {
    Blocks b;
    SetPayloadU32(b.b0(), 0, 0x31);
    EXPECT_EQ(Read(ConvRegDomain, b), "SPAIN");
    SetPayloadU32(b.b0(), 0, 0);
    EXPECT_EQ(Read(ConvRegDomain, b), "None");

    SetPayloadU32(b.b0(), 8, 1);
    SetPayloadU32(b.b0(), 12, 2);
    SetPayloadU32(b.b0(), 16, 30);
    SetPayloadU32(b.b0(), 20, 400);
    EXPECT_EQ(Read(ConvDriverVersion, b), "1.2.30.400");
    SetPayloadU32(b.b0(), 32, 0x00010002);
    SetPayloadU32(b.b0(), 36, 0x00030004);
    EXPECT_EQ(Read(ConvFirmwareVersion, b), "0001 - 0002 / 0003 - 0004");
    SetPayloadU32(b.b0(), 148, 0xAB);
    SetPayloadU32(b.b0(), 0, 0x1C);
    EXPECT_EQ(Read(ConvNvmVersion, b), "AB - 1C");

    const uint8_t mac[6] = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    std::memcpy(Payload(b.b0()), mac, 6);
    EXPECT_EQ(Read(ConvMac, b), "00-0A-0B-0C-0D-0E");
}

TEST(StatusTextsTest, SecurityPowerRateRadioAndCounters) {
    Blocks b;
    SetPayloadU32(b.b0(), 0, 0);
    EXPECT_EQ(Read(ConvSecurity, b), "Disabled");
    EXPECT_EQ(Read(ConvPowerSave, b), "Max. Performance");
    EXPECT_EQ(Read(ConvMaxRate, b), "54 Mbps");
    EXPECT_EQ(Read(ConvRadioStatus, b), "HW Status: NOT Ready; RF Status 1.");
    SetPayloadU32(b.b0(), 0, 1);
    EXPECT_EQ(Read(ConvSecurity, b), "WEP");
    EXPECT_EQ(Read(ConvMaxRate, b), "11 Mbps");
    EXPECT_EQ(Read(ConvRadioStatus, b), "HW Status:  Ready; RF Status 1.");
    SetPayloadU32(b.b0(), 0, 3);
    EXPECT_EQ(Read(ConvPowerSave, b), "N/A");

    std::string text = "TKIP";
    ConvSecurity(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 2u);
    text = "None";
    ConvSecurity(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), 0), 0u);

    SetPayloadU32(b.b0(), 0, 3000000000u);
    SetPayloadU32(b.b0(), 4, 17);
    EXPECT_EQ(Read(ConvSent, b), "3000000000");
    EXPECT_EQ(Read(ConvReceived, b), "17");
}

// The words scripts read for who runs the interface ("managed_by" of adapters and hotspot status):
// one table, with each caller's own word for a value it does not know.
TEST(ControlNameTest, NamesEachWayOfControlAndTheCallersWordForOthers) {
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_NOBODY, "unknown"), "nobody");
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_WPA_SUPPLICANT, "unknown"), "wpa_supplicant");
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_NETWORK_MANAGER, "unknown"), "NetworkManager");
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_IWD, "unknown"), "iwd");
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_CONNMAN, "unknown"), "ConnMan");
    EXPECT_EQ(ControlName(KCOM_HS_CONTROL_SIM, "unknown"), "simulation");
    EXPECT_EQ(ControlName(KCCL_MANAGED_BY_CONNMAN + 1, "unknown"), "unknown");
    EXPECT_EQ(ControlName(-1, "nobody"), "nobody");
}
