// A connection attempt followed through the adapter's join state: advanced one look at a time (the
// window's tick) or waited for (the command line), and what it leaves behind when it ends.
#include <chrono>

#include "CoreFixture.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

namespace {

using EStatus = CConnectAttempt::EStatus;

class ConnectAttemptTest : public CoreFixture {
protected:
    // A scanned network as the Available Networks dialog finds it.
    std::shared_ptr<CStation> Scanned(const std::string& ssid) {
        theApp.m_pStationMngr->StartScan();  // scans end at once here
        theApp.m_pStationMngr->MergeScan();
        for (const auto& station : theApp.m_pStationMngr->Snapshot())
            if (station->NetName == ssid) return station;
        ADD_FAILURE() << "no station " << ssid;
        return nullptr;
    }

    static void SetWepKey(CProfile& profile, const std::string& key) {
        profile.SecType = 1;
        profile.SecKey[0] = key;
        profile.SecKeyLen[0] = key.size() == 26 ? 1 : 0;
        profile.ActiveSecKey = 0;
    }

    // Joins Lighthouse through its profile, so that the adapter has a connection to go back to.
    void ConnectLighthouse() {
        auto profile = AddProfile("Lighthouse", true, false);
        std::string failure;
        ASSERT_TRUE(ConnectProfile(profile, &failure)) << failure;
        ASSERT_TRUE(Associated());
    }
};

}  // namespace

TEST_F(ConnectAttemptTest, TickDrivenJoinRunsTheStepsOnlyOnceJoined) {
    kccl_sim_set_join_delay(3000);
    SJoin join = PrepareJoin(Scanned("Lighthouse"));
    auto attempt = CConnectAttempt::ForStation(join);
    EXPECT_EQ(attempt->Status(), EStatus::Joining);
    EXPECT_EQ(attempt->Network(), "Lighthouse");
    // Looks while the adapter joins change nothing yet.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(attempt->Advance(), EStatus::Joining);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
    EXPECT_EQ(theApp.m_nAutoCountdown, -1);

    kccl_sim_advance(3000);
    EXPECT_EQ(attempt->Advance(), EStatus::Joined);
    EXPECT_TRUE(attempt->Result().ok);
    EXPECT_TRUE(attempt->Result().created);
    EXPECT_TRUE(attempt->Result().saved);
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Lighthouse");
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
    EXPECT_EQ(theApp.m_nAutoCountdown, 2);
    // Ended: further looks ask the adapter nothing and run no step twice.
    kccl_sim_clear_log();
    EXPECT_EQ(attempt->Advance(), EStatus::Joined);
    EXPECT_TRUE(LoggedCodes().empty());
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
}

TEST_F(ConnectAttemptTest, WaitingCallerGetsTheEndOfASlowJoin) {
    kccl_sim_set_join_delay(150);
    auto profile = AddProfile("Lighthouse", true, false);
    std::string failure;
    EXPECT_TRUE(ConnectProfile(profile, &failure)) << failure;
    EXPECT_TRUE(Associated());
    EXPECT_EQ(theApp.m_nAutoCountdown, 2);
    EXPECT_TRUE(theApp.m_bRefreshRequest);
}

TEST_F(ConnectAttemptTest, FailureNamesNetworkAndCauseAndStoresNothing) {
    auto stored = AddProfile("Harbour", true, true);
    {
        auto lock = theApp.m_pProfileMngr->Lock();
        SetWepKey(*stored, "0000000000");
    }
    SJoin join = PrepareJoin(Scanned("Harbour"));
    ASSERT_EQ(join.profile, stored);
    // A key typed for this join that the network does not take either.
    SetWepKey(*join.settings, "0102030405");
    join.keyEntered = true;
    const SJoinResult result = JoinStation(join);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.cause, static_cast<uint32_t>(KCOM_CAUSE_WRONG_KEY));
    EXPECT_FALSE(result.restored);
    EXPECT_EQ(result.failure,
              "Could not connect to specified station.\n\"Harbour\": the WEP key was not accepted.");
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
    EXPECT_EQ(stored->SecKey[0], "0000000000");  // the stored key changes only once one works
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);

    // The right key: now it is stored.
    SetWepKey(*join.settings, "1A2B3C4D5E");
    const SJoinResult joined = JoinStation(join);
    ASSERT_TRUE(joined.ok) << joined.failure;
    EXPECT_EQ(joined.profileName, stored->ProfName);
    EXPECT_EQ(stored->SecKey[0], "1A2B3C4D5E");
}

