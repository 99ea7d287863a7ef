// The notification area in daily use: the icon shows the state of the connection, the menu lists
// the networks and disconnects, notifications tell what happened, and Close may leave the utility
// running in the tray.
#include <functional>
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QSystemTrayIcon>
#include <QTest>

#include "../support/UiCore.h"
#include "shell/UserJoin.h"
#include "survey/LinkActions.h"
#include "ui/monitor/HotspotDlg.h"
#include "profiles/HotspotProfile.h"
#include "base/Registry.h"
#include <QLineEdit>
#include "ui/monitor/Prefs.h"
#include "ui/shell/QrCode.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"
#include "ui/shell/TrayIcons.h"
#include "ui/shell/TrayMenu.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {
namespace {

class TrayTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        m_pDlg = std::make_unique<CTessalDlg>();
        theApp.m_pMainWnd = m_pDlg.get();
        m_pDlg->TrayBackend()->SetAvailability([] { return true; });
        m_pDlg->OnInitDialog();
    }
    void TearDown() override {
        DropUserAttempt();
        theApp.m_pMainWnd = nullptr;
        m_pDlg.reset();
        CUiCoreTest::TearDown();
    }
    CTrayMenu& Tray() { return *m_pDlg->TrayState(); }
    QImage IconImage() { return m_pDlg->TrayBackend()->Icon()->icon().pixmap(32, 32).toImage(); }
    QString Tip() {
        QApplication::processEvents();
        return m_pDlg->TrayBackend()->Icon()->toolTip();
    }
    // Runs the user's attempt to its end as the window's looks do.
    static void FinishJoin() {
        for (int i = 0; i < 200 && !UserAttemptNetwork().empty(); ++i) {
            kccl_sim_advance(100);
            AdvanceUserAttempt();
        }
    }
    // Joins Harbour (WEP) with a wrong key: the attempt fails and asks again; onReAsk looks at the
    // window during that second prompt, which is then cancelled. Returns how often the key was asked.
    int JoinHarbourWithAWrongKey(const std::function<void()>& onReAsk = {}) {
        kccl_sim_set_join_delay(500);
        int asked = 0;
        m_pDlg->Site()->SetEditorRunner([&](const QString&) {
            auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
            if (!station) return false;
            if (++asked > 1) {
                if (onReAsk) onReAsk();
                return false;
            }
            station->SecKey[0] = "0102030405";
            station->SecKeyLen[0] = 0;
            station->ActiveSecKey = 0;
            return true;
        });
        m_pDlg->Site()->ConnectNetwork("Harbour");
        Tray().Update();
        EXPECT_EQ(Tray().State(), ETrayState::Connecting);
        FinishJoin();
        // The runner held references to this call's locals.
        m_pDlg->Site()->SetEditorRunner([](const QString&) { return false; });
        return asked;
    }
    QAction* NetworkEntry(const QString& ssid) {
        for (QAction* action : Tray().NetworkActions())
            if (action->text().startsWith(ssid + QLatin1Char('\t'))) return action;
        return nullptr;
    }

    std::unique_ptr<CTessalDlg> m_pDlg;
};

