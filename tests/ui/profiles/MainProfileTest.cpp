// The Profiles page: the two lists, the arrows, the pop-up menu, the editor runs behind New, Edit
// and Duplicate, Delete under the main lock, and export and import through profile files.
#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "ProfilesUiFixture.h"
#include "base/Locks.h"
#include "kccl_oid.h"
#include "profiles/HotspotProfile.h"
#include "survey/Hotspot.h"
#include "ui/monitor/HotspotDlg.h"

namespace wavory::test {
namespace {

using P = CMainProfile;

class MainProfileTest : public ProfilesUiTest {
protected:
    static QAction* Action(QMenu& menu, int id) { return menu.findChild<QAction*>(ControlName(id)); }
    static std::vector<std::string> Names(CMainProfile& page, int id) { return Column(List(page, id)); }
    std::string File(const char* name) const { return (FilesDir() / name).string(); }
};

TEST_F(MainProfileTest, ListsShowMembersInTheirOrderAndTheOthers) {
    Stored("Zulu", "Harbour", true)->SecType = 1;
    Stored("Alpha", "Lighthouse", true);
    Stored("Mike", "Boatyard");
    Stored("Ferry", "Ferry Terminal", true)->WpaMode = KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
    auto page = ShowPage();
    page->Refresh();
    QTreeWidget* autoList = List(*page, P::IDC_AUTO_LIST);
    EXPECT_EQ(Column(autoList),
              (std::vector<std::string>{"Zulu", "Alpha", "Ferry"}));  // priority order, not name order
    EXPECT_EQ(Column(autoList, 1), (std::vector<std::string>{"Harbour", "Lighthouse", "Ferry Terminal"}));
    // The kind of security a WPA profile joins with, not "None".
    EXPECT_EQ(Column(autoList, 2), (std::vector<std::string>{"WEP", "None", "WPA2/WPA3-Personal"}));
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST), std::vector<std::string>{"Mike"});
    for (QTreeWidget* list : {autoList, List(*page, P::IDC_OTHER_LIST)}) {
        EXPECT_EQ(list->headerItem()->text(0), "Profile Name");
        EXPECT_EQ(list->headerItem()->text(1), "Network Name (SSID)");
        EXPECT_EQ(list->headerItem()->text(2), "Security");
        // The shares of the design, the security column widened from the network name's for its names.
        EXPECT_EQ(list->columnWidth(0), static_cast<int>(list->width() * P::kColumnShares[0]));
        EXPECT_LE(list->columnWidth(1), static_cast<int>(list->width() * P::kColumnShares[1]));
        EXPECT_GE(list->columnWidth(2), QFontMetrics(list->font()).horizontalAdvance("WPA2-Personal"));
        EXPECT_LE(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2), list->width());
    }
}

TEST_F(MainProfileTest, ConnectedMarkFollowsTheCurrentStationBySsid) {
    Stored("Home", "Lighthouse", true);
    Stored("Office", "Lighthouse");
    Stored("Boat", "Harbour");
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_OTHER_LIST), 1);  // Office
    Click(page.get(), P::IDC_CONNECT);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_EQ(Mngr().GetConnected(), nullptr);  // infrastructure: the station manager knows the connection
    page->Refresh();
    EXPECT_FALSE(List(*page, P::IDC_AUTO_LIST)->topLevelItem(0)->icon(0).isNull());
    QTreeWidget* others = List(*page, P::IDC_OTHER_LIST);
    EXPECT_EQ(Column(others), (std::vector<std::string>{"Boat", "Office"}));
    EXPECT_TRUE(others->topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(others->topLevelItem(1)->icon(0).isNull());
}

