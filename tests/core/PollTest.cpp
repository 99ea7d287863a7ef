// The polling thread's tick, driven directly with a controllable clock.
#include <chrono>
#include <thread>

#include "CoreFixture.h"
#include "driver/Request.h"
#include "kccl_sim.h"
#include "ListHistory.h"
#include "monitor/HistoryRecorder.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

namespace {

class PollTest : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        theApp.m_pPoll->SetClock([this] { return m_Now; });
        theApp.m_bScanning = false;  // the station manager's first scan is not under test here
    }
    // One tick a second later, on the adapter's clock too.
    void TickAfterSecond() {
        m_Now += 1s;
        kccl_sim_advance(1000);
        theApp.m_pPoll->Tick();
    }
    CPoll::Clock::time_point m_Now{};
};

}  // namespace

TEST_F(PollTest, FirstSampleAfterResetIsZero) {
    auto lighthouse = AddProfile("Lighthouse", true, false);
    CStation station(*lighthouse);
    ASSERT_TRUE(station.Connect(1));
    theApp.m_pPoll->Tick();  // tick 0: no statistics
    TickAfterSecond();       // first sample: baseline only
    EXPECT_EQ(theApp.m_StatHistory[0].rx, 0);
    EXPECT_EQ(theApp.m_nRxRate, 0);
    EXPECT_EQ(theApp.m_nStatIndex, 1);
    TickAfterSecond();
    // Lighthouse carries about 22000 bytes/s down: 22 KB/s against the full-rate scale of 2250 KB/s.
    EXPECT_NEAR(theApp.m_nRxRate, 22, 3);
    EXPECT_EQ(theApp.m_StatHistory[1].rx, static_cast<int>(theApp.m_nRxRate * 1000.0 / 2250));
    EXPECT_GT(theApp.m_nTxRate, 0);
}

TEST_F(PollTest, UtilisationIsCappedAt999) {
    m_Registry.WriteProfileInt("", "Utilization", 1375);  // 802.11b full scale becomes 1 KB/s
    theApp.m_pPoll->ResetStats(false);
    EXPECT_EQ(theApp.m_pPoll->GetFullScale(), 1);
    auto lighthouse = AddProfile("Lighthouse", true, false);
    ASSERT_TRUE(CStation(*lighthouse).Connect(1));
    theApp.m_pPoll->Tick();
    TickAfterSecond();
    TickAfterSecond();
    EXPECT_EQ(theApp.m_StatHistory[1].rx, 999);
    EXPECT_EQ(theApp.m_StatHistory[1].tx, 999);
}

TEST_F(PollTest, UtilizationOutsideItsRangeFallsBackToDefault) {
    for (int bad : {0, -4, 1376, 7000}) {
        m_Registry.WriteProfileInt("", "Utilization", bad);
        theApp.m_pPoll->ResetStats(true);
        EXPECT_EQ(theApp.m_pPoll->GetFullScale(), 2250) << bad;
        theApp.m_pPoll->ResetStats(false);
        EXPECT_EQ(theApp.m_pPoll->GetFullScale(), 458) << bad;
    }
    m_Registry.WriteProfileInt("", "Utilization", 2);
    theApp.m_pPoll->ResetStats(true);
    EXPECT_EQ(theApp.m_pPoll->GetFullScale(), 3375);
}

TEST_F(PollTest, RingWrapsAndResetKeepsIndex) {
    theApp.m_pPoll->Tick();
    for (int i = 0; i < 20; ++i) TickAfterSecond();
    EXPECT_EQ(theApp.m_nStatIndex, 0);
    TickAfterSecond();
    EXPECT_EQ(theApp.m_nStatIndex, 1);
    theApp.m_StatHistory[5].rx = 77;
    theApp.m_pPoll->ResetStats(true);
    EXPECT_EQ(theApp.m_StatHistory[5].rx, 0);
    EXPECT_EQ(theApp.m_nStatIndex, 1);
}

TEST_F(PollTest, IntervalIsReadTruncatingAtTheEndOfEachInterval) {
    m_Registry.WriteProfileInt("", "Polling Interval", 2500);
    theApp.m_pPoll->Prepare();
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 2);
    theApp.m_pPoll->Tick();
    TickAfterSecond();
    EXPECT_FALSE(theApp.m_bRefreshRequest);
    TickAfterSecond();  // tick 2 ends the interval
    EXPECT_TRUE(theApp.m_bRefreshRequest);
    EXPECT_EQ(theApp.m_pPoll->GetTickCount(), 1);
}

TEST_F(PollTest, ScanRequestsRefreshEveryTickWithoutStatistics) {
    theApp.m_pPoll->BeginScan();
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 4);
    for (int i = 0; i < 3; ++i) {
        theApp.m_bRefreshRequest = false;
        TickAfterSecond();
        EXPECT_TRUE(theApp.m_bRefreshRequest);
    }
    EXPECT_FALSE(Logged(OID_STATISTICS));
    theApp.m_bScanning = false;
    theApp.m_bRefreshRequest = false;
    TickAfterSecond();
    EXPECT_TRUE(Logged(OID_STATISTICS));
}

