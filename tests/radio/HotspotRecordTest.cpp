// A hotspot's settings: the record survives its encoding, hostile values are refused with a
// sentence naming them, and the channel is chosen only where the radio may start an access point.
#include <gtest/gtest.h>

#include "kccl_oid.h"
#include "radio/Hotspot.h"

namespace wavory::kccl {
namespace {

SHotspotRecord Record(std::string ssid, uint8_t security, std::string passphrase, uint8_t band = 0,
                      uint16_t channel = 0) {
    SHotspotRecord r;
    r.ssid = std::move(ssid);
    r.security = security;
    r.passphrase = std::move(passphrase);
    r.band = band;
    r.channel = channel;
    return r;
}

TEST(HotspotRecordTest, SurvivesItsEncodingAndRefusesOverlongFields) {
    const SHotspotRecord r = Record(std::string("caf\xc3\xa9\0x", 7), KCOM_HOTSPOT_WPA2_WPA3,
                                    std::string(63, '~'), KCOM_HOTSPOT_BAND_5G, 149);
    uint8_t payload[KCOM_HOTSPOT_RECORD_SIZE] = {};
    ASSERT_EQ(EncodeHotspotRecord(r, payload, sizeof payload), static_cast<size_t>(KCOM_HOTSPOT_RECORD_SIZE));
    SHotspotRecord back;
    ASSERT_TRUE(DecodeHotspotRecord(payload, sizeof payload, back));
    EXPECT_EQ(back.ssid, r.ssid);
    EXPECT_EQ(back.passphrase, r.passphrase);
    EXPECT_EQ(back.security, r.security);
    EXPECT_EQ(back.band, r.band);
    EXPECT_EQ(back.channel, 149);

    EXPECT_EQ(EncodeHotspotRecord(Record(std::string(33, 'n'), 1, "12345678"), payload, sizeof payload), 0u);
    EXPECT_EQ(EncodeHotspotRecord(Record("n", 1, std::string(64, 'p')), payload, sizeof payload), 0u);
    EXPECT_EQ(EncodeHotspotRecord(r, payload, sizeof payload - 1), 0u);
    payload[KCOM_HOTSPOT_SSID_LEN] = 33;
    EXPECT_FALSE(DecodeHotspotRecord(payload, sizeof payload, back));
    payload[KCOM_HOTSPOT_SSID_LEN] = 4;
    payload[KCOM_HOTSPOT_PASS_LEN] = 64;
    EXPECT_FALSE(DecodeHotspotRecord(payload, sizeof payload, back));
}

TEST(HotspotRecordTest, HostileValuesAreRefusedNamingThem) {
    const struct {
        SHotspotRecord record;
        const char* says;  // empty: usable
    } cases[] = {
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678"), ""},
        {Record(std::string(32, 'n'), KCOM_HOTSPOT_WPA3, std::string(63, 'p')), ""},
        {Record("Deck", KCOM_HOTSPOT_OPEN, ""), ""},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", 0, 11), ""},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", 0, 36), ""},
        {Record("Deck", KCOM_HOTSPOT_WPA3, "12345678", KCOM_HOTSPOT_BAND_6G, 37), ""},
        {Record("", KCOM_HOTSPOT_WPA2, "12345678"), "name is empty"},
        {Record(std::string(33, 'n'), KCOM_HOTSPOT_WPA2, "12345678"), "33 bytes"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "1234567"), "7 characters"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, std::string(64, 'p')), "64 characters"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "caf\xc3\xa9-latte"), "not printable ASCII"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, std::string("tab\there!")), "not printable ASCII"},
        {Record("Deck", KCOM_HOTSPOT_OPEN, "12345678"), "open hotspot takes no passphrase"},
        {Record("Deck", 4, "12345678"), "unknown security"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", 4), "unknown band"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", KCOM_HOTSPOT_BAND_5G, 6),
         "not a channel of the 5 GHz"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", KCOM_HOTSPOT_BAND_2G4, 36),
         "not a channel of the 2.4 GHz"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", 0, 200), "no 2.4 or 5 GHz channel"},
        {Record("Deck", KCOM_HOTSPOT_WPA2, "12345678", KCOM_HOTSPOT_BAND_6G), "needs wpa3"},
        {Record("Deck", KCOM_HOTSPOT_OPEN, "", KCOM_HOTSPOT_BAND_6G), "needs wpa3"},
    };
    for (const auto& c : cases) {
        const std::string problem = CheckHotspotRecord(c.record);
        if (*c.says == 0)
            EXPECT_EQ(problem, "") << c.record.ssid;
        else
            EXPECT_NE(problem.find(c.says), std::string::npos)
                << "expected \"" << c.says << "\", got \"" << problem << "\"";
    }
}

TEST(HotspotRecordTest, TheChannelIsOneTheRadioMayStartAnAccessPointOn) {
    // 2.4 GHz channels 1..13 with 12 and 13 listen-only; 5 GHz 36 and 40 listen-only, 44 free,
    // 52 radar; 6 GHz listen-only everywhere.
    std::vector<SApChannel> radio;
    for (int ch = 1; ch <= 13; ++ch)
        radio.push_back({static_cast<uint32_t>(2407 + 5 * ch), ch >= 12 ? uint32_t(KCOM_CHLIST_NO_IR) : 0u});
    radio.push_back({5180, KCOM_CHLIST_NO_IR});
    radio.push_back({5200, KCOM_CHLIST_NO_IR});
    radio.push_back({5220, 0});
    radio.push_back({5260, KCOM_CHLIST_RADAR});
    radio.push_back({5955, KCOM_CHLIST_NO_IR});
    EXPECT_EQ(HotspotBands(radio), (1u << KCOM_HOTSPOT_BAND_2G4) | (1u << KCOM_HOTSPOT_BAND_5G));

    std::string why;
    // Best: 5 GHz, where 36 may not be used: the first channel that may.
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678"), radio, why), 5220u);
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678", KCOM_HOTSPOT_BAND_2G4), radio, why), 2437u);
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678", 0, 11), radio, why), 2462u);
    for (const uint16_t refused : {12, 36, 52}) {
        why.clear();
        EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678", 0, refused), radio, why), 0u) << refused;
        EXPECT_NE(why.find("channel " + std::to_string(refused)), std::string::npos) << why;
    }
    why.clear();
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 2, "12345678", KCOM_HOTSPOT_BAND_6G), radio, why), 0u);
    EXPECT_NE(why.find("6 GHz"), std::string::npos) << why;

    // Without 5 GHz the best band is 2.4 GHz; with nothing at all, nothing.
    radio.resize(13);
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678"), radio, why), 2437u);
    for (SApChannel& c : radio) c.flags = KCOM_CHLIST_NO_IR;
    why.clear();
    EXPECT_EQ(ChooseHotspotFrequency(Record("D", 1, "12345678"), radio, why), 0u);
    EXPECT_FALSE(why.empty());
}

TEST(HotspotRecordTest, NamesOfSecurityAndBandGoBothWays) {
    for (int i = KCOM_HOTSPOT_OPEN; i <= KCOM_HOTSPOT_WPA2_WPA3; ++i)
        EXPECT_EQ(HotspotSecurityByName(HotspotSecurityName(i)), i);
    for (int i = KCOM_HOTSPOT_BAND_BEST; i <= KCOM_HOTSPOT_BAND_6G; ++i)
        EXPECT_EQ(HotspotBandByName(HotspotBandName(i)), i);
    EXPECT_EQ(HotspotSecurityByName("WPA2"), -1);
    EXPECT_EQ(HotspotBandByName("2"), -1);
}

}  // namespace
}  // namespace wavory::kccl