// A kept hotspot is listed as one, Connect starts it in the hotspot dialog (one click), and the
// dialog's "Save as Profile…" keeps what it shows through the same write path.
TEST_F(MainProfileTest, AKeptHotspotStartsFromConnectAndTheDialogKeepsItsChanges) {
    kccl::SHotspotRecord deck;
    deck.ssid = "Deck Party";
    deck.band = KCOM_HOTSPOT_BAND_2G4;
    deck.passphrase = "mooring-lines";
    std::string why;
    ASSERT_EQ(KeepHotspotProfile(Mngr(), "Deck", deck, false, why), REG_OK) << why;
    auto page = ShowPage();
    page->Refresh();
    QTreeWidget* others = List(*page, P::IDC_OTHER_LIST);
    ASSERT_EQ(Column(others), std::vector<std::string>{"Deck"});
    EXPECT_EQ(Column(others, 2), std::vector<std::string>{"Hotspot (WPA2-Personal, 2.4 GHz)"});
    ClickRow(others, 0);

    bool ran = false;
    CHotspotDlg::s_fnRun = [&](CHotspotDlg& dialog) {
        ran = true;
        EXPECT_EQ(dialog.NameEdit()->text(), "Deck Party");
        EXPECT_EQ(dialog.PassphraseEdit()->text(), "mooring-lines");
        QElapsedTimer timer;
        timer.start();
        while ((dialog.Busy() || !dialog.StopButton()->isEnabled()) && timer.elapsed() < 60000) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
        const auto running = ReadHotspot(nullptr);
        ASSERT_TRUE(running && running->running) << dialog.StatusLabel()->text().toStdString();
        EXPECT_EQ(running->ssid, "Deck Party");
        EXPECT_LT(running->freqMhz, 2500u) << "started on the kept band";

        // Kept again under its own name: the profile shown is replaced, not doubled.
        CHotspotDlg::s_fnAskName = [](QWidget*, const std::string& suggested) {
            return std::optional<std::string>(suggested);
        };
        dialog.PassphraseEdit()->setText("harbour-lights-9");  // not while running: the settings are greyed
        EXPECT_EQ(StopHotspot().ok, true);
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        CHotspotDlg::s_fnAskName = nullptr;
    };
    Click(page.get(), P::IDC_CONNECT);
    CHotspotDlg::s_fnRun = nullptr;
    EXPECT_TRUE(ran);
    auto kept = Mngr().GetProfile("Deck");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->WpaPassphrase, "harbour-lights-9");
    EXPECT_EQ(Mngr().Snapshot().size(), 1u);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

TEST_F(MainProfileTest, ArrowsAreGreyAtTheEndsAndMoveNothingThere) {
    Stored("First", "A", true);
    Stored("Second", "B", true);
    Stored("Third", "C", true);
    auto page = ShowPage();
    QTreeWidget* autoList = List(*page, P::IDC_AUTO_LIST);
    ClickRow(autoList, 0);
    EXPECT_TRUE(page->IsArrowGrey(true));
    EXPECT_FALSE(page->IsArrowGrey(false));
    Click(page.get(), P::IDC_UP);
    EXPECT_EQ(Column(autoList), (std::vector<std::string>{"First", "Second", "Third"}));

    ClickRow(autoList, 2);
    EXPECT_FALSE(page->IsArrowGrey(true));
    EXPECT_TRUE(page->IsArrowGrey(false));
    Click(page.get(), P::IDC_DOWN);
    EXPECT_EQ(Column(autoList), (std::vector<std::string>{"First", "Second", "Third"}));

    ClickRow(autoList, 1);
    EXPECT_FALSE(page->IsArrowGrey(true));
    EXPECT_FALSE(page->IsArrowGrey(false));
    Click(page.get(), P::IDC_UP);
    EXPECT_EQ(Column(autoList), (std::vector<std::string>{"Second", "First", "Third"}));
    EXPECT_TRUE(page->IsArrowGrey(true));  // the moved profile stays selected, now first
    EXPECT_EQ(Mngr().GetProfile("Second")->Priority, 0);
    // The order is stored.
    EXPECT_EQ(m_pRegistry->GetProfileInt(Mngr().GetProfile("Second")->GetSection(), "Priority", -5), 0);
}

TEST_F(MainProfileTest, PopUpMenuMovesProfilesInAndOutOfTheOrder) {
    Stored("First", "A", true);
    Stored("Second", "B", true);
    Stored("Third", "C", true);
    Stored("Other", "D");
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_AUTO_LIST), 1);
    std::unique_ptr<QMenu> menu = page->CreateContextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Action(*menu, P::ID_AUTO_ADD), nullptr);
    Action(*menu, P::ID_AUTO_REMOVE)->trigger();
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"First", "Third"}));
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST), (std::vector<std::string>{"Other", "Second"}));
    EXPECT_EQ(Mngr().GetProfile("Third")->Priority, 1);
    EXPECT_EQ(Mngr().GetAutoCount(), 2);

    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    menu = page->CreateContextMenu();
    ASSERT_EQ(Action(*menu, P::ID_AUTO_REMOVE), nullptr);
    EXPECT_EQ(Action(*menu, P::ID_AUTO_ADD)->text(), "Add to Au&to-Selection");
    Action(*menu, P::ID_AUTO_ADD)->trigger();
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"First", "Third", "Other"}));
}

