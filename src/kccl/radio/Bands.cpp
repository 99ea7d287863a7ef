#include "radio/Bands.h"

#include <array>

#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

constexpr int k2G4Base = 2407;
constexpr int k2G4Channel14 = 2484;
constexpr int k5GBase = 5000;
constexpr int k4G9Base = 4000;  // Japan's 4.9 GHz channels 182..196 count from here
constexpr int k6GBase = 5950;
constexpr int k6GChannel2 = 5935;  // the one 6 GHz channel below the band's base

}  // namespace

EBand BandOfFrequency(int mhz) {
    if (mhz >= 2400 && mhz < 2500) return EBand::Band2G4;
    if (mhz >= 4900 && mhz < 5925) return EBand::Band5G;
    if (mhz >= 5925 && mhz <= 7125) return EBand::Band6G;
    return EBand::Unknown;
}

const char* BandName(EBand band) {
    switch (band) {
        case EBand::Band2G4:
            return "2.4 GHz";
        case EBand::Band5G:
            return "5 GHz";
        case EBand::Band6G:
            return "6 GHz";
        default:
            return "";
    }
}

int ChannelToFrequency(int channel, EBand band) {
    switch (band) {
        case EBand::Band2G4:
            if (channel == 14) return k2G4Channel14;
            return channel >= 1 && channel <= 13 ? k2G4Base + 5 * channel : 0;
        case EBand::Band5G:
            if (channel >= 182 && channel <= 196) return k4G9Base + 5 * channel;
            return channel >= 32 && channel <= 177 ? k5GBase + 5 * channel : 0;
        case EBand::Band6G:
            if (channel == 2) return k6GChannel2;
            return channel >= 1 && channel <= 233 ? k6GBase + 5 * channel : 0;
        default:
            return 0;
    }
}

int FrequencyToChannel(int mhz) {
    if (mhz == k2G4Channel14) return 14;
    if (mhz == k6GChannel2) return 2;
    int channel = 0;
    switch (BandOfFrequency(mhz)) {
        case EBand::Band2G4:
            channel = (mhz - k2G4Base) / 5;
            break;
        case EBand::Band5G:
            channel = mhz >= 4910 && mhz <= 4980 ? (mhz - k4G9Base) / 5 : (mhz - k5GBase) / 5;
            break;
        case EBand::Band6G:
            channel = (mhz - k6GBase) / 5;
            break;
        default:
            return 0;
    }
    // Only a frequency that is exactly a channel's centre counts.
    return ChannelToFrequency(channel, BandOfFrequency(mhz)) == mhz ? channel : 0;
}

int LegacyChannelToFrequency(int channel) {
    if (channel <= 0) return 0;  // no channel (a hidden network's, say), not one below channel 1
    if (channel == 14) return k2G4Channel14;
    if (channel < 32) return k2G4Base + 5 * channel;
    if (channel < 200) return k5GBase + 5 * channel;
    return 3900 + 5 * channel;
}

const char* PhyStandard(int phyType) {
    static constexpr std::array<const char*, kPhyTypeCount> kNames = {
        "802.11a", "802.11b", "802.11g", "802.11n", "802.11ac", "802.11ax", "802.11be"};
    return phyType >= 0 && phyType < kPhyTypeCount ? kNames[static_cast<std::size_t>(phyType)] : "";
}

std::string PhyGeneration(int phyType, EBand band) {
    switch (phyType) {
        case KCOM_PHY_N:
            return "Wi-Fi 4";
        case KCOM_PHY_AC:
            return "Wi-Fi 5";
        case KCOM_PHY_AX:
            return band == EBand::Band6G ? "Wi-Fi 6E" : "Wi-Fi 6";
        case KCOM_PHY_BE:
            return "Wi-Fi 7";
        default:
            return {};
    }
}

}  // namespace wavory::kccl
