// The Profiles page and the editor with names from outside (imported files, other programs): one
// selection across the two lists, names shown as the text they are, a hidden page left alone, and
// an editor whose Cancel undoes everything, also what the Advanced editor's OK took.
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTextDocument>

#include "../support/UiCore.h"
#include "ProfilesUiFixture.h"
#include "ui/profiles/EditProfileAdv.h"
#include "ui/profiles/EditProfileAdvGen.h"
#include "ui/profiles/EditProfileGen.h"

namespace wavory::test {
namespace {

using P = CMainProfile;

// What a tool tip shows: rich text rendered, plain text as it is.
QString ShownTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip)) return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

class ProfilesOutsideTextTest : public ProfilesUiTest {};

TEST_F(ProfilesOutsideTextTest, OneRowOfTheTwoListsIsSelectedAndTheCommandsActOnIt) {
    Stored("Member", "Harbour", true);
    Stored("Other", "Lighthouse");
    auto page = ShowPage();
    QTreeWidget* members = List(*page, P::IDC_AUTO_LIST);
    QTreeWidget* others = List(*page, P::IDC_OTHER_LIST);
    auto selectedCount = [&] { return members->selectedItems().size() + others->selectedItems().size(); };
    EXPECT_EQ(selectedCount(), 1);

    ClickRow(others, 0);
    EXPECT_EQ(selectedCount(), 1);
    EXPECT_EQ(page->ActiveList(), others);
    // A refresh (as the main tick makes) keeps the one selection where it was.
    Mngr().GetProfile("Other")->PSType = 1;
    page->Refresh();
    EXPECT_EQ(selectedCount(), 1);
    ASSERT_EQ(others->selectedItems().size(), 1);
    // Focus moving to the other list does not move the commands' target away from what is shown.
    members->setFocus();
    EXPECT_EQ(page->ActiveList(), others);

    // After an operation the profile it worked on is the one selection, wherever it now stands.
    QMenu* menu = nullptr;
    auto contextMenu = page->CreateContextMenu();
    menu = contextMenu.get();
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>(ControlName(P::ID_AUTO_ADD))->trigger();
    EXPECT_EQ(selectedCount(), 1);
    ASSERT_EQ(members->selectedItems().size(), 1);
    EXPECT_EQ(members->selectedItems().first()->text(0), "Other");

    // Keys act on the selected row: Down moves within the same list and still one row is selected.
    members->setFocus();
    QTest::keyClick(members, Qt::Key_Up);
    EXPECT_EQ(selectedCount(), 1);
    EXPECT_EQ(members->selectedItems().first()->text(0), "Member");
    std::string edited;
    WhenModal<CEditProfile>([&edited](CEditProfile&) { edited = g_strEditProfile; });
    Click(page.get(), P::IDC_EDIT);
    EXPECT_EQ(edited, "Member");
}

TEST_F(ProfilesOutsideTextTest, NamesAndNetworkNamesAreShownAsTheTextTheyAre) {
    const std::string name = "<b>Ho\x07me</b>";
    const std::string ssid = "<h1>BIG</h1><u>x";
    auto profile = Stored(name, ssid, true);
    Stored("Bytes", std::string("Ha\xFF\0AB\n\x1b", 8));
    auto page = ShowPage();
    QTreeWidget* members = List(*page, P::IDC_AUTO_LIST);
    ASSERT_EQ(members->topLevelItemCount(), 1);
    QTreeWidgetItem* row = members->topLevelItem(0);
    EXPECT_EQ(row->text(0), "<b>Ho\\x07me</b>");
    EXPECT_EQ(row->text(1), "<h1>BIG</h1><u>x");
    EXPECT_EQ(ShownTip(row->toolTip(0)), "<b>Ho\\x07me</b>");
    EXPECT_EQ(ShownTip(row->toolTip(1)), "<h1>BIG</h1><u>x");
    EXPECT_EQ(List(*page, P::IDC_OTHER_LIST)->topLevelItem(0)->text(1), "Ha\\xff\\x00AB\\x0a\\x1b");

    // The exact bytes still find the profile: editing it opens it under its own name.
    ClickRow(members, 0);
    QString title;
    QString shownName;
    WhenModal<CEditProfile>([&](CEditProfile& editor) {
        title = editor.windowTitle();
        shownName = Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME)->text();
    });
    Click(page.get(), P::IDC_EDIT);
    EXPECT_EQ(title, "Profile Configuration: <b>Ho\\x07me</b>");
    EXPECT_EQ(g_strEditProfile, name);
    EXPECT_EQ(Mngr().GetProfile(name), profile);
}

