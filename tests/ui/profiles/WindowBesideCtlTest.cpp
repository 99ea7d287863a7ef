// The window's Profiles page and editor (offscreen) with wavoryctl changing the same store beside
// it, before the window's main tick has seen the change: the window writes only what the user
// changed, never brings back what the other program deleted, and keeps what is being edited.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QLineEdit>
#include <QMenu>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "ProfilesUiFixture.h"
#include "ui/profiles/ProfileSheet.h"

extern char** environ;

namespace wavory::test {
namespace {

using P = CMainProfile;
using nlohmann::json;

class WindowBesideCtlTest : public ProfilesUiTest {
protected:
    void SetUp() override {
        ProfilesUiTest::SetUp();
        // The tick remembers the store's change count of this test's store, not of an earlier one.
        theApp.OnMainTick();
    }

    // Runs wavoryctl with --json; its standard output parsed, or null when it failed.
    json Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), WAVORYCTL_PATH);
        args.emplace_back("--json");
        const std::string out = (FilesDir() / "ctl.out").string();
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            ::waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        std::ifstream in(out);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ADD_FAILURE() << "wavoryctl " << args[1] << " failed: " << text;
            return nullptr;
        }
        return json::parse(text);
    }

    std::string StoredPassphrase(const std::string& name) {
        const json shown = Ctl({"profiles", "show", name, "--show-keys"});
        return shown.is_null() ? "<none>" : shown.value("passphrase", "<absent>");
    }

    // The editor on the selected profile, confirmed with OK as it stands.
    void EditAndConfirm(CMainProfile& page, QTreeWidget* list, int row) {
        ClickRow(list, row);
        WhenModal<CEditProfile>([](CEditProfile& editor) { Click(&editor, CProfileSheet::IDC_OK); });
        Click(&page, P::IDC_EDIT);
    }

    std::shared_ptr<CProfile> Wpa(const std::string& name, const std::string& ssid,
                                  const std::string& passphrase) {
        auto p = Stored(name, ssid);
        p->WpaMode = 3;
        p->WpaPassphrase = passphrase;
        EXPECT_TRUE(Mngr().SaveAll());
        return p;
    }
};

TEST_F(WindowBesideCtlTest, APassphraseChangedBesideSurvivesEditsAndExportAll) {
    Wpa("Home", "Lighthouse", "home-pass-000");
    Wpa("Work", "Harbour", "old-pass-0001");
    auto page = ShowPage();
    ASSERT_FALSE(Ctl({"profiles", "edit", "Work", "--passphrase", "office-pass-123"}).is_null());

    QTreeWidget* others = List(*page, P::IDC_OTHER_LIST);
    EditAndConfirm(*page, others, 1);  // Work: the editor showed the old passphrase
    EXPECT_EQ(StoredPassphrase("Work"), "office-pass-123");
    EditAndConfirm(*page, others, 0);  // Home
    EXPECT_EQ(StoredPassphrase("Work"), "office-pass-123");

    m_strNextFile = QString::fromStdString((FilesDir() / "all.reg").string());
    Click(page.get(), P::ID_PROFILE_EXPORT_ALL);
    EXPECT_EQ(StoredPassphrase("Work"), "office-pass-123");
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    // The window's tick reads the other program's change in.
    theApp.OnMainTick();
    EXPECT_EQ(Mngr().GetProfile("Work")->WpaPassphrase, "office-pass-123");
}

TEST_F(WindowBesideCtlTest, AProfileRemovedBesideStaysRemovedAfterAWindowAction) {
    Stored("Home", "Lighthouse", true);
    Stored("Work", "Harbour", true);
    Stored("Cafe", "Corner");
    auto page = ShowPage();
    ASSERT_FALSE(Ctl({"profiles", "rm", "Work"}).is_null());

    // Cafe joins the auto-selection order; nothing else is written.
    ClickRow(List(*page, P::IDC_OTHER_LIST), 0);
    page->CreateContextMenu()->findChild<QAction*>(ControlName(P::ID_AUTO_ADD))->trigger();
    EXPECT_FALSE(m_pRegistry->KeyExists("Profile 1"));
    const json listed = Ctl({"profiles", "list"});
    std::vector<std::string> names;
    for (const json& p : listed["profiles"]) names.push_back(p["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"Home", "Cafe"}));
    theApp.OnMainTick();
    page->Refresh();
    EXPECT_EQ(Column(List(*page, P::IDC_AUTO_LIST)), (std::vector<std::string>{"Home", "Cafe"}));
}

// An order the other program changed meanwhile is not overwritten: the window tells the user and
// shows what is stored.
TEST_F(WindowBesideCtlTest, AnOrderChangedBesideIsShownNotOverwritten) {
    Stored("Home", "Lighthouse", true);
    Stored("Work", "Harbour", true);
    auto page = ShowPage();
    ASSERT_FALSE(Ctl({"profiles", "auto", "Work", "--off"}).is_null());
    ClickRow(List(*page, P::IDC_AUTO_LIST), 0);  // Home, with Work after it as the window still shows
    Click(page.get(), P::IDC_DOWN);
    EXPECT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_EQ(Column(List(*page, P::IDC_AUTO_LIST)), std::vector<std::string>{"Home"});
    EXPECT_EQ(Column(List(*page, P::IDC_OTHER_LIST)), std::vector<std::string>{"Work"});
    const json listed = Ctl({"profiles", "list"});
    EXPECT_EQ(listed["profiles"][0]["name"], "Home");
    EXPECT_EQ(listed["profiles"][0]["priority"], 0);
    EXPECT_EQ(listed["profiles"][1]["auto_select"], false);
}

// The New editor stays the window's while another program's change is read in, and the two new
// profiles get two sections.
TEST_F(WindowBesideCtlTest, ANewProfileSurvivesAReloadAndTakesItsOwnSection) {
    Stored("Home", "Lighthouse");
    auto page = ShowPage();
    WhenModal<CEditProfile>([this](CEditProfile& editor) {
        EXPECT_FALSE(Ctl({"profiles", "new", "--ssid", "Theirs"}).is_null());
        theApp.OnMainTick();  // the window notices the other program's change
        Type(Find<QLineEdit>(&editor, CEditProfileGen::IDC_SSID), "Mine");
        Click(&editor, CProfileSheet::IDC_OK);
    });
    Click(page.get(), P::IDC_NEW);
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    theApp.OnMainTick();
    page->Refresh();
    const json listed = Ctl({"profiles", "list"});
    std::map<std::string, std::string> ssids;
    for (const json& p : listed["profiles"]) ssids[p["name"]] = p["ssid"];
    EXPECT_EQ(ssids, (std::map<std::string, std::string>{
                         {"Home", "Lighthouse"}, {"Profile 1", "Theirs"}, {"Profile 2", "Mine"}}));
    EXPECT_EQ(Column(List(*page, P::IDC_OTHER_LIST)), (std::vector<std::string>{"Home", "Profile 1"}));
    EXPECT_EQ(Column(List(*page, P::IDC_AUTO_LIST)), std::vector<std::string>{"Profile 2"});
}

}  // namespace
}  // namespace wavory::test