TEST_F(MainProfileTest, NineteenCharacterNameCanBeEditedAndConnected) {
    const std::string name = "Nineteen characters";
    ASSERT_EQ(name.size(), 19u);
    Stored(name, "Lighthouse");
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    QString title;
    WhenModal<CEditProfile>([&title](CEditProfile& editor) { title = editor.windowTitle(); });
    Click(page.get(), P::IDC_EDIT);
    EXPECT_EQ(title.toStdString(), "Profile Configuration: " + name);
    Click(page.get(), P::IDC_CONNECT);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    ASSERT_NE(theApp.m_pStationMngr->GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pStationMngr->GetCurrent()->NetName, "Lighthouse");
    EXPECT_EQ(theApp.m_nAutoCountdown, 2);
    EXPECT_TRUE(theApp.m_bRefreshRequest);
}

TEST_F(MainProfileTest, CancelAfterNewLeavesNothingBehind) {
    Stored("Home", "Lighthouse", true);
    auto page = ShowPage();
    WhenModal<CEditProfile>([](CEditProfile& editor) {
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME), "Draft");
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_SSID), "Somewhere");
        Click(&editor, CProfileSheet::IDC_APPLY);  // renamed and stored already
        Click(&editor, CProfileSheet::IDC_CANCEL);
    });
    Click(page.get(), P::IDC_NEW);
    EXPECT_EQ(Mngr().GetCount(), 1);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), std::vector<std::string>{"Home"});
    EXPECT_TRUE(Names(*page, P::IDC_OTHER_LIST).empty());
    EXPECT_EQ(m_pRegistry->SubKeys(""), std::vector<std::string>{"Profile 0"});
}

// A new profile starts as an access point's network in the auto-selection order, at its end; the
// editor's box takes it out.
TEST_F(MainProfileTest, NewProfileIsAnInfrastructureMemberAtTheEndOfTheOrder) {
    Stored("Home", "Lighthouse", true);
    auto page = ShowPage();
    bool infrastructure = false;
    bool autoSelect = false;
    WhenModal<CEditProfile>([&](CEditProfile& editor) {
        infrastructure = Find<QAbstractButton>(&editor, CEditProfileGen::IDC_INFRASTRUCTURE)->isChecked();
        autoSelect = Find<QAbstractButton>(&editor, CEditProfileGen::IDC_AUTO_SELECT)->isChecked();
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME), "Boat");
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_SSID), "Harbour");
        Click(&editor, CProfileSheet::IDC_OK);
    });
    Click(page.get(), P::IDC_NEW);
    EXPECT_TRUE(infrastructure);
    EXPECT_TRUE(autoSelect);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"Home", "Boat"}));
    auto boat = Mngr().GetProfile("Boat");
    ASSERT_NE(boat, nullptr);
    EXPECT_EQ(boat->Priority, 1);
    EXPECT_TRUE(boat->NetMode);
    EXPECT_EQ(m_pRegistry->GetProfileString(boat->GetSection(), "NetName", ""), "Harbour");

    WhenModal<CEditProfile>([](CEditProfile& editor) {
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME), "Kiosk");
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_SSID), "Free");
        Click(&editor, CEditProfileGen::IDC_AUTO_SELECT);
        Click(&editor, CProfileSheet::IDC_OK);
    });
    Click(page.get(), P::IDC_NEW);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"Home", "Boat"}));
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST), std::vector<std::string>{"Kiosk"});
}

TEST_F(MainProfileTest, EditingAMemberOutOfTheOrderClosesItsGap) {
    Stored("First", "A", true);
    Stored("Second", "B", true);
    Stored("Third", "C", true);
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_AUTO_LIST), 0);
    WhenModal<CEditProfile>([](CEditProfile& editor) {
        Click(&editor, CEditProfileGen::IDC_AUTO_SELECT);
        Click(&editor, CProfileSheet::IDC_OK);
    });
    Click(page.get(), P::IDC_EDIT);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"Second", "Third"}));
    EXPECT_EQ(Mngr().GetProfile("First")->Priority, -1);
    EXPECT_EQ(Mngr().GetProfile("Third")->Priority, 1);
}

