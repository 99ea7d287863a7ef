// The main window: its sheet and buttons, the main tick and the main lock, minimising into the
// notification area and back (with and without Available Networks), and closing.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "../support/UiCore.h"
#include "base/Locks.h"
#include "monitor/Poll.h"
#include "profiles/Profile.h"
#include "survey/Station.h"
#include "ui/monitor/MainGen.h"
#include "ui/monitor/MainStats.h"
#include "ui/monitor/Prefs.h"
#include "ui/monitor/UtilisationChart.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {
namespace {

class TessalDlgTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        m_pDlg = std::make_unique<CTessalDlg>();
        theApp.m_pMainWnd = m_pDlg.get();
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        m_pDlg.reset();
        CUiCoreTest::TearDown();
    }
    // Opens the window as Run does, without its event loop.
    void Open(bool trayAvailable) {
        m_pDlg->TrayBackend()->SetAvailability([trayAvailable] { return trayAvailable; });
        m_pDlg->OnInitDialog();
        m_pDlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    }
    QPushButton* Button(int id) { return m_pDlg->findChild<QPushButton*>(QStringLiteral("IDC_%1").arg(id)); }
    QString Ssid() { return Text(m_pDlg->Page(CTessalDlg::PAGE_GENERAL), CMainGen::IDC_SSID); }

    std::unique_ptr<CTessalDlg> m_pDlg;
};

TEST_F(TessalDlgTest, SheetHasTheFourPagesAndTheButtonsInPlace) {
    Open(false);
    auto* tabs = m_pDlg->findChild<QTabWidget*>();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "&General");
    EXPECT_EQ(tabs->tabText(1), "Pro&files");
    EXPECT_EQ(tabs->tabText(2), "Current&Statistics");
    EXPECT_EQ(tabs->tabText(3), "&About");
    // The tests run on the simulated adapter: the title says so.
    EXPECT_TRUE(m_pDlg->windowTitle().startsWith(QString::fromUtf8("Wavory Utility \u2014 Simulated adapter")))
        << m_pDlg->windowTitle().toStdString();

    QPushButton* prefs = Button(CTessalDlg::IDC_PREFERENCES);
    QPushButton* site = Button(CTessalDlg::IDC_VIEW_SITE);
    QPushButton* close = Button(CTessalDlg::IDC_CLOSE);
    ASSERT_TRUE(prefs && site && close);
    EXPECT_EQ(prefs->text(), "&Preferences");
    EXPECT_EQ(site->text(), "&View Site");
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_LT(prefs->x(), site->x());
    EXPECT_LT(site->x() + site->width(), close->x());
    EXPECT_GT(close->x() + close->width(), m_pDlg->width() * 3 / 4);  // at the right
}

TEST_F(TessalDlgTest, AWindowOpenedOnAJoinedAdapterShowsTheLinkAtOnce) {
    // Joined by another program before the window opened: no current station yet.
    CProfile profile("", false);
    profile.NetName = "Lighthouse";
    profile.NetMode = true;
    ASSERT_TRUE(CStation(profile).Connect(CStation::CONNECT_APPLY));
    Open(false);
    QWidget* general = m_pDlg->Page(CTessalDlg::PAGE_GENERAL);
    EXPECT_EQ(Text(general, CMainGen::IDC_SSID), "Lighthouse");
    EXPECT_FALSE(Text(general, CMainGen::IDC_LINK_QUALITY).isEmpty());
    EXPECT_FALSE(Text(general, CMainGen::IDC_NET_RATE).isEmpty());
}

