// The Profiles page against the simulated adapter: connecting WEP profiles made in the editor, and
// the auto-selection order set with the arrows as the polling thread follows it.
#include <QComboBox>
#include <QLineEdit>

#include "ProfilesUiFixture.h"
#include "SimLog.h"
#include "driver/Request.h"
#include "ui/profiles/EditProfileSec.h"

namespace wavory::test {
namespace {

using P = CMainProfile;

class ProfilesAdapterTest : public ProfilesUiTest {
protected:
    // The SSIDs the adapter was told to join since the last call.
    static std::vector<std::string> SsidsSet() {
        std::vector<std::string> ssids = SimSsidsSet();
        kccl_sim_clear_log();
        return ssids;
    }
    // A WEP profile for the built-in network "Harbour" with the given first key.
    std::shared_ptr<CProfile> Harbour(const std::string& name, const std::string& key) {
        auto profile = Stored(name, "Harbour");
        profile->SecType = 1;
        profile->SecKey[0] = key;
        profile->ActiveSecKey = 0;
        return profile;
    }
};

TEST_F(ProfilesAdapterTest, WepProfileMadeInTheEditorConnectsWithTheRightKey) {
    auto page = ShowPage();
    WhenModal<CEditProfile>([](CEditProfile& editor) {
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME), "Harbour WEP");
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_SSID), "Harbour");
        Click(&editor, CEditProfileGen::IDC_INFRASTRUCTURE);
        editor.SetActivePage(1);
        auto* security = Find<QComboBox>(&editor, CEditProfileSec::IDC_SECURITY);
        QTest::keyClick(security, Qt::Key_Home);
        QTest::keyClick(security, Qt::Key_Down);  // WEP
        Type(Find<QLineEdit>(&editor, CEditProfileSec::kKeyIds[0]), "1a2b3c4d5e");
        Click(&editor, CProfileSheet::IDC_OK);
    });
    Click(page.get(), P::IDC_NEW);
    auto profile = Mngr().GetProfile("Harbour WEP");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->ActiveSecKey, 0);  // the completed key became the active one

    ClickRow(List(*page, P::IDC_AUTO_LIST), 0);  // a new profile is a member of the order
    Click(page.get(), P::IDC_CONNECT);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_TRUE(theApp.m_pStationMngr->IsConnected());
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Harbour");
}

TEST_F(ProfilesAdapterTest, WrongKeyShowsTheConnectionMessage) {
    Harbour("Harbour", "0123456789");
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    Click(page.get(), P::IDC_CONNECT);
    // The string table's text, then the network and the cause.
    EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{"Could not connect to profile. Verify profile "
                                                           "parameters.\n\"Harbour\": the WEP key was not "
                                                           "accepted."});
    EXPECT_FALSE(theApp.m_pStationMngr->IsConnected());
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_nAutoCountdown, -1);
}

TEST_F(ProfilesAdapterTest, PollingThreadTriesTheMembersInTheOrderOfTheArrows) {
    Stored("A", "Nowhere A", true);
    Stored("B", "Nowhere B", true);
    Stored("C", "Nowhere C", true);
    auto page = ShowPage();
    QTreeWidget* autoList = List(*page, P::IDC_AUTO_LIST);
    ClickRow(autoList, 2);
    Click(page.get(), P::IDC_UP);
    Click(page.get(), P::IDC_UP);
    ClickRow(autoList, 1);
    Click(page.get(), P::IDC_DOWN);
    ASSERT_EQ(Column(autoList), (std::vector<std::string>{"C", "B", "A"}));

    // Each try is followed by ticks that wait for the read-back; the fourth try starts over.
    kccl_sim_clear_log();
    std::vector<std::string> tried;
    for (int tick = 0; tick < 30 && tried.size() < 4; ++tick) {
        theApp.m_pPoll->Tick();
        for (const std::string& ssid : SsidsSet()) tried.push_back(ssid);
    }
    EXPECT_EQ(tried, (std::vector<std::string>{"Nowhere C", "Nowhere B", "Nowhere A", "Nowhere C"}));
}

}  // namespace
}  // namespace wavory::test
