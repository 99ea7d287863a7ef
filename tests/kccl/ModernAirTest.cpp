// The simulated adapter's networks of today: frequencies and bands in the scan list, which settings
// join which kind of security, link rates that follow the signal, and the channels each
// regulatory domain allows.
#include <gtest/gtest.h>

#include <climits>

#include "SimFixture.h"
#include "kccl_oid.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

struct SEntry {
    int channel;
    uint32_t freq, maxRate, akm;
    uint16_t width;
    uint8_t security, privacy;
};

class ModernAirTest : public SimFixture {
protected:
    // The default scenario's entry of an SSID after a complete scan.
    static SEntry Scanned(const std::string& ssid) {
        EXPECT_EQ(kccl_sim_set_scan_duration(0), 0);
        Exec(*Block(0x200));
        auto list = Query(0x190);
        const uint8_t* p = list->payload;
        for (int i = 0; i < p[KCOM_SCAN_INFRA_COUNT]; ++i) {
            const uint8_t* e = p + KCOM_SCAN_INFRA_ENTRIES + KCOM_SCAN_ENTRY_SIZE * i;
            if (std::string(reinterpret_cast<const char*>(e + KCOM_ENTRY_SSID), e[KCOM_ENTRY_SSID_LEN]) !=
                ssid)
                continue;
            SEntry out{e[KCOM_ENTRY_CHANNEL],
                       U32(e, KCOM_ENTRY_FREQ),
                       U32(e, KCOM_ENTRY_MAX_RATE),
                       U32(e, KCOM_ENTRY_AKM),
                       static_cast<uint16_t>(e[KCOM_ENTRY_WIDTH] | e[KCOM_ENTRY_WIDTH + 1] << 8),
                       e[KCOM_ENTRY_SECURITY],
                       e[KCOM_ENTRY_PRIVACY]};
            return out;
        }
        ADD_FAILURE() << ssid << " not scanned";
        return {};
    }

    static uint32_t SetPassphrase(const std::string& passphrase) {
        auto block = Block(0x450);
        block->payload[0] = static_cast<uint8_t>(passphrase.size());
        std::memcpy(block->payload + 1, passphrase.data(), passphrase.size());
        return Exec(*block);
    }

    // Infrastructure join from no connection (so a failure has nothing to go back to): mode, SSID,
    // security mode, then the passphrase where one is given. 2 when the attempt joined; the
    // status of a set that refused to start it; else 0x100 plus the failure's cause.
    static uint32_t Join(const std::string& ssid, uint32_t security, const std::string& passphrase = "") {
        Exec(*Block(OID_DISCONNECT));
        SetU32(0x220, 1);
        SetSsid(ssid);
        uint32_t status = SetU32(0x430, security);
        if (!passphrase.empty()) status = SetPassphrase(passphrase);
        if (status != 2) return status;
        const SJoin join = JoinState();
        return join.state == KCOM_JOIN_JOINED ? 2u : 0x100u + join.cause;
    }

    static uint32_t SetChannelFreq(uint32_t freq) {
        auto block = Block(0x360);
        PutU32(block->payload, KCOM_CHANNEL_RECORD_SIZE, KCOM_CHANNEL_RECORD_FREQ);
        PutU32(block->payload, KCOM_CHANNEL_FREQ, freq);
        return Exec(*block);
    }

    // An open ad-hoc join on that frequency: the channel, then the security mode that completes it.
    static bool JoinCellAt(uint32_t freq) {
        if (SetChannelFreq(freq) != 2) return false;
        SetU32(0x430, 0);
        return Associated();
    }

    // Frequency to flags of the adapter's channel list; -1 for one it does not list.
    static int64_t ListedFlags(uint32_t freq) {
        auto list = Query(OID_CHANNEL_LIST);
        const uint32_t count = U32(list->payload, KCOM_CHLIST_COUNT);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = list->payload + KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * i;
            if (U32(e, 0) == freq) return U32(e, 4);
        }
        return -1;
    }

    static std::unique_ptr<KCOM_REQUEST> Link() { return Query(OID_LINK_INFO); }
};

constexpr const char* kMarinaPass = "moorings-at-high-tide";

TEST_F(ModernAirTest, ScanEntriesCarryFrequencyWidthRateAndSecurity) {
    const SEntry six = Scanned("Marina-6E");
    EXPECT_EQ(six.channel, 5);
    EXPECT_EQ(six.freq, 5975u);  // 6 GHz channel 5, not 2.4 GHz channel 5
    EXPECT_EQ(six.width, 80);
    EXPECT_EQ(six.maxRate, 12010u);  // HE MCS 11, two streams, 80 MHz
    EXPECT_EQ(six.security, KCOM_SECURITY_WPA3);
    EXPECT_TRUE(six.akm & KCOM_AKM_SAE);

    const SEntry ac = Scanned("Chandlery");
    EXPECT_EQ(ac.freq, 5320u);
    EXPECT_EQ(ac.maxRate, 13000u);  // VHT MCS 9, three streams, 80 MHz, short guard

    const SEntry owe = Scanned("Harbour Guest");
    EXPECT_EQ(owe.security, KCOM_SECURITY_OWE);
    EXPECT_EQ(owe.privacy, 1);  // Enhanced Open encrypts
    EXPECT_EQ(Scanned("Port Authority").security, KCOM_SECURITY_WPA2_ENTERPRISE);
    EXPECT_EQ(Scanned("Ferry Terminal").security, KCOM_SECURITY_WPA2_WPA3);

    const SEntry old = Scanned("Lighthouse");
    EXPECT_EQ(old.freq, 2462u);
    EXPECT_EQ(old.maxRate, 110u);  // 802.11b
    EXPECT_EQ(old.security, KCOM_SECURITY_OPEN);
}

