#include "profiles/ChannelList.h"

#include "driver/CommVarList.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "radio/Bands.h"

namespace wavory {

namespace {

// 802.11a list indexes: 0..7 are channels 36 to 64, 8 and on are 149, 153 ...
constexpr int kLowBandLastIndex = 7;
constexpr int kUpperBandLastIndex = 12;  // channel 165

struct SBounds {
    int first;
    int last;
};

// 2.4 GHz channels of a domain.
SBounds BgBounds(std::optional<uint32_t> domain) {
    switch (domain.value_or(0)) {
        case 0x10:  // FCC
        case 0x20:  // IC
            return {1, 11};
        case 0x30:  // ETSI
            return {1, 13};
        case 0x31:  // Spain
            return {10, 11};
        case 0x32:  // France
            return {10, 13};
        default:  // Japan, unknown, or not read
            return {1, 14};
    }
}

// Whether a domain allows the upper 5 GHz band (149 to 165); the lower one (36 to 64) is allowed
// everywhere.
bool UpperBandAllowed(std::optional<uint32_t> domain) {
    switch (domain.value_or(0)) {
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x40:
            return false;
        default:
            return true;
    }
}

SChannelEntry Entry(int phyType, int index) {
    const int channel = ChannelIndexToNumber(phyType, index);
    // The label from the channel's real frequency: channel 14 is 2484 MHz, off the 5 MHz raster.
    const int mhz =
        kccl::ChannelToFrequency(channel, phyType == 0 ? kccl::EBand::Band5G : kccl::EBand::Band2G4);
    return {index, channel, 0, mhz, StrFormat("%d / %#1.3f GHz", channel, mhz / 1000.0)};
}

// The adapter's channels of the PHY mode's bands.
std::vector<SChannelEntry> AdapterEntries(int phyType, const std::vector<SAdapterChannel>& channels) {
    std::vector<SChannelEntry> entries;
    const bool fiveOrSix = phyType == 0;
    for (const SAdapterChannel& c : channels) {
        const kccl::EBand band = kccl::BandOfFrequency(c.freqMHz);
        if ((band == kccl::EBand::Band2G4) == fiveOrSix || band == kccl::EBand::Unknown) continue;
        const int channel = kccl::FrequencyToChannel(c.freqMHz);
        std::string label = ChannelLabel(channel, c.freqMHz);
        // An ad-hoc cell can only be joined there, never started.
        if (c.flags & (KCOM_CHLIST_NO_IR | KCOM_CHLIST_RADAR)) label += " - join only";
        const int index = band == kccl::EBand::Band5G   ? ChannelNumberToIndex(0, channel)
                          : band == kccl::EBand::Band6G ? 0
                                                        : channel - 1;
        // The frequency is stored only where the index cannot name the channel (6 GHz, and 5 GHz
        // channels beyond the list of old): a profile of a classic channel stays as it always was.
        const bool indexNamesIt =
            band != kccl::EBand::Band6G && ChannelIndexToNumber(fiveOrSix ? 0 : 1, index) == channel;
        entries.push_back({index, channel, indexNamesIt ? 0 : c.freqMHz, c.freqMHz, std::move(label)});
    }
    return entries;
}

}  // namespace

std::optional<uint32_t> ReadRegDomain() {
    CCommVarList list;
    list.AddVarExt(OID_REG_DOMAIN, OID_REG_DOMAIN, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return std::nullopt;
    return PayloadU32(list.GetVar(0)->GetBlock(0), 0);
}

std::vector<SChannelEntry> ChannelEntries(
    int phyType, std::optional<uint32_t> domain,
    const std::optional<std::vector<SAdapterChannel>>& adapterChannels) {
    if (adapterChannels) {
        std::vector<SChannelEntry> entries = AdapterEntries(phyType, *adapterChannels);
        if (!entries.empty()) return entries;
    }
    std::vector<SChannelEntry> entries;
    if (phyType == 0) {
        const int last = UpperBandAllowed(domain) ? kUpperBandLastIndex : kLowBandLastIndex;
        for (int index = 0; index <= last; ++index) entries.push_back(Entry(phyType, index));
        return entries;
    }
    const SBounds bounds = BgBounds(domain);
    for (int channel = bounds.first; channel <= bounds.last; ++channel)
        entries.push_back(Entry(phyType, channel - 1));
    return entries;
}

}  // namespace wavory