TEST_F(TessalDlgTest, ChartsAndAvailableNetworksAreBuiltOnFirstUse) {
    Open(false);
    EXPECT_EQ(m_pDlg->findChild<CUtilisationChart*>(), nullptr);
    EXPECT_EQ(m_pDlg->findChild<CViewSite*>(), nullptr);
    // An attempt that started before the list existed shows in it once it opens.
    m_pDlg->JoinProgress("Harbour");
    QApplication::processEvents();
    const QSize size = m_pDlg->size();

    m_pDlg->SetActivePage(CTessalDlg::PAGE_STATISTICS);
    auto* stats = qobject_cast<CMainStats*>(m_pDlg->Page(CTessalDlg::PAGE_STATISTICS));
    ASSERT_NE(stats, nullptr);
    ASSERT_NE(stats->ReceivedChart(), nullptr);
    ASSERT_NE(stats->SentChart(), nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(stats->ReceivedChart()->isVisible());
    EXPECT_TRUE(stats->SentChart()->isVisible());
    // The window had the page's size from the start: the charts do not make it jump.
    EXPECT_EQ(m_pDlg->size(), size);
    // Made once: leaving and coming back keeps the same charts.
    m_pDlg->SetActivePage(CTessalDlg::PAGE_GENERAL);
    m_pDlg->SetActivePage(CTessalDlg::PAGE_STATISTICS);
    EXPECT_EQ(m_pDlg->findChildren<CUtilisationChart*>().size(), 2);

    QTest::mouseClick(Button(CTessalDlg::IDC_VIEW_SITE), Qt::LeftButton);
    CViewSite* site = m_pDlg->findChild<CViewSite*>();
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(site->isVisible());
    auto* siteStatus = site->findChild<QLabel*>(QStringLiteral("joinStatus"));
    ASSERT_NE(siteStatus, nullptr);
    EXPECT_FALSE(siteStatus->isHidden());
    EXPECT_EQ(siteStatus->text(), m_pDlg->JoinStatusText());
    EXPECT_TRUE(siteStatus->text().contains("Harbour"));
    m_pDlg->JoinProgress("");
}

TEST_F(TessalDlgTest, TickRefreshesTheActivePageButSkipsWhileTheMainLockIsBusy) {
    Open(false);
    ASSERT_EQ(Ssid(), "Not Connected");
    Connect();
    theApp.m_bRefreshRequest = true;

    ASSERT_TRUE(TryEnter(CS_MAIN));
    theApp.OnMainTick();  // must neither block nor refresh
    EXPECT_EQ(Ssid(), "Not Connected");
    EXPECT_TRUE(theApp.m_bRefreshRequest);  // nothing consumed, nothing queued
    Leave(CS_MAIN);

    theApp.OnMainTick();
    EXPECT_EQ(Ssid(), "Lighthouse");
    EXPECT_FALSE(theApp.m_bRefreshRequest);
}

TEST_F(TessalDlgTest, FullRefreshReachesTheAboutPageOnlyWhenRequested) {
    Open(false);
    m_pDlg->SetActivePage(CTessalDlg::PAGE_ABOUT);
    QWidget* about = m_pDlg->Page(CTessalDlg::PAGE_ABOUT);
    ASSERT_EQ(Text(about, 1148), "00-0A-F5-3C-9E-12");
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"mac": "00-0A-0B-0C-0D-0E"}, "networks": []})"), 0);

    theApp.OnMainTick();
    EXPECT_EQ(Text(about, 1148), "00-0A-F5-3C-9E-12");  // a plain tick leaves the About page alone
    theApp.m_bRefreshRequest = true;
    theApp.OnMainTick();
    EXPECT_EQ(Text(about, 1148), "00-0A-0B-0C-0D-0E");
}

TEST_F(TessalDlgTest, MinimiseHidesIntoTheTrayAndEitherClickRestores) {
    Open(true);
    ASSERT_TRUE(m_pDlg->Tray().IsAdded());
    QSystemTrayIcon* icon = m_pDlg->TrayBackend()->Icon();
    EXPECT_TRUE(icon->isVisible());

    for (auto reason : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Trigger}) {
        m_pDlg->showMinimized();
        QTRY_VERIFY(!m_pDlg->isVisible());
        EXPECT_FALSE(m_pDlg->Site()->isVisible());
        emit icon->activated(reason);
        EXPECT_TRUE(m_pDlg->isVisible()) << reason;
        EXPECT_FALSE(m_pDlg->isMinimized()) << reason;
        EXPECT_FALSE(m_pDlg->Site()->isVisible()) << "Available Networks was not shown";
    }
}

TEST_F(TessalDlgTest, AvailableNetworksHidesAndReturnsWithTheWindowOnce) {
    Open(true);
    QTest::mouseClick(Button(CTessalDlg::IDC_VIEW_SITE), Qt::LeftButton);
    ASSERT_TRUE(m_pDlg->Site()->isVisible());

    m_pDlg->showMinimized();
    QTRY_VERIFY(!m_pDlg->isVisible());
    EXPECT_FALSE(m_pDlg->Site()->isVisible());
    EXPECT_TRUE(m_pDlg->SiteWasVisible());
    emit m_pDlg->TrayBackend()->Icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(m_pDlg->isVisible());
    EXPECT_TRUE(m_pDlg->Site()->isVisible());

    // The user closes the list; a later click on the icon must not bring it back.
    m_pDlg->Site()->hide();
    emit m_pDlg->TrayBackend()->Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(m_pDlg->Site()->isVisible());
}

