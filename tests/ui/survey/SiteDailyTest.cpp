// Available Networks in daily use: a hidden network joined by name, Forget, the filter, what the
// list says while it has no rows, and a missing adapter.
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>

#include "../support/UiCore.h"
#include "SiteFixture.h"
#include "kccl_oid.h"
#include "ui/survey/HiddenNetworkDlg.h"

namespace wavory::test {
namespace {

constexpr const char* kBackroom = "00-1D-7E-11-22-77";

class SiteDailyTest : public CSiteTest {
protected:
    // A hidden WPA2 network beside an open one.
    void StartHidden() {
        Start({Network("Backroom", kBackroom, 6, -55,
                       ",\"hidden\":true,\"security\":\"wpa2\",\"passphrase\":\"under-the-stairs\""),
               Network("Lighthouse", "00-0F-B5-44-7C-20", 11, -66)});
    }
    // Answers the hidden-network dialog with these entries, one answer per opening.
    void AnswerHidden(std::vector<std::pair<QString, QString>> answers) {
        m_pSite->SetHiddenRunner(
            [this, answers](CHiddenNetworkDlg& dialog) mutable -> std::shared_ptr<CStation> {
                ++m_nHiddenAsked;
                m_nHiddenPreset = dialog.SecurityBox()->currentIndex();
                if (answers.empty()) return nullptr;
                dialog.NameEdit()->setText(answers.front().first);
                dialog.KeyEdit()->setText(answers.front().second);
                answers.erase(answers.begin());
                return dialog.Settings();
            });
    }
    int m_nHiddenAsked = 0;
    int m_nHiddenPreset = -1;
};

TEST_F(SiteDailyTest, NamelessRowAsksForTheNameAndNeverStoresAnEmptyOne) {
    StartHidden();
    Open();
    AnswerHidden({});  // cancelled
    Click("");
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    EXPECT_EQ(m_nHiddenAsked, 1);
    EXPECT_EQ(m_nHiddenPreset, 2);  // the row's security (WPA2-Personal) comes first
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
    EXPECT_FALSE(Associated(kBackroom));
}

TEST_F(SiteDailyTest, HiddenNetworkJoinsWithTheRightKeyAndIsStoredOnlyThen) {
    StartHidden();
    Open();
    // The first passphrase is refused: the key is asked for again (the security page), naming the
    // network; the second works and is what the profile keeps.
    AnswerHidden({{"Backroom", "over-the-stairs"}});
    QStringList notices;
    m_fnEditor = [&] {
        notices << m_pSite->PromptNotice();
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station) return false;
        station->WpaPassphrase = "under-the-stairs";
        return true;
    };
    QTest::mouseClick(m_pSite->findChild<QPushButton*>("btnHidden"), Qt::LeftButton);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("\"Backroom\": the passphrase was not accepted"))
        << notices[0].toStdString();
    EXPECT_TRUE(Associated(kBackroom));
    auto stored = theApp.m_pProfileMngr->FindBySsid("Backroom");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->WpaPassphrase, "under-the-stairs");
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 1);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

TEST(HiddenNetworkDlgTest, ConnectOnlyOnceTheEntriesWillDo) {
    CHiddenNetworkDlg dialog;
    auto* connect = dialog.findChild<QPushButton*>("btnConnect");
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_EQ(dialog.Problem(), "Enter the network's name.");
    dialog.NameEdit()->setText(QString(33, QLatin1Char('n')));
    EXPECT_EQ(dialog.Problem(), "A network name has at most 32 bytes.");
    dialog.NameEdit()->setText("Attic");
    dialog.KeyEdit()->setText("short");
    EXPECT_FALSE(connect->isEnabled());
    dialog.SecurityBox()->setCurrentIndex(1);  // WEP
    dialog.KeyEdit()->setText("1A2B3C4D5");
    EXPECT_EQ(dialog.Problem(), "A WEP key has 10 or 26 hexadecimal digits.");
    dialog.KeyEdit()->setText("1a2b3c4d5e");
    EXPECT_TRUE(connect->isEnabled());
    auto settings = dialog.Settings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->SecKey[0], "1A2B3C4D5E");
    EXPECT_EQ(settings->ActiveSecKey, 0);
    EXPECT_TRUE(settings->NetMode);
    dialog.SecurityBox()->setCurrentIndex(5);  // Enhanced Open takes no key
    EXPECT_FALSE(dialog.KeyEdit()->isEnabled());
    EXPECT_TRUE(dialog.Problem().isEmpty());
    EXPECT_EQ(dialog.Settings()->WpaMode, KCOM_SECURITY_MODE_OWE);
}

