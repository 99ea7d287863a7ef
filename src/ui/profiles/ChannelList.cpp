#include "ui/profiles/ChannelList.h"

#include "driver/CommVarList.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "profiles/Profile.h"

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
    const double ghz = phyType == 0 ? 5.0 + channel * 0.005 : 2.412 + (channel - 1) * 0.005;
    return {index, channel, StrFormat("%d / %#1.3f GHz", channel, ghz)};
}

}  // namespace

std::optional<uint32_t> ReadRegDomain() {
    CCommVarList list;
    list.AddVarExt(OID_REG_DOMAIN, OID_REG_DOMAIN, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return std::nullopt;
    return PayloadU32(list.GetVar(0)->GetBlock(0), 0);
}

std::vector<SChannelEntry> ChannelEntries(int phyType, std::optional<uint32_t> domain) {
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
