// Available Networks joining from a QR code: a picture of a shared network's code, from a file or
// the clipboard, joins it as a typed join does, asking for nothing the code gives; pictures without
// a usable code are refused with the reason and join nothing.
#include <QClipboard>
#include <QLabel>
#include <QDir>
#include <QImage>

#include "SiteFixture.h"
#include "TestMain.h"
#include "ui/shell/QrCode.h"

namespace wavory::test {
namespace {

constexpr const char* kLockkeeper = "00-1D-7E-11-22-33";

class SiteQrTest : public CSiteTest {
protected:
    void StartLockkeeper() {
        Start({Network("Lockkeeper", kLockkeeper, 6, -61,
                       ",\"security\":\"wpa2\",\"passphrase\":\"canal-gates-at-dawn\""),
               Network("Lighthouse", "00-0F-B5-44-7C-20", 11, -66)});
        Open();
        Tick();
    }
    // A picture of the text's QR code, as the window draws it, with some background around it.
    static QImage CodePicture(const std::string& text) {
        CQrCodeView view;
        EXPECT_TRUE(view.SetText(text));
        view.resize(320, 320);
        QImage picture(400, 400, QImage::Format_ARGB32);
        picture.fill(QColor(230, 230, 220));
        view.render(&picture, QPoint(40, 40));
        return picture;
    }
    // Joins from the picture saved as a PNG file.
    void JoinFromFile(const QImage& picture) {
        const QString path = QDir(QString::fromStdString(TempHome())).filePath(QStringLiteral("code.png"));
        ASSERT_TRUE(picture.save(path, "PNG"));
        m_pSite->SetQrFileRunner([path] { return path; });
        m_pSite->JoinFromQr(CViewSite::EQrSource::File);
    }
};

TEST_F(SiteQrTest, CodeInAnImageFileJoinsWithoutAskingAndStoresTheKey) {
    StartLockkeeper();
    JoinFromFile(CodePicture("WIFI:S:Lockkeeper;T:WPA;P:canal-gates-at-dawn;;"));
    EXPECT_TRUE(Associated(kLockkeeper));
    EXPECT_TRUE(m_Titles.isEmpty());  // the code gave the passphrase
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    auto stored = theApp.m_pProfileMngr->FindBySsid("Lockkeeper");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->WpaPassphrase, "canal-gates-at-dawn");
}

TEST_F(SiteQrTest, CodeOnTheClipboardJoinsAndAWrongKeyIsAskedForAgain) {
    StartLockkeeper();
    QApplication::clipboard()->setImage(CodePicture("WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dusk;;"));
    // The network refuses the code's passphrase: the key is asked for, as after a typed one.
    m_fnEditor = [] {
        auto station = theApp.m_pProfileMngr->GetProfile(CProfileMngr::kEditStation);
        if (!station) return false;
        station->WpaPassphrase = "canal-gates-at-dawn";
        return true;
    };
    m_pSite->JoinFromQr(CViewSite::EQrSource::Clipboard);
    EXPECT_EQ(m_Titles.size(), 1);
    EXPECT_TRUE(Associated(kLockkeeper));
    EXPECT_EQ(theApp.m_pProfileMngr->FindBySsid("Lockkeeper")->WpaPassphrase, "canal-gates-at-dawn");
}

// A code shown on the screen (a phone's picture opened in a viewer, a web page) is found where it is.
TEST_F(SiteQrTest, CodeShownOnTheScreenJoins) {
    StartLockkeeper();
    QLabel viewer;
    viewer.setPixmap(QPixmap::fromImage(CodePicture("WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dawn;;")));
    viewer.move(200, 100);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    m_pSite->JoinFromQr(CViewSite::EQrSource::Screen);
    EXPECT_TRUE(m_Messages.m_Shown.empty()) << m_Messages.m_Shown.front();
    EXPECT_TRUE(Associated(kLockkeeper));
}

// A desktop that keeps the screen from programs gives blank pictures: that is said, with the way
// around it; a screen without a code says so.
TEST_F(SiteQrTest, ScreenWithoutACodeOrKeptFromProgramsIsSaidAndJoinsNothing) {
    StartLockkeeper();
    QImage blank(800, 600, QImage::Format_ARGB32);
    blank.fill(Qt::black);
    QImage desk = blank;
    desk.fill(QColor(40, 80, 120));
    for (int x = 100; x < 300; ++x) desk.setPixel(x, 200, qRgb(250, 250, 250));
    m_pSite->SetScreenGrabber([&blank] { return std::vector<QImage>{blank, blank}; });
    m_pSite->JoinFromQr(CViewSite::EQrSource::Screen);
    m_pSite->SetScreenGrabber([&blank, &desk] { return std::vector<QImage>{blank, desk}; });
    m_pSite->JoinFromQr(CViewSite::EQrSource::Screen);
    ASSERT_EQ(m_Messages.m_Shown.size(), 2u);
    EXPECT_NE(m_Messages.m_Shown[0].find("From the Clipboard"), std::string::npos) << m_Messages.m_Shown[0];
    EXPECT_NE(m_Messages.m_Shown[1].find("No QR code"), std::string::npos) << m_Messages.m_Shown[1];
    EXPECT_FALSE(Associated(kLockkeeper));
    // A code on the second screen is found there.
    desk = CodePicture("WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dawn;;");
    m_pSite->JoinFromQr(CViewSite::EQrSource::Screen);
    EXPECT_TRUE(Associated(kLockkeeper));
}

// H:true: the network does not announce its name; it is joined by name, as the hidden-network
// dialog joins it, without the dialog.
TEST_F(SiteQrTest, HiddenNetworksCodeJoinsItByName) {
    Start({Network("Backroom", "00-1D-7E-11-22-77", 6, -55,
                   ",\"hidden\":true,\"security\":\"wpa2\",\"passphrase\":\"under-the-stairs\""),
           Network("Lighthouse", "00-0F-B5-44-7C-20", 11, -66)});
    Open();
    int dialogs = 0;
    m_pSite->SetHiddenRunner([&dialogs](CHiddenNetworkDlg&) -> std::shared_ptr<CStation> {
        ++dialogs;
        return nullptr;
    });
    JoinFromFile(CodePicture("WIFI:T:WPA;S:Backroom;P:under-the-stairs;H:true;;"));
    EXPECT_TRUE(Associated("00-1D-7E-11-22-77"));
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(m_Titles.isEmpty());
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    auto stored = theApp.m_pProfileMngr->FindBySsid("Backroom");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->WpaPassphrase, "under-the-stairs");
}

