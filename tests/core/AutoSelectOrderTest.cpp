// The automatic selection walks the Profiles order from the top whenever the connection is lost or
// the adapter comes back, passes over members whose network the last scan did not hear (a hidden
// network's member is tried in its turn), and scans at once when the adapter is back.
#include <chrono>

#include "CoreFixture.h"
#include "SimLog.h"
#include "driver/Request.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/Hotspot.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

namespace {

// Three networks in range; "Nowhere" is not. The attic's network wants a WEP key.
constexpr const char* kAir = R"({
  "adapter": {"present": true},
  "networks": [
    {"ssid": "Attic", "bssid": "00-11-22-33-44-01", "channel": 1, "wep_key": "1A2B3C4D5E", "signal_dbm": -70},
    {"ssid": "Balcony", "bssid": "00-11-22-33-44-02", "channel": 6, "signal_dbm": -50},
    {"ssid": "Cellar", "bssid": "00-11-22-33-44-03", "channel": 11, "signal_dbm": -40}
  ]
})";

class AutoSelectOrderTest : public CoreFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(WireApp({.registry = &m_Registry, .window = &m_Window, .scenario = kAir}));
        kccl_sim_set_scan_duration(0);
        kccl_sim_set_join_delay(0);
        theApp.m_pPoll->SetClock([this] { return m_Now; });
        theApp.m_pStationMngr->SetClock([this] { return m_Now; });
        // The order: a network not in range first, then three that are.
        AddProfile("Nowhere", true, true);
        auto attic = AddProfile("Attic", true, true);
        {
            auto lock = theApp.m_pProfileMngr->Lock();
            attic->SecType = 1;
            attic->SecKey[0] = "1A2B3C4D5E";
            attic->SecKeyLen[0] = 0;
            attic->ActiveSecKey = 0;
        }
        AddProfile("Balcony", true, true);
        AddProfile("Cellar", true, true);
        // Start-up's scan has been read.
        theApp.m_pStationMngr->MergeScan();
        theApp.m_bScanning = false;
        kccl_sim_clear_log();
    }
    void TearDown() override { CoreFixture::TearDown(); }

    // One second of the running program: the polling thread's tick, then the window's.
    void Second() {
        m_Now += 1s;
        kccl_sim_advance(1000);
        theApp.m_pPoll->Tick();
        theApp.OnMainTick();
    }
    // Seconds until the adapter is on a network (at most `limit`); its name, empty when none.
    std::string JoinedWithin(int limit) {
        for (int i = 0; i < limit; ++i) {
            Second();
            if (Associated()) return Joined();
        }
        return {};
    }
    static std::string Joined() {
        const nlohmann::json state = SimState();
        return state.value("associated", false) ? state.value("ssid", std::string()) : std::string();
    }
    static std::vector<std::string> SsidsSet() { return SimSsidsSet(); }
    void ConnectByHand(const std::string& ssid) {
        std::string failure;
        ASSERT_TRUE(ConnectProfile(theApp.m_pProfileMngr->FindBySsid(ssid), &failure)) << failure;
        for (int i = 0; i < 4; ++i) Second();  // read back, as the window does
        ASSERT_TRUE(Associated());
    }

    CQuietWindow m_Window;
    CPoll::Clock::time_point m_Now{std::chrono::seconds(1000)};
};

}  // namespace

TEST_F(AutoSelectOrderTest, FirstMemberInRangeIsJoinedAndTheOneNotHeardIsNeverTried) {
    EXPECT_EQ(JoinedWithin(20), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});
}

TEST_F(AutoSelectOrderTest, AfterUnplugAndPlugTheWalkStartsAtTheTopOnAFreshScan) {
    ConnectByHand("Balcony");  // the second member in range, chosen by hand
    kccl_sim_clear_log();
    kccl_sim_set_present(0);
    for (int i = 0; i < 6; ++i) Second();  // turns of the selection pass while it is away
    EXPECT_TRUE(SsidsSet().empty());
    kccl_sim_set_present(1);
    Second();
    // A scan at once, as at start-up.
    EXPECT_TRUE(Logged(OID_START_SCAN));
    EXPECT_EQ(JoinedWithin(30), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});

    // Again, now that the first member in range was the connection.
    kccl_sim_set_present(0);
    for (int i = 0; i < 9; ++i) Second();
    kccl_sim_set_present(1);
    kccl_sim_clear_log();
    EXPECT_EQ(JoinedWithin(30), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});
}

