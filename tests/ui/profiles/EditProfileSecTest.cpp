// The Security page: hexadecimal key masks, the key lengths, which key becomes active while typing,
// the refusal of a WEP profile without a complete active key, and what is stored.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>

#include "ProfilesUiFixture.h"
#include "base/StringTable.h"
#include "kccl_oid.h"
#include "ui/profiles/EditProfileSec.h"

namespace wavory::test {
namespace {

using S = CEditProfileSec;

class EditProfileSecTest : public ProfilesUiTest {
protected:
    // An editor on the profile, shown on its Security page.
    static std::unique_ptr<CEditProfile> Open(const std::string& name) { return OpenEditor(name, 1); }
    static QLineEdit* Key(CEditProfile& sheet, int i) { return Find<QLineEdit>(&sheet, S::kKeyIds[i]); }
    static QRadioButton* Radio(CEditProfile& sheet, int i) {
        return Find<QRadioButton>(&sheet, S::kRadioIds[i]);
    }
    static int Checked(CEditProfile& sheet) {
        for (int i = 0; i < S::kKeys; ++i)
            if (Radio(sheet, i)->isChecked()) return i;
        return -1;
    }
    static void ChooseWep(CEditProfile& sheet) {
        auto* type = Find<QComboBox>(&sheet, S::IDC_SECURITY);
        // WEP is the second item, after None (the WPA-Personal items follow it).
        QTest::keyClick(type, Qt::Key_Home);
        QTest::keyClick(type, Qt::Key_Down);
    }
    std::shared_ptr<CProfile> Wep(const std::string& name) {
        auto profile = Stored(name, "Harbour");
        profile->SecType = 1;
        return profile;
    }
};

TEST_F(EditProfileSecTest, KeyEntryAdmitsHexDigitsOnlyInTheChosenLength) {
    Stored("Home", "Harbour");
    auto sheet = Open("Home");
    ChooseWep(*sheet);
    QLineEdit* key = Key(*sheet, 0);
    ASSERT_TRUE(key->isEnabled());
    EXPECT_EQ(key->inputMask(), S::kShortKeyMask);
    Type(key, "1g2h3z4a5b6C7d8E9f0");
    EXPECT_EQ(sheet->SecurityPage()->KeyDigits(0), "1234A5B6C7");

    auto* length = Find<QComboBox>(sheet.get(), S::kLengthIds[0]);
    QTest::keyClick(length, Qt::Key_Down);  // 128 bits
    EXPECT_EQ(key->inputMask(), S::kLongKeyMask);
    Type(key, "0123456789abcdef0123456789xyz");
    EXPECT_EQ(sheet->SecurityPage()->KeyDigits(0), "0123456789ABCDEF0123456789");
    QTest::keyClick(length, Qt::Key_Up);  // back to 64 bits: the first ten digits stay
    EXPECT_EQ(key->inputMask(), S::kShortKeyMask);
    EXPECT_EQ(sheet->SecurityPage()->KeyDigits(0), "0123456789");
}

TEST_F(EditProfileSecTest, CompletingAKeyMakesItActiveOnlyWhenNoneIs) {
    Wep("Home");
    auto sheet = Open("Home");
    QLineEdit* first = Key(*sheet, 0);
    Type(first, "1A2B3C4D5");
    EXPECT_EQ(Checked(*sheet), -1);
    QTest::keyClicks(first, "E");  // the tenth digit
    EXPECT_EQ(Checked(*sheet), 0);
    QTest::keyClick(first, Qt::Key_Backspace);
    EXPECT_EQ(Checked(*sheet), -1);
    QTest::keyClicks(first, "E");
    Type(Key(*sheet, 2), "C0FFEE1234");
    EXPECT_EQ(Checked(*sheet), 0);  // the first completed key stays the active one
}

TEST_F(EditProfileSecTest, WepNeedsACompleteActiveKey) {
    auto profile = Wep("Home");
    profile->SecKey = {"1A2B3C4D5E", "C0FFEE1234", "0123456789", "ABCDEF0123"};
    g_strEditProfile = "Home";
    CEditProfile sheet("Profile Configuration", nullptr, 0);
    sheet.show();
    Type(Find<QLineEdit>(&sheet, CEditProfileGen::IDC_SSID), "Elsewhere");
    EXPECT_FALSE(sheet.ApplyAll());
    EXPECT_EQ(m_Messages.m_Shown,
              std::vector<std::string>{"Please define at least one complete security key.\n"
                                       "Choose the key to use with the button beside it."});
    EXPECT_EQ(sheet.ActivePage(), 1);
    EXPECT_EQ(profile->ActiveSecKey, -1);
    EXPECT_EQ(profile->NetName, "Harbour");  // no page writes while another refuses

    QTest::mouseClick(Radio(sheet, 1), Qt::LeftButton);
    ASSERT_TRUE(sheet.ApplyAll());
    EXPECT_EQ(profile->ActiveSecKey, 1);
    EXPECT_EQ(profile->SecKey[0], "1A2B3C4D5E");  // digits alone, without the mask's separators
    EXPECT_EQ(profile->SecKeyLen[1], 0);
}

TEST_F(EditProfileSecTest, IncompleteActiveKeyIsRefused) {
    auto profile = Wep("Home");
    profile->SecKey[0] = "1A2B3C4D5E";
    profile->SecKeyLen[0] = 1;  // 128 bits asks for 26 digits
    profile->ActiveSecKey = 0;
    auto sheet = Open("Home");
    EXPECT_FALSE(sheet->ApplyAll());
    // The message says which key and what it lacks.
    EXPECT_EQ(m_Messages.m_Shown,
              std::vector<std::string>{"Please define at least one complete security key.\n"
                                       "Key 1 has 10 of its 26 hexadecimal digits."});
}

TEST_F(EditProfileSecTest, NoneDisablesTheKeysAndKeepsACheckedKey) {
    auto profile = Wep("Home");
    profile->SecKey[0] = "1A2B3C4D5E";
    profile->ActiveSecKey = 0;
    auto sheet = Open("Home");
    auto* tabs = sheet->findChild<QTabWidget*>();
    EXPECT_EQ(tabs->tabText(1), "Security: (WEP)");
    QTest::keyClick(Find<QComboBox>(sheet.get(), S::IDC_SECURITY), Qt::Key_Home);
    EXPECT_EQ(tabs->tabText(1), "Security: (None)");
    for (int i = 0; i < S::kKeys; ++i) {
        EXPECT_FALSE(Key(*sheet, i)->isEnabled());
        EXPECT_FALSE(Radio(*sheet, i)->isEnabled());
    }
    EXPECT_FALSE(Find<QWidget>(sheet.get(), S::IDC_HELP_TEXT)->isEnabled());
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->SecType, 0);
    EXPECT_EQ(profile->ActiveSecKey, 0);  // the radio was left checked
    EXPECT_EQ(profile->SecKey[0], "1A2B3C4D5E");
}

TEST_F(EditProfileSecTest, With8021xNoKeyIsNeeded) {
    auto profile = Wep("Home");
    profile->Use802_1 = true;
    auto sheet = Open("Home");
    EXPECT_FALSE(Key(*sheet, 0)->isEnabled());
    EXPECT_TRUE(sheet->ApplyAll());
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_EQ(profile->SecType, 1);
}

TEST_F(EditProfileSecTest, UnofferedSecurityTypeIsShownAndKept) {
    auto profile = Stored("Home", "Harbour");
    profile->SecType = 2;
    auto sheet = Open("Home");
    EXPECT_EQ(Find<QComboBox>(sheet.get(), S::IDC_SECURITY)->currentIndex(), -1);
    EXPECT_EQ(sheet->findChild<QTabWidget*>()->tabText(1), "Security: (TKIP)");
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->SecType, 2);
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// WPA2/WPA3-Personal: the passphrase is asked for, checked, and stored beside the WEP keys.
TEST_F(EditProfileSecTest, WpaNeedsAValidPassphrase) {
    auto profile = Stored("Home", "Lockkeeper");
    profile->SecKey[0] = "1A2B3C4D5E";
    auto sheet = Open("Home");
    auto* type = Find<QComboBox>(sheet.get(), S::IDC_SECURITY);
    auto* pass = sheet->findChild<QLineEdit*>(QStringLiteral("editPassphrase"));
    ASSERT_NE(pass, nullptr);
    EXPECT_FALSE(pass->isEnabled());
    QTest::keyClick(type, Qt::Key_Home);
    QTest::keyClick(type, Qt::Key_Down);
    QTest::keyClick(type, Qt::Key_Down);  // WPA2-Personal
    EXPECT_TRUE(pass->isEnabled());
    EXPECT_FALSE(Key(*sheet, 0)->isEnabled());
    EXPECT_EQ(pass->echoMode(), QLineEdit::Password);

    Type(pass, "short");
    EXPECT_FALSE(sheet->ApplyAll());
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_NE(m_Messages.m_Shown[0].find("8 to 63"), std::string::npos);
    EXPECT_EQ(profile->WpaMode, 0);

    pass->clear();
    Type(pass, "canal gates at dawn");
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->WpaMode, 3);
    EXPECT_EQ(profile->SecType, 0);
    EXPECT_EQ(profile->WpaPassphrase, "canal gates at dawn");
    EXPECT_EQ(profile->SecKey[0], "1A2B3C4D5E");  // the keys stay for a switch back