TEST_F(PollTest, NoMembersAndNoConnectionOnlySamples) {
    for (int i = 0; i < 7; ++i) TickAfterSecond();
    for (uint32_t code : LoggedCodes())
        EXPECT_TRUE(code == OID_STATISTICS || code == OID_CONNECT_STATUS) << code;
    EXPECT_FALSE(Associated());
}

TEST_F(PollTest, DestroyedWindowStopsEverything) {
    AddProfile("Lighthouse", true, true);
    theApp.m_nStatIndex = -1;
    for (int i = 0; i < 4; ++i) TickAfterSecond();
    EXPECT_TRUE(LoggedCodes().empty());
}

TEST_F(PollTest, FailedStatisticsReadRestartsTheInterval) {
    theApp.m_pPoll->Tick();
    TickAfterSecond();
    kccl_sim_set_fault(OID_STATISTICS, KCCL_SIM_FAULT_STATUS, 1);
    TickAfterSecond();
    EXPECT_EQ(theApp.m_pPoll->GetTickCount(), 0);
}

TEST_F(PollTest, AutoSelectionJoinsFirstReachableMemberAndReadsBack) {
    AddProfile("Nowhere", true, true);
    AddProfile("Lighthouse", true, true);
    // Tick 0 tries slot 0: that network is not in range, and the attempt says so at once.
    theApp.m_pPoll->Tick();
    EXPECT_EQ(theApp.m_nAutoCountdown, -1);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_FALSE(theApp.m_pPoll->AutoAttemptRunning());
    TickAfterSecond();
    TickAfterSecond();
    // Tick 3: the rotation tries slot 1, which is in range.
    TickAfterSecond();
    EXPECT_TRUE(Associated());
    EXPECT_EQ(theApp.m_nAutoCountdown, 1);  // set to 2, and this tick already counts
    TickAfterSecond();
    EXPECT_EQ(theApp.m_nAutoCountdown, 0);
    EXPECT_FALSE(theApp.m_bRefreshRequest);
    // Two ticks after the connection: read back into the current station, refresh requested.
    TickAfterSecond();
    EXPECT_EQ(theApp.m_nAutoCountdown, -1);
    EXPECT_TRUE(theApp.m_bRefreshRequest);
    auto current = theApp.m_pStationMngr->GetCurrent();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->NetName, "Lighthouse");
    EXPECT_EQ(current->PhyChnl, 11);  // read back as the channel number
    ASSERT_NE(theApp.m_pProfileMngr->GetConnected(), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetConnected()->NetName, "Lighthouse");
    // Connected: later third ticks try nothing new.
    kccl_sim_clear_log();
    for (int i = 0; i < 6; ++i) TickAfterSecond();
    EXPECT_FALSE(Logged(OID_SSID_SET));
}

TEST_F(PollTest, StartUpScanSurvivesTheThreadsSetUp) {
    // Start-up starts the thread, then creates the station manager, whose first scan must stay
    // marked as running whenever the thread gets going.
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = nullptr;
    delete theApp.m_pPoll;
    theApp.m_pPoll = new CPoll();
    theApp.m_pPoll->SetTiming(10s, 10s, 10s);
    ASSERT_TRUE(theApp.m_pPoll->Start());
    kccl_sim_set_scan_duration(3000);
    theApp.m_pStationMngr = new CStationMngr();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(theApp.m_bScanning);
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 4);
    theApp.m_pPoll->Stop();
}

// Waits (bounded) until a condition holds; false if it never did.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(5ms);
    return condition();
}

TEST_F(PollTest, HiddenWindowRunsTheTicksWhileTheThreadSleeps) {
    // Without its thread the ticks are the caller's already: nothing to hand over.
    EXPECT_FALSE(theApp.m_pPoll->SetDriven(true));
    EXPECT_FALSE(theApp.m_pPoll->DrivenTick());
    EXPECT_EQ(theApp.m_pPoll->TicksRun(), 0);

    delete theApp.m_pPoll;
    theApp.m_pPoll = new CPoll();
    CPoll& poll = *theApp.m_pPoll;
    poll.SetTiming(0ms, 1ms, 0ms);  // the thread's own ticks come as fast as it can run them
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(Eventually([&] { return poll.TicksRun() >= 3; }));

    EXPECT_TRUE(poll.SetDriven(true));
    ASSERT_TRUE(Eventually([&] { return poll.ThreadAsleep(); }));
    const int asleep = poll.TicksRun();
    std::this_thread::sleep_for(50ms);  // some fifty periods: none of them ticks
    EXPECT_EQ(poll.TicksRun(), asleep);
    EXPECT_TRUE(poll.DrivenTick());
    EXPECT_TRUE(poll.DrivenTick());
    EXPECT_EQ(poll.TicksRun(), asleep + 2);

    // Shown again: the thread takes over, and a late tick of the window's does nothing.
    EXPECT_FALSE(poll.SetDriven(false));
    EXPECT_FALSE(poll.DrivenTick());
    ASSERT_TRUE(Eventually([&] { return poll.TicksRun() > asleep + 2; }));
    EXPECT_FALSE(poll.ThreadAsleep());

    // A stop ends a sleeping thread too, and leaves nothing to drive.
    EXPECT_TRUE(poll.SetDriven(true));
    poll.Stop();
    EXPECT_FALSE(poll.IsDriven());
    EXPECT_FALSE(poll.SetDriven(true));
    EXPECT_FALSE(poll.DrivenTick());
}

