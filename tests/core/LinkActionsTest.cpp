// Leaving a network, forgetting one, joining one that hides its name, and the automatic selection
// after an ad-hoc cell was lost.
#include <chrono>

#include "CoreFixture.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/LinkActions.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

namespace {

class LinkActionsTest : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        theApp.m_pPoll->SetClock([this] { return m_Now; });
        theApp.m_bScanning = false;
        theApp.m_pMainWnd = &m_Window;  // its tick merges the scans the selection waits for
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        CoreFixture::TearDown();
    }
    // One second of the running program: the polling thread's tick, then the window's.
    void TickAfterSecond() {
        m_Now += 1s;
        kccl_sim_advance(1000);
        theApp.m_pPoll->Tick();
        theApp.OnMainTick();
    }
    // Ticks until the adapter is associated, at most n of them.
    bool AssociatedWithin(int n) {
        for (int i = 0; i < n && !Associated(); ++i) TickAfterSecond();
        return Associated();
    }
    std::string SimSsid() { return SimState().value("ssid", std::string()); }
    CPoll::Clock::time_point m_Now{};
    CQuietWindow m_Window;
};

}  // namespace

TEST_F(LinkActionsTest, AutoSelectionResumesOnceTheAdHocCellIsGone) {
    AddProfile("Lighthouse", true, true);
    // Joined by hand: the ad-hoc cell Deckhands (802.11b, channel 10).
    auto cell = AddProfile("Deckhands", false, false, 9, 1);
    ASSERT_TRUE(ConnectProfile(cell, nullptr));
    ASSERT_TRUE(theApp.m_bAdHocApplied);
    for (int i = 0; i < 4; ++i) TickAfterSecond();
    EXPECT_EQ(SimSsid(), "Deckhands");  // the cell holds: no selection meanwhile

    kccl_sim_set_present(0);
    TickAfterSecond();
    kccl_sim_set_present(1);
    EXPECT_TRUE(AssociatedWithin(10));
    EXPECT_EQ(SimSsid(), "Lighthouse");
    EXPECT_FALSE(theApp.m_bAdHocApplied);
}

TEST_F(LinkActionsTest, DisconnectPausesTheSelectionUntilTheUserConnects) {
    AddProfile("Lighthouse", true, true);
    ASSERT_TRUE(AssociatedWithin(6));
    std::string failure;
    ASSERT_TRUE(DisconnectAdapter(&failure)) << failure;
    EXPECT_FALSE(Associated());
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetConnected(), nullptr);
    for (int i = 0; i < 10; ++i) TickAfterSecond();
    EXPECT_FALSE(Associated());

    // The user's own join lifts the pause.
    theApp.m_bAutoPaused = false;  // as starting an attempt from the window does
    EXPECT_TRUE(AssociatedWithin(8));
}

TEST_F(LinkActionsTest, DisconnectWithoutAdapterSaysSoAndKeepsTheSelection) {
    kccl_sim_set_present(0);
    std::string failure;
    EXPECT_FALSE(DisconnectAdapter(&failure));
    EXPECT_NE(failure.find("missing"), std::string::npos) << failure;
    EXPECT_FALSE(theApp.m_bAutoPaused);
    EXPECT_FALSE(AdapterPresent());
    kccl_sim_set_present(1);
    EXPECT_TRUE(AdapterPresent());
}

TEST_F(LinkActionsTest, ForgetRemovesEveryProfileOfTheNetworkOnly) {
    AddProfile("Harbour", true, true);
    AddProfile("Lighthouse", true, true);
    AddProfile("Harbour", true, false);
    ASSERT_TRUE(theApp.m_pProfileMngr->SaveAll());
    EXPECT_EQ(ForgetNetwork("Harbour"), 2);
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Harbour"), nullptr);
    ASSERT_NE(theApp.m_pProfileMngr->FindBySsid("Lighthouse"), nullptr);
    // The order closes up: Lighthouse is the only member, in the first slot.
    EXPECT_EQ(theApp.m_pProfileMngr->GetAutoCount(), 1);
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Lighthouse")->Priority, 0);
    EXPECT_EQ(ForgetNetwork("Harbour"), 0);
}

TEST_F(LinkActionsTest, HiddenNetworkJoinsByNameAndIsStoredOnlyWithTheRightKey) {
    ASSERT_EQ(kccl_sim_put_network(
                  R"({"ssid": "Backroom", "bssid": "00-1D-7E-11-22-77", "channel": 6, "hidden": true,
                      "security": "wpa2", "passphrase": "correct horse"})"),
              0);
    // Its scan entry carries no name.
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    for (const auto& station : theApp.m_pStationMngr->Snapshot()) EXPECT_NE(station->NetName, "Backroom");

    SJoin join = PrepareJoin(HiddenNetwork("Backroom", EHiddenSecurity::Wpa2));
    join.settings->WpaPassphrase = "wrong horse";
    join.keyEntered = true;
    auto attempt = CConnectAttempt::ForStation(join);
    EXPECT_EQ(attempt->Wait(), CConnectAttempt::EStatus::Failed);
    EXPECT_TRUE(attempt->WrongKey());
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Backroom"), nullptr);

    join.settings->WpaPassphrase = "correct horse";
    attempt = CConnectAttempt::ForStation(join);
    ASSERT_EQ(attempt->Wait(), CConnectAttempt::EStatus::Joined) << attempt->Result().failure;
    EXPECT_EQ(SimSsid(), "Backroom");
    auto stored = theApp.m_pProfileMngr->FindBySsid("Backroom");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->WpaPassphrase, "correct horse");
    EXPECT_EQ(stored->WpaMode, KCOM_SECURITY_MODE_WPA2_PERSONAL);
}

TEST_F(LinkActionsTest, NamelessNetworkIsNeverJoinedNorStored) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Backroom", "bssid": "00-1D-7E-11-22-77", "channel": 6,
                                       "hidden": true})"),
              0);
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    std::shared_ptr<CStation> nameless;
    for (const auto& station : theApp.m_pStationMngr->Snapshot())
        if (station->NetName.empty()) nameless = station;
    ASSERT_NE(nameless, nullptr);
    auto attempt = CConnectAttempt::ForStation(PrepareJoin(nameless));
    EXPECT_EQ(attempt->Wait(), CConnectAttempt::EStatus::Failed);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
    EXPECT_EQ(theApp.m_pProfileMngr->GetAutoCount(), 0);
}

TEST(SignalBarsTest, FourBarsOverTheUsualRange) {
    EXPECT_EQ(SignalBars(-40), 4);
    EXPECT_EQ(SignalBars(-60), 4);
    EXPECT_EQ(SignalBars(-61), 3);
    EXPECT_EQ(SignalBars(-75), 2);
    EXPECT_EQ(SignalBars(-81), 1);
    EXPECT_EQ(SignalBars(-120), 1);
}

TEST(HiddenSecurityTest, CommandLineWords) {
    EHiddenSecurity security{};
    ASSERT_TRUE(ParseHiddenSecurity("wpa2-wpa3", &security));
    EXPECT_EQ(security, EHiddenSecurity::Wpa2Wpa3);
    EXPECT_TRUE(ParseHiddenSecurity("open", &security));
    EXPECT_EQ(security, EHiddenSecurity::None);
    EXPECT_FALSE(ParseHiddenSecurity("WPA2", &security));
    EXPECT_FALSE(ParseHiddenSecurity("", &security));
}
