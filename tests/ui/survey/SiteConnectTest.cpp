// Joining a network from the Available Networks dialog, saving it as a profile and editing the
// connection, against the simulated adapter.
#include <algorithm>

#include "SiteFixture.h"
#include "base/Locks.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "ui/survey/SiteRows.h"

namespace wavory::test {
namespace {

constexpr const char* kLighthouse = "00-0F-B5-44-7C-20";
constexpr const char* kHarbour = "00-14-6C-2A-11-01";

class SiteConnectTest : public CSiteTest {
protected:
    void Join(const QString& ssid) {
        Click(ssid);
        QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    }
    // A stored profile of this SSID, a member at the next slot or not a member at all.
    static void Store(const std::string& ssid, bool member) {
        CProfileMngr& profiles = *theApp.m_pProfileMngr;
        auto profile = profiles.GetProfile(profiles.AddProfile());
        profile->NetName = ssid;
        profile->AutoSelect = member;
        profile->Priority = member ? profiles.UpdatePriorities(-1) : -1;
        profiles.SaveAll();
    }
    static std::shared_ptr<CProfile> Stored(const std::string& ssid) {
        return theApp.m_pProfileMngr->FindBySsid(ssid);
    }
};

TEST_F(SiteConnectTest, JoiningAnOpenNetworkAssociatesAndAddsAMember) {
    Start();
    Open();
    Join("Lighthouse");
    EXPECT_TRUE(Associated(kLighthouse));
    EXPECT_TRUE(m_Titles.isEmpty());  // no key to ask for
    EXPECT_EQ(theApp.m_nAutoCountdown, 2);
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 2);
    auto profile = Stored("Lighthouse");
    ASSERT_NE(profile, nullptr);
    EXPECT_TRUE(profile->AutoSelect);
    EXPECT_EQ(profile->Priority, 0);
    EXPECT_EQ(profile->ChannelNumber(), 11);
    // Stored at once, and shown as the connection.
    EXPECT_EQ(CSqliteRegistry().GetProfileString(profile->GetSection(), "NetName", ""), "Lighthouse");
    EXPECT_EQ(Row("Lighthouse")->background(0).color(), QColor(133, 210, 252));
    EXPECT_FALSE(Button(CViewSite::IDC_CONNECT)->isEnabled());
}

TEST_F(SiteConnectTest, WepNetworkAsksForTheKeyAndCancelConnectsNothing) {
    Start();
    Open();
    Join("Harbour");
    EXPECT_EQ(m_Titles, QStringList({"Enter Security Parameters"}));
    ASSERT_EQ(m_EditNames.size(), 1u);
    EXPECT_EQ(m_EditNames[0], "EditStation");
    EXPECT_FALSE(SimState()["associated"].toBool());
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
    EXPECT_TRUE(theApp.m_pStationMngr->GetCurrentKey().empty());

    // The Security page puts the key into the station it is given.
    m_fnEditor = [] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station) return false;
        station->SecKey[0] = "1A2B3C4D5E";
        station->SecKeyLen[0] = 0;
        station->ActiveSecKey = 0;
        return true;
    };
    Join("Harbour");
    EXPECT_TRUE(Associated(kHarbour));
    auto profile = Stored("Harbour");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->SecKey[0], "1A2B3C4D5E");
    EXPECT_EQ(profile->ActiveSecKey, 0);
}

TEST_F(SiteConnectTest, JoiningUsesTheStoredProfileAndKeepsIt) {
    Start();
    Store("Harbour", true);
    Store("Lighthouse", true);
    Store("Boatyard", true);
    auto stored = Stored("Lighthouse");
    ASSERT_NE(stored, nullptr);
    const std::string name = stored->ProfName;
    stored->PSType = 2;  // a setting of the user's own
    Open();
    Join("Lighthouse");
    EXPECT_TRUE(Associated("00-0F-B5-44-7C-20"));
    auto profile = Stored("Lighthouse");
    EXPECT_EQ(profile, stored);  // the same profile, not a replacement
    EXPECT_EQ(profile->ProfName, name);
    EXPECT_EQ(profile->PSType, 2);
    EXPECT_EQ(profile->Priority, 1);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 3);
    EXPECT_EQ(theApp.m_pProfileMngr->GetAutoCount(), 3);
    EXPECT_EQ(theApp.m_pProfileMngr->FindByPriority(2)->NetName, "Boatyard");
}