TEST_F(ModernAirTest, TransitionNetworkTakesWpa2OrWpa3AndTellsWhichItJoined) {
    const std::string pass = "all-aboard-at-nine";
    EXPECT_EQ(Join("Ferry Terminal", KCOM_SECURITY_MODE_WPA2_PERSONAL, pass), 2u);
    ASSERT_TRUE(Associated());
    EXPECT_EQ(U32(Link()->payload, KCOM_LINK_SECURITY), static_cast<uint32_t>(KCOM_SECURITY_WPA2));
    EXPECT_EQ(Join("Ferry Terminal", KCOM_SECURITY_MODE_WPA3_PERSONAL, pass), 2u);
    ASSERT_TRUE(Associated());
    EXPECT_EQ(U32(Link()->payload, KCOM_LINK_SECURITY), static_cast<uint32_t>(KCOM_SECURITY_WPA3));
    EXPECT_EQ(Join("Ferry Terminal", KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, pass), 2u);
    EXPECT_EQ(U32(Link()->payload, KCOM_LINK_SECURITY), static_cast<uint32_t>(KCOM_SECURITY_WPA3));
    EXPECT_NE(Join("Ferry Terminal", KCOM_SECURITY_MODE_WPA2_PERSONAL, "not-the-passphrase"), 2u);
    EXPECT_FALSE(Associated());
}

TEST_F(ModernAirTest, OnlyMatchingSettingsJoinWpa3OweAndEnterprise) {
    // WPA3-only: WPA2 settings are refused, the transition setting joins.
    EXPECT_NE(Join("Marina-6E", KCOM_SECURITY_MODE_WPA2_PERSONAL, kMarinaPass), 2u);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(Join("Marina-6E", KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, kMarinaPass), 2u);
    EXPECT_TRUE(Associated());

    // Enhanced Open: its own mode, no passphrase; open settings do not join it.
    EXPECT_NE(Join("Harbour Guest", 0), 2u);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(Join("Harbour Guest", KCOM_SECURITY_MODE_OWE), 2u);
    EXPECT_TRUE(Associated());

    // Enterprise: no passphrase or mode joins it without 802.1X credentials.
    for (uint32_t mode :
         {uint32_t{KCOM_SECURITY_MODE_WPA2_PERSONAL}, uint32_t{KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL}}) {
        EXPECT_NE(Join("Port Authority", mode, "any-passphrase-at-all"), 2u);
        EXPECT_FALSE(Associated());
    }
    Join("Port Authority", KCOM_SECURITY_MODE_WPA2_ENTERPRISE);
    EXPECT_FALSE(Associated());
}

TEST_F(ModernAirTest, LinkRatesFollowTheSignal) {
    auto link = Link();
    EXPECT_EQ(U32(link->payload, KCOM_LINK_FREQ), 0u);  // no link
    EXPECT_EQ(static_cast<int32_t>(U32(link->payload, KCOM_LINK_SIGNAL)), INT32_MIN);

    ASSERT_EQ(Join("Marina", KCOM_SECURITY_MODE_WPA2_PERSONAL, kMarinaPass), 2u);
    link = Link();
    const uint8_t* p = link->payload;
    EXPECT_EQ(U32(p, KCOM_LINK_FREQ), 5180u);
    EXPECT_EQ(U32(p, KCOM_LINK_WIDTH), 80u);
    EXPECT_EQ(U32(p, KCOM_LINK_PHY), static_cast<uint32_t>(KCOM_PHY_AX));
    EXPECT_EQ(U32(p, KCOM_LINK_MAX_RATE), 12010u);
    EXPECT_EQ(U32(p, KCOM_LINK_TX_RATE), 12010u);  // -52 dBm: the fastest rate
    EXPECT_EQ(p[KCOM_LINK_TX_KIND], KCOM_RATE_HE);
    EXPECT_EQ(p[KCOM_LINK_TX_KIND + 1], 11);
    EXPECT_EQ(p[KCOM_LINK_TX_KIND + 2], 2);
    EXPECT_EQ(U32(p, KCOM_LINK_SECURITY), static_cast<uint32_t>(KCOM_SECURITY_WPA2));
    EXPECT_EQ(QueryU32(0x90), static_cast<uint32_t>(KCOM_PHY_AX));

    ASSERT_EQ(kccl_sim_set_signal("3C-84-6A-51-0E-24", -75), 0);
    ASSERT_TRUE(Associated());
    link = Link();
    p = link->payload;
    const uint32_t weakTx = U32(p, KCOM_LINK_TX_RATE);
    EXPECT_LT(weakTx, 12010u);
    EXPECT_GT(weakTx, 0u);
    EXPECT_EQ(p[KCOM_LINK_TX_KIND + 2], 1);  // one stream at a weak signal
    EXPECT_GE(U32(p, KCOM_LINK_RX_RATE), weakTx);
    EXPECT_EQ(U32(p, KCOM_LINK_MAX_RATE), 12010u);  // what the link allows stays
    EXPECT_EQ(static_cast<int32_t>(U32(p, KCOM_LINK_SIGNAL)), -75);
}

