// The window while the adapter joins: a long join runs beside the window's tick, a tab switch is
// served meanwhile, and an adapter that another program holds does not make every request wait.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <nlohmann/json.hpp>

#include "../support/UiCore.h"
#include "shell/UserJoin.h"
#include "ui/monitor/MainAbout.h"
#include "ui/monitor/MainGen.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {
namespace {

constexpr const char* kSlowpoke =
    R"({"ssid": "Slowpoke", "bssid": "00-1D-7E-11-22-66", "channel": 1, "signal_dbm": -60,
        "join_delay_ms": 30000})";

// A program that takes the adapter's lock and is stopped while it holds it.
pid_t StartStoppedHolder() {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        static int s_fd;
        s_fd = fds[1];
        kccl_sim_hold_lock(
            [](void*) {
                const char held = 'h';
                if (write(s_fd, &held, 1) == 1) raise(SIGSTOP);
            },
            nullptr);
        _exit(0);
    }
    close(fds[1]);
    char held = 0;
    const bool told = read(fds[0], &held, 1) == 1;
    close(fds[0]);
    int status = 0;
    if (!told || waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) return -1;
    return pid;
}

class JoinWindowTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        m_pDlg = std::make_unique<CTessalDlg>();
        theApp.m_pMainWnd = m_pDlg.get();
        m_pDlg->TrayBackend()->SetAvailability([] { return false; });
    }
    void TearDown() override {
        if (m_nHolder > 0) {
            kill(m_nHolder, SIGCONT);
            waitpid(m_nHolder, nullptr, 0);
        }
        DropUserAttempt();
        theApp.m_pMainWnd = nullptr;
        m_pDlg.reset();
        CUiCoreTest::TearDown();
    }

    // Opens Available Networks on a fresh scan and clicks Connect on the network's row.
    void ConnectFromSite(const QString& ssid) {
        theApp.m_pStationMngr->StartScan();  // scans end at once here
        theApp.m_pStationMngr->MergeScan();
        CViewSite* site = m_pDlg->Site();
        m_pDlg->OnViewSite();
        site->RefreshList();
        auto* list = site->findChild<QTreeWidget*>("IDC_1062");
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(1) == ssid) row = list->topLevelItem(i);
        ASSERT_NE(row, nullptr) << ssid.toStdString();
        list->setCurrentItem(row);
        QTest::mouseClick(site->findChild<QPushButton*>("IDC_1061"), Qt::LeftButton);
    }

    static nlohmann::json SimState() {
        std::string buf(1 << 16, '\0');
        kccl_sim_state_json(buf.data(), buf.size());
        return nlohmann::json::parse(buf.c_str());
    }

    QString AboutMac() { return Text(m_pDlg->Page(CTessalDlg::PAGE_ABOUT), CMainAbout::IDC_MAC); }

    std::unique_ptr<CTessalDlg> m_pDlg;
    pid_t m_nHolder = -1;
};

TEST_F(JoinWindowTest, LongJoinRunsBesideTheTickAndATabSwitch) {
    ASSERT_EQ(kccl_sim_put_network(kSlowpoke), 0);
    bool clicked = false, joiningAfterTicks = false;
    int ticksAtClick = 0;
    QString status, aboutMac, statusAfter;
    QTimer::singleShot(0, [&] {
        ConnectFromSite("Slowpoke");
        clicked = true;
        ticksAtClick = m_pDlg->TickCount();
        status = m_pDlg->JoinStatusText();
    });
    // Once the window's own timer has ticked three times, the join of 30 s still runs: neither the
    // click nor the ticks waited for it. A tab switch meanwhile refreshes the page at once.
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!clicked || m_pDlg->TickCount() < ticksAtClick + 3) return;
        watch.stop();
        joiningAfterTicks = UserAttemptNetwork() == "Slowpoke" && !m_pDlg->JoinStatusText().isEmpty();
        m_pDlg->SetActivePage(CTessalDlg::PAGE_ABOUT);
        aboutMac = AboutMac();
        ASSERT_EQ(kccl_sim_advance(30000), 0);
        // The attempt's end is picked up by the window's next look.
        QTimer::singleShot(2 * CTessalDlg::kJoinLookMs + CTessalDlg::kTickMs, [&] {
            statusAfter = m_pDlg->JoinStatusText();
            m_pDlg->reject();
        });
    });
    watch.start();
    m_pDlg->Run();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(status, QString::fromUtf8("Connecting to Slowpoke\u2026"));
    EXPECT_TRUE(joiningAfterTicks);
    EXPECT_EQ(aboutMac, "00-0A-F5-3C-9E-12");
    EXPECT_EQ(statusAfter, "");
    EXPECT_TRUE(UserAttemptNetwork().empty());
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Slowpoke");
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