TEST_F(MainProfileTest, RenameToAnotherProfilesNameIsRefusedAndTheEditorStaysOpen) {
    Stored("Home", "Lighthouse");
    Stored("Office", "Harbour");
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);  // Home
    bool stayedOpen = false;
    WhenModal<CEditProfile>([&stayedOpen](CEditProfile& editor) {
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_NAME), "Office");
        Click(&editor, CProfileSheet::IDC_OK);
        stayedOpen = editor.isVisible();
    });
    Click(page.get(), P::IDC_EDIT);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(m_Messages.m_Shown,
              std::vector<std::string>{"A profile named \"Office\" already exists; choose another name."});
    EXPECT_EQ(Mngr().GetProfile("Home")->NetName, "Lighthouse");
    EXPECT_EQ(Mngr().GetProfile("Office")->NetName, "Harbour");
}

TEST_F(MainProfileTest, DuplicateCopiesUnderANewName) {
    auto source = Stored("Home", "Harbour");
    source->SecType = 1;
    source->ActiveSecKey = 0;
    source->SecKey[0] = "1A2B3C4D5E";
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    WhenModal<CEditProfile>([](CEditProfile& editor) { Click(&editor, CProfileSheet::IDC_OK); });
    Action(*page->CreateContextMenu(), P::ID_PROFILE_DUPLICATE)->trigger();
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST), (std::vector<std::string>{"Home", "Profile 1"}));
    auto copy = Mngr().GetProfile("Profile 1");
    EXPECT_EQ(copy->NetName, "Harbour");
    EXPECT_EQ(copy->SecKey[0], "1A2B3C4D5E");
}

TEST_F(MainProfileTest, DeleteAsksUnderTheMainLock) {
    Stored("First", "A", true);
    Stored("Second", "B", true);
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_AUTO_LIST), 0);
    const std::string section = Mngr().GetProfile("First")->GetSection();

    ASSERT_TRUE(TryEnter(CS_MAIN));  // the main tick is busy: nothing happens
    page->OnDelete();
    Leave(CS_MAIN);
    EXPECT_TRUE(m_Questions.empty());

    m_bAnswerYes = false;
    page->OnDelete();
    // The question names the profile on its second line.
    EXPECT_EQ(m_Questions, std::vector<std::string>{"Do you want to delete the profile ?\nFirst"});
    EXPECT_EQ(Mngr().GetCount(), 2);

    m_bAnswerYes = true;
    Action(*page->CreateContextMenu(), P::ID_PROFILE_DELETE)->trigger();
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), std::vector<std::string>{"Second"});
    EXPECT_EQ(Mngr().GetProfile("Second")->Priority, 0);
    EXPECT_FALSE(m_pRegistry->KeyExists(section));
    EXPECT_TRUE(TryEnter(CS_MAIN));  // released again
    Leave(CS_MAIN);
}

TEST_F(MainProfileTest, DeleteKeyOnAListAsksLikeTheMenu) {
    Stored("First", "A", false);
    auto page = ShowPage();
    QTreeWidget* others = List(*page, P::IDC_OTHER_LIST);
    ClickRow(others, 0);
    m_bAnswerYes = false;
    QTest::keyClick(others, Qt::Key_Delete);
    EXPECT_EQ(m_Questions, std::vector<std::string>{"Do you want to delete the profile ?\nFirst"});
    EXPECT_EQ(Mngr().GetCount(), 1);
    m_bAnswerYes = true;
    QTest::keyClick(others, Qt::Key_Delete);
    EXPECT_EQ(Mngr().GetCount(), 0);
}

TEST_F(MainProfileTest, ExportOfOneProfileNeedsASelection) {
    Stored("Home", "Lighthouse");
    auto page = ShowPage();
    m_strNextFile = QString::fromStdString(File("home.reg"));
    Click(page.get(), P::ID_PROFILE_EXPORT);
    EXPECT_TRUE(m_FileAsks.empty());
    EXPECT_FALSE(std::filesystem::exists(File("home.reg")));

    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    m_strNextFile = QString::fromStdString(File("home"));  // the extension is added
    Click(page.get(), P::ID_PROFILE_EXPORT);
    ASSERT_EQ(m_FileAsks.size(), 1u);
    EXPECT_TRUE(m_FileAsks[0].first);
    EXPECT_EQ(m_FileAsks[0].second, "Wavory Profiles (*.reg)");
    EXPECT_TRUE(std::filesystem::exists(File("home.reg")));
}

