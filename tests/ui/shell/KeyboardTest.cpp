// The main window by keyboard alone: Tab reaches every enabled control of every page and nothing
// else (the charts are pictures), Alt and the page's letter opens it, and Ctrl+Tab turns the pages
// wherever the focus is.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "../support/UiCore.h"
#include "ui/monitor/MainStats.h"
#include "ui/monitor/Prefs.h"
#include "ui/monitor/UtilisationChart.h"
#include "ui/profiles/EditProfile.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"

namespace wavory::test {
namespace {

class KeyboardTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        m_pDlg = std::make_unique<CTessalDlg>();
        theApp.m_pMainWnd = m_pDlg.get();
        m_pDlg->TrayBackend()->SetAvailability([] { return false; });
        m_pDlg->OnInitDialog();
        m_pDlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
        QApplication::setActiveWindow(m_pDlg.get());
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        m_pDlg.reset();
        CUiCoreTest::TearDown();
    }
    QTabWidget* Tabs() { return m_pDlg->findChild<QTabWidget*>(); }

    std::unique_ptr<CTessalDlg> m_pDlg;
};

TEST_F(KeyboardTest, TabReachesEveryEnabledControlOfEveryPage) {
    Connect();  // Disconnect is usable
    for (int page = 0; page < Tabs()->count(); ++page) {
        m_pDlg->SetActivePage(page);
        m_pDlg->RefreshPages(false, true);
        QApplication::processEvents();
        QSet<QWidget*> reached;
        Tabs()->tabBar()->setFocus();
        for (int i = 0; i < 80; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QWidget* focus = QApplication::focusWidget()) reached.insert(focus);
        }
        for (QWidget* widget : m_pDlg->findChildren<QWidget*>()) {
            if (!widget->isVisible() || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus))
                continue;
            if (widget->focusProxy()) continue;
            EXPECT_TRUE(reached.contains(widget))
                << "page " << page << ": " << widget->metaObject()->className() << " "
                << widget->objectName().toStdString();
        }
        for (QWidget* widget : reached)
            EXPECT_EQ(qobject_cast<CUtilisationChart*>(widget), nullptr) << "a chart took a Tab stop";
    }
}

TEST_F(KeyboardTest, AltAndThePagesLetterOpensIt) {
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_S, CTessalDlg::PAGE_STATISTICS},
                                            {Qt::Key_F, CTessalDlg::PAGE_PROFILES},
                                            {Qt::Key_A, CTessalDlg::PAGE_ABOUT},
                                            {Qt::Key_G, CTessalDlg::PAGE_GENERAL}};
    for (const auto& [key, page] : keys) {
        QTest::keyClick(m_pDlg.get(), key, Qt::AltModifier);
        EXPECT_EQ(m_pDlg->ActivePage(), page) << QKeySequence(key).toString().toStdString();
    }
}

TEST_F(KeyboardTest, CtrlTabTurnsThePagesFromTheButtonsToo) {
    auto* close = m_pDlg->findChild<QPushButton*>("IDC_2");
    ASSERT_NE(close, nullptr);
    close->setFocus();
    m_pDlg->SetActivePage(CTessalDlg::PAGE_GENERAL);
    QTest::keyClick(close, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(m_pDlg->ActivePage(), CTessalDlg::PAGE_PROFILES);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_pDlg->ActivePage(), CTessalDlg::PAGE_GENERAL);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_pDlg->ActivePage(), CTessalDlg::PAGE_ABOUT);  // round the end
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// A control that can never be used says why, on every page and in Preferences and the editor.
TEST_F(KeyboardTest, ControlsThatCannotBeUsedSayWhy) {
    auto expectReasons = [](QWidget* root, const char* where) {
        for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
            if (button->isEnabled() || !button->isVisibleTo(root) || button->text().isEmpty()) continue;
            if (button->objectName() == QLatin1String("IDC_12321")) continue;  // Apply: usable once changed
            // Inside a disabled group the group's tooltip speaks for it.
            QString tip = button->toolTip();
            for (QWidget* up = button->parentWidget(); tip.isEmpty() && up && up != root;
                 up = up->parentWidget())
                tip = up->toolTip();
            EXPECT_FALSE(tip.isEmpty()) << where << ": " << button->text().toStdString();
        }
    };
    m_pDlg->SetActivePage(CTessalDlg::PAGE_GENERAL);
    expectReasons(m_pDlg->Page(CTessalDlg::PAGE_GENERAL), "General");
    expectReasons(m_pDlg->Page(CTessalDlg::PAGE_STATISTICS), "CurrentStatistics");
    CPrefs prefs;
    expectReasons(&prefs, "Preferences");
    g_strEditProfile = theApp.m_pProfileMngr->AddProfile();
    CEditProfile editor(QStringLiteral("Profile Configuration"), nullptr, 0);
    expectReasons(&editor, "profile editor");
}

}  // namespace
}  // namespace wavory::test
