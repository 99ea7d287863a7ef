// The Preferences dialog: validation of the interval (nothing stored that failed it), Apply, OK,
// Defaults and the units the dialog opens with.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "../support/UiCore.h"
#include "TestMain.h"
#include "platform/Autostart.h"
#include "ui/monitor/Prefs.h"

namespace wavory::test {
namespace {

using P = CPrefs;

class PrefsTest : public CUiCoreTest {
protected:
    // Never the machine's own service manager: a bus that is not there.
    void SetUp() override {
        CUiCoreTest::SetUp();
        CPrefs::s_strHistoryBus = QStringLiteral("unix:path=") + QString::fromStdString(TempHome()) + "/no-bus";
    }
    template <typename W>
    static W* Control(QWidget& dialog, int id) {
        auto* w = dialog.findChild<W*>(QStringLiteral("IDC_%1").arg(id));
        EXPECT_NE(w, nullptr) << "no control " << id;
        return w;
    }
    static void TypeInterval(QWidget& dialog, const char* text) {
        QLineEdit* edit = Control<QLineEdit>(dialog, P::IDC_INTERVAL);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    static void Click(QWidget& dialog, int id) {
        QTest::mouseClick(Control<QPushButton>(dialog, id), Qt::LeftButton);
    }
    bool Stored(const char* name) const { return m_Registry.GetProfileInt("", name, -12345) != -12345; }
};

TEST_F(PrefsTest, OpensWithTheStoredValues) {
    P fresh;
    EXPECT_EQ(Control<QLineEdit>(fresh, P::IDC_INTERVAL)->text(), "10");
    EXPECT_TRUE(Control<QRadioButton>(fresh, P::IDC_PERCENT)->isChecked());  // "dBm-Percent" absent
    EXPECT_FALSE(Control<QRadioButton>(fresh, P::IDC_DBM)->isChecked());

    m_Registry.WriteProfileInt("", "Polling Interval", 2500);
    m_Registry.WriteProfileInt("", "dBm-Percent", 1);
    m_Registry.WriteProfileInt("", "Active", 1);
    m_Registry.WriteProfileInt("", "Scan-Band", 2);
    P stored;
    EXPECT_EQ(Control<QLineEdit>(stored, P::IDC_INTERVAL)->text(), "2");  // truncating division
    EXPECT_TRUE(Control<QRadioButton>(stored, P::IDC_DBM)->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(stored, P::IDC_ACTIVE)->isChecked());
    EXPECT_EQ(Control<QComboBox>(stored, P::IDC_SCAN_BAND)->currentIndex(), 2);
}

// An interval outside the range is refused as it is typed: OK and Apply wait for a good one, the
// field says the range, and nothing is stored.
TEST_F(PrefsTest, IntervalOutsideTheRangeIsRefusedWhileTypedAndStoresNothing) {
    const int interval = theApp.m_pPoll->GetIntervalSecs();
    for (const char* typed : {"4", "101", "200", "0", ""}) {
        m_Messages.m_Shown.clear();
        P dialog;
        dialog.show();
        TypeInterval(dialog, typed);
        EXPECT_FALSE(Control<QPushButton>(dialog, P::IDC_OK)->isEnabled()) << typed;
        EXPECT_FALSE(Control<QPushButton>(dialog, P::IDC_APPLY)->isEnabled()) << typed;
        EXPECT_EQ(Control<QLineEdit>(dialog, P::IDC_INTERVAL)->toolTip(), "The interval takes 5 to 100 seconds.");
        Click(dialog, P::IDC_OK);
        QTest::keyClick(Control<QLineEdit>(dialog, P::IDC_INTERVAL), Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_FALSE(Stored("Polling Interval")) << typed;
        EXPECT_FALSE(Stored("dBm-Percent")) << typed;
        EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), interval) << typed;
        // Put right, both are back.
        TypeInterval(dialog, "12");
        EXPECT_TRUE(Control<QPushButton>(dialog, P::IDC_OK)->isEnabled()) << typed;
        EXPECT_TRUE(Control<QPushButton>(dialog, P::IDC_APPLY)->isEnabled()) << typed;
    }
}

// Return in the interval field presses OK.
TEST_F(PrefsTest, ReturnPressesOk) {
    P dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    TypeInterval(dialog, "20");
    QTest::keyClick(Control<QLineEdit>(dialog, P::IDC_INTERVAL), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Polling Interval", 0), 20000);
}

TEST_F(PrefsTest, EmptyIntervalAsksForAnInteger) {
    P dialog;
    TypeInterval(dialog, "");
    EXPECT_FALSE(dialog.OnApply());
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_EQ(m_Messages.m_Shown[0].first, "Please enter an integer.");
}

TEST_F(PrefsTest, BoundsAreStoredInMillisecondsAndReachThePollingThread) {
    {
        P dialog;
        dialog.show();
        TypeInterval(dialog, "5");
        Click(dialog, P::IDC_APPLY);
        EXPECT_EQ(m_Registry.GetProfileInt("", "Polling Interval", 0), 5000);
        EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 5);
        EXPECT_TRUE(dialog.isVisible());  // Apply keeps it open
    }
    P dialog;
    dialog.show();
    TypeInterval(dialog, "100");
    QTest::mouseClick(Control<QRadioButton>(dialog, P::IDC_DBM), Qt::LeftButton);
    Click(dialog, P::IDC_OK);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_EQ(m_Registry.GetProfileInt("", "Polling Interval", 0), 100000);
    EXPECT_EQ(m_Registry.GetProfileInt("", "dBm-Percent", 0), 1);
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 100);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(PrefsTest, DefaultsThenOkStoresTheDefaults) {
    m_Registry.WriteProfileInt("", "Polling Interval", 30000);
    m_Registry.WriteProfileInt("", "Active", 1);
    m_Registry.WriteProfileInt("", "Power-Save", 2);
    m_Registry.WriteProfileInt("", "Scan-Band", 3);
    m_Registry.WriteProfileInt("", "dBm-Percent", 1);
    P dialog;
    dialog.show();
    Click(dialog, P::IDC_DEFAULTS);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Polling Interval", 0), 30000);  // nothing saved yet
    EXPECT_TRUE(Control<QRadioButton>(dialog, P::IDC_PASSIVE)->isChecked());
    Click(dialog, P::IDC_OK);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Polling Interval", 0), 10000);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Active", -1), 0);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Power-Save", -1), 0);
    EXPECT_EQ(m_Registry.GetProfileInt("", "Scan-Band", -1), 0);
    EXPECT_EQ(m_Registry.GetProfileInt("", "dBm-Percent", -1), 0);
}

