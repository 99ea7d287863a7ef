// The Share dialog: its QR code, read back from the screen, is the network's Wi-Fi URI; the
// passphrase stays hidden until the user confirmed; enterprise networks get no code; a hostile
// network name is shown as it is. The Profiles page opens it on the selected profile.
#include <QLabel>
#include <QPushButton>

#include "ProfilesUiFixture.h"
#include "kccl_oid.h"
#include "profiles/WifiUri.h"
#include "ui/profiles/ShareDlg.h"
#include "ui/shell/QrCode.h"

namespace wavory::test {
namespace {

class ShareDlgTest : public ProfilesUiTest {
protected:
    void SetUp() override {
        ProfilesUiTest::SetUp();
        m_SavedConfirm = CShareDlg::s_fnConfirmShow;
        CShareDlg::s_fnConfirmShow = [this](QWidget*, const QString& question) {
            m_Asked << question;
            return m_bConfirm;
        };
    }
    void TearDown() override {
        CShareDlg::s_fnConfirmShow = m_SavedConfirm;
        CMainProfile::s_fnRunShare = nullptr;
        ProfilesUiTest::TearDown();
    }
    static CProfile Wpa(const std::string& ssid, int mode, const std::string& passphrase) {
        CProfile p("", false);
        p.NetName = ssid;
        p.WpaMode = mode;
        p.WpaPassphrase = passphrase;
        return p;
    }
    // What the dialog's code says, read from its picture on the screen as a phone's camera would.
    static std::string ScreenCode(CShareDlg& dialog) {
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        std::string text;
        QString error;
        if (!ReadQrCode(dialog.Code()->grab().toImage(), &text, &error))
            return "(" + error.toStdString() + ")";
        return text;
    }

    QStringList m_Asked;
    bool m_bConfirm = false;
    CShareDlg::ConfirmHook m_SavedConfirm;
};

TEST_F(ShareDlgTest, CodeOnTheScreenIsTheNetworksUri) {
    const std::vector<std::pair<CProfile, std::string>> cases{
        {Wpa("Lockkeeper", KCOM_SECURITY_MODE_WPA2_PERSONAL, "canal-gates-at-dawn"),
         "WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dawn;;"},
        {Wpa("Marina-6E", KCOM_SECURITY_MODE_WPA3_PERSONAL, "p;a:s\\s\"word"),
         "WIFI:T:SAE;S:Marina-6E;P:p\\;a\\:s\\\\s\\\"word;;"},
        {Wpa("Lighthouse", 0, ""), "WIFI:T:nopass;S:Lighthouse;;"},
        {Wpa(std::string(32, 'w'), KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, std::string(63, 'k')),
         "WIFI:T:WPA;S:" + std::string(32, 'w') + ";P:" + std::string(63, 'k') + ";;"}};
    for (const auto& [profile, uri] : cases) {
        CShareDlg dialog(profile);
        EXPECT_EQ(dialog.Uri(), uri);
        EXPECT_EQ(ScreenCode(dialog), uri);
        EXPECT_FALSE(dialog.Notice()->isVisible());
        EXPECT_EQ(dialog.NetworkName()->text().toStdString(), profile.NetName);
    }
    // An open network has no passphrase to show.
    CShareDlg open(Wpa("Lighthouse", 0, ""));
    open.show();
    EXPECT_FALSE(open.ShowSecretButton()->isVisible());
}

TEST_F(ShareDlgTest, PassphraseIsShownOnlyOnceConfirmed) {
    CShareDlg dialog(Wpa("Lockkeeper", KCOM_SECURITY_MODE_WPA2_PERSONAL, "canal-gates-at-dawn"));
    dialog.show();
    const auto shownAnywhere = [&dialog] {
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text().contains(QLatin1String("canal-gates"))) return true;
        return false;
    };
    EXPECT_FALSE(shownAnywhere());
    QTest::mouseClick(dialog.ShowSecretButton(), Qt::LeftButton);
    ASSERT_EQ(m_Asked.size(), 1);
    EXPECT_TRUE(m_Asked[0].contains(QStringLiteral("\u201CLockkeeper\u201D")));
    EXPECT_FALSE(shownAnywhere());  // No: still hidden, and asked again next time
    m_bConfirm = true;
    QTest::mouseClick(dialog.ShowSecretButton(), Qt::LeftButton);
    EXPECT_EQ(m_Asked.size(), 2);
    EXPECT_EQ(dialog.Secret()->text(), QStringLiteral("canal-gates-at-dawn"));
    EXPECT_FALSE(dialog.ShowSecretButton()->isEnabled());

