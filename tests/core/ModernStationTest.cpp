// Stations of today's networks: the 6 GHz key, the scan's rate, width and kind of security, and
// the settings a join derives from them.
#include <nlohmann/json.hpp>

#include "CoreFixture.h"
#include "driver/Request.h"
#include "profiles/Profile.h"
#include "survey/Connect.h"
#include "survey/Station.h"

using namespace wavory;
using namespace wavory::test;
using nlohmann::json;

namespace {

class ModernStationTest : public CoreFixture {
protected:
    void Environment(const std::vector<json>& networks) {
        json scenario = {{"scan_duration_ms", 0}, {"networks", networks}};
        ASSERT_EQ(kccl_sim_reset(scenario.dump().c_str()), 0);
        theApp.DisconnectDriver();
        ASSERT_EQ(Stations().StartScan(), 2);
        kccl_sim_advance(10);
        Stations().MergeScan();
    }
    static CStationMngr& Stations() { return *theApp.m_pStationMngr; }
};

const json kSixGhz = {{"ssid", "Same"},
                      {"bssid", "02-00-00-00-00-06"},
                      {"frequency_mhz", 5975},
                      {"generation", "wifi6e"},
                      {"width_mhz", 160},
                      {"security", "wpa3"},
                      {"passphrase", "six-gigahertz"},
                      {"signal_dbm", -50}};
const json kTwoGhz = {{"ssid", "Same"}, {"bssid", "02-00-00-00-00-02"}, {"channel", 5}, {"signal_dbm", -60}};

}  // namespace

TEST_F(ModernStationTest, SixGigahertzChannelsDoNotCollideWithTwoPointFour) {
    Environment({kSixGhz, kTwoGhz});
    auto six = Stations().Lookup("Same;5975");
    auto two = Stations().Lookup("Same;5");
    ASSERT_TRUE(six && two);
    EXPECT_EQ(six->PhyChnl, 5);
    EXPECT_EQ(six->FrequencyMHz(), 5975);
    EXPECT_EQ(two->FrequencyMHz(), 2432);
    EXPECT_EQ(six->m_nWidthMHz, 160);
    EXPECT_EQ(six->MaxRate100k(), 24020u);  // HE MCS 11, two streams, 160 MHz
    EXPECT_EQ(six->SecurityText(), "WPA3-Personal");
    EXPECT_EQ(six->WpaMode, KCOM_SECURITY_MODE_WPA3_PERSONAL);
    EXPECT_EQ(two->MaxRate100k(), 540u);
    EXPECT_EQ(two->SecurityText(), "None");
}

TEST_F(ModernStationTest, JoiningASixGigahertzNetworkKeepsItsFrequencyAndFindsItCurrent) {
    Environment({kSixGhz, kTwoGhz});
    auto six = Stations().Lookup("Same;5975");
    ASSERT_TRUE(six);
    SJoin join = PrepareJoin(six);
    ASSERT_TRUE(join.settings);
    EXPECT_EQ(join.settings->PhyType, 0);  // a profile keeps 802.11a for 5 and 6 GHz
    EXPECT_EQ(join.settings->PhyFreq, 5975);
    EXPECT_EQ(join.settings->ChannelNumber(), 5);
    join.settings->WpaPassphrase = "six-gigahertz";
    const SJoinResult result = JoinStation(join);
    ASSERT_TRUE(result.ok) << result.failure;
    auto stored = theApp.m_pProfileMngr->GetProfile(result.profileName);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->PhyFreq, 5975);
    // The next merge finds the connection by BSSID, channel and frequency: not the 2.4 GHz cell.
    Stations().MergeScan();
    EXPECT_EQ(Stations().GetCurrentKey(), "Same;5975");
}

TEST_F(ModernStationTest, EnhancedOpenJoinsWithoutAPassphraseAndEnterpriseDoesNot) {
    Environment({{{"ssid", "Guest"}, {"bssid", "02-00-00-00-00-0E"}, {"channel", 44}, {"security", "owe"}},
                 {{"ssid", "Corp"},
                  {"bssid", "02-00-00-00-00-0C"},
                  {"channel", 48},
                  {"security", "wpa2-enterprise"}}});
    auto guest = Stations().Lookup("Guest;44");
    ASSERT_TRUE(guest);
    EXPECT_EQ(guest->SecurityText(), "Enhanced Open");
    SJoin join = PrepareJoin(guest);
    EXPECT_FALSE(JoinNeedsKey(*join.settings));
    EXPECT_TRUE(JoinStation(join).ok);

    auto corp = Stations().Lookup("Corp;48");
    ASSERT_TRUE(corp);
    EXPECT_EQ(corp->SecurityText(), "WPA2-Enterprise");
    SJoin corpJoin = PrepareJoin(corp);
    corpJoin.settings->WpaPassphrase = "a-passphrase-does-not-do";
    EXPECT_FALSE(JoinStation(corpJoin).ok);
}
