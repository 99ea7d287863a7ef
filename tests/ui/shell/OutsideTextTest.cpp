// Network names, profile names and messages from outside in every place the window shows them:
// markup stays text, control bytes are escaped, and the exact bytes still do their work.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include "../support/UiCore.h"
#include "ui/monitor/MainGen.h"
#include "ui/shell/MessageBoxSink.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"
#include "ui/survey/ViewSite.h"

namespace wavory::test {
namespace {

const std::string kMarkup = "<h1>BIG</h1><u>x";
const std::string kBytes("Ha\xFF\0AB\n\x1b", 8);  // 48 61 FF 00 41 42 0A 1B
const QString kBytesShown = "Ha\\xff\\x00AB\\x0a\\x1b";

// What a tool tip shows: rich text rendered, plain text as it is.
QString ShownTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip)) return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

class OutsideTextTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        kccl_sim_put_network(
            R"({"ssid": "<h1>BIG</h1><u>x", "bssid": "00-20-30-40-50-01", "channel": 1, "signal_dbm": -60})");
        kccl_sim_put_network(R"({"ssid_hex": "4861FF0041420A1B", "bssid": "00-20-30-40-50-02", "channel": 6,
                                 "signal_dbm": -61})");
        m_pDlg = std::make_unique<CTessalDlg>();
        theApp.m_pMainWnd = m_pDlg.get();
        m_pDlg->TrayBackend()->SetAvailability([] { return true; });
        m_pDlg->OnInitDialog();
        m_pDlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        m_pDlg.reset();
        CUiCoreTest::TearDown();
    }
    QLabel* SsidLabel() const {
        return m_pDlg->Page(CTessalDlg::PAGE_GENERAL)
            ->findChild<QLabel*>(QStringLiteral("IDC_%1").arg(CMainGen::IDC_SSID));
    }
    std::unique_ptr<CTessalDlg> m_pDlg;
};

TEST_F(OutsideTextTest, GeneralPageShowsTheNetworkNameAsText) {
    for (const auto& [ssid, shown] :
         {std::pair<std::string, QString>{kMarkup, QString::fromStdString(kMarkup)},
          std::pair<std::string, QString>{kBytes, kBytesShown}}) {
        Connect(ssid);
        m_pDlg->RefreshPages(false, false);
        QLabel* label = SsidLabel();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), shown);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        // One line of text, not a heading: the markup did not take effect.
        EXPECT_LE(label->sizeHint().height(), label->fontMetrics().height() + 2 * label->margin() + 4);
    }
}

TEST_F(OutsideTextTest, TrayTipNamesTheNetworkLiterally) {
    ASSERT_TRUE(m_pDlg->Tray().IsAdded());
    QSystemTrayIcon* icon = m_pDlg->TrayBackend()->Icon();
    theApp.UpdateTrayTip(Connect(kBytes).get());
    EXPECT_EQ(ShownTip(icon->toolTip()), "Wavory Utility\nConnected to:\n" + kBytesShown);
    theApp.UpdateTrayTip(Connect(kMarkup).get());
    EXPECT_EQ(ShownTip(icon->toolTip()), QString::fromStdString("Wavory Utility\nConnected to:\n" + kMarkup));
}

TEST_F(OutsideTextTest, AvailableNetworksListsBothNamesAndJoinsByTheExactBytes) {
    // A scan that hears the two networks added after start-up.
    ASSERT_EQ(theApp.m_pStationMngr->StartScan(), 2);
    kccl_sim_advance(10000);
    theApp.m_pStationMngr->MergeScan();
    m_pDlg->OnViewSite();
    CViewSite* site = m_pDlg->Site();
    auto* list = site->findChild<QTreeWidget*>(QStringLiteral("IDC_%1").arg(CViewSite::IDC_LIST));
    ASSERT_NE(list, nullptr);
    QTreeWidgetItem* markup = nullptr;
    QTreeWidgetItem* bytes = nullptr;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->text(1) == QString::fromStdString(kMarkup)) markup = row;
        if (row->text(1) == kBytesShown) bytes = row;
    }
    ASSERT_NE(markup, nullptr);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(ShownTip(markup->toolTip(1)), QString::fromStdString(kMarkup));
    EXPECT_EQ(ShownTip(bytes->toolTip(1)), kBytesShown);

    list->setCurrentItem(bytes);
    site->OnConnect();
    auto current = theApp.m_pStationMngr->GetCurrent();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->NetName, kBytes);
    auto stored = theApp.m_pProfileMngr->FindBySsid(kBytes);
    ASSERT_NE(stored, nullptr);  // stored under the exact bytes, not under the shown text
}

TEST_F(OutsideTextTest, MessageBoxesShowQuotedNamesAsPlainText) {
    CMessageBoxSink sink;
    QString text;
    Qt::TextFormat format = Qt::RichText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        text = box->text();
        format = box->textFormat();
        box->accept();
    });
    sink.ShowMessage("The profile \"<b>x</b>\x07\" could not be saved.\nTry again.", EMsgIcon::Warning);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, "The profile \"<b>x</b>\\x07\" could not be saved.\nTry again.");
}

}  // namespace
}  // namespace wavory::test
