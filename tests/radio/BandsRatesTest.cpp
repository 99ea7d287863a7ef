// Frequencies, channels and bands of all three bands, and the bitrate tables against the figures
// nl80211 reports (and iw prints) for the same rate descriptions.
#include <gtest/gtest.h>

#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Rates.h"

namespace wavory::kccl {
namespace {

struct SChannelCase {
    int channel;
    EBand band;
    int mhz;
};

TEST(Bands, ChannelsAndFrequenciesOfAllThreeBandsMapBothWays) {
    const SChannelCase cases[] = {
        {1, EBand::Band2G4, 2412},  {6, EBand::Band2G4, 2437},  {13, EBand::Band2G4, 2472},
        {14, EBand::Band2G4, 2484}, {36, EBand::Band5G, 5180},  {64, EBand::Band5G, 5320},
        {100, EBand::Band5G, 5500}, {165, EBand::Band5G, 5825}, {177, EBand::Band5G, 5885},
        {184, EBand::Band5G, 4920}, {1, EBand::Band6G, 5955},   {2, EBand::Band6G, 5935},
        {5, EBand::Band6G, 5975},   {37, EBand::Band6G, 6135},  {233, EBand::Band6G, 7115},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mhz);
        EXPECT_EQ(ChannelToFrequency(c.channel, c.band), c.mhz);
        EXPECT_EQ(FrequencyToChannel(c.mhz), c.channel);
        EXPECT_EQ(BandOfFrequency(c.mhz), c.band);
    }
}

TEST(Bands, ChannelsOutsideTheirBandAndOffCentreFrequenciesAreNone) {
    EXPECT_EQ(ChannelToFrequency(15, EBand::Band2G4), 0);
    EXPECT_EQ(ChannelToFrequency(0, EBand::Band2G4), 0);
    EXPECT_EQ(ChannelToFrequency(31, EBand::Band5G), 0);
    EXPECT_EQ(ChannelToFrequency(234, EBand::Band6G), 0);
    EXPECT_EQ(ChannelToFrequency(6, EBand::Unknown), 0);
    EXPECT_EQ(FrequencyToChannel(2413), 0);
    EXPECT_EQ(FrequencyToChannel(5936), 0);
    EXPECT_EQ(FrequencyToChannel(2485), 0);
    EXPECT_EQ(FrequencyToChannel(60480), 0);  // 60 GHz is not one of the three
    EXPECT_EQ(BandOfFrequency(0), EBand::Unknown);
}

TEST(Bands, AChannelNumberToldWithoutItsBandKeepsTheLegacyReading) {
    EXPECT_EQ(LegacyChannelToFrequency(14), 2484);
    EXPECT_EQ(LegacyChannelToFrequency(5), 2432);
    EXPECT_EQ(LegacyChannelToFrequency(36), 5180);
    EXPECT_EQ(LegacyChannelToFrequency(200), 4900);
    // The frequency beside it decides: 6 GHz channel 5 is not 2.4 GHz channel 5.
    EXPECT_EQ(ChannelFrequency(5, 5975), 5975);
    EXPECT_EQ(ChannelFrequency(5, 0), 2432);
    // No channel at all (a hidden network heard by no scan) has no frequency: 2407 MHz is none.
    EXPECT_EQ(LegacyChannelToFrequency(0), 0);
    EXPECT_EQ(ChannelFrequency(0, 0), 0);
}

TEST(Bands, GenerationNamesFollowPhyAndBand) {
    EXPECT_EQ(PhyGeneration(KCOM_PHY_AX, EBand::Band5G), "Wi-Fi 6");
    EXPECT_EQ(PhyGeneration(KCOM_PHY_AX, EBand::Band6G), "Wi-Fi 6E");
    EXPECT_EQ(PhyGeneration(KCOM_PHY_BE, EBand::Band6G), "Wi-Fi 7");
    EXPECT_EQ(PhyGeneration(KCOM_PHY_N, EBand::Band2G4), "Wi-Fi 4");
    EXPECT_EQ(PhyGeneration(KCOM_PHY_G, EBand::Band2G4), "");
    EXPECT_STREQ(PhyStandard(KCOM_PHY_AC), "802.11ac");
    EXPECT_STREQ(PhyStandard(7), "");
    EXPECT_STREQ(BandName(EBand::Band6G), "6 GHz");
}

struct SRateCase {
    ERateKind kind;
    int mcs, nss, width, guard;
    uint32_t rate100k;  // as iw prints it, in 100 kbit/s
};

TEST(Rates, TablesMatchTheKernelsFigures) {
    const SRateCase cases[] = {
        {ERateKind::HT, 7, 0, 20, GI_800NS, 650},     {ERateKind::HT, 7, 0, 20, GI_400NS, 722},
        {ERateKind::HT, 15, 0, 40, GI_400NS, 3000},   {ERateKind::HT, 31, 0, 40, GI_400NS, 6000},
        {ERateKind::HT, 0, 0, 20, GI_800NS, 65},      {ERateKind::HT, 7, 2, 20, GI_800NS, 1300},
        {ERateKind::VHT, 9, 2, 80, GI_400NS, 8667},   {ERateKind::VHT, 9, 1, 80, GI_800NS, 3900},
        {ERateKind::VHT, 9, 4, 160, GI_400NS, 34667}, {ERateKind::VHT, 0, 1, 20, GI_800NS, 65},
        {ERateKind::HE, 11, 2, 80, GI_800NS, 12010},  {ERateKind::HE, 11, 1, 20, GI_800NS, 1434},
        {ERateKind::HE, 11, 2, 160, GI_800NS, 24020}, {ERateKind::HE, 0, 1, 20, GI_3200NS, 73},
        {ERateKind::HE, 7, 2, 80, GI_1600NS, 6806},   {ERateKind::EHT, 13, 2, 320, GI_800NS, 57647},
        {ERateKind::EHT, 13, 1, 20, GI_800NS, 1721},  {ERateKind::EHT, 11, 2, 160, GI_800NS, 24020},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.kind) << " MCS " << c.mcs << " NSS " << c.nss
                                        << " " << c.width << " MHz GI " << c.guard);
        EXPECT_EQ(Bitrate100k(c.kind, c.mcs, c.nss, c.width, c.guard), c.rate100k);
    }
}

