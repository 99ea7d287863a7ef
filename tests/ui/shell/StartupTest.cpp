// The whole life of the program's window: start-up builds the managers, the window is built and
// run after them, closing it leads into the shutdown.
#include <gtest/gtest.h>

#include <QTimer>

#include "../support/UiCore.h"
#include "ui/shell/MainWindowHost.h"
#include "ui/shell/TessalDlg.h"

namespace wavory::test {
namespace {

TEST(WindowLifeTest, StartUpRunsTheWindowAfterTheManagersAndShutdownFollowsClose) {
    ASSERT_EQ(kccl_sim_reset(nullptr), 0);
    CMemoryRegistry registry;
    CRecordingSink messages;
    theApp.m_pRegistry = &registry;
    theApp.m_pMessages = &messages;

    bool managersBuilt = false, windowSet = false;
    CMainWindowHost host([&](CTessalDlg& dlg) {
        managersBuilt = theApp.m_pStationMngr && theApp.m_pProfileMngr && theApp.m_pCardMngr;
        windowSet = theApp.m_pMainWnd != nullptr;
        QTimer::singleShot(300, &dlg, [&dlg] { dlg.reject(); });
    });
    // The tip may be set before the window exists; it goes nowhere.
    host.SetTrayTip("Wavory Utility\\nNot Connected");
    theApp.InitInstance(&host);
    EXPECT_TRUE(managersBuilt);
    EXPECT_TRUE(windowSet);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    ASSERT_NE(host.Window(), nullptr);
    EXPECT_FALSE(host.Window()->isVisible());

    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_EQ(theApp.m_pStationMngr, nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr, nullptr);
    EXPECT_EQ(theApp.m_pPoll, nullptr);
    EXPECT_FALSE(theApp.m_bDriverConnected);
    theApp.m_pMessages = nullptr;
    theApp.m_pRegistry = nullptr;
}

}  // namespace
}  // namespace wavory::test