TEST_F(TessalDlgTest, WithoutANotificationAreaMinimiseKeepsANormalWindow) {
    Open(false);
    EXPECT_FALSE(m_pDlg->Tray().IsAdded());
    QTest::mouseClick(Button(CTessalDlg::IDC_VIEW_SITE), Qt::LeftButton);
    m_pDlg->showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(m_pDlg->isVisible());
    EXPECT_TRUE(m_pDlg->isMinimized());
    EXPECT_TRUE(m_pDlg->Site()->isVisible());
}

// At twice the scale a 1280x800 screen has 640x400 to offer: the window can be made that small,
// its pages scrolling instead.
TEST_F(TessalDlgTest, WindowFitsASmallScreenWithItsPagesScrolling) {
    Open(false);
    for (int page : {CTessalDlg::PAGE_GENERAL, CTessalDlg::PAGE_PROFILES, CTessalDlg::PAGE_STATISTICS,
                     CTessalDlg::PAGE_ABOUT}) {
        m_pDlg->SetActivePage(page);
        QApplication::processEvents();
        const QSize least = m_pDlg->minimumSizeHint().expandedTo(m_pDlg->minimumSize());
        EXPECT_LE(least.width(), 640) << page;
        EXPECT_LE(least.height(), 370) << page;  // a title bar above
    }
    // With room, a page shows whole: no scroll bar at the window's own size.
    m_pDlg->adjustSize();
    QApplication::processEvents();
    auto* scroll = qobject_cast<QScrollArea*>(m_pDlg->Page(CTessalDlg::PAGE_GENERAL)->parentWidget()->parentWidget());
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
}

// Escape, as on a dialog, would end the utility unasked: it only minimises the window.
TEST_F(TessalDlgTest, EscapeMinimisesAndNeverEndsTheUtility) {
    Open(false);
    theApp.WriteProfileInt("", CPrefs::kKeepInTrayPref, 0);
    int finished = 0;
    QObject::connect(m_pDlg.get(), &QDialog::finished, [&finished] { ++finished; });
    QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(m_pDlg->isMinimized());
}

TEST_F(TessalDlgTest, TipFromThePollingThreadIsCutAndShownOnTheInterfaceThread) {
    Open(true);
    CProfile profile("", false);
    profile.NetName = std::string(32, 'S');
    CStation station(profile);
    std::thread poller([&station] { theApp.UpdateTrayTip(&station); });
    poller.join();
    QSystemTrayIcon* icon = m_pDlg->TrayBackend()->Icon();
    EXPECT_EQ(icon->toolTip(), "Wavory Utility\nNot Connected");  // handed over, not yet shown
    QApplication::processEvents();
    const QString expected =
        QString::fromStdString("Wavory Utility\nConnected to:\n" + std::string(32, 'S')).left(63);
    EXPECT_EQ(icon->toolTip(), expected);
}

TEST_F(TessalDlgTest, PreferencesButtonRunsTheDialogModally) {
    Open(false);
    bool sawPrefs = false;
    QTimer::singleShot(0, [&sawPrefs] {
        auto* prefs = qobject_cast<CPrefs*>(QApplication::activeModalWidget());
        sawPrefs = prefs != nullptr;
        if (prefs) prefs->reject();
    });
    QTest::mouseClick(Button(CTessalDlg::IDC_PREFERENCES), Qt::LeftButton);
    EXPECT_TRUE(sawPrefs);
}

TEST_F(TessalDlgTest, RunTicksFromItsTimerAndCloseRunsTheWindowsShutdown) {
    m_pDlg->TrayBackend()->SetAvailability([] { return true; });
    QString seen;
    QTimer::singleShot(100, [this] { Connect(); });
    // A few tick periods later the General page has been refreshed without anyone calling the tick.
    QTimer::singleShot(100 + 4 * CTessalDlg::kTickMs, [&] {
        seen = Ssid();
        QTest::mouseClick(Button(CTessalDlg::IDC_CLOSE), Qt::LeftButton);
    });
    m_pDlg->Run();
    EXPECT_EQ(seen, "Lighthouse");
    EXPECT_EQ(theApp.m_nStatIndex, -1);
    EXPECT_FALSE(m_pDlg->Tray().IsAdded());
    EXPECT_FALSE(m_pDlg->TrayBackend()->Icon()->isVisible());
    EXPECT_FALSE(m_pDlg->isVisible());
}