    // A WEP key is called so, and asked for the same way.
    CProfile wep("", false);
    wep.NetName = "Harbour";
    wep.SecType = 1;
    wep.SecKey[0] = "1A2B3C4D5E";
    CShareDlg harbour(wep);
    EXPECT_EQ(harbour.Uri(), "WIFI:T:WEP;S:Harbour;P:1A2B3C4D5E;;");
    EXPECT_FALSE(harbour.Secret()->text().contains(QLatin1String("1A2B")));
    QTest::mouseClick(harbour.ShowSecretButton(), Qt::LeftButton);
    EXPECT_EQ(m_Asked.size(), 3);
    EXPECT_TRUE(m_Asked[2].contains(QLatin1String("key")));
    EXPECT_EQ(harbour.Secret()->text(), QStringLiteral("1A2B3C4D5E"));
}

TEST_F(ShareDlgTest, EnterpriseAndIncompleteNetworksGetNoCodeAndNoSecret) {
    CProfile peap = Wpa("Campus", KCOM_SECURITY_MODE_WPA2_ENTERPRISE, "");
    peap.Use802_1 = true;
    peap.EapPassword = "campus-password";
    CShareDlg enterprise(peap);
    enterprise.show();
    EXPECT_TRUE(enterprise.Uri().empty());
    EXPECT_FALSE(enterprise.Code()->isVisible());
    EXPECT_FALSE(enterprise.Code()->HasCode());
    EXPECT_TRUE(enterprise.Notice()->isVisible());
    EXPECT_TRUE(enterprise.Notice()->text().contains(QLatin1String("phones cannot join them by QR code")));
    EXPECT_FALSE(enterprise.ShowSecretButton()->isVisible());
    EXPECT_EQ(enterprise.NetworkName()->text(), QStringLiteral("Campus"));

    // A WPA profile whose passphrase is not stored cannot be shared either: said, not drawn.
    CShareDlg missing(Wpa("Lockkeeper", KCOM_SECURITY_MODE_WPA2_PERSONAL, ""));
    missing.show();
    EXPECT_FALSE(missing.Code()->HasCode());
    EXPECT_TRUE(missing.Notice()->text().contains(QLatin1String("passphrase")));
}

TEST_F(ShareDlgTest, HostileNameIsShownLiterallyAndEncodedExactly) {
    const std::string ssid = "<b>Caf\xC3\xA9</b> &amp; ;\\\"x\":,";
    CShareDlg dialog(Wpa(ssid, KCOM_SECURITY_MODE_WPA2_PERSONAL, "harbour lights"));
    EXPECT_EQ(dialog.NetworkName()->textFormat(), Qt::PlainText);
    EXPECT_EQ(dialog.NetworkName()->text(), QString::fromStdString(ssid));
    const std::string read = ScreenCode(dialog);
    WifiUri parsed;
    std::string error;
    ASSERT_TRUE(ParseWifiUri(read, &parsed, &error)) << read << ": " << error;
    EXPECT_EQ(parsed.ssid, ssid);
    EXPECT_EQ(parsed.passphrase, "harbour lights");
}

TEST_F(ShareDlgTest, ProfilesPageSharesTheSelectedProfile) {
    auto stored = Stored("Lock", "Lockkeeper");
    stored->WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    stored->WpaPassphrase = "canal-gates-at-dawn";
    ASSERT_TRUE(Mngr().SaveAll());
    std::vector<std::string> shared;
    CMainProfile::s_fnRunShare = [&shared](CShareDlg& dialog) { shared.push_back(dialog.Uri()); };
    auto page = ShowPage();
    auto* share = page->findChild<QPushButton*>(QStringLiteral("btnShare"));
    ASSERT_NE(share, nullptr);
    QTest::mouseClick(share, Qt::LeftButton);
    EXPECT_TRUE(shared.empty());  // nothing selected
    ClickRow(List(*page, CMainProfile::IDC_OTHER_LIST), 0);
    QTest::mouseClick(share, Qt::LeftButton);
    EXPECT_EQ(shared, std::vector<std::string>{"WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dawn;;"});
}

}  // namespace
}  // namespace wavory::test