TEST_F(PollTest, DrivenTicksWaitForTheThreadsQuietTime) {
    delete theApp.m_pPoll;
    theApp.m_pPoll = new CPoll();
    CPoll& poll = *theApp.m_pPoll;
    poll.SetTiming(100ms, 1000ms, 3600s);  // a quiet time that outlasts the test
    ASSERT_TRUE(poll.Start());
    EXPECT_TRUE(poll.SetDriven(true));
    EXPECT_FALSE(poll.DrivenTick());
    EXPECT_EQ(poll.TicksRun(), 0);
    poll.Stop();  // ends the quiet time early
}

namespace {

using CListStore = test::CListHistory;

}  // namespace

// The polling tick records the connection history from the adapter: the connection, and the access
// point's deauthentication with its reason in words.
TEST_F(PollTest, TicksRecordTheConnectionAndTheAccessPointsReasonToEndIt) {
    auto store = std::make_shared<CListStore>();
    theApp.m_pPoll->SetHistory(std::make_shared<CHistoryRecorder>([store] { return store; }));
    auto lighthouse = AddProfile("Lighthouse", true, false);
    ASSERT_TRUE(CStation(*lighthouse).Connect(1));
    kccl_sim_advance(1000);
    theApp.m_pPoll->Tick();
    ASSERT_EQ(store->events.size(), 1u);
    EXPECT_EQ(store->events[0].kind, SHistoryEvent::EKind::Connect);
    EXPECT_EQ(store->events[0].ssid, "Lighthouse");
    EXPECT_FALSE(store->events[0].bssid.empty());
    EXPECT_GT(store->events[0].freqMHz, 0);

    ASSERT_EQ(kccl_sim_deauth(7), 0);
    TickAfterSecond();
    ASSERT_FALSE(store->events.empty());
    const SHistoryEvent& drop = store->events.back();
    EXPECT_EQ(drop.kind, SHistoryEvent::EKind::Disconnect);
    EXPECT_EQ(drop.ssid, "Lighthouse");
    EXPECT_EQ(drop.reason, 7);
    EXPECT_EQ(drop.initiator, "access-point");
    EXPECT_EQ(drop.detail, kccl::DisconnectSentence(7, kccl::EInitiator::AccessPoint));
    theApp.m_pPoll->SetHistory(nullptr);
}

// The access point the station is on fades: the adapter moves to the network's other one, and the
// history has the roam with both access points, bands and signals.
TEST_F(PollTest, TicksRecordARoamToTheNetworksOtherAccessPoint) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "00-11-22-33-55-01", "channel": 1,
        "signal_dbm": -50})"),
              0);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "00-11-22-33-55-02", "channel": 36,
        "signal_dbm": -70})"),
              0);
    auto store = std::make_shared<CListStore>();
    theApp.m_pPoll->SetHistory(std::make_shared<CHistoryRecorder>([store] { return store; }));
    auto twin = AddProfile("Twin", true, false);
    ASSERT_TRUE(CStation(*twin).Connect(1));
    kccl_sim_advance(1000);
    theApp.m_pPoll->Tick();
    ASSERT_EQ(store->events.size(), 1u);
    EXPECT_EQ(store->events[0].bssid, "00-11-22-33-55-01");

    ASSERT_EQ(kccl_sim_set_signal("00-11-22-33-55-01", -92), 0);
    for (int i = 0; i < CHistoryRecorder::kLookEveryTicks; ++i) TickAfterSecond();
    std::vector<SHistoryEvent> roams;
    for (const SHistoryEvent& e : store->events)
        if (e.kind == SHistoryEvent::EKind::Roam) roams.push_back(e);
    ASSERT_EQ(roams.size(), 1u);
    EXPECT_EQ(roams[0].prevBssid, "00-11-22-33-55-01");
    EXPECT_EQ(roams[0].bssid, "00-11-22-33-55-02");
    EXPECT_EQ(roams[0].prevFreqMHz, 2412);
    EXPECT_EQ(roams[0].freqMHz, 5180);
    EXPECT_EQ(roams[0].signalDbm, -70);
    EXPECT_NE(roams[0].detail.find("from 2.4 GHz to 5 GHz"), std::string::npos) << roams[0].detail;
    theApp.m_pPoll->SetHistory(nullptr);
}