TEST_F(SiteConnectTest, ProfileOutsideTheAutoSelectionIsKeptAndBecomesTheLastMember) {
    Start();
    Store("Harbour", true);
    Store("Lighthouse", false);
    Open();
    Join("Lighthouse");
    auto profile = Stored("Lighthouse");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->Priority, 1);  // not -1, which no list would show
    EXPECT_EQ(theApp.m_pProfileMngr->GetAutoCount(), 2);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 2);
}

// One network on two access points, the stronger on channel 1: Connect on the channel-36 row of the
// access-point view joins that access point, and that row is the one marked connected.
TEST_F(SiteConnectTest, TheAccessPointViewJoinsTheRowChosen) {
    Start({Network("Twin", "02-00-00-00-01-01", 1, -40), Network("Twin", "02-00-00-00-24-01", 36, -62)});
    Open();
    ASSERT_FALSE(m_pSite->IsNetworkView());
    auto rowOn = [&](const QString& channel) -> QTreeWidgetItem* {
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (List()->topLevelItem(i)->text(SITE_COL_CHANNEL) == channel) return List()->topLevelItem(i);
        return nullptr;
    };
    QTreeWidgetItem* fast = rowOn("36");
    ASSERT_NE(fast, nullptr);
    List()->scrollToItem(fast);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualItemRect(fast).center());
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    EXPECT_TRUE(Associated("02-00-00-00-24-01")) << SimState()["bssid"].toString().toStdString();
    Tick();
    fast = rowOn("36");
    ASSERT_NE(fast, nullptr);
    EXPECT_EQ(fast->background(0).color(), QColor(133, 210, 252));
    ASSERT_NE(rowOn("1"), nullptr);
    EXPECT_NE(rowOn("1")->background(0).color(), QColor(133, 210, 252));
}

TEST_F(SiteConnectTest, AdHocNetworkIsJoinedOnItsOwnChannel) {
    Start();
    Open();
    Join("Deckhands");  // ad hoc on channel 10
    EXPECT_TRUE(Associated("02-3E-91-5A-0C-77"));
    auto profile = Stored("Deckhands");
    ASSERT_NE(profile, nullptr);
    EXPECT_FALSE(profile->NetMode);
    EXPECT_EQ(profile->ChannelNumber(), 10);
}

TEST_F(SiteConnectTest, FailedJoinShowsTheMessageAndChangesNoProfile) {
    Start();
    Store("Lighthouse", true);
    Open();
    kccl_sim_set_fault(OID_SSID_SET, KCCL_SIM_FAULT_RESULT, 1);
    Join("Lighthouse");
    EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{"Could not connect to specified station."});
    EXPECT_TRUE(theApp.m_pStationMngr->GetCurrentKey().empty());
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
    EXPECT_EQ(Stored("Lighthouse")->ProfName, "Profile 0");
}

TEST_F(SiteConnectTest, SsidBytesAndSeparatorsAreShownSafelyAndStillJoined) {
    Start({Network("Dock -- North", "00-20-30-40-50-01", 1, -60),
           R"({"ssid_hex":"4E6574FF07","bssid":"00-20-30-40-50-02","channel":6,"signal_dbm":-62})"});
    Open();
    EXPECT_TRUE(Column(1).contains("Dock -- North"));
    Join("Net\\xff\\x07");
    EXPECT_TRUE(Associated("00-20-30-40-50-02"));
    EXPECT_EQ(SimState()["ssid_hex"].toString(), "4E6574FF07");
    ASSERT_NE(Stored("Net\xFF\x07"), nullptr);

    Join("Dock -- North");
    EXPECT_TRUE(Associated("00-20-30-40-50-01"));
    EXPECT_EQ(Row("Dock -- North")->background(0).color(), QColor(133, 210, 252));
}