TEST_F(ConnectAttemptTest, PreviousConnectionIsKeptWhenTheAdapterWentBackToIt) {
    ASSERT_NO_FATAL_FAILURE(ConnectLighthouse());
    kccl_sim_put_network(
        R"({"ssid": "Lockkeeper", "bssid": "00-1D-7E-11-22-33", "channel": 6, "security": "wpa2",
            "passphrase": "canal-gates-at-dawn", "signal_dbm": -61})");
    SJoin join = PrepareJoin(Scanned("Lockkeeper"));
    const auto before = theApp.m_pStationMngr->GetCurrent();
    ASSERT_NE(before, nullptr);
    theApp.m_nAutoCountdown = -1;
    join.settings->WpaPassphrase = "canal-gates-at-dusk";
    const SJoinResult result = JoinStation(join);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.restored);
    EXPECT_EQ(result.failure,
              "Could not connect to specified station.\n\"Lockkeeper\": the passphrase was not accepted. "
              "The previous connection was restored.");
    EXPECT_TRUE(Associated());
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), before);
    ASSERT_NE(AppliedSettings(), nullptr);
    EXPECT_EQ(AppliedSettings()->NetName, "Lighthouse");
    EXPECT_EQ(theApp.m_nAutoCountdown, 2);  // the restored connection is read back
}

TEST_F(ConnectAttemptTest, NewerAttemptEndsTheOlderOneWithoutUndoingIt) {
    kccl_sim_set_join_delay(1000);
    auto first = CConnectAttempt::ForProfile(AddProfile("Harbour", true, false));
    auto second = CConnectAttempt::ForProfile(AddProfile("Lighthouse", true, false));
    kccl_sim_advance(1000);
    EXPECT_EQ(second->Advance(), EStatus::Joined);
    EXPECT_EQ(first->Advance(), EStatus::Failed);
    EXPECT_EQ(first->Result().cause, static_cast<uint32_t>(KCOM_CAUSE_CANCELLED));
    // The later one's connection stands.
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Lighthouse");
    EXPECT_TRUE(Associated());
}

TEST_F(ConnectAttemptTest, AdapterThatGoesAwaySaysSo) {
    kccl_sim_set_join_delay(1000);
    auto attempt = CConnectAttempt::ForProfile(AddProfile("Lighthouse", true, false));
    kccl_sim_set_present(0);
    EXPECT_EQ(attempt->Advance(), EStatus::Failed);
    EXPECT_EQ(attempt->Result().cause, static_cast<uint32_t>(KCOM_CAUSE_ADAPTER_GONE));
    EXPECT_NE(attempt->Result().failure.find("the adapter is missing"), std::string::npos)
        << attempt->Result().failure;
    kccl_sim_set_present(1);

    // Missing before the attempt: the settings cannot even be sent.
    kccl_sim_set_present(0);
    std::string failure;
    EXPECT_FALSE(ConnectProfile(AddProfile("Lighthouse", true, false), &failure));
    EXPECT_NE(failure.find("the adapter is missing"), std::string::npos) << failure;
    kccl_sim_set_present(1);
}

TEST_F(ConnectAttemptTest, AttemptThatNeverEndsTimesOut) {
    kccl_sim_set_join_delay(600000);
    auto attempt = CConnectAttempt::ForProfile(AddProfile("Lighthouse", true, false));
    auto now = CConnectAttempt::Clock::now();
    attempt->SetClock([&now] { return now; });
    EXPECT_EQ(attempt->Advance(), EStatus::Joining);
    now += CConnectAttempt::kTimeout + 1s;
    EXPECT_EQ(attempt->Advance(), EStatus::Failed);
    EXPECT_EQ(attempt->Result().cause, static_cast<uint32_t>(KCOM_CAUSE_TIMEOUT));
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
}

TEST_F(ConnectAttemptTest, AdapterWithoutJoinStatesIsJudgedByItsSettings) {
    // An adapter that knows no join state answers the request with another status.
    kccl_sim_set_fault(OID_JOIN_STATE, KCCL_SIM_FAULT_STATUS, 0xC00000BB);
    auto attempt = CConnectAttempt::ForProfile(AddProfile("Lighthouse", true, false));
    EXPECT_EQ(attempt->Status(), EStatus::Joined);

    kccl_sim_set_fault(OID_SSID_SET, KCCL_SIM_FAULT_STATUS, 1);
    std::string failure;
    EXPECT_FALSE(ConnectProfile(AddProfile("Lighthouse", true, false), &failure));
    EXPECT_EQ(failure, "Could not connect to profile. Verify profile parameters.");
}

