// The advanced settings page: rate labels and their values per wireless mode, the RTS and
// fragmentation ranges, and the edit-connection limits.
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include "ProfilesUiFixture.h"
#include "ui/profiles/EditProfileAdv.h"
#include "ui/profiles/EditProfileAdvGen.h"

namespace wavory::test {
namespace {

using A = CEditProfileAdvGen;

class EditProfileAdvTest : public ProfilesUiTest {
protected:
    std::unique_ptr<CEditProfileAdv> Open(const std::string& name) {
        g_strEditProfile = name;
        auto sheet = std::make_unique<CEditProfileAdv>("Advanced Profile Edit", nullptr, nullptr, 0);
        sheet->show();
        return sheet;
    }
    static QStringList Labels(QComboBox* combo) {
        QStringList labels;
        for (int i = 0; i < combo->count(); ++i) labels << combo->itemText(i);
        return labels;
    }
};

TEST_F(EditProfileAdvTest, RateLabelsFollowTheWirelessModeAndStoreTheirValue) {
    auto profile = Stored("Home", "Lighthouse");
    {
        auto sheet = Open("Home");
        auto* rates = Find<QComboBox>(sheet.get(), A::IDC_RATE);
        EXPECT_EQ(Labels(rates).size(), 11);
        EXPECT_EQ(rates->currentText(), "54");  // the default 27000000
        QTest::keyClick(rates, Qt::Key_Home);
        QTest::keyClick(rates, Qt::Key_Down);
        QTest::keyClick(rates, Qt::Key_Down);
        EXPECT_EQ(rates->currentText(), "5.5");
        ASSERT_TRUE(sheet->ApplyAll());
        EXPECT_EQ(profile->MaxNetRate, 2750000);
    }
    {
        auto sheet = Open("Home");
        EXPECT_EQ(Find<QComboBox>(sheet.get(), A::IDC_RATE)->currentText(), "5.5");
    }
    profile->MaxNetRate = 1234;  // matches no label
    profile->WrLessMode = 3;     // (802.11) b
    {
        auto sheet = Open("Home");
        auto* rates = Find<QComboBox>(sheet.get(), A::IDC_RATE);
        EXPECT_EQ(Labels(rates), QStringList({"1", "2", "5.5", "6", "9", "11"}));
        EXPECT_EQ(rates->currentIndex(), 0);
    }
    profile->MaxNetRate = 9000000;  // "18", which mode a offers too
    profile->WrLessMode = 0;
    auto sheet = Open("Home");
    auto* mode = Find<QComboBox>(sheet.get(), A::IDC_WIRELESS_MODE);
    auto* rates = Find<QComboBox>(sheet.get(), A::IDC_RATE);
    EXPECT_EQ(rates->currentText(), "18");
    mode->setEnabled(true);               // hidden and disabled in the form
    QTest::keyClick(mode, Qt::Key_Down);  // (802.11) a
    EXPECT_EQ(Labels(rates), QStringList({"6", "9", "12", "18", "24", "36", "54"}));
    EXPECT_EQ(rates->currentIndex(), 0);  // a switch selects the first label of the new list
}

TEST_F(EditProfileAdvTest, RtsAndFragmentationRanges) {
    auto profile = Stored("Home", "Lighthouse");
    profile->RTSThreshold = 500;
    profile->MaxFragment = 1500;
    auto sheet = Open("Home");
    EXPECT_EQ(Find<QSlider>(sheet.get(), A::IDC_RTS_SLIDER)->value(), 500);
    EXPECT_EQ(Find<QSlider>(sheet.get(), A::IDC_FRAG_SLIDER)->value(), 1500);
    auto* rts = Find<QLineEdit>(sheet.get(), A::IDC_RTS_EDIT);
    EXPECT_FALSE(rts->isEnabled());  // "Use RTS" is clear

    // The edit's own range applies whether or not RTS is used, so message 117 never gets its turn.
    const std::string rangeMessage = "Please enter an integer between 1 and 2312.";
    for (bool useRts : {false, true}) {
        for (const char* typed : {"2313", "0"}) {
            m_Messages.m_Shown.clear();
            if (useRts != Find<QCheckBox>(sheet.get(), A::IDC_USE_RTS)->isChecked())
                Click(sheet.get(), A::IDC_USE_RTS);
            rts->setEnabled(true);
            Type(rts, typed);
            EXPECT_FALSE(sheet->ApplyAll()) << typed;
            EXPECT_EQ(m_Messages.m_Shown, std::vector<std::string>{rangeMessage}) << typed;
        }
    }
    Type(rts, "2312");
    EXPECT_EQ(Find<QSlider>(sheet.get(), A::IDC_RTS_SLIDER)->value(), 2312);
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_TRUE(profile->UseRTS);
    EXPECT_EQ(profile->RTSThreshold, 2312);
    EXPECT_EQ(profile->MaxFragment, 1500);

    profile->UseFragmentation = true;
    profile->MaxFragment = 100;
    m_Messages.m_Shown.clear();
    auto fragmented = Open("Home");
    EXPECT_FALSE(fragmented->ApplyAll());
    EXPECT_EQ(m_Messages.m_Shown,
              std::vector<std::string>{"Max Fragmentation Size must be a value between 256 and 2312."});
}

TEST_F(EditProfileAdvTest, UntouchedDefaultProfileIsAccepted) {
    // The default RTS threshold 0 lies below the slider's range: shown and kept as it is while
    // the user leaves it alone, so opening the page and pressing OK changes nothing.
    auto profile = Stored("Home", "Lighthouse");
    auto sheet = Open("Home");
    EXPECT_EQ(Find<QLineEdit>(sheet.get(), A::IDC_RTS_EDIT)->text(), "0");
    Click(sheet.get(), CProfileSheet::IDC_OK);
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_EQ(profile->RTSThreshold, 0);
    EXPECT_EQ(profile->MaxFragment, 0);
    EXPECT_EQ(profile->MaxNetRate, 27000000);
}

TEST_F(EditProfileAdvTest, MovingTheSliderWritesTheNumber) {
    Stored("Home", "Lighthouse");
    auto sheet = Open("Home");
    Click(sheet.get(), A::IDC_USE_RTS);
    auto* slider = Find<QSlider>(sheet.get(), A::IDC_RTS_SLIDER);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(Find<QLineEdit>(sheet.get(), A::IDC_RTS_EDIT)->text(), "2312");
}

TEST_F(EditProfileAdvTest, EditConnectionLocksRateAndMode) {
    Stored("Home", "Lighthouse");
    g_bEditConnection = true;
    auto sheet = Open("Home");
    EXPECT_FALSE(Find<QWidget>(sheet.get(), A::IDC_RATE)->isEnabled());
    EXPECT_FALSE(Find<QWidget>(sheet.get(), A::IDC_WIRELESS_MODE)->isEnabled());
    EXPECT_TRUE(Find<QWidget>(sheet.get(), A::IDC_TX_POWER)->isEnabled());
}

}  // namespace
}  // namespace wavory::test