TEST_F(ModernAirTest, ChannelListFollowsTheRegulatoryDomain) {
    // FCC: the whole 6 GHz band (no own cells), the upper 5 GHz band, 2.4 GHz up to 11.
    EXPECT_EQ(ListedFlags(7115), KCOM_CHLIST_NO_IR);
    EXPECT_EQ(ListedFlags(5935), KCOM_CHLIST_NO_IR);
    EXPECT_EQ(ListedFlags(5745), 0);
    EXPECT_EQ(ListedFlags(5260), KCOM_CHLIST_RADAR);
    EXPECT_EQ(ListedFlags(2467), KCOM_CHLIST_DISABLED);
    EXPECT_EQ(ListedFlags(5180), 0);

    ASSERT_EQ(SetU32(0x891, 0x30), 2u);  // ETSI
    EXPECT_EQ(ListedFlags(2472), 0);
    EXPECT_EQ(ListedFlags(5745), KCOM_CHLIST_DISABLED);
    EXPECT_EQ(ListedFlags(6415), KCOM_CHLIST_NO_IR);  // channel 93, the top of the lower part
    EXPECT_EQ(ListedFlags(6435), KCOM_CHLIST_DISABLED);
    EXPECT_EQ(ListedFlags(2484), KCOM_CHLIST_DISABLED);

    ASSERT_EQ(SetU32(0x891, 0x40), 2u);  // Japan
    EXPECT_EQ(ListedFlags(2484), 0);
}

TEST_F(ModernAirTest, ChannelsSetByFrequencyAndOwnCellsOnlyWhereAllowed) {
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Picnic"), 2u);
    EXPECT_FALSE(JoinCellAt(5975));  // 6 GHz channel 5: no own cell there
    auto channel = Query(0x350);
    EXPECT_EQ(channel->payload[KCOM_CHANNEL_NUMBER], 5);
    EXPECT_EQ(U32(channel->payload, KCOM_CHANNEL_FREQ), 5975u);
    EXPECT_FALSE(JoinCellAt(5260));  // radar detection needed
    EXPECT_TRUE(JoinCellAt(5180));
    EXPECT_EQ(U32(Query(0x350)->payload, KCOM_CHANNEL_FREQ), 5180u);
    EXPECT_NE(SetChannelFreq(5181), 2u);  // no channel's centre
    // The short record still names a channel by its number alone (read back while not joined, so
    // the record shows the setting rather than the link).
    Exec(*Block(OID_DISCONNECT));
    EXPECT_EQ(SetChannel(6), 2u);
    EXPECT_EQ(U32(Query(0x350)->payload, KCOM_CHANNEL_FREQ), 2437u);
}

TEST_F(ModernAirTest, ScenarioRadioFieldsAreCheckedAgainstEachOther) {
    const char* bad[] = {
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","frequency_mhz":5975,"security":"wpa2","passphrase":"12345678"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":6,"frequency_mhz":5975,"security":"wpa3","passphrase":"12345678"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":36,"generation":"Wi-Fi 6E"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":36,"generation":"802.11n","width_mhz":80})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":6,"generation":"802.11ac"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":6,"security":"owe","passphrase":"12345678"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","channel":6,"security":"wpa9"})",
        R"({"ssid":"X","bssid":"02-00-00-00-00-01","frequency_mhz":5180,"generation":"wifi6","width_mhz":320})",
    };
    for (const char* network : bad) EXPECT_NE(kccl_sim_put_network(network), 0) << network;
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid":"Seven","bssid":"02-00-00-00-00-07","frequency_mhz":6135,
        "generation":"Wi-Fi 7","width_mhz":320,"security":"wpa3","passphrase":"tide-tables-2026"})"),
              0);
    const auto state = State();
    const auto& seven = state["networks"].back();
    EXPECT_EQ(seven["channel"], 37);
    EXPECT_EQ(seven["generation"], "802.11be");
    EXPECT_EQ(seven["width_mhz"], 320);
    EXPECT_EQ(seven["security"], "wpa3");
    EXPECT_EQ(Scanned("Seven").maxRate, 57647u);  // EHT MCS 13, two streams, 320 MHz
}

}  // namespace
}  // namespace wavory::test