    // WPA3 takes no 64-digit key.
    QTest::keyClick(type, Qt::Key_Down);  // WPA3-Personal
    pass->clear();
    Type(pass, QString(64, QLatin1Char('a')));
    m_Messages.m_Shown.clear();
    EXPECT_FALSE(sheet->ApplyAll());
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_NE(m_Messages.m_Shown[0].find("WPA3"), std::string::npos);
}

TEST_F(EditProfileSecTest, EnhancedOpenNeedsNoPassphraseAndTransitionOne) {
    auto profile = Stored("Guest", "Harbour Guest");
    auto sheet = Open("Guest");
    auto* type = Find<QComboBox>(sheet.get(), S::IDC_SECURITY);
    auto* pass = sheet->findChild<QLineEdit*>(QStringLiteral("editPassphrase"));
    ASSERT_EQ(type->count(), 8);  // and the two enterprise kinds
    type->setCurrentIndex(S::kOweItem);
    QTest::keyClick(type, Qt::Key_Up);
    QTest::keyClick(type, Qt::Key_Down);  // back to Enhanced Open, through the page's own handling
    EXPECT_FALSE(pass->isEnabled());
    EXPECT_FALSE(Key(*sheet, 0)->isEnabled());
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->WpaMode, KCOM_SECURITY_MODE_OWE);
    EXPECT_EQ(sheet->SecurityPage()->windowTitle(), "Security: (Enhanced Open)");

    QTest::keyClick(type, Qt::Key_Up);  // WPA2/WPA3-Personal
    EXPECT_TRUE(pass->isEnabled());
    m_Messages.m_Shown.clear();
    EXPECT_FALSE(sheet->ApplyAll());  // no passphrase yet
    EXPECT_EQ(m_Messages.m_Shown.size(), 1u);
    Type(pass, "all-aboard-at-nine");
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->WpaMode, KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL);
}