TEST_F(AutoSelectOrderTest, ChangedAirStartsTheWalkAgainFromTheTop) {
    ASSERT_EQ(JoinedWithin(20), "Attic");
    Second();
    // The attic's access point goes: the next member in range is joined.
    ASSERT_EQ(kccl_sim_remove_network("00-11-22-33-44-01"), 0);
    kccl_sim_clear_log();
    EXPECT_EQ(JoinedWithin(30), "Balcony");
    EXPECT_TRUE(Logged(OID_START_SCAN));  // the lost connection made a scan at once
    // Back, and the balcony's goes: the walk starts at the top again, not after the balcony.
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Attic", "bssid": "00-11-22-33-44-01", "channel": 1,
                                       "wep_key": "1A2B3C4D5E", "signal_dbm": -70})"),
              0);
    Second();
    ASSERT_EQ(kccl_sim_remove_network("00-11-22-33-44-02"), 0);
    kccl_sim_clear_log();
    EXPECT_EQ(JoinedWithin(30), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});
}

TEST_F(AutoSelectOrderTest, AFailedFirstChoiceGivesTheNextMemberInRangeItsTurn) {
    {
        auto attic = theApp.m_pProfileMngr->FindBySsid("Attic");
        auto lock = theApp.m_pProfileMngr->Lock();
        attic->SecKey[0] = "0102030405";  // not the network's key
    }
    EXPECT_EQ(JoinedWithin(30), "Balcony");
    EXPECT_EQ(SsidsSet(), (std::vector<std::string>{"Attic", "Balcony"}));
}

// A hotspot on a radio that cannot stay on a network beside it: the first member's join is refused
// without touching the hotspot, no other member uses up its turn meanwhile, and once the hotspot
// stops the walk starts at the top.
TEST_F(AutoSelectOrderTest, WhileAHotspotRunsNoMemberEndsItAndTheWalkStartsAtTheTopOnceItStops) {
    kccl::SHotspotRecord hotspot;
    hotspot.ssid = "Deck Party";
    hotspot.security = KCOM_HOTSPOT_WPA2;
    hotspot.passphrase = "mooring-lines";
    const SHotspotResult started = StartHotspot(hotspot);
    ASSERT_TRUE(started.ok) << started.text;
    const uint32_t attemptsBefore = ReadJoinState().attempt;
    for (int i = 0; i < 30; ++i) Second();
    const auto running = ReadHotspot(nullptr);
    ASSERT_TRUE(running.has_value());
    EXPECT_TRUE(running->running);
    EXPECT_TRUE(Joined().empty());
    // One refused attempt (the first member in range), then none until the hotspot stops.
    const SJoinState refused = ReadJoinState();
    EXPECT_EQ(refused.attempt, attemptsBefore + 1);
    EXPECT_EQ(refused.cause, static_cast<uint32_t>(KCOM_CAUSE_HOTSPOT));
    EXPECT_EQ(refused.ssid, "Attic");

    ASSERT_TRUE(StopHotspot().ok);
    kccl_sim_clear_log();
    EXPECT_EQ(JoinedWithin(20), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});
}

// A hidden network is not named in a scan: while one that hides its name is heard, a member whose
// network is not named may be it, and is tried in its turn.
TEST_F(AutoSelectOrderTest, AHiddenNetworksMemberIsTriedInItsTurnWhileANamelessOneIsHeard) {
    // The den's member takes the first place, in place of the one not in range.
    theApp.m_pProfileMngr->RemoveProfile(theApp.m_pProfileMngr->FindBySsid("Nowhere")->ProfName, true, true);
    auto den = AddProfile("Den", true, true);
    {
        auto lock = theApp.m_pProfileMngr->Lock();
        for (const auto& profile : theApp.m_pProfileMngr->Snapshot())
            if (profile->Priority >= 0 && profile != den) ++profile->Priority;
        den->Priority = 0;
    }
    // Nothing here hides its name: the den is passed over as any network not heard.
    EXPECT_EQ(JoinedWithin(20), "Attic");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Attic"});

    // The den's access point, which hides its name, comes into range; after a re-plug the walk
    // starts at the top, and the den's member has its turn.
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Den", "bssid": "00-11-22-33-44-04", "channel": 3,
                                       "signal_dbm": -60, "hidden": true})"),
              0);
    kccl_sim_set_present(0);
    for (int i = 0; i < 3; ++i) Second();
    kccl_sim_clear_log();
    kccl_sim_set_present(1);
    EXPECT_EQ(JoinedWithin(30), "Den");
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Den"});
}