TEST_F(SiteQrTest, PicturesWithoutAUsableCodeAreRefusedWithTheReason) {
    StartLockkeeper();
    QImage blank(300, 300, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const std::vector<std::pair<QImage, std::string>> cases{
        {blank, "No QR code"},
        {CodePicture("https://lockkeeper.example/"), "does not describe a Wi-Fi network"},
        {CodePicture("WIFI:T:WPA;S:Lockkeeper;P:short;;"), "8 to 63"},
        {CodePicture("WIFI:T:WPA;S:Lock\\qkeeper;P:password1;;"), "bad escape"},
        {CodePicture("WIFI:T:WPA;S:Quayside;P:password1;;"),
         "\u201CQuayside\u201D of the QR code is not in range"},
        {CodePicture("WIFI:T:WEP;S:Lockkeeper;P:1A2B3C4D5E;;"), "does not use WEP"},
        {CodePicture("WIFI:T:WPA;S:Lighthouse;P:password1;;"), "does not use WPA"}};
    for (const auto& [picture, reason] : cases) {
        m_Messages.m_Shown.clear();
        JoinFromFile(picture);
        ASSERT_EQ(m_Messages.m_Shown.size(), 1u) << reason;
        EXPECT_NE(m_Messages.m_Shown[0].find(reason), std::string::npos) << m_Messages.m_Shown[0];
    }
    QApplication::clipboard()->clear();
    m_Messages.m_Shown.clear();
    m_pSite->JoinFromQr(CViewSite::EQrSource::Clipboard);
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_NE(m_Messages.m_Shown[0].find("no picture"), std::string::npos);
    EXPECT_FALSE(SimState()["associated"].toBool());
    EXPECT_TRUE(m_Titles.isEmpty());
    EXPECT_EQ(theApp.m_pProfileMngr->GetCount(), 0);
}

}  // namespace
}  // namespace wavory::test