TEST_F(SiteConnectTest, SaveProfileKeepsTheProfileOnlyWhenConfirmed) {
    Start();
    Open();
    Click("Lighthouse");
    QTest::mouseClick(Button(CViewSite::IDC_SAVE_PROFILE), Qt::LeftButton);
    EXPECT_EQ(m_Titles, QStringList({"Save Connection to Profile"}));
    EXPECT_EQ(m_EditNames, std::vector<std::string>{"Profile 0"});
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);

    m_fnEditor = [] {
        auto profile = theApp.m_pProfileMngr->GetProfile(g_strEditProfile);
        profile->AutoSelect = true;  // "Add to Auto-Selection" ticked
        return true;
    };
    QTest::mouseClick(Button(CViewSite::IDC_SAVE_PROFILE), Qt::LeftButton);
    auto profile = Stored("Lighthouse");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->Priority, 0);
    EXPECT_EQ(profile->ChannelNumber(), 11);
    EXPECT_EQ(CSqliteRegistry().GetProfileInt("", "NumOfProfiles", 0), 1);
    EXPECT_EQ(m_Window.m_nFullRefreshes, 1);
    EXPECT_FALSE(SimState()["associated"].toBool());  // saving joins nothing
}

TEST_F(SiteConnectTest, EditConnectionAppliesTheSecurityAndReportsAFailure) {
    Start();
    Open();
    Join("Lighthouse");
    m_fnEditor = [] { return theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation) != nullptr; };
    kccl_sim_clear_log();
    QTest::mouseClick(Button(CViewSite::IDC_EDIT_CONNECTION), Qt::LeftButton);
    EXPECT_EQ(m_Titles, QStringList({"Edit Connection Parameters"}));
    KCCL_SIM_LOG_ENTRY log[16];
    const int n = kccl_sim_get_log(log, 16);
    EXPECT_TRUE(std::any_of(log, log + n, [](const auto& e) { return e.code == OID_SECURITY_SET; }));
    EXPECT_TRUE(m_Messages.m_Shown.empty());

    kccl_sim_set_fault(OID_SECURITY_SET, KCCL_SIM_FAULT_RESULT, 1);
    QTest::mouseClick(Button(CViewSite::IDC_EDIT_CONNECTION), Qt::LeftButton);
    EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{"An error occured connecting to the driver. Try "
                                                           "restarting the application if error persists."});
}

TEST_F(SiteConnectTest, CommandsWaitForNothingWhileTheMainLockIsTaken) {
    Start();
    Open();
    Click("Harbour");
    ASSERT_TRUE(TryEnter(CS_MAIN));
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    QTest::mouseClick(Button(CViewSite::IDC_SAVE_PROFILE), Qt::LeftButton);
    Leave(CS_MAIN);
    EXPECT_TRUE(m_Titles.isEmpty());
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
}

TEST_F(SiteConnectTest, WepNetworkWithAStoredKeyIsJoinedWithoutAskingAndKeepsEveryKey) {
    Start();
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    auto stored = profiles.GetProfile(profiles.AddProfile());
    ASSERT_TRUE(profiles.RenameProfile(stored->ProfName, "Home harbour"));
    stored->NetName = "Harbour";
    stored->SecType = 1;
    stored->SecKey = {"0000000000", "1A2B3C4D5E", "0123456789ABCDEF0123456789", ""};
    stored->SecKeyLen = {0, 0, 1, 0};
    stored->ActiveSecKey = 1;
    profiles.SaveAll();
    Open();
    Join("Harbour");
    EXPECT_TRUE(m_Titles.isEmpty());  // the stored key fits: nothing to ask
    EXPECT_TRUE(Associated(kHarbour));
    ASSERT_EQ(profiles.GetCount(), 1);
    auto profile = profiles.GetProfile("Home harbour");
    ASSERT_EQ(profile, stored);
    EXPECT_EQ(profile->SecKey[0], "0000000000");
    EXPECT_EQ(profile->SecKey[2], "0123456789ABCDEF0123456789");
    EXPECT_EQ(profile->SecKeyLen[2], 1);  // the 128-bit choice stays
    EXPECT_EQ(profile->ActiveSecKey, 1);
    EXPECT_TRUE(profile->AutoSelect);
    // And so it stays in the store.
    EXPECT_EQ(CSqliteRegistry().GetProfileString(profile->GetSection(), "ProfName", ""), "Home harbour");
}

TEST_F(SiteConnectTest, StoredProfileWithoutAFittingKeyIsAskedOnceAndGetsTheKey) {
    Start();
    Store("Harbour", false);
    auto stored = Stored("Harbour");
    Open();
    m_fnEditor = [] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station) return false;
        station->SecKey[3] = "1A2B3C4D5E";
        station->ActiveSecKey = 3;
        return true;
    };
    Join("Harbour");
    EXPECT_EQ(m_Titles, QStringList({"Enter Security Parameters"}));
    EXPECT_TRUE(Associated(kHarbour));
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
    EXPECT_EQ(Stored("Harbour"), stored);
    EXPECT_EQ(stored->SecKey[3], "1A2B3C4D5E");
    EXPECT_EQ(stored->ActiveSecKey, 3);
    EXPECT_EQ(stored->SecType, 1);
}