TEST_F(SiteDailyTest, ForgetRemovesTheNetworksProfilesAfterAsking) {
    Start();
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    for (const char* ssid : {"Lighthouse", "Harbour"}) {
        auto profile = profiles.GetProfile(profiles.AddProfile());
        profile->NetName = ssid;
    }
    profiles.SaveAll();
    Open();
    QStringList asked;
    bool answer = false;
    m_pSite->SetConfirmRunner([&](const QString& question) {
        asked << question;
        return answer;
    });
    Click("Lighthouse");
    m_pSite->OnForget();
    EXPECT_EQ(profiles.GetCount(), 2);  // the user said no
    answer = true;
    m_pSite->OnForget();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains("Lighthouse"));
    EXPECT_EQ(profiles.FindBySsid("Lighthouse"), nullptr);
    EXPECT_NE(profiles.FindBySsid("Harbour"), nullptr);
    EXPECT_EQ(CSqliteRegistry().GetProfileInt("", "NumOfProfiles", -1), 1);
}

// A name made to look like a link: Forget's question quotes it as text, not as a live link.
TEST_F(SiteDailyTest, ForgetsQuestionQuotesTheNameAsPlainText) {
    const std::string link = "<a href=//e.vil>Yes</a><br><br>";
    Start({Network(link, "00-1D-7E-11-22-78", 1, -50)});
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    profiles.GetProfile(profiles.AddProfile())->NetName = link;
    profiles.SaveAll();
    Open();  // the dialog's own question, not a scripted answer
    Click(QString::fromStdString(link));
    SModalSeen question;
    CancelNextModal(&question, QStringLiteral("e.vil"));
    m_pSite->OnForget();
    EXPECT_TRUE(question.seen);
    EXPECT_TRUE(question.plain) << question.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_NE(profiles.FindBySsid(link), nullptr);  // cancelled: nothing removed
}

TEST_F(SiteDailyTest, FilterShowsMatchingNamesInAnyCase) {
    Start();
    Open();
    const int all = List()->topLevelItemCount();
    m_pSite->findChild<QLineEdit*>("editFilter")->setText("HARB");
    ASSERT_GT(List()->topLevelItemCount(), 0);
    for (const QString& name : Column(1)) EXPECT_TRUE(name.contains("Harbour")) << name.toStdString();
    m_pSite->findChild<QLineEdit*>("editFilter")->setText("no such network");
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(m_pSite->ListStateText(), "No networks found");
    m_pSite->findChild<QLineEdit*>("editFilter")->clear();
    EXPECT_EQ(List()->topLevelItemCount(), all);
    EXPECT_EQ(m_pSite->ListStateText(), "");
}

// The filter is for one look: closed and opened again, the dialog shows every network. Return in
// the filter goes to the first network it leaves.
TEST_F(SiteDailyTest, FilterIsClearedOnClosingAndReturnGoesToTheFirstRow) {
    Start();
    Open();
    const int all = List()->topLevelItemCount();
    auto* filter = m_pSite->findChild<QLineEdit*>("editFilter");
    filter->setFocus();
    QTest::keyClicks(filter, "harb");
    ASSERT_GT(List()->topLevelItemCount(), 0);
    ASSERT_LT(List()->topLevelItemCount(), all);
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(List()->currentItem(), List()->topLevelItem(0));
    EXPECT_EQ(m_pSite->focusWidget(), List());
    EXPECT_TRUE(Button(CViewSite::IDC_CONNECT)->isEnabled());
    m_pSite->hide();
    m_pSite->show();
    EXPECT_EQ(filter->text(), "");
    EXPECT_EQ(List()->topLevelItemCount(), all);
}

