#include "SimChannels.h"

#include "kccl_oid.h"
#include "radio/Bands.h"

namespace wavory::kccl {

namespace {

constexpr uint32_t kFcc = 0x10, kIc = 0x20, kEtsi = 0x30, kSpain = 0x31, kFrance = 0x32, kJapan = 0x40;

bool Americas(uint32_t domain) { return domain == kFcc || domain == kIc; }

uint32_t Flags2G4(uint32_t domain, int ch) {
    int first = 1, last = 14;
    switch (domain) {
        case kFcc:
        case kIc:
            last = 11;
            break;
        case kEtsi:
            last = 13;
            break;
        case kSpain:
            first = 10, last = 11;
            break;
        case kFrance:
            first = 10, last = 13;
            break;
        default:
            break;
    }
    return ch >= first && ch <= last ? 0 : KCOM_CHLIST_DISABLED;
}

uint32_t Flags5G(uint32_t domain, int ch) {
    if (ch <= 48) return 0;
    if (ch <= 64) return KCOM_CHLIST_RADAR;
    if (ch <= 144) {
        if (domain == kIc && ch >= 120 && ch <= 128) return KCOM_CHLIST_DISABLED;  // weather radar
        if (ch == 144 && domain != kFcc && domain != kIc && domain != kJapan) return KCOM_CHLIST_DISABLED;
        return KCOM_CHLIST_RADAR;
    }
    return Americas(domain) ? 0 : KCOM_CHLIST_DISABLED;
}

uint32_t Flags6G(uint32_t domain, int ch) {
    const bool allowed = Americas(domain) || (ch != 2 && ch <= 93);
    return allowed ? KCOM_CHLIST_NO_IR : KCOM_CHLIST_DISABLED;
}

}  // namespace

std::vector<SimChannel> DomainChannels(uint32_t domain) {
    std::vector<SimChannel> out;
    for (int ch = 1; ch <= 14; ++ch)
        out.push_back({static_cast<uint32_t>(ChannelToFrequency(ch, EBand::Band2G4)), Flags2G4(domain, ch)});
    for (int ch = 36; ch <= 165; ch += 4) {
        if (ch > 64 && ch < 100) continue;
        if (ch == 148) ch = 149;  // the upper band counts from 149
        out.push_back({static_cast<uint32_t>(ChannelToFrequency(ch, EBand::Band5G)), Flags5G(domain, ch)});
    }
    out.push_back({static_cast<uint32_t>(ChannelToFrequency(2, EBand::Band6G)), Flags6G(domain, 2)});
    for (int ch = 1; ch <= 233; ch += 4)
        out.push_back({static_cast<uint32_t>(ChannelToFrequency(ch, EBand::Band6G)), Flags6G(domain, ch)});
    return out;
}

uint32_t ChannelFlags(uint32_t domain, uint32_t freqMHz) {
    for (const SimChannel& c : DomainChannels(domain))
        if (c.freqMHz == freqMHz) return c.flags;
    return KCOM_CHLIST_DISABLED;
}

}  // namespace wavory::kccl
