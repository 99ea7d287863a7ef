// The hotspot dialog on the simulated adapter: opened from the General page, it offers a generated
// passphrase with its QR code, starts the hotspot off the interface thread, lists the client that
// joins, and stops it; settings the adapter would refuse never leave the dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include "../support/UiCore.h"
#include "kccl_oid.h"
#include "ui/monitor/HotspotDlg.h"
#include "ui/monitor/MainGen.h"
#include "ui/shell/QrCode.h"

namespace wavory::test {
namespace {

constexpr const char* kScenario = R"({
  "networks": [{"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "signal_dbm": -60}],
  "hotspot_clients": [{"mac": "02-00-00-00-03-01", "signal_dbm": -45, "join_after_ms": 1000}]})";

// Lets the interface thread run until `done` holds (the requests run on threads of their own).
template <typename Pred>
bool Until(Pred done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return done();
}

class HotspotDlgTest : public CUiCoreTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(
            WireApp({.registry = &m_Registry, .messages = &m_Messages, .scenario = kScenario}));
    }
    void TearDown() override {
        CHotspotDlg::s_fnRun = nullptr;
        CUiCoreTest::TearDown();
    }
};

TEST_F(HotspotDlgTest, StartsFromTheGeneralPageListsTheClientAndStops) {
    bool opened = false;
    CHotspotDlg::s_fnRun = [&](CHotspotDlg& dialog) {
        opened = true;
        ASSERT_TRUE(Until([&] { return dialog.StartButton()->isEnabled(); }))
            << dialog.StatusLabel()->text().toStdString();
        EXPECT_FALSE(dialog.NameEdit()->text().isEmpty());
        const QString generated = dialog.PassphraseEdit()->text();
        EXPECT_EQ(generated.size(), 12);
        EXPECT_TRUE(dialog.Code()->HasCode());
        EXPECT_NE(dialog.StatusLabel()->text().indexOf("left while the hotspot runs"), -1);

        dialog.NameEdit()->setText("Deck Party");
        QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
        ASSERT_TRUE(Until([&] { return !dialog.Busy() && dialog.StopButton()->isEnabled(); }))
            << dialog.StatusLabel()->text().toStdString();
        EXPECT_NE(dialog.StatusLabel()->text().indexOf("Running: Deck Party"), -1)
            << dialog.StatusLabel()->text().toStdString();
        EXPECT_FALSE(dialog.NameEdit()->isEnabled()) << "the running hotspot's settings are not edited";

        ASSERT_EQ(kccl_sim_advance(1500), 0);
        dialog.Refresh();
        ASSERT_TRUE(Until([&] { return dialog.Clients()->topLevelItemCount() == 1; }));
        EXPECT_EQ(dialog.Clients()->topLevelItem(0)->text(0), "02:00:00:00:03:01");
        EXPECT_EQ(dialog.Clients()->topLevelItem(0)->text(1), "-45 dBm");

        QTest::mouseClick(dialog.StopButton(), Qt::LeftButton);
        ASSERT_TRUE(Until([&] { return !dialog.Busy() && dialog.StartButton()->isEnabled(); }));
        EXPECT_EQ(dialog.Clients()->topLevelItemCount(), 0);
    };
    CMainGen page;
    page.Activate();
    auto* button = page.findChild<QPushButton*>(QStringLiteral("btnHotspot"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(opened);
}

TEST_F(HotspotDlgTest, SettingsTheAdapterWouldRefuseStayInTheDialog) {
    CHotspotDlg dialog;
    ASSERT_TRUE(Until([&] { return dialog.StartButton()->isEnabled(); }));
    dialog.PassphraseEdit()->setText("short");
    EXPECT_FALSE(dialog.Code()->HasCode()) << "no code for settings nobody can join";
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.Busy());
    EXPECT_NE(dialog.StatusLabel()->text().indexOf("8 to 63"), -1)
        << dialog.StatusLabel()->text().toStdString();

    // Open takes no passphrase; the 6 GHz band is greyed on a radio that may not start one there.
    dialog.SecurityBox()->setCurrentIndex(dialog.SecurityBox()->findData(KCOM_HOTSPOT_OPEN));
    EXPECT_FALSE(dialog.PassphraseEdit()->isEnabled());
    EXPECT_TRUE(dialog.Code()->HasCode());
    std::string problem;
    EXPECT_TRUE(dialog.Settings(&problem).passphrase.empty());
    EXPECT_EQ(problem, "");
    const auto* model = qobject_cast<QStandardItemModel*>(dialog.BandBox()->model());
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->item(dialog.BandBox()->findData(KCOM_HOTSPOT_BAND_6G))->isEnabled());
    EXPECT_TRUE(model->item(dialog.BandBox()->findData(KCOM_HOTSPOT_BAND_5G))->isEnabled());
}

}  // namespace
}  // namespace wavory::test
