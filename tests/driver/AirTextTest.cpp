// The texts of today's networks: band-correct channels, generations, security kinds both ways,
// and the channel record that carries its frequency.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "driver/AirText.h"
#include "driver/Converters.h"
#include "driver/Request.h"

using namespace wavory;

namespace {

struct Blocks {
    std::array<uint8_t, 2 * KCOM_BLOCK_SIZE> bytes{};
    uint8_t* b0() { return bytes.data(); }
    uint8_t* b1() { return bytes.data() + KCOM_BLOCK_SIZE; }
};

std::string ChannelOf(int channel, uint32_t freq, uint32_t phy) {
    Blocks b;
    Payload(b.b0())[KCOM_CHANNEL_NUMBER] = static_cast<uint8_t>(channel);
    SetPayloadU32(b.b0(), KCOM_CHANNEL_FREQ, freq);
    SetPayloadU32(b.b1(), 0, phy);
    std::string text;
    ConvChannel(b.b0(), &text, CONV_AFTER_QUERY);
    return text;
}

TEST(AirTextTest, ChannelTextNamesBandAndGeneration) {
    EXPECT_EQ(ChannelOf(36, 5180, KCOM_PHY_AX), "36 / 5.180 GHz - Wi-Fi 6 (802.11ax)");
    EXPECT_EQ(ChannelOf(5, 5975, KCOM_PHY_AX), "5 / 5.975 GHz (6 GHz band) - Wi-Fi 6E");
    EXPECT_EQ(ChannelOf(37, 6135, KCOM_PHY_BE), "37 / 6.135 GHz (6 GHz band) - Wi-Fi 7 (802.11be)");
    EXPECT_EQ(ChannelOf(100, 5500, KCOM_PHY_AC), "100 / 5.500 GHz - Wi-Fi 5 (802.11ac)");
    EXPECT_EQ(ChannelOf(6, 2437, KCOM_PHY_N), "6 / 2.437 GHz - Wi-Fi 4 (802.11n)");
    // The PHYs of old keep their letter, with or without a frequency told.
    EXPECT_EQ(ChannelOf(6, 2437, KCOM_PHY_G), "6 / 2.437 GHz - 802.11g");
    EXPECT_EQ(ChannelOf(36, 0, KCOM_PHY_A), "36 / 5.180 GHz - 802.11a");
    EXPECT_EQ(ChannelOf(11, 0, 9), "11 / 2.462 GHz");
}

TEST(AirTextTest, ChannelRecordCarriesTheFrequencyBothWays) {
    Blocks b;
    std::string text = "5 0 5975";
    ConvChannelScan(b.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(b.b0(), KCOM_CHANNEL_RECORD_SIZE), static_cast<uint32_t>(KCOM_CHANNEL_RECORD_FREQ));
    EXPECT_EQ(Payload(b.b0())[KCOM_CHANNEL_NUMBER], 5);
    EXPECT_EQ(PayloadU32(b.b0(), KCOM_CHANNEL_FREQ), 5975u);
    std::string read;
    ConvChannelScan(b.b0(), &read, CONV_AFTER_QUERY);
    EXPECT_EQ(read, "5 0 5975");
    // Without a frequency the record stays the short one of old.
    Blocks old;
    text = "6 1";
    ConvChannelScan(old.b0(), &text, CONV_BEFORE_SET);
    EXPECT_EQ(PayloadU32(old.b0(), KCOM_CHANNEL_RECORD_SIZE), 12u);
    EXPECT_EQ(PayloadU32(old.b0(), KCOM_CHANNEL_FREQ), 0u);
}

TEST(AirTextTest, SecurityModesReadAndWriteByTheirNames) {
    const struct {
        uint32_t mode;
        const char* text;
    } cases[] = {{KCOM_SECURITY_MODE_WPA2_PERSONAL, "WPA2-Personal"},
                 {KCOM_SECURITY_MODE_WPA3_PERSONAL, "WPA3-Personal"},
                 {KCOM_SECURITY_MODE_OWE, "Enhanced Open"},
                 {KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, "WPA2/WPA3-Personal"},
                 {KCOM_SECURITY_MODE_WPA2_ENTERPRISE, "WPA2-Enterprise"},
                 {KCOM_SECURITY_MODE_WPA3_ENTERPRISE, "WPA3-Enterprise"}};
    for (const auto& c : cases) {
        Blocks b;
        SetPayloadU32(b.b0(), 0, c.mode);
        std::string text;
        ConvSecurity(b.b0(), &text, CONV_AFTER_QUERY);
        EXPECT_EQ(text, c.text);
        SetPayloadU32(b.b0(), 0, 0);
        ConvSecurity(b.b0(), &text, CONV_BEFORE_SET);
        EXPECT_EQ(PayloadU32(b.b0(), 0), c.mode) << c.text;
    }
    EXPECT_EQ(LinkSecurityText(KCOM_SECURITY_OPEN), "Disabled");  // the General page's own word
    EXPECT_STREQ(SecurityKindText(KCOM_SECURITY_OPEN), "None");
    EXPECT_STREQ(SecurityKindText(KCOM_SECURITY_WPA_ENTERPRISE), "WPA-Enterprise");
    for (int kind = KCOM_SECURITY_OPEN; kind <= KCOM_SECURITY_WPA_ENTERPRISE; ++kind) {
        if (kind == KCOM_SECURITY_WPA_ENTERPRISE || kind == KCOM_SECURITY_WPA)
            continue;  // no mode of their own
        EXPECT_EQ(SecurityKindOfMode(SecurityModeOfKind(kind)), kind) << kind;
    }
}

TEST(AirTextTest, SurveyColumnsTellTheSixGigahertzBand) {
    EXPECT_EQ(ChannelColumnText(5, 5975), "5 (6 GHz)");
    EXPECT_EQ(ChannelColumnText(5, 2432), "5");
    EXPECT_EQ(ChannelColumnText(36, 0), "36");
    EXPECT_EQ(ChannelLabel(2, 5935), "2 / 5.935 GHz (6 GHz band)");
    EXPECT_EQ(GenerationText(KCOM_PHY_B, 2412), "802.11b");
}

}  // namespace
