// A station's rates and a radio's channels as nl80211 reports them, built as the kernel nests them.
#include <gtest/gtest.h>
#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/msg.h>

#include <functional>
#include <memory>

#include "NlStation.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

// A message whose attributes a test fills; Parsed() hands back the top-level attributes.
class CAttrs {
public:
    CAttrs() : m_pMsg(nlmsg_alloc(), nlmsg_free) {}
    nl_msg* Msg() { return m_pMsg.get(); }
    nlattr* Nest(int type, const std::function<void()>& fill) {
        nlattr* nest = nla_nest_start(Msg(), type);
        fill();
        nla_nest_end(Msg(), nest);
        return nest;
    }
    nlattr** Parsed() {
        nlmsghdr* hdr = nlmsg_hdr(Msg());
        nla_parse(m_Tb, NL80211_ATTR_MAX, static_cast<nlattr*>(nlmsg_data(hdr)),
                  static_cast<int>(nlmsg_datalen(hdr)), nullptr);
        return m_Tb;
    }

private:
    std::unique_ptr<nl_msg, void (*)(nl_msg*)> m_pMsg;
    nlattr* m_Tb[NL80211_ATTR_MAX + 1] = {};
};

SRateInfo Rate(const std::function<void(nl_msg*)>& fill) {
    CAttrs a;
    a.Nest(NL80211_STA_INFO_TX_BITRATE, [&] { fill(a.Msg()); });
    SRateInfo rate;
    EXPECT_TRUE(ParseRateInfo(a.Parsed()[NL80211_STA_INFO_TX_BITRATE], rate));
    return rate;
}

TEST(NlStationTest, RatesOfEveryGenerationAsTheKernelReportsThem) {
    // "866.7 MBit/s VHT-MCS 9 80MHz short GI VHT-NSS 2", the kernel's figure beside it.
    SRateInfo vht = Rate([](nl_msg* m) {
        nla_put_u32(m, NL80211_RATE_INFO_BITRATE32, 8667);
        nla_put_u8(m, NL80211_RATE_INFO_VHT_MCS, 9);
        nla_put_u8(m, NL80211_RATE_INFO_VHT_NSS, 2);
        nla_put_flag(m, NL80211_RATE_INFO_80_MHZ_WIDTH);
        nla_put_flag(m, NL80211_RATE_INFO_SHORT_GI);
    });
    EXPECT_EQ(vht.rate100k, 8667u);
    EXPECT_EQ(vht.kind, KCOM_RATE_VHT);
    EXPECT_EQ(vht.mcs, 9);
    EXPECT_EQ(vht.nss, 2);
    EXPECT_EQ(vht.guard, 1);  // 0.4 us
    EXPECT_EQ(vht.widthMhz, 80u);

    // HT MCS 15 is two streams of MCS 7; without the kernel's figure the rate is computed.
    SRateInfo ht = Rate([](nl_msg* m) {
        nla_put_u8(m, NL80211_RATE_INFO_MCS, 15);
        nla_put_flag(m, NL80211_RATE_INFO_40_MHZ_WIDTH);
    });
    EXPECT_EQ(ht.kind, KCOM_RATE_HT);
    EXPECT_EQ(ht.nss, 2);
    EXPECT_EQ(ht.rate100k, 2700u);

    // HE with its own guard interval codes (1 = 1.6 us).
    SRateInfo he = Rate([](nl_msg* m) {
        nla_put_u8(m, NL80211_RATE_INFO_HE_MCS, 11);
        nla_put_u8(m, NL80211_RATE_INFO_HE_NSS, 2);
        nla_put_u8(m, NL80211_RATE_INFO_HE_GI, 1);
        nla_put_flag(m, NL80211_RATE_INFO_160_MHZ_WIDTH);
    });
    EXPECT_EQ(he.kind, KCOM_RATE_HE);
    EXPECT_EQ(he.guard, 2);
    EXPECT_EQ(he.widthMhz, 160u);
    EXPECT_EQ(he.rate100k, 22685u);  // 2268.5 Mbit/s

    SRateInfo eht = Rate([](nl_msg* m) {
        nla_put_u8(m, NL80211_RATE_INFO_EHT_MCS, 13);
        nla_put_u8(m, NL80211_RATE_INFO_EHT_NSS, 2);
        nla_put_flag(m, NL80211_RATE_INFO_320_MHZ_WIDTH);
    });
    EXPECT_EQ(eht.kind, KCOM_RATE_EHT);
    EXPECT_EQ(eht.widthMhz, 320u);
    EXPECT_EQ(eht.rate100k, 57647u);

    // A legacy rate is its figure alone: no MCS, no streams.
    SRateInfo legacy = Rate([](nl_msg* m) { nla_put_u16(m, NL80211_RATE_INFO_BITRATE, 540); });
    EXPECT_EQ(legacy.kind, KCOM_RATE_LEGACY);
    EXPECT_EQ(legacy.mcs, 0xFF);
    EXPECT_EQ(legacy.rate100k, 540u);

    CAttrs empty;
    empty.Nest(NL80211_STA_INFO_TX_BITRATE, [] {});
    SRateInfo none;
    EXPECT_FALSE(ParseRateInfo(empty.Parsed()[NL80211_STA_INFO_TX_BITRATE], none));
    EXPECT_FALSE(ParseRateInfo(nullptr, none));

    // Each kind of rate names its generation; a legacy rate names none.
    EXPECT_EQ(RateGeneration(ht), KCOM_PHY_N);
    EXPECT_EQ(RateGeneration(vht), KCOM_PHY_AC);
    EXPECT_EQ(RateGeneration(he), KCOM_PHY_AX);
    EXPECT_EQ(RateGeneration(eht), KCOM_PHY_BE);
    EXPECT_EQ(RateGeneration(legacy), -1);
}