TEST_F(MainProfileTest, ExportDeleteImportBringsTheProfileBackUnderItsName) {
    auto home = Stored("Home", "Harbour", true);
    home->SecType = 1;
    home->ActiveSecKey = 0;
    home->SecKey[0] = "1A2B3C4D5E";
    ASSERT_TRUE(Mngr().SaveAll());  // an export writes what is stored
    auto page = ShowPage();
    ClickRow(List(*page, P::IDC_AUTO_LIST), 0);
    m_strNextFile = QString::fromStdString(File("home.reg"));
    Click(page.get(), P::ID_PROFILE_EXPORT);
    Action(*page->CreateContextMenu(), P::ID_PROFILE_DELETE)->trigger();
    ASSERT_EQ(Mngr().GetCount(), 0);
    ASSERT_TRUE(List(*page, P::IDC_AUTO_LIST)->selectedItems().isEmpty());

    Click(page.get(), P::ID_PROFILE_IMPORT);  // no row to select: import still works
    ASSERT_EQ(m_FileAsks.size(), 2u);
    EXPECT_FALSE(m_FileAsks.back().first);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST), std::vector<std::string>{"Home"});
    auto back = Mngr().GetProfile("Home");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->NetName, "Harbour");
    EXPECT_EQ(back->SecKey[0], "1A2B3C4D5E");
    EXPECT_FALSE(back->AutoSelect);
    EXPECT_EQ(m_pRegistry->GetProfileString(back->GetSection(), "NetName", ""), "Harbour");  // stored at once
}

TEST_F(MainProfileTest, ExportOverAnExistingFileReplacesIt) {
    Stored("Boat", "Harbour");
    Stored("Home", "Lighthouse");
    auto page = ShowPage();
    m_strNextFile = QString::fromStdString(File("profile.reg"));
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    Click(page.get(), P::ID_PROFILE_EXPORT);
    ClickRow(List(*page, P::IDC_OTHER_LIST), 1);
    Click(page.get(), P::ID_PROFILE_EXPORT);  // the dialog has confirmed replacing the file
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    Click(page.get(), P::ID_PROFILE_IMPORT);
    EXPECT_EQ(Mngr().GetProfile("Profile 2")->NetName, "Lighthouse");
}

TEST_F(MainProfileTest, ExportOfAllNeedsNoSelection) {
    Stored("Boat", "Harbour", true);
    Stored("Home", "Lighthouse");
    auto page = ShowPage();
    List(*page, P::IDC_AUTO_LIST)->clearSelection();
    m_strNextFile = QString::fromStdString(File("all.reg"));
    Click(page.get(), P::ID_PROFILE_EXPORT_ALL);
    ASSERT_TRUE(std::filesystem::exists(File("all.reg")));
    Click(page.get(), P::ID_PROFILE_IMPORT);
    EXPECT_EQ(Mngr().GetCount(), 4);
    EXPECT_EQ(Mngr().GetAutoCount(), 1);  // imported profiles stay outside the order
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// Alt+Up and Alt+Down on the order move the selected member step by step, the list keeping the
// focus between presses.
TEST_F(MainProfileTest, AltArrowsMoveTheSelectedMemberWithoutLeavingTheList) {
    Stored("First", "A", true);
    Stored("Second", "B", true);
    Stored("Third", "C", true);
    auto page = ShowPage();
    QTreeWidget* members = List(*page, P::IDC_AUTO_LIST);
    ClickRow(members, 2);
    members->setFocus();
    QTest::keyClick(members, Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(members, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"Third", "First", "Second"}));
    EXPECT_EQ(Mngr().GetProfile("Third")->Priority, 0);
    QTest::keyClick(members, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"First", "Third", "Second"}));
    // A plain arrow only moves the selection.
    QTest::keyClick(members, Qt::Key_Down);
    EXPECT_EQ(Names(*page, P::IDC_AUTO_LIST), (std::vector<std::string>{"First", "Third", "Second"}));
}

// The other profiles are listed as a person counts: "Profile 9" before "Profile 14".
TEST_F(MainProfileTest, OtherProfilesAreListedInNaturalOrder) {
    for (const char* name : {"Profile 14", "Profile 9", "oma", "Profile 100"}) Stored(name, "X");
    auto page = ShowPage();
    EXPECT_EQ(Names(*page, P::IDC_OTHER_LIST),
              (std::vector<std::string>{"oma", "Profile 9", "Profile 14", "Profile 100"}));
}

}  // namespace
}  // namespace wavory::test