TEST(Rates, CombinationsThatDoNotExistHaveNoRate) {
    EXPECT_EQ(Bitrate100k(ERateKind::HT, 7, 1, 80, GI_800NS), 0u);    // HT stops at 40 MHz
    EXPECT_EQ(Bitrate100k(ERateKind::HT, 32, 0, 40, GI_800NS), 0u);   // the duplicate MCS
    EXPECT_EQ(Bitrate100k(ERateKind::VHT, 10, 1, 80, GI_800NS), 0u);  // VHT stops at 9
    EXPECT_EQ(Bitrate100k(ERateKind::VHT, 9, 1, 320, GI_800NS), 0u);
    EXPECT_EQ(Bitrate100k(ERateKind::HE, 11, 1, 80, GI_400NS), 0u);  // HE has no 0.4 us guard
    EXPECT_EQ(Bitrate100k(ERateKind::HE, 12, 1, 80, GI_800NS), 0u);
    EXPECT_EQ(Bitrate100k(ERateKind::HE, 11, 1, 320, GI_800NS), 0u);  // 320 MHz is EHT's
    EXPECT_EQ(Bitrate100k(ERateKind::EHT, 13, 9, 80, GI_800NS), 0u);
    EXPECT_EQ(Bitrate100k(ERateKind::EHT, 13, 0, 80, GI_800NS), 0u);
    EXPECT_EQ(Bitrate100k(ERateKind::Legacy, 0, 1, 20, GI_800NS), 0u);
    EXPECT_EQ(Bitrate100k(ERateKind::VHT, 9, 1, 30, GI_800NS), 0u);
}

TEST(Rates, RatesReadAsUsersWriteThem) {
    EXPECT_EQ(FormatRate100k(12010), "1201 Mbps");
    EXPECT_EQ(FormatRate100k(8667), "866.7 Mbps");
    EXPECT_EQ(FormatRate100k(55), "5.5 Mbps");
    EXPECT_EQ(FormatRate100k(0), "");
}

}  // namespace
}  // namespace wavory::kccl