TEST_F(ConnectAttemptTest, CauseLinesShowTheNameAsData) {
    EXPECT_EQ(JoinCauseLine("Quay\nside", KCOM_CAUSE_NOT_FOUND, "", false, false),
              "\"Quay\\x0aside\": the network is not in range.");
    EXPECT_EQ(JoinCauseLine("Campus", KCOM_CAUSE_NEEDS_8021X, "", true, false)
                  .rfind("\"Campus\": the network needs "
                         "802.1X credentials",
                         0),
              0u);
    EXPECT_EQ(
        JoinCauseLine("X", KCOM_CAUSE_UNSUPPORTED, "use wpa_supplicant", false, false),
        "\"X\": joining it is not supported by this way of controlling the adapter (use wpa_supplicant).");
    EXPECT_EQ(JoinCauseLine("X", KCOM_CAUSE_NONE, "", false, false), "");
}

// A network on two access points, the stronger on channel 1: the access-point view's Connect on the
// channel-36 row joins that one, and that row is the one marked connected; the network view's (or a
// join by name) lets the adapter take the stronger.
TEST_F(ConnectAttemptTest, TheAccessPointChosenIsTheOneJoinedAndMarkedCurrent) {
    kccl_sim_put_network(
        R"({"ssid": "Twin", "bssid": "02-00-00-00-01-01", "channel": 1, "signal_dbm": -40})");
    kccl_sim_put_network(
        R"({"ssid": "Twin", "bssid": "02-00-00-00-24-01", "channel": 36, "signal_dbm": -62})");
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    std::shared_ptr<CStation> fast, strong;
    for (const auto& station : theApp.m_pStationMngr->Snapshot()) {
        if (station->NetName != "Twin") continue;
        (station->PhyChnl == 36 ? fast : strong) = station;
    }
    ASSERT_TRUE(fast && strong);

    const SJoinResult joined = JoinStation(PrepareJoin(fast, true));
    ASSERT_TRUE(joined.ok) << joined.failure;
    EXPECT_EQ(SimState()["bssid"], "02-00-00-00-24-01");
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrentKey(), CStationMngr::StationKey(*fast));
    // The next merge of the scan marks the row of the access point the adapter is on.
    theApp.m_pStationMngr->MergeScan();
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrentKey(), CStationMngr::StationKey(*fast));

    // Not chosen: the stronger one; and the choice of before is not carried into this join.
    ASSERT_TRUE(JoinStation(PrepareJoin(fast)).ok);
    EXPECT_EQ(SimState()["bssid"], "02-00-00-00-01-01");
    theApp.m_pStationMngr->MergeScan();
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrentKey(), CStationMngr::StationKey(*strong));
}

// A network joined for the first time is stored under its own name; the default name stays where
// that name is taken or does not read as text.
TEST_F(ConnectAttemptTest, ANewNetworksProfileIsNamedAfterIt) {
    const SJoinResult lighthouse = JoinStation(PrepareJoin(Scanned("Lighthouse")));
    ASSERT_TRUE(lighthouse.ok) << lighthouse.failure;
    EXPECT_TRUE(lighthouse.created);
    EXPECT_EQ(lighthouse.profileName, "Lighthouse");
    ASSERT_NE(theApp.m_pProfileMngr->GetProfile("Lighthouse"), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetProfile("Lighthouse")->NetName, "Lighthouse");

    // Another profile bears the name "Boatyard" (for another network): the new one keeps its default.
    auto other = AddProfile("Elsewhere", true, false);
    ASSERT_TRUE(theApp.m_pProfileMngr->RenameProfile(other->ProfName, "Boatyard"));
    const SJoinResult boatyard = JoinStation(PrepareJoin(Scanned("Boatyard")));
    ASSERT_TRUE(boatyard.ok) << boatyard.failure;
    EXPECT_TRUE(boatyard.created);
    EXPECT_NE(boatyard.profileName, "Boatyard");
    EXPECT_EQ(theApp.m_pProfileMngr->GetProfile(boatyard.profileName)->GetSection(), boatyard.profileName);

    // Bytes that are not text: the default name.
    kccl_sim_put_network(R"({"ssid_hex": "4861FF41", "bssid": "00-20-30-40-50-09", "channel": 6,
                             "signal_dbm": -50})");
    const SJoinResult bytes = JoinStation(PrepareJoin(Scanned(std::string("Ha\xFF" "A"))));
    ASSERT_TRUE(bytes.ok) << bytes.failure;
    EXPECT_EQ(bytes.profileName.rfind("Profile ", 0), 0u) << bytes.profileName;
}