// A slow join is said on General and in Available Networks with a Cancel; Connect waits meanwhile,
// and Cancel ends the attempt and goes back to the network the adapter was on.
TEST_F(JoinWindowTest, SlowJoinIsShownWithCancelThatRestoresThePreviousConnection) {
    ASSERT_EQ(kccl_sim_put_network(kSlowpoke), 0);
    m_pDlg->OnInitDialog();
    m_pDlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    ConnectFromSite("Lighthouse");
    for (int i = 0; i < 50 && !UserAttemptNetwork().empty(); ++i) AdvanceUserAttempt();
    ASSERT_EQ(SimState().value("ssid", std::string()), "Lighthouse");
    ASSERT_TRUE(SimState().value("associated", false));

    ConnectFromSite("Slowpoke");
    ASSERT_EQ(UserAttemptNetwork(), "Slowpoke");
    CViewSite* site = m_pDlg->Site();
    auto* connect = site->findChild<QPushButton*>("IDC_1061");
    auto* siteCancel = site->findChild<QPushButton*>("joinCancel");
    auto* mainCancel = m_pDlg->findChild<QPushButton*>("joinCancel");
    ASSERT_TRUE(connect && siteCancel && mainCancel);
    m_pDlg->SetActivePage(CTessalDlg::PAGE_GENERAL);
    m_pDlg->RefreshPages(false, false);
    EXPECT_EQ(Text(m_pDlg->Page(CTessalDlg::PAGE_GENERAL), CMainGen::IDC_SSID),
              QString::fromUtf8("Connecting to Slowpoke\u2026"));
    EXPECT_TRUE(mainCancel->isVisibleTo(m_pDlg.get()));
    EXPECT_TRUE(siteCancel->isVisibleTo(site));
    // Another row's Connect waits for the end of this attempt; clicking it starts nothing.
    ConnectFromSite("Lighthouse");
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_EQ(UserAttemptNetwork(), "Slowpoke");

    QTest::mouseClick(siteCancel, Qt::LeftButton);
    for (int i = 0; i < 50 && !UserAttemptNetwork().empty(); ++i) {
        kccl_sim_advance(100);
        AdvanceUserAttempt();
    }
    EXPECT_TRUE(UserAttemptNetwork().empty());
    EXPECT_EQ(SimState().value("ssid", std::string()), "Lighthouse");
    EXPECT_TRUE(SimState().value("associated", false));
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Lighthouse");
    EXPECT_FALSE(mainCancel->isVisibleTo(m_pDlg.get()));
    EXPECT_FALSE(siteCancel->isVisibleTo(site));
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    // Slowpoke was never joined: no profile was made for it.
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Slowpoke"), nullptr);
}

// Cancel with no connection before: the adapter stops trying and nothing is joined.
TEST_F(JoinWindowTest, CancelWithoutAPreviousConnectionLeavesTheAdapterOnNone) {
    ASSERT_EQ(kccl_sim_put_network(kSlowpoke), 0);
    m_pDlg->OnInitDialog();
    ConnectFromSite("Slowpoke");
    ASSERT_EQ(UserAttemptNetwork(), "Slowpoke");
    QTest::mouseClick(m_pDlg->findChild<QPushButton*>("joinCancel"), Qt::LeftButton);
    EXPECT_TRUE(UserAttemptNetwork().empty());
    ASSERT_EQ(kccl_sim_advance(30000), 0);
    EXPECT_FALSE(SimState().value("associated", false));
    EXPECT_EQ(SimState()["join"].value("state", std::string()), "failed");
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

TEST_F(JoinWindowTest, HeldAdapterMakesTheWindowsRequestsFailAtOnce) {
    m_pDlg->OnInitDialog();
    m_pDlg->SetActivePage(CTessalDlg::PAGE_ABOUT);
    ASSERT_EQ(AboutMac(), "00-0A-F5-3C-9E-12");
    m_nHolder = StartStoppedHolder();
    ASSERT_GT(m_nHolder, 0);

    // Every switch refreshes a page with many requests; at most the first of them waits.
    const int waitsBefore = kccl_sim_busy_waits();
    for (int page : {CTessalDlg::PAGE_GENERAL, CTessalDlg::PAGE_STATISTICS, CTessalDlg::PAGE_GENERAL,
                     CTessalDlg::PAGE_STATISTICS}) {
        m_pDlg->SetActivePage(page);
        EXPECT_EQ(m_pDlg->ActivePage(), page);
        theApp.OnMainTick();
    }
    EXPECT_LE(kccl_sim_busy_waits() - waitsBefore, 1);
    EXPECT_EQ(theApp.m_nDriverResult, KCOM_RESULT_BUSY);

    // Free again: the next request goes through.
    kill(m_nHolder, SIGCONT);
    waitpid(m_nHolder, nullptr, 0);
    m_nHolder = -1;
    m_pDlg->SetActivePage(CTessalDlg::PAGE_ABOUT);
    EXPECT_EQ(AboutMac(), "00-0A-F5-3C-9E-12");
    EXPECT_EQ(theApp.m_nDriverResult, 0);
}

}  // namespace
}  // namespace wavory::test