TEST_F(EditProfileSecTest, WpaProfileOpensWithItsChoiceAndPassphrase) {
    auto profile = Stored("Home", "Sluice");
    profile->WpaMode = 4;
    profile->WpaPassphrase = "tide-tables-2026";
    auto sheet = Open("Home");
    EXPECT_EQ(Find<QComboBox>(sheet.get(), S::IDC_SECURITY)->currentIndex(), S::kWpa3Item);
    EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("editPassphrase"))->text(), "tide-tables-2026");
    EXPECT_EQ(sheet->SecurityPage()->windowTitle(), "Security: (WPA3-Personal)");
}

TEST_F(EditProfileSecTest, ClickAnywhereInAnEmptyKeyTypesFromItsStart) {
    Wep("Home");
    auto sheet = Open("Home");
    QLineEdit* key = Key(*sheet, 1);
    // A click in the middle of the empty mask: the typed digits still land in order.
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(key->width() / 2, key->height() / 2));
    QApplication::processEvents();
    QTest::keyClicks(key, "1A2B3C4D5E");
    EXPECT_EQ(key->displayText(), "1A - 2B - 3C - 4D - 5E");
    EXPECT_EQ(Checked(*sheet), 1);
}

TEST_F(EditProfileSecTest, HelpTextIsWholeAndOnlyBesideTheWepKeys) {
    Wep("Home");
    auto sheet = Open("Home");
    auto* help = Find<QLabel>(sheet.get(), 1120);
    EXPECT_TRUE(help->text().endsWith("supported by the adapter.")) << help->text().toStdString();
    EXPECT_TRUE(help->isVisible());
    auto* type = Find<QComboBox>(sheet.get(), S::IDC_SECURITY);
    type->setCurrentIndex(S::kWpa2Item);
    emit type->activated(S::kWpa2Item);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(EditProfileSecTest, KeyPromptOpensWithTheFocusWhereTheKeyIsTyped) {
    auto profile = Stored("Home", "Lockkeeper");
    profile->WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    g_strEditProfile = "Home";
    CEditProfile prompt(QString::fromStdString(LoadStringId(IDS_ENTER_SECURITY)), nullptr, 0);
    prompt.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prompt));
    QApplication::setActiveWindow(&prompt);
    QApplication::processEvents();
    ASSERT_NE(prompt.focusWidget(), nullptr);
    EXPECT_EQ(prompt.focusWidget()->objectName(), "editPassphrase");
    QTest::keyClicks(prompt.focusWidget(), "typed-at-once");
    EXPECT_EQ(prompt.findChild<QLineEdit*>("editPassphrase")->text(), "typed-at-once");
}

}  // namespace
}  // namespace wavory::test