TEST(TrayIconsTest, EveryStateHasItsOwnPicture) {
    std::vector<QImage> images = {TrayStateImage(ETrayState::NoAdapter, 0, 22),
                                  TrayStateImage(ETrayState::NotConnected, 0, 22),
                                  TrayStateImage(ETrayState::Connecting, 0, 22)};
    for (int bars = 1; bars <= 4; ++bars) images.push_back(TrayStateImage(ETrayState::Connected, bars, 22));
    for (std::size_t i = 0; i < images.size(); ++i)
        for (std::size_t j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << i << " and " << j;
}

TEST_F(TrayTest, IconAndTipFollowTheConnectionAndTheAdapter) {
    EXPECT_EQ(Tray().State(), ETrayState::NotConnected);
    const QImage notConnected = IconImage();
    Connect("Lighthouse", 1, -66);
    Tray().Update();
    EXPECT_EQ(Tray().State(), ETrayState::Connected);
    EXPECT_EQ(Tray().Bars(), 3);
    EXPECT_NE(IconImage(), notConnected);
    EXPECT_EQ(Tip(), "Wavory Utility\nConnected to:\nLighthouse");

    // Unplugged: the tip says so at once, not "Connected to" a network long gone.
    kccl_sim_set_present(0);
    Tray().Update();
    EXPECT_EQ(Tray().State(), ETrayState::NoAdapter);
    EXPECT_EQ(Tip(), "Wavory Utility\nNo adapter found");
    EXPECT_FALSE(Tray().HiddenAction()->isEnabled());
    EXPECT_FALSE(Tray().QrAction()->isEnabled());
    EXPECT_FALSE(Tray().HotspotAction()->isEnabled());
    kccl_sim_set_present(1);
    theApp.m_pStationMngr->SetCurrent(nullptr);
    Tray().Update();
    EXPECT_EQ(Tray().State(), ETrayState::NotConnected);
    EXPECT_EQ(Tip(), "Wavory Utility\nNot Connected");
    EXPECT_EQ(IconImage(), notConnected);
}

TEST_F(TrayTest, DisconnectLeavesTheAdapterAloneUntilTheUserConnects) {
    CProfileMngr& profiles = *theApp.m_pProfileMngr;
    auto member = profiles.GetProfile(profiles.AddProfile());
    member->NetName = "Lighthouse";
    member->NetMode = true;
    member->AutoSelect = true;
    member->Priority = profiles.UpdatePriorities(-1);
    Connect("Lighthouse");
    Tray().Update();
    ASSERT_TRUE(Tray().DisconnectAction()->isEnabled());
    Tray().DisconnectAction()->trigger();
    EXPECT_EQ(Tray().State(), ETrayState::NotConnected);
    EXPECT_FALSE(theApp.m_pStationMngr->IsConnected());
    EXPECT_TRUE(theApp.m_bAutoPaused);
    EXPECT_FALSE(Tray().DisconnectAction()->isEnabled());
    // The polling thread's turns join nothing meanwhile.
    for (int i = 0; i < 9; ++i) {
        kccl_sim_advance(1000);
        theApp.m_pPoll->Tick();
    }
    EXPECT_FALSE(theApp.m_pStationMngr->IsConnected());

    // A network picked in the menu is the user connecting again.
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    m_pDlg->TrayMenu()->aboutToShow();
    QAction* entry = NetworkEntry("Lighthouse");
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    FinishJoin();
    EXPECT_TRUE(theApp.m_pStationMngr->IsConnected());
    EXPECT_FALSE(theApp.m_bAutoPaused);
}

TEST_F(TrayTest, MenuListsEachNetworkOnceStrongestFirstWithSignalAndSecurity) {
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    m_pDlg->TrayMenu()->aboutToShow();
    const QList<QAction*> entries = Tray().NetworkActions();
    ASSERT_GE(entries.size(), 3);
    EXPECT_LE(entries.size(), CTrayMenu::kMaxNetworks);
    QStringList names;
    for (QAction* action : entries) names << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_EQ(names.count("Harbour"), 1);  // two access points, one entry
    EXPECT_TRUE(NetworkEntry("Harbour")->text().contains("WEP"))
        << NetworkEntry("Harbour")->text().toStdString();
    // A second opening lists them again, not twice.
    m_pDlg->TrayMenu()->aboutToShow();
    EXPECT_EQ(Tray().NetworkActions().size(), entries.size());
}

TEST_F(TrayTest, NotificationsTellOfConnectAndDisconnectUnlessTurnedOff) {
    CTrayBackend* backend = m_pDlg->TrayBackend();
    Connect("Lighthouse");
    Tray().Update();
    EXPECT_EQ(backend->LastNotification(), "Wavory Utility\nConnected to Lighthouse");
    std::string failure;
    ASSERT_TRUE(DisconnectAdapter(&failure));
    Tray().Update();
    EXPECT_EQ(backend->LastNotification(), "Wavory Utility\nDisconnected from Lighthouse");

    theApp.WriteProfileInt("", CPrefs::kNotificationsPref, 0);
    Connect("Lighthouse");
    Tray().Update();
    EXPECT_EQ(backend->LastNotification(), "Wavory Utility\nDisconnected from Lighthouse");
}

TEST_F(TrayTest, AnUnexpectedDropSaysWhyInPlainWords) {
    CTrayBackend* backend = m_pDlg->TrayBackend();
    Connect("Lighthouse");
    Tray().Update();
    // The access point ends the connection: its 4-way handshake timed out.
    ASSERT_EQ(kccl_sim_deauth(15), 0);
    Tray().Update();
    EXPECT_EQ(backend->LastNotification(),
              "Wavory Utility\nLost the connection to Lighthouse\n"
              "4-way handshake timeout: usually a wrong passphrase. (reason 15)");

    // The network taken away: no code, the lost signal speaks.
    Connect("Lighthouse");
    Tray().Update();
    ASSERT_EQ(kccl_sim_remove_network("00-0F-B5-44-7C-20"), 0);
    Tray().Update();
    EXPECT_EQ(backend->LastNotification(),
              "Wavory Utility\nLost the connection to Lighthouse\n"
              "Signal lost: the access point went out of range or was switched off.");
}

TEST_F(TrayTest, FailedJoinIsNotifiedNamingTheNetwork) {
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();
    // Harbour wants a WEP key; the one given is wrong, and asked again the user gives up.
    EXPECT_EQ(JoinHarbourWithAWrongKey(), 2);
    Tray().Update();
    EXPECT_EQ(Tray().State(), ETrayState::NotConnected);
    EXPECT_EQ(m_pDlg->TrayBackend()->LastNotification(), "Wavory Utility\nCould not connect to Harbour");
}

// A join from a connection that fails: the adapter goes back, and while the key is asked again the
// tray shows the connection it is on (Disconnect usable); no "Connected to" for the way back.
TEST_F(TrayTest, DuringTheReAskTheTrayShowsTheConnectionTheAdapterWentBackTo) {
    Connect("Lighthouse");
    Tray().Update();
    theApp.m_pStationMngr->StartScan();
    theApp.m_pStationMngr->MergeScan();  // the connection is found in the scan
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    ETrayState duringReAsk = ETrayState::Connecting;
    bool disconnectUsable = false;
    ASSERT_EQ(JoinHarbourWithAWrongKey([&] {
                  duringReAsk = Tray().State();
                  for (QAction* action : m_pDlg->TrayMenu()->actions())
                      if (action->text() == QStringLiteral("&Disconnect")) disconnectUsable = action->isEnabled();
              }),
              2);
    EXPECT_EQ(duringReAsk, ETrayState::Connected);
    EXPECT_TRUE(disconnectUsable);
    Tray().Update();
    EXPECT_EQ(Tray().State(), ETrayState::Connected);
    EXPECT_EQ(m_pDlg->TrayBackend()->LastNotification(), "Wavory Utility\nCould not connect to Harbour");
}

TEST_F(TrayTest, CloseKeepsRunningInTheTrayOnlyWithThePreference) {
    m_pDlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    int finished = 0;
    QObject::connect(m_pDlg.get(), &QDialog::finished, [&finished] { ++finished; });
    theApp.WriteProfileInt("", CPrefs::kKeepInTrayPref, 1);
    m_pDlg->reject();
    EXPECT_FALSE(m_pDlg->isVisible());
    EXPECT_EQ(finished, 0);
    // The tray menu's Close ends it all the same.
    m_pDlg->show();
    m_pDlg->Quit();
    EXPECT_EQ(finished, 1);

    // Without the preference (the default) Close ends the utility.
    theApp.WriteProfileInt("", CPrefs::kKeepInTrayPref, 0);
    m_pDlg->show();
    m_pDlg->reject();
    EXPECT_EQ(finished, 2);
}

// A logout's SIGTERM ends the utility although Close would keep it in the tray, with a question
// open meanwhile.
TEST_F(TrayTest, TerminationSignalEndsTheUtilityThatCloseKeepsInTheTray) {
    m_pDlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    int finished = 0;
    QObject::connect(m_pDlg.get(), &QDialog::finished, [&finished] { ++finished; });
    theApp.WriteProfileInt("", CPrefs::kKeepInTrayPref, 1);
    m_pDlg->QuitForSignal();
    EXPECT_EQ(finished, 1);

    m_pDlg->show();
    QMessageBox question(QMessageBox::Question, QStringLiteral("Wavory Utility"), QStringLiteral("Forget?"),
                         QMessageBox::Yes | QMessageBox::No, m_pDlg.get());
    QTimer::singleShot(0, m_pDlg.get(), [this] { m_pDlg->QuitForSignal(); });
    // Failing, the question would stay open: a late Escape ends it so that the test can report.
    QTimer::singleShot(10000, &question, &QMessageBox::reject);
    question.exec();
    EXPECT_EQ(finished, 2);
    EXPECT_FALSE(question.isVisible());
}

TEST_F(TrayTest, StartAHotspotOpensTheHotspotDialog) {
    int opened = 0;
    CHotspotDlg::s_fnRun = [&opened](CHotspotDlg&) { ++opened; };
    ASSERT_TRUE(Tray().HotspotAction()->isEnabled());
    Tray().HotspotAction()->trigger();
    CHotspotDlg::s_fnRun = nullptr;
    EXPECT_EQ(opened, 1);
}

// A kept hotspot has an entry of its own that starts it with its settings; its name is text.
TEST_F(TrayTest, AKeptHotspotStartsFromItsOwnEntry) {
    kccl::SHotspotRecord deck;
    deck.ssid = "Deck Party";
    deck.passphrase = "mooring-lines";
    std::string why;
    ASSERT_EQ(KeepHotspotProfile(*theApp.m_pProfileMngr, "Deck & <b>", deck, false, why), REG_OK) << why;
    m_pDlg->TrayMenu()->aboutToShow();
    const QList<QAction*> entries = Tray().HotspotActions();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("Start Hotspot \u201cDeck && <b>\u201d"));
    std::string shownName;
    bool starting = false;
    CHotspotDlg::s_fnRun = [&](CHotspotDlg& dialog) {
        shownName = dialog.NameEdit()->text().toStdString();
        starting = dialog.Busy();
    };
    entries[0]->trigger();
    CHotspotDlg::s_fnRun = nullptr;
    EXPECT_EQ(shownName, "Deck Party");
    EXPECT_TRUE(starting) << "started at once, not only shown";
    // Shown again, the entries are made anew, not doubled.
    m_pDlg->TrayMenu()->aboutToShow();
    EXPECT_EQ(Tray().HotspotActions().size(), 1);
}

// "Join from QR Code" → "From the Clipboard" joins the network of the copied code.

TEST_F(TrayTest, QrCodeOnTheClipboardJoinsItsNetwork) {
    CQrCodeView code;
    ASSERT_TRUE(code.SetText("WIFI:T:nopass;S:Lighthouse;;"));
    code.resize(300, 300);
    QApplication::clipboard()->setImage(code.grab().toImage());
    QMenu* qr = Tray().QrAction()->menu();
    ASSERT_NE(qr, nullptr);
    ASSERT_EQ(qr->actions().size(), 3);  // an image file, the clipboard, the screen
    ASSERT_TRUE(Tray().QrAction()->isEnabled());
    qr->actions()[1]->trigger();
    FinishJoin();
    EXPECT_EQ(ConnectedNetworkName(), "Lighthouse");
    QApplication::clipboard()->clear();
}

}  // namespace
}  // namespace wavory::test
