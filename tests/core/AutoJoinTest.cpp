// The polling thread's automatic selection while the adapter joins: it starts no attempt while one
// runs (its own, the user's or another program's) and takes a failed attempt as that profile's turn.
#include <chrono>

#include "CoreFixture.h"
#include "SimLog.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

namespace {

class AutoJoinTest : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        theApp.m_pPoll->SetClock([this] { return m_Now; });
        theApp.m_bScanning = false;
    }
    void TearDown() override {
        theApp.m_bJoining = false;
        CoreFixture::TearDown();
    }
    // One tick a second later, on the adapter's clock too.
    void TickAfterSecond() {
        m_Now += 1s;
        kccl_sim_advance(1000);
        theApp.m_pPoll->Tick();
    }
    static std::vector<std::string> SsidsSet() { return SimSsidsSet(); }
    void WithWrongWepKey(const std::shared_ptr<CProfile>& profile) {
        auto lock = theApp.m_pProfileMngr->Lock();
        profile->SecType = 1;
        profile->SecKey[0] = "0102030405";
        profile->SecKeyLen[0] = 0;
        profile->ActiveSecKey = 0;
    }
    CPoll::Clock::time_point m_Now{};
};

}  // namespace

TEST_F(AutoJoinTest, NoNewAttemptWhileItsOwnIsJoining) {
    kccl_sim_put_network(
        R"({"ssid": "Slowpoke", "bssid": "00-1D-7E-11-22-66", "channel": 1, "join_delay_ms": 10000})");
    AddProfile("Slowpoke", true, true);
    AddProfile("Lighthouse", true, true);
    theApp.m_pPoll->Tick();
    EXPECT_TRUE(theApp.m_pPoll->AutoAttemptRunning());
    // Ticks 3, 6 and 9 would be the next member's turns: the join still runs.
    for (int i = 0; i < 9; ++i) TickAfterSecond();
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Slowpoke"});
    EXPECT_TRUE(theApp.m_pPoll->AutoAttemptRunning());
    TickAfterSecond();
    EXPECT_FALSE(theApp.m_pPoll->AutoAttemptRunning());
    EXPECT_TRUE(Associated());
    ASSERT_NE(theApp.m_pProfileMngr->GetConnected(), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetConnected()->NetName, "Slowpoke");
}

TEST_F(AutoJoinTest, FailedAttemptIsThatProfilesTurnDone) {
    kccl_sim_set_join_delay(2000);
    WithWrongWepKey(AddProfile("Harbour", true, true));
    AddProfile("Lighthouse", true, true);
    theApp.m_pPoll->Tick();
    TickAfterSecond();
    TickAfterSecond();  // the attempt on Harbour has failed by now
    EXPECT_FALSE(theApp.m_pPoll->AutoAttemptRunning());
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_FALSE(theApp.m_bAdHocApplied);
    TickAfterSecond();  // tick 3: the next member, not Harbour again
    TickAfterSecond();
    TickAfterSecond();
    EXPECT_EQ(SsidsSet(), (std::vector<std::string>{"Harbour", "Lighthouse"}));
    EXPECT_TRUE(Associated());
    // The failed member's key is what it was.
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Harbour")->SecKey[0], "0102030405");
}

TEST_F(AutoJoinTest, NoAttemptWhileTheUsersOrAnotherProgramsRuns) {
    AddProfile("Lighthouse", true, true);
    theApp.m_bJoining = true;
    theApp.m_pPoll->Tick();
    EXPECT_TRUE(SsidsSet().empty());
    theApp.m_bJoining = false;

    // Another program's attempt, seen only at the adapter.
    kccl_sim_set_join_delay(5000);
    CCommVarList others;
    std::string mode = "Infrastructure", ssid = "Harbour", security = "None";
    others.AddVarExt(OID_SSID_QUERY, OID_SSID_SET, ConvSsid, &ssid);
    others.AddVarExt(OID_SECURITY_QUERY, OID_SECURITY_SET, ConvSecurity, &security);
    ASSERT_TRUE(others.RefreshAll(true, false));
    kccl_sim_clear_log();
    // Four ticks hold at least one turn of the selection; that attempt runs for five seconds.
    for (int i = 0; i < 4; ++i) TickAfterSecond();
    EXPECT_TRUE(SsidsSet().empty());
    EXPECT_FALSE(theApp.m_pPoll->AutoAttemptRunning());
    // Once it has failed, the selection goes on at its next turn.
    for (int i = 0; i < 4 && SsidsSet().empty(); ++i) TickAfterSecond();
    EXPECT_EQ(SsidsSet(), std::vector<std::string>{"Lighthouse"});
}