// A hidden network joined by name: its nameless row is the connected one.
TEST_F(SiteDailyTest, ConnectedHiddenNetworksRowIsMarkedConnected) {
    StartHidden();
    Open();
    AnswerHidden({{"Backroom", "under-the-stairs"}});
    QTest::mouseClick(m_pSite->findChild<QPushButton*>("btnHidden"), Qt::LeftButton);
    ASSERT_TRUE(Associated(kBackroom));
    Tick();
    m_pSite->RefreshList();
    QTreeWidgetItem* row = Row(QString());
    ASSERT_NE(row, nullptr);
    Click(QString());
    EXPECT_FALSE(Button(CViewSite::IDC_CONNECT)->isEnabled());  // already connected
    EXPECT_TRUE(Button(CViewSite::IDC_EDIT_CONNECTION)->isEnabled());
}

// What was typed for a network without a profile is offered again when a join failed and the
// user connects once more (nothing was stored).
TEST_F(SiteDailyTest, ConnectAgainAfterAFailureOffersWhatWasTyped) {
    Start({Network("Lockkeeper", "00-1D-7E-11-22-79", 6, -50,
                   ",\"security\":\"wpa2\",\"passphrase\":\"canal-gates-at-dawn\"")});
    Open();
    QStringList offered;
    m_fnEditor = [&] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station) return false;
        offered << QString::fromStdString(station->WpaPassphrase);
        if (offered.size() > 1) return false;  // the re-ask, and the second Connect's prompt: cancelled
        station->WpaPassphrase = "canal-gates-at-dusk";
        return true;
    };
    Click("Lockkeeper");
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    ASSERT_EQ(offered.size(), 3);
    EXPECT_EQ(offered[2], "canal-gates-at-dusk");
}

TEST_F(SiteDailyTest, OpeningScansAndSaysSoWhileTheListIsEmpty) {
    Start();
    kccl_sim_set_scan_duration(3000);
    theApp.m_pStationMngr->RemoveAllStations();
    Tick();  // the start-up scan is merged
    ASSERT_FALSE(theApp.m_bScanning);
    kccl_sim_clear_log();
    Open();
    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    bool scanned = false;
    for (int i = 0; i < n; ++i) scanned = scanned || log[i].code == OID_START_SCAN;
    EXPECT_TRUE(scanned);
    theApp.m_pStationMngr->RemoveAllStations();
    m_pSite->RefreshList();
    EXPECT_EQ(m_pSite->ListStateText(), QString::fromUtf8("Scanning\u2026"));
    kccl_sim_advance(3000);
    Tick();
    EXPECT_GT(List()->topLevelItemCount(), 0);
    EXPECT_EQ(m_pSite->ListStateText(), "");
}

TEST_F(SiteDailyTest, OpensWideEnoughForItsColumnsWithinTheScreenAndKeepsItsSize) {
    Start();
    m_pSite = std::make_unique<CViewSite>();  // no size kept yet
    m_Window.m_pSite = m_pSite.get();
    m_pSite->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pSite.get()));
    const int screen = m_pSite->screen()->availableGeometry().width();
    int least = 0;
    const QFontMetrics metrics(List()->font());
    for (const char* widest : {"-100dBm", "Infrastructure", "WPA2/WPA3-Personal", "233 (6 GHz)",
                               "2401.9 Mbps", "00-00-00-00-00-00"})
        least += metrics.horizontalAdvance(QString::fromLatin1(widest));
    EXPECT_LE(m_pSite->width(), screen);
    EXPECT_TRUE(m_pSite->width() == screen || List()->viewport()->width() >= least)
        << m_pSite->width() << " of " << screen << ", list " << List()->viewport()->width() << " < " << least;
    m_pSite->resize(720, 420);
    m_pSite->hide();
    EXPECT_EQ(CSqliteRegistry().GetProfileInt("", CViewSite::kWidthPref, 0), 720);
    EXPECT_EQ(CSqliteRegistry().GetProfileInt("", CViewSite::kHeightPref, 0), 420);
}

TEST_F(SiteDailyTest, MissingAdapterEmptiesTheListAndSaysSo) {
    Start();
    Open();
    ASSERT_GT(List()->topLevelItemCount(), 0);
    kccl_sim_set_present(0);
    QTest::mouseClick(Button(CViewSite::IDC_RESCAN), Qt::LeftButton);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(m_pSite->ListStateText(), "No adapter found");
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    kccl_sim_set_present(1);
    QTest::mouseClick(Button(CViewSite::IDC_RESCAN), Qt::LeftButton);
    EXPECT_NE(m_pSite->ListStateText(), "No adapter found");
}

}  // namespace
}  // namespace wavory::test