TEST_F(ProfilesOutsideTextTest, AHiddenPageIsNotRebuiltUntilItIsShownAgain) {
    Stored("Home", "Harbour", true);
    auto page = ShowPage();
    QTreeWidgetItem* before = List(*page, P::IDC_AUTO_LIST)->topLevelItem(0);
    page->Refresh();  // nothing changed: the rows stay as they are
    EXPECT_EQ(List(*page, P::IDC_AUTO_LIST)->topLevelItem(0), before);

    page->hide();
    Stored("Away", "Lighthouse");
    page->Refresh();
    EXPECT_EQ(List(*page, P::IDC_OTHER_LIST)->topLevelItemCount(), 0);  // not while hidden
    page->show();
    EXPECT_EQ(Column(List(*page, P::IDC_OTHER_LIST)), std::vector<std::string>{"Away"});
}

TEST_F(ProfilesOutsideTextTest, CancelAfterTheAdvancedEditorsOkChangesNothing) {
    auto profile = Stored("Home", "Lighthouse");
    profile->RTSThreshold = 0;
    profile->MaxTxPower = 3;
    g_strEditProfile = "Home";
    CEditProfile editor(QStringLiteral("Profile Configuration"), nullptr, 0);
    editor.show();
    WhenModal<CEditProfileAdv>([](CEditProfileAdv& advanced) {
        auto* power = Find<QComboBox>(&advanced, CEditProfileAdvGen::IDC_TX_POWER);
        power->setCurrentIndex(0);
        Click(&advanced, CProfileSheet::IDC_OK);
    });
    Click(&editor, CEditProfileGen::IDC_ADVANCED);
    EXPECT_EQ(profile->MaxTxPower, 3);  // not yet: only the outer OK writes
    Click(&editor, CProfileSheet::IDC_CANCEL);
    EXPECT_EQ(profile->MaxTxPower, 3);
    EXPECT_EQ(profile->RTSThreshold, 0);

    // With the outer OK the advanced change is taken, and nothing else moves.
    CEditProfile again(QStringLiteral("Profile Configuration"), nullptr, 0);
    again.show();
    WhenModal<CEditProfileAdv>([](CEditProfileAdv& advanced) {
        Find<QComboBox>(&advanced, CEditProfileAdvGen::IDC_TX_POWER)->setCurrentIndex(1);
        Click(&advanced, CProfileSheet::IDC_OK);
    });
    Click(&again, CEditProfileGen::IDC_ADVANCED);
    Click(&again, CProfileSheet::IDC_OK);
    EXPECT_EQ(profile->MaxTxPower, 1);
    EXPECT_EQ(profile->RTSThreshold, 0);
    EXPECT_EQ(profile->NetName, "Lighthouse");
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// A name made to look like a link: the page's question and the password prompt quote it as text.
TEST_F(ProfilesOutsideTextTest, QuestionsAndPasswordPromptsQuoteNamesAsPlainText) {
    const std::string link = "<a href=//e.vil>Yes</a><br><br>";
    CMainProfile::s_fnAskYesNo = m_SavedAskYesNo;  // the real question, not the scripted answer
    auto page = ShowPage();
    SModalSeen question;
    CancelNextModal(&question, QStringLiteral("e.vil"));
    EXPECT_FALSE(CMainProfile::s_fnAskYesNo(page.get(), QString::fromStdString("Keep \"" + link + "\"?")));
    EXPECT_TRUE(question.seen);
    EXPECT_TRUE(question.plain) << question.texts.join(QLatin1Char('|')).toStdString();

    auto profile = Stored("Corp", link);
    {
        auto lock = Mngr().Lock();
        profile->WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
        profile->EapMethod = KCOM_EAP_PEAP;
        profile->EapIdentity = "<b>alice</b>";
        profile->EapPassword.clear();
    }
    SModalSeen prompt;
    CancelNextModal(&prompt, QStringLiteral("e.vil"));
    CConnectAttempt::SJoinSecrets secrets;
    EXPECT_FALSE(page->AskEapSecret(*profile, secrets));
    EXPECT_TRUE(prompt.seen);
    EXPECT_TRUE(prompt.plain) << prompt.texts.join(QLatin1Char('|')).toStdString();
    ASSERT_FALSE(prompt.texts.isEmpty());
    EXPECT_TRUE(prompt.texts.first().contains(QStringLiteral("<b>alice</b>")));
}

}  // namespace
}  // namespace wavory::test