// The connection's generation from the link's rates, without the radio's description.
TEST(NlStationTest, TheLinksGenerationFromItsRates) {
    struct SCase {
        const char* what;
        int network;
        uint32_t freq;
        int rates;
        int told;
        int expected;
    };
    const SCase cases[] = {
        {"an 11g network is 11g whatever is sent", KCOM_PHY_G, 2437, KCOM_PHY_N, -1, KCOM_PHY_G},
        {"HE rates on an HE network", KCOM_PHY_AX, 5180, KCOM_PHY_AX, -1, KCOM_PHY_AX},
        {"EHT rates on an EHT network", KCOM_PHY_BE, 5975, KCOM_PHY_BE, -1, KCOM_PHY_BE},
        {"a Wi-Fi 5 radio on a Wi-Fi 6 network", KCOM_PHY_AX, 5180, KCOM_PHY_AC, -1, KCOM_PHY_AC},
        {"a Wi-Fi 4 radio on a Wi-Fi 6 network", KCOM_PHY_AX, 2437, KCOM_PHY_N, -1, KCOM_PHY_N},
        {"the supplicant joined with HE, the rate control sends VHT", KCOM_PHY_AX, 5180, KCOM_PHY_AC,
         KCOM_PHY_AX, KCOM_PHY_AX},
        {"what the supplicant says is capped by the network", KCOM_PHY_AC, 5180, -1, KCOM_PHY_AX,
         KCOM_PHY_AC},
        {"only legacy frames so far: the network's", KCOM_PHY_AC, 5180, -1, -1, KCOM_PHY_AC},
        {"6 GHz is Wi-Fi 6 at least, whatever is sent", KCOM_PHY_AX, 5975, -1, -1, KCOM_PHY_AX},
        {"an EHT network on 6 GHz, HE rates", KCOM_PHY_BE, 5975, KCOM_PHY_AX, -1, KCOM_PHY_AX},
        {"an EHT network on 6 GHz, legacy frames", KCOM_PHY_BE, 5975, -1, -1, KCOM_PHY_AX},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(LinkGeneration(c.network, c.freq, c.rates, c.told), c.expected) << c.what;
}

// One band of a wiphy message: its frequencies with their flags, and capability attributes.
void PutBand(nl_msg* m, int band, std::initializer_list<std::pair<uint32_t, int>> freqs, bool ht, bool vht,
             bool he) {
    nlattr* b = nla_nest_start(m, band);
    if (ht) nla_put_u16(m, NL80211_BAND_ATTR_HT_CAPA, 0x6E);
    if (vht) nla_put_u32(m, NL80211_BAND_ATTR_VHT_CAPA, 0x20);
    if (he) {
        nlattr* data = nla_nest_start(m, NL80211_BAND_ATTR_IFTYPE_DATA);
        nlattr* one = nla_nest_start(m, 1);
        const uint8_t phy[11] = {};
        nla_put(m, NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY, sizeof phy, phy);
        nla_nest_end(m, one);
        nla_nest_end(m, data);
    }
    nlattr* list = nla_nest_start(m, NL80211_BAND_ATTR_FREQS);
    int i = 0;
    for (const auto& [freq, flags] : freqs) {
        nlattr* f = nla_nest_start(m, i++);
        nla_put_u32(m, NL80211_FREQUENCY_ATTR_FREQ, freq);
        if (flags & KCOM_CHLIST_DISABLED) nla_put_flag(m, NL80211_FREQUENCY_ATTR_DISABLED);
        if (flags & KCOM_CHLIST_NO_IR) nla_put_flag(m, NL80211_FREQUENCY_ATTR_NO_IR);
        if (flags & KCOM_CHLIST_RADAR) nla_put_flag(m, NL80211_FREQUENCY_ATTR_RADAR);
        nla_nest_end(m, f);
    }
    nla_nest_end(m, list);
    nla_nest_end(m, b);
}

TEST(NlStationTest, ARadiosChannelsGenerationsAndSaeFromASplitDump) {
    SWiphyInfo info;
    {
        // The split dump's messages carry one band each; the features come in another.
        CAttrs a;
        a.Nest(NL80211_ATTR_WIPHY_BANDS, [&] {
            PutBand(a.Msg(), NL80211_BAND_5GHZ, {{5260, KCOM_CHLIST_RADAR}, {5180, 0}}, true, true, true);
        });
        AddWiphyMessage(a.Parsed(), info);
    }
    {
        CAttrs a;
        a.Nest(NL80211_ATTR_WIPHY_BANDS, [&] {
            PutBand(a.Msg(), NL80211_BAND_2GHZ, {{2412, 0}, {2484, KCOM_CHLIST_DISABLED}}, true, false,
                    false);
            PutBand(a.Msg(), NL80211_BAND_6GHZ, {{5975, KCOM_CHLIST_NO_IR}, {5935, KCOM_CHLIST_NO_IR}}, false,
                    false, true);
        });
        AddWiphyMessage(a.Parsed(), info);
    }
    EXPECT_FALSE(info.sae);
    {
        CAttrs a;
        nla_put_u32(a.Msg(), NL80211_ATTR_FEATURE_FLAGS, NL80211_FEATURE_SAE);
        AddWiphyMessage(a.Parsed(), info);
    }
    FinishWiphy(info);
    EXPECT_TRUE(info.sae);
    ASSERT_EQ(info.channels.size(), 6u);
    const uint32_t order[] = {2412, 2484, 5180, 5260, 5935, 5975};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(info.channels[i].freqMhz, order[i]);
    EXPECT_EQ(info.channels[1].flags, static_cast<uint32_t>(KCOM_CHLIST_DISABLED));
    EXPECT_EQ(info.channels[3].flags, static_cast<uint32_t>(KCOM_CHLIST_RADAR));
    EXPECT_EQ(info.channels[5].flags, static_cast<uint32_t>(KCOM_CHLIST_NO_IR));
    EXPECT_EQ(info.bestPhy[0], KCOM_PHY_N);
    EXPECT_EQ(info.bestPhy[1], KCOM_PHY_AX);
    EXPECT_EQ(info.bestPhy[2], KCOM_PHY_AX);
}

// One interface combination: its limits (how many of which types) and the most interfaces at once.
void PutCombination(nl_msg* m, int index, std::initializer_list<std::pair<uint32_t, std::vector<int>>> limits,
                    uint32_t maxnum) {
    nlattr* comb = nla_nest_start(m, index);
    nlattr* list = nla_nest_start(m, NL80211_IFACE_COMB_LIMITS);
    int i = 1;
    for (const auto& [max, types] : limits) {
        nlattr* limit = nla_nest_start(m, i++);
        nla_put_u32(m, NL80211_IFACE_LIMIT_MAX, max);
        nlattr* t = nla_nest_start(m, NL80211_IFACE_LIMIT_TYPES);
        for (const int type : types) nla_put_flag(m, type);
        nla_nest_end(m, t);
        nla_nest_end(m, limit);
    }
    nla_nest_end(m, list);
    nla_put_u32(m, NL80211_IFACE_COMB_MAXNUM, maxnum);
    nla_put_u32(m, NL80211_IFACE_COMB_NUM_CHANNELS, 1);
    nla_nest_end(m, comb);
}

SWiphyInfo RadioOf(std::initializer_list<int> iftypes, const std::function<void(nl_msg*)>& combinations) {
    SWiphyInfo info;
    CAttrs a;
    a.Nest(NL80211_ATTR_SUPPORTED_IFTYPES, [&] {
        for (const int type : iftypes) nla_put_flag(a.Msg(), type);
    });
    a.Nest(NL80211_ATTR_INTERFACE_COMBINATIONS, [&] { combinations(a.Msg()); });
    AddWiphyMessage(a.Parsed(), info);
    return info;
}

TEST(NlStationTest, AnAccessPointAndOneBesideAStationFromTypesAndCombinations) {
    const auto none = [](nl_msg*) {};
    EXPECT_FALSE(RadioOf({NL80211_IFTYPE_STATION, NL80211_IFTYPE_MONITOR}, none).canAp);
    EXPECT_TRUE(RadioOf({NL80211_IFTYPE_STATION, NL80211_IFTYPE_AP}, none).canAp);
    EXPECT_FALSE(RadioOf({NL80211_IFTYPE_STATION, NL80211_IFTYPE_AP}, none).apWithStation);

    // Two limits, one each: both at once.
    EXPECT_TRUE(RadioOf({NL80211_IFTYPE_AP}, [](nl_msg* m) {
                    PutCombination(m, 1, {{1, {NL80211_IFTYPE_STATION}}, {1, {NL80211_IFTYPE_AP}}}, 2);
                }).apWithStation);
    // One limit of two that holds both types.
    EXPECT_TRUE(RadioOf({NL80211_IFTYPE_AP}, [](nl_msg* m) {
                    PutCombination(m, 1, {{2, {NL80211_IFTYPE_STATION, NL80211_IFTYPE_AP}}}, 2);
                }).apWithStation);
    // One of either, never two interfaces; or one limit of one for both types.
    EXPECT_FALSE(RadioOf({NL80211_IFTYPE_AP}, [](nl_msg* m) {
                     PutCombination(m, 1, {{1, {NL80211_IFTYPE_STATION}}, {1, {NL80211_IFTYPE_AP}}}, 1);
                 }).apWithStation);
    EXPECT_FALSE(RadioOf({NL80211_IFTYPE_AP}, [](nl_msg* m) {
                     PutCombination(m, 1, {{1, {NL80211_IFTYPE_STATION, NL80211_IFTYPE_AP}}}, 2);
                     PutCombination(m, 2, {{2, {NL80211_IFTYPE_STATION}}, {1, {NL80211_IFTYPE_P2P_GO}}}, 3);
                 }).apWithStation);
}

TEST(NlStationTest, ChannelWidths) {
    EXPECT_EQ(ChannelWidthMhz(NL80211_CHAN_WIDTH_20_NOHT), 20u);
    EXPECT_EQ(ChannelWidthMhz(NL80211_CHAN_WIDTH_80), 80u);
    EXPECT_EQ(ChannelWidthMhz(NL80211_CHAN_WIDTH_80P80), 160u);
    EXPECT_EQ(ChannelWidthMhz(NL80211_CHAN_WIDTH_320), 320u);
    EXPECT_EQ(ChannelWidthMhz(99), 0u);
}

}  // namespace
}  // namespace wavory::kccl
