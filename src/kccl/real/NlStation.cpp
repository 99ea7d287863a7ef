#include "NlStation.h"

#include <linux/nl80211.h>
#include <netlink/attr.h>

#include <algorithm>

#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Rates.h"

namespace wavory::kccl {

namespace {

int BandIndex(uint32_t freqMhz) {
    switch (BandOfFrequency(static_cast<int>(freqMhz))) {
        case EBand::Band2G4:
            return 0;
        case EBand::Band5G:
            return 1;
        case EBand::Band6G:
            return 2;
        default:
            return -1;
    }
}

// The guard interval of an HE or EHT rate (NL80211_RATE_INFO_HE_GI_*: 0.8, 1.6, 3.2 us).
uint8_t WideGuard(uint8_t value) { return value == 1 ? GI_1600NS : value == 2 ? GI_3200NS : GI_800NS; }

}  // namespace

bool ParseRateInfo(const nlattr* rateInfo, SRateInfo& out) {
    out = SRateInfo{};
    if (!rateInfo) return false;
    nlattr* r[NL80211_RATE_INFO_MAX + 1] = {};
    if (nla_parse_nested(r, NL80211_RATE_INFO_MAX, const_cast<nlattr*>(rateInfo), nullptr) != 0) return false;
    if (r[NL80211_RATE_INFO_BITRATE32])
        out.rate100k = nla_get_u32(r[NL80211_RATE_INFO_BITRATE32]);
    else if (r[NL80211_RATE_INFO_BITRATE])
        out.rate100k = nla_get_u16(r[NL80211_RATE_INFO_BITRATE]);

    if (r[NL80211_RATE_INFO_320_MHZ_WIDTH])
        out.widthMhz = 320;
    else if (r[NL80211_RATE_INFO_160_MHZ_WIDTH] || r[NL80211_RATE_INFO_80P80_MHZ_WIDTH])
        out.widthMhz = 160;
    else if (r[NL80211_RATE_INFO_80_MHZ_WIDTH])
        out.widthMhz = 80;
    else if (r[NL80211_RATE_INFO_40_MHZ_WIDTH])
        out.widthMhz = 40;
    else if (r[NL80211_RATE_INFO_10_MHZ_WIDTH])
        out.widthMhz = 10;
    else if (r[NL80211_RATE_INFO_5_MHZ_WIDTH])
        out.widthMhz = 5;
    const bool shortGi = r[NL80211_RATE_INFO_SHORT_GI] != nullptr;

    ERateKind kind = ERateKind::Legacy;
    int mcs = -1, nss = 0;
    uint8_t guard = shortGi ? GI_400NS : GI_800NS;
    if (r[NL80211_RATE_INFO_EHT_MCS]) {
        kind = ERateKind::EHT;
        mcs = nla_get_u8(r[NL80211_RATE_INFO_EHT_MCS]);
        if (r[NL80211_RATE_INFO_EHT_NSS]) nss = nla_get_u8(r[NL80211_RATE_INFO_EHT_NSS]);
        guard = r[NL80211_RATE_INFO_EHT_GI] ? WideGuard(nla_get_u8(r[NL80211_RATE_INFO_EHT_GI]))
                                            : static_cast<uint8_t>(GI_800NS);
    } else if (r[NL80211_RATE_INFO_HE_MCS]) {
        kind = ERateKind::HE;
        mcs = nla_get_u8(r[NL80211_RATE_INFO_HE_MCS]);
        if (r[NL80211_RATE_INFO_HE_NSS]) nss = nla_get_u8(r[NL80211_RATE_INFO_HE_NSS]);
        guard = r[NL80211_RATE_INFO_HE_GI] ? WideGuard(nla_get_u8(r[NL80211_RATE_INFO_HE_GI]))
                                           : static_cast<uint8_t>(GI_800NS);
    } else if (r[NL80211_RATE_INFO_VHT_MCS]) {
        kind = ERateKind::VHT;
        mcs = nla_get_u8(r[NL80211_RATE_INFO_VHT_MCS]);
        if (r[NL80211_RATE_INFO_VHT_NSS]) nss = nla_get_u8(r[NL80211_RATE_INFO_VHT_NSS]);
    } else if (r[NL80211_RATE_INFO_MCS]) {
        // HT numbers the streams into the index: 0..7 one stream, 8..15 two and so on.
        kind = ERateKind::HT;
        mcs = nla_get_u8(r[NL80211_RATE_INFO_MCS]);
        nss = mcs / 8 + 1;
    }
    if (kind == ERateKind::Legacy && out.rate100k == 0) return false;
    out.kind = static_cast<uint8_t>(kind);
    if (kind != ERateKind::Legacy) {
        out.mcs = static_cast<uint8_t>(mcs);
        out.nss = static_cast<uint8_t>(nss);
        out.guard = guard;
        if (out.rate100k == 0)
            out.rate100k = Bitrate100k(kind, mcs, nss, static_cast<int>(out.widthMhz), guard);
    }
    return true;
}

void PutRateDescription(const SRateInfo& rate, uint8_t* p) {
    p[0] = rate.kind;
    p[1] = rate.mcs;
    p[2] = rate.nss;
    p[3] = rate.guard;
}

uint32_t ChannelWidthMhz(uint32_t nlWidth) {
    switch (nlWidth) {
        case NL80211_CHAN_WIDTH_20_NOHT:
        case NL80211_CHAN_WIDTH_20:
            return 20;
        case NL80211_CHAN_WIDTH_40:
            return 40;
        case NL80211_CHAN_WIDTH_80:
            return 80;
        case NL80211_CHAN_WIDTH_80P80:
        case NL80211_CHAN_WIDTH_160:
            return 160;
        case NL80211_CHAN_WIDTH_320:
            return 320;
        case NL80211_CHAN_WIDTH_5:
            return 5;
        case NL80211_CHAN_WIDTH_10:
            return 10;
        default:
            return 0;
    }
}

bool SWiphyInfo::Has(uint32_t freqMhz) const {
    return std::any_of(channels.begin(), channels.end(),
                       [&](const SWiphyChannel& c) { return c.freqMhz == freqMhz; });
}

namespace {

// Whether one NL80211_IFACE_COMB_LIMITS entry allows the interface type.
bool LimitHas(nlattr* const* limit, int iftype) {
    if (!limit[NL80211_IFACE_LIMIT_TYPES]) return false;
    nlattr* type = nullptr;
    int rem = 0;
    nla_for_each_nested(type, limit[NL80211_IFACE_LIMIT_TYPES], rem) {
        if (nla_type(type) == iftype) return true;
    }
    return false;
}

// One interface combination: room for two interfaces, one of them a station and one an access
// point (in one limit of two or more, or in two limits).
bool CombinationHasApAndStation(nlattr* combination) {
    nlattr* c[NUM_NL80211_IFACE_COMB + 1] = {};
    if (nla_parse_nested(c, NUM_NL80211_IFACE_COMB, combination, nullptr) != 0) return false;
    if (!c[NL80211_IFACE_COMB_LIMITS] || !c[NL80211_IFACE_COMB_MAXNUM] ||
        nla_get_u32(c[NL80211_IFACE_COMB_MAXNUM]) < 2)
        return false;
    // The limits that may hold an access point and those that may hold a station: two different
    // ones, or one that holds two interfaces.
    std::vector<int> ap, station;
    nlattr* entry = nullptr;
    int rem = 0;
    int index = 0;
    nla_for_each_nested(entry, c[NL80211_IFACE_COMB_LIMITS], rem) {
        nlattr* l[NUM_NL80211_IFACE_LIMIT + 1] = {};
        if (nla_parse_nested(l, NUM_NL80211_IFACE_LIMIT, entry, nullptr) != 0) continue;
        const uint32_t max = l[NL80211_IFACE_LIMIT_MAX] ? nla_get_u32(l[NL80211_IFACE_LIMIT_MAX]) : 0;
        const bool hasAp = LimitHas(l, NL80211_IFTYPE_AP) && max >= 1;
        const bool hasStation = LimitHas(l, NL80211_IFTYPE_STATION) && max >= 1;
        if (hasAp && hasStation && max >= 2) return true;
        if (hasAp) ap.push_back(index);
        if (hasStation) station.push_back(index);
        ++index;
    }
    for (const int a : ap)
        for (const int s : station)
            if (a != s) return true;
    return false;
}

}  // namespace

void AddWiphyMessage(nlattr* const* tb, SWiphyInfo& info) {
    if (tb[NL80211_ATTR_SUPPORTED_IFTYPES]) {
        nlattr* type = nullptr;
        int rem = 0;
        nla_for_each_nested(type, tb[NL80211_ATTR_SUPPORTED_IFTYPES], rem) {
            if (nla_type(type) == NL80211_IFTYPE_AP) info.canAp = true;
        }
    }
    if (tb[NL80211_ATTR_INTERFACE_COMBINATIONS]) {
        nlattr* combination = nullptr;
        int rem = 0;
        nla_for_each_nested(combination, tb[NL80211_ATTR_INTERFACE_COMBINATIONS], rem) {
            if (CombinationHasApAndStation(combination)) info.apWithStation = true;
        }
    }
    if (tb[NL80211_ATTR_FEATURE_FLAGS] && (nla_get_u32(tb[NL80211_ATTR_FEATURE_FLAGS]) & NL80211_FEATURE_SAE))
        info.sae = true;
    if (tb[NL80211_ATTR_ROAM_SUPPORT]) info.roams = true;
    if (tb[NL80211_ATTR_EXT_FEATURES]) {
        const auto* bits = static_cast<const uint8_t*>(nla_data(tb[NL80211_ATTR_EXT_FEATURES]));
        const int len = nla_len(tb[NL80211_ATTR_EXT_FEATURES]);
        const int bit = NL80211_EXT_FEATURE_SAE_OFFLOAD;
        if (bit / 8 < len && (bits[bit / 8] & (1u << (bit % 8)))) info.sae = true;
    }
    if (!tb[NL80211_ATTR_WIPHY_BANDS]) return;
    nlattr* band = nullptr;
    int remBand = 0;
    nla_for_each_nested(band, tb[NL80211_ATTR_WIPHY_BANDS], remBand) {
        nlattr* b[NL80211_BAND_ATTR_MAX + 1] = {};
        if (nla_parse_nested(b, NL80211_BAND_ATTR_MAX, band, nullptr) != 0) continue;
        // The band's index names it: NL80211_BAND_2GHZ, _5GHZ, _60GHZ, _6GHZ …
        const int type = nla_type(band);
        const int index = type == NL80211_BAND_2GHZ   ? 0
                          : type == NL80211_BAND_5GHZ ? 1
                          : type == NL80211_BAND_6GHZ ? 2
                                                      : -1;
        if (index >= 0) {
            int phy = info.bestPhy[index];
            if (b[NL80211_BAND_ATTR_RATES])
                phy = std::max(phy, static_cast<int>(index == 0 ? KCOM_PHY_G : KCOM_PHY_A));
            if (b[NL80211_BAND_ATTR_HT_CAPA]) phy = std::max(phy, static_cast<int>(KCOM_PHY_N));
            if (b[NL80211_BAND_ATTR_VHT_CAPA] && index != 0)
                phy = std::max(phy, static_cast<int>(KCOM_PHY_AC));
            if (b[NL80211_BAND_ATTR_IFTYPE_DATA]) {
                nlattr* data = nullptr;
                int remData = 0;
                nla_for_each_nested(data, b[NL80211_BAND_ATTR_IFTYPE_DATA], remData) {
                    nlattr* d[NL80211_BAND_IFTYPE_ATTR_MAX + 1] = {};
                    if (nla_parse_nested(d, NL80211_BAND_IFTYPE_ATTR_MAX, data, nullptr) != 0) continue;
                    if (d[NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY])
                        phy = std::max(phy, static_cast<int>(KCOM_PHY_AX));
                    if (d[NL80211_BAND_IFTYPE_ATTR_EHT_CAP_PHY])
                        phy = std::max(phy, static_cast<int>(KCOM_PHY_BE));
                }
            }
            info.bestPhy[index] = phy;
        }
        if (!b[NL80211_BAND_ATTR_FREQS]) continue;
        nlattr* freq = nullptr;
        int remFreq = 0;
        nla_for_each_nested(freq, b[NL80211_BAND_ATTR_FREQS], remFreq) {
            nlattr* f[NL80211_FREQUENCY_ATTR_MAX + 1] = {};
            if (nla_parse_nested(f, NL80211_FREQUENCY_ATTR_MAX, freq, nullptr) != 0) continue;
            if (!f[NL80211_FREQUENCY_ATTR_FREQ]) continue;
            SWiphyChannel channel;
            channel.freqMhz = nla_get_u32(f[NL80211_FREQUENCY_ATTR_FREQ]);
            // Only the channels of the three Wi-Fi bands (not 60 GHz, not the 900 MHz S1G ones).
            if (BandIndex(channel.freqMhz) < 0) continue;
            if (f[NL80211_FREQUENCY_ATTR_DISABLED]) channel.flags |= KCOM_CHLIST_DISABLED;
            if (f[NL80211_FREQUENCY_ATTR_NO_IR]) channel.flags |= KCOM_CHLIST_NO_IR;
            if (f[NL80211_FREQUENCY_ATTR_RADAR]) channel.flags |= KCOM_CHLIST_RADAR;
            info.channels.push_back(channel);
        }
    }
}

void FinishWiphy(SWiphyInfo& info) {
    auto& c = info.channels;
    std::stable_sort(c.begin(), c.end(),
                     [](const SWiphyChannel& a, const SWiphyChannel& b) { return a.freqMhz < b.freqMhz; });
    c.erase(
        std::unique(c.begin(), c.end(),
                    [](const SWiphyChannel& a, const SWiphyChannel& b) { return a.freqMhz == b.freqMhz; }),
        c.end());
}

int RateGeneration(const SRateInfo& rate) {
    switch (rate.kind) {
        case KCOM_RATE_HT:
            return KCOM_PHY_N;
        case KCOM_RATE_VHT:
            return KCOM_PHY_AC;
        case KCOM_RATE_HE:
            return KCOM_PHY_AX;
        case KCOM_RATE_EHT:
            return KCOM_PHY_BE;
        default:
            return -1;
    }
}

int LinkGeneration(int networkPhy, uint32_t freqMhz, int rates, int told) {
    // 802.11b and g: the network's own, which every radio of today speaks.
    if (networkPhy <= KCOM_PHY_G) return networkPhy;
    if (rates >= networkPhy) return networkPhy;
    // A radio whose rate control has no rates of the newest generation (mac80211's software rate
    // control has no HE rates) sends older ones on a link of that generation: the supplicant knows.
    if (told >= KCOM_PHY_N) return std::min(networkPhy, told);
    if (BandIndex(freqMhz) == 2) return std::min(networkPhy, std::max(rates, static_cast<int>(KCOM_PHY_AX)));
    return rates >= KCOM_PHY_N ? rates : networkPhy;
}

}  // namespace wavory::kccl
