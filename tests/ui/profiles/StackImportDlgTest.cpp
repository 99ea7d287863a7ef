// The window's import from another Wi-Fi stack: what becomes of each network is shown before
// anything is stored, names from the file are shown as they are, refused networks are named with
// their reason and stay out, and a file that cannot be read says why and imports nothing.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "ProfilesUiFixture.h"
#include "ui/profiles/StackImportDlg.h"

namespace wavory::test {
namespace {

class StackImportDlgTest : public ProfilesUiTest {
protected:
    void TearDown() override {
        CMainProfile::s_fnRunStackImport = nullptr;
        ProfilesUiTest::TearDown();
    }
    // A wpa_supplicant.conf with a usable network, one with a hostile name and one refused.
    static std::string WriteConf() {
        const std::string path = (FilesDir() / "wpa_supplicant.conf").string();
        std::ofstream(path) << "ctrl_interface=/run/wpa_supplicant\n"
                               "network={\n\tssid=\"Harbour\"\n\tpsk=\"moorings-at-high-tide\"\n\tpriority=5\n}\n"
                               "network={\n\tssid=\"<b>Bold</b>\"\n\tkey_mgmt=NONE\n}\n"
                               "network={\n\tssid=\"Tiny\"\n\tpsk=\"short\"\n}\n";
        return path;
    }
    static std::vector<std::string> Column(CStackImportDlg& dialog, int column) {
        std::vector<std::string> out;
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i)
            out.push_back(dialog.List()->topLevelItem(i)->text(column).toStdString());
        return out;
    }
};

TEST_F(StackImportDlgTest, NetworksAreShownBeforeTheImportAndOnlyUsableOnesAreStored) {
    CStackImportDlg dialog(Mngr());
    dialog.Stack()->setCurrentIndex(0);  // wpa_supplicant
    dialog.Path()->setText(QString::fromStdString(WriteConf()));
    dialog.ReadNetworks();
    EXPECT_EQ(Column(dialog, 0), (std::vector<std::string>{"network 1 (\"Harbour\")", "network 2 (\"<b>Bold</b>\")",
                                                           "network 3 (\"Tiny\")"}));
    const std::vector<std::string> becomes = Column(dialog, 1);
    ASSERT_EQ(becomes.size(), 3u);
    EXPECT_EQ(becomes[0], "Profile \"Harbour\"");
    EXPECT_EQ(becomes[2], "Not imported");
    EXPECT_NE(Column(dialog, 2)[2].find("8 to 63"), std::string::npos) << Column(dialog, 2)[2];
    EXPECT_EQ(dialog.Status()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(dialog.Status()->text().startsWith("2 of 3 networks")) << dialog.Status()->text().toStdString();
    // Nothing is stored before the user imports.
    EXPECT_EQ(Mngr().GetProfile("Harbour"), nullptr);

    ASSERT_TRUE(dialog.ImportButton()->isEnabled());
    QTest::mouseClick(dialog.ImportButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    auto harbour = Mngr().GetProfile("Harbour");
    ASSERT_NE(harbour, nullptr);
    EXPECT_EQ(harbour->WpaPassphrase, "moorings-at-high-tide");
    EXPECT_TRUE(harbour->AutoSelect);
    EXPECT_NE(Mngr().GetProfile("<b>Bold</b>"), nullptr);
    EXPECT_EQ(Mngr().GetProfile("Tiny"), nullptr);
    EXPECT_TRUE(dialog.Summary().startsWith("Imported 2 networks.\nNot imported: network 3 (\"Tiny\"): "))
        << dialog.Summary().toStdString();
}

TEST_F(StackImportDlgTest, SourceThatCannotBeReadSaysWhyAndOffersNoImport) {
    CStackImportDlg dialog(Mngr());
    const std::vector<std::pair<int, std::string>> cases{
        {0, (FilesDir() / "missing.conf").string()},  // wpa_supplicant: no such file
        {0, FilesDir().string()},                      // wpa_supplicant: a folder
        {2, FilesDir().string()},                      // iwd: a folder without iwd's files
    };
    const std::vector<std::string> reasons{"it does not exist", "it is a folder", "holds no network file"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        dialog.Stack()->setCurrentIndex(cases[i].first);
        dialog.Path()->setText(QString::fromStdString(cases[i].second));
        dialog.ReadNetworks();
        EXPECT_TRUE(dialog.Status()->text().contains(QString::fromStdString(reasons[i])))
            << dialog.Status()->text().toStdString();
        EXPECT_EQ(dialog.List()->topLevelItemCount(), 0);
        EXPECT_FALSE(dialog.ImportButton()->isEnabled());
    }
    // A file with no usable network: listed, but nothing to import.
    const std::string path = (FilesDir() / "only-bad.conf").string();
    std::ofstream(path) << "network={\n\tssid=\"Tiny\"\n\tpsk=\"short\"\n}\n";
    dialog.Stack()->setCurrentIndex(0);
    dialog.Path()->setText(QString::fromStdString(path));
    dialog.ReadNetworks();
    EXPECT_EQ(dialog.List()->topLevelItemCount(), 1);
    EXPECT_FALSE(dialog.ImportButton()->isEnabled());
}

TEST_F(StackImportDlgTest, ProfilesPageImportsAndListsTheNewProfiles) {
    const std::string conf = WriteConf();
    CMainProfile::s_fnRunStackImport = [&conf](CStackImportDlg& dialog) {
        dialog.Stack()->setCurrentIndex(0);
        dialog.Path()->setText(QString::fromStdString(conf));
        dialog.ReadNetworks();
        dialog.Import();
        return dialog.result() == QDialog::Accepted;
    };
    auto page = ShowPage();
    auto* button = page->findChild<QPushButton*>(QStringLiteral("btnImportStack"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_EQ(m_Messages.m_Shown[0].rfind("Imported 2 networks.", 0), 0u) << m_Messages.m_Shown[0];
    std::vector<std::string> rows;
    for (QTreeWidget* list : {List(*page, CMainProfile::IDC_AUTO_LIST), List(*page, CMainProfile::IDC_OTHER_LIST)})
        for (int i = 0; i < list->topLevelItemCount(); ++i) rows.push_back(list->topLevelItem(i)->text(0).toStdString());
    EXPECT_NE(std::find(rows.begin(), rows.end(), "Harbour"), rows.end());
}

}  // namespace
}  // namespace wavory::test