TEST_F(TessalDlgTest, MinimisedStartStaysOnTheTaskBar) {
    m_pDlg->TrayBackend()->SetAvailability([] { return true; });
    m_pDlg->SetStartMinimized(true);
    bool visible = false, minimized = false;
    QTimer::singleShot(200, [&] {
        visible = m_pDlg->isVisible();
        minimized = m_pDlg->isMinimized();
        m_pDlg->reject();
    });
    m_pDlg->Run();
    EXPECT_TRUE(visible);
    EXPECT_TRUE(minimized);
}

// Started with the desktop (--tray): only the icon shows, and it brings the window back.
TEST_F(TessalDlgTest, TrayStartShowsOnlyTheIcon) {
    m_pDlg->TrayBackend()->SetAvailability([] { return true; });
    m_pDlg->SetStartInTray(true);
    bool hidden = false, iconShown = false, restored = false;
    QTimer::singleShot(200, [&] {
        hidden = !m_pDlg->isVisible();
        iconShown = m_pDlg->TrayBackend()->Icon()->isVisible();
        emit m_pDlg->TrayBackend()->Activated(QSystemTrayIcon::Trigger);
        restored = m_pDlg->isVisible() && !m_pDlg->isMinimized();
        m_pDlg->reject();
    });
    m_pDlg->Run();
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(iconShown);
    EXPECT_TRUE(restored);
}

// Hidden in the tray, the window's timer takes the polling thread's ticks (one wake-up a second
// in all) and the pages wait; shown again, they are brought up to date at once.
TEST_F(TessalDlgTest, HiddenInTheTrayTheWindowTicksForThePollingThreadAndRefreshesWhenShown) {
    using namespace std::chrono_literals;
    delete theApp.m_pPoll;
    theApp.m_pPoll = new CPoll();  // running, as in the program
    theApp.m_pPoll->SetTiming(0ms, 1000ms, 0ms);
    ASSERT_TRUE(theApp.m_pPoll->Start());
    m_pDlg->TrayBackend()->SetAvailability([] { return true; });
    m_pDlg->SetStartInTray(true);
    bool idle = false, driven = false, asleep = false, shownIdle = true, shownDriven = true;
    int ticksBefore = 0, ticksHidden = 0;
    QString hiddenSsid, shownSsid;
    QTimer::singleShot(200, [&] {
        idle = m_pDlg->IsIdleHidden();
        driven = theApp.m_pPoll->IsDriven();
        Connect();  // while nobody sees the window
        ticksBefore = theApp.m_pPoll->TicksRun();
    });
    QTimer::singleShot(200 + 3 * CTessalDlg::kTickMs, [&] {
        hiddenSsid = Ssid();
        ticksHidden = theApp.m_pPoll->TicksRun() - ticksBefore;
        asleep = theApp.m_pPoll->ThreadAsleep();
        m_pDlg->RestoreFromTray();
        shownSsid = Ssid();
        shownIdle = m_pDlg->IsIdleHidden();
        shownDriven = theApp.m_pPoll->IsDriven();
        m_pDlg->Quit();
    });
    m_pDlg->Run();
    EXPECT_TRUE(idle);
    EXPECT_TRUE(driven);
    EXPECT_TRUE(asleep);
    EXPECT_GT(ticksHidden, 0);  // the window's timer ran them
    EXPECT_NE(hiddenSsid, "Lighthouse");
    EXPECT_EQ(shownSsid, "Lighthouse");
    EXPECT_FALSE(shownIdle);
    EXPECT_FALSE(shownDriven);
    EXPECT_FALSE(theApp.m_pPoll->IsDriven());  // closed: the thread goes on alone until shutdown
}

// Without a notification area the window stays reachable on the task bar; one that appears soon
// after (the desktop's panel starting late) takes it.
TEST_F(TessalDlgTest, TrayStartWithoutANotificationAreaStaysOnTheTaskBarUntilOneAppears) {
    auto available = std::make_shared<bool>(false);
    m_pDlg->TrayBackend()->SetAvailability([available] { return *available; });
    m_pDlg->SetStartInTray(true);
    bool minimized = false, hiddenLater = false;
    QTimer::singleShot(200, [&] {
        minimized = m_pDlg->isVisible() && m_pDlg->isMinimized();
        *available = true;
    });
    QTimer::singleShot(200 + 3 * CTessalDlg::kTrayRetryMs, [&] {
        hiddenLater = !m_pDlg->isVisible() && m_pDlg->Tray().IsAdded();
        m_pDlg->reject();
    });
    m_pDlg->Run();
    EXPECT_TRUE(minimized);
    EXPECT_TRUE(hiddenLater);
}

}  // namespace
}  // namespace wavory::test