TEST_F(PrefsTest, CancelStoresNothing) {
    P dialog;
    dialog.show();
    TypeInterval(dialog, "50");
    Click(dialog, P::IDC_CANCEL);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(Stored("Polling Interval"));
}

TEST_F(PrefsTest, CountrySelectionFollowsTheRegulatoryDomain) {
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"reg_domain": "0x31"}, "networks": []})"), 0);
    P spain;
    EXPECT_EQ(Control<QComboBox>(spain, P::IDC_COUNTRY)->currentIndex(), 3);
    ASSERT_EQ(kccl_sim_set_fault(0x891, KCCL_SIM_FAULT_RESULT, 1), 0);
    P failed;
    EXPECT_EQ(Control<QComboBox>(failed, P::IDC_COUNTRY)->currentIndex(), 0);
}

// "Start with the desktop" is the autostart entry itself: Apply writes or removes it, an invalid
// interval changes it as little as the stored values, and the dialog opens with what is there.
TEST_F(PrefsTest, StartWithTheDesktopWritesAndRemovesTheAutostartEntry) {
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(TempHome() + "/no-system-entries"));
    const QString entry = CAutostart().UserEntryPath();
    QFile::remove(entry);
    {
        P dialog;
        auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkAutostart"));
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->isChecked());
        box->setChecked(true);
        TypeInterval(dialog, "4");
        EXPECT_FALSE(dialog.OnApply());
        EXPECT_FALSE(QFile::exists(entry));
        TypeInterval(dialog, "10");
        EXPECT_TRUE(dialog.OnApply());
        EXPECT_TRUE(QFile::exists(entry));
    }
    {
        P dialog;
        auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkAutostart"));
        EXPECT_TRUE(box->isChecked());
        box->setChecked(false);
        Click(dialog, P::IDC_OK);
        EXPECT_FALSE(QFile::exists(entry));
    }
    EXPECT_TRUE(m_Messages.m_Shown.size() == 1u);  // the interval's message only
}

// Without a user service manager the history's switch is greyed out, saying why, and the rest of
// the dialog stores as ever.
TEST_F(PrefsTest, HistoryServiceSwitchSaysWhyItIsNotAvailable) {
    P dialog;
    auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkRecordHistory"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(box->toolTip().startsWith(QStringLiteral("Not available: "))) << box->toolTip().toStdString();
    EXPECT_TRUE(dialog.OnApply());
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

}  // namespace
}  // namespace wavory::test