TEST_F(SiteConnectTest, RefusedPassphraseIsAskedForAgainAndStoredOnlyOnceItWorks) {
    Start({Network("Lockkeeper", "00-1D-7E-11-22-33", 6, -61,
                   ",\"security\":\"wpa2\",\"passphrase\":\"canal-gates-at-dawn\""),
           Network("Lighthouse", kLighthouse, 11, -66)});
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    auto stored = profiles.GetProfile(profiles.AddProfile());
    stored->NetName = "Lockkeeper";
    stored->WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    stored->WpaPassphrase = "canal-gates-at-dusk";  // saved wrong
    profiles.SaveAll();
    Open();
    Join("Lighthouse");
    ASSERT_TRUE(Associated(kLighthouse));

    // The saved passphrase is refused: asked again, naming the network and the cause. The first
    // answer is refused too; the second one works.
    QStringList notices;
    std::vector<std::string> typed{"canal-gates-at-noon", "canal-gates-at-dawn"};
    m_fnEditor = [&] {
        notices << m_pSite->PromptNotice();
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station || typed.empty()) return false;
        station->WpaPassphrase = typed.front();
        typed.erase(typed.begin());
        // Until a passphrase works, the stored one is what it was, and the connection is back.
        EXPECT_EQ(stored->WpaPassphrase, "canal-gates-at-dusk");
        EXPECT_TRUE(Associated(kLighthouse));
        return true;
    };
    Join("Lockkeeper");
    const QString refused = QStringLiteral(
        "\"Lockkeeper\": the passphrase was not accepted. The previous connection was restored.");
    EXPECT_EQ(notices, QStringList({refused, refused}));
    EXPECT_TRUE(Associated("00-1D-7E-11-22-33"));
    EXPECT_EQ(stored->WpaPassphrase, "canal-gates-at-dawn");
    EXPECT_EQ(profiles.GetCount(), 2);  // Lighthouse's own and the corrected one
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

TEST_F(SiteConnectTest, CancelledSecondPromptLeavesTheProfileAndTheConnection) {
    Start({Network("Lockkeeper", "00-1D-7E-11-22-33", 6, -61,
                   ",\"security\":\"wpa2\",\"passphrase\":\"canal-gates-at-dawn\"")});
    Open();
    int asked = 0;
    m_fnEditor = [&] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station || ++asked > 1) return false;
        station->WpaPassphrase = "not-the-passphrase";
        return true;
    };
    Join("Lockkeeper");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);  // nothing that worked, nothing stored
    EXPECT_FALSE(SimState()["associated"].toBool());
    EXPECT_TRUE(theApp.m_pStationMngr->GetCurrentKey().empty());
}

TEST_F(SiteConnectTest, EditConnectionShowsWhatTheAdapterIsConnectedWith) {
    // An ad-hoc WEP network on channel 3, joined with a stored profile's key.
    Start();
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    auto stored = profiles.GetProfile(profiles.AddProfile());
    stored->NetName = "GameRoom";
    stored->SecType = 1;
    stored->SecKey[2] = "C0FFEE1234";
    stored->ActiveSecKey = 2;
    profiles.SaveAll();
    Open();
    Join("GameRoom");
    ASSERT_TRUE(Associated("02-7B-22-E4-18-03"));
    theApp.m_pStationMngr->MergeScan();  // the stations are rebuilt from the scan, without keys
    m_pSite->RefreshList();

    std::unique_ptr<CProfile> shown;
    m_fnEditor = [&shown] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (station) shown = std::make_unique<CProfile>(*station);
        return false;
    };
    Click("GameRoom");
    QTest::mouseClick(Button(CViewSite::IDC_EDIT_CONNECTION), Qt::LeftButton);
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->NetMode);  // ad hoc, not "Infrastructure"
    EXPECT_EQ(shown->ChannelNumber(), 3);
    EXPECT_EQ(shown->SecType, 1);
    EXPECT_EQ(shown->ActiveSecKey, 2);
    EXPECT_EQ(shown->SecKey[2], "C0FFEE1234");
}

}  // namespace
}  // namespace wavory::test
