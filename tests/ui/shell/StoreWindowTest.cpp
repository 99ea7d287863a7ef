// The window on the real settings store, with other programs writing to it: it shows their changes
// within a tick, and a termination signal closes it through the designed shutdown.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <thread>

#include "../support/UiCore.h"
#include "TestMain.h"
#include "store/SqliteRegistry.h"
#include "ui/shell/MainWindowHost.h"
#include "ui/shell/TessalDlg.h"

extern char** environ;

namespace wavory::test {
namespace {

void FreshStore() {
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(CSqliteRegistry::DefaultPath() + suffix);
}

// The names in the Profiles page's two lists (auto-selection order, then the others).
QStringList ListedProfiles(CTessalDlg& dlg) {
    QStringList names;
    for (const char* id : {"IDC_1077", "IDC_1078"}) {
        auto* list = dlg.findChild<QTreeWidget*>(QString::fromLatin1(id));
        if (!list) continue;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->data(0, Qt::UserRole).toString();
    }
    names.sort();
    return names;
}

TEST(StoreWindowTest, TheWindowShowsWhatAnotherProgramStored) {
    ASSERT_EQ(kccl_sim_reset(nullptr), 0);
    FreshStore();
    CSqliteRegistry registry;
    ASSERT_TRUE(registry.IsOpen()) << registry.Error();
    ASSERT_TRUE(registry.WriteProfileString("Profile 0", "ProfName", "Home"));
    ASSERT_TRUE(registry.WriteProfileString("Profile 0", "NetName", "Lighthouse"));
    CRecordingSink messages;
    theApp.m_pRegistry = &registry;
    theApp.m_pMessages = &messages;

    QStringList before, after;
    CMainWindowHost host([&](CTessalDlg& dlg) {
        dlg.SetActivePage(CTessalDlg::PAGE_PROFILES);
        QTimer::singleShot(1500, &dlg, [&] {
            before = ListedProfiles(dlg);
            // Another program (wavoryctl) adds a profile and renames one.
            CSqliteRegistry other;
            other.WriteProfileString("Profile 0", "ProfName", "Home 2");
            other.WriteProfileString("Profile 4", "ProfName", "Office");
            other.WriteProfileString("Profile 4", "NetName", "Harbour");
        });
        QTimer::singleShot(3500, &dlg, [&] {
            after = ListedProfiles(dlg);
            dlg.reject();
        });
    });
    theApp.InitInstance(&host);
    theApp.ExitInstance();
    theApp.m_pMessages = nullptr;
    theApp.m_pRegistry = nullptr;

    EXPECT_EQ(before, QStringList{QStringLiteral("Home")});
    EXPECT_EQ(after, (QStringList{QStringLiteral("Home 2"), QStringLiteral("Office")}));
}

// The program itself: SIGTERM, SIGINT and SIGHUP end it through shutdown (which stores the connected
// station, as its last write), with exit status 0, instead of killing it mid-way.
TEST(StoreWindowTest, TerminationSignalsRunTheDesignedShutdown) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        FreshStore();
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        std::string path = WAVORY_PATH;
        char* argv[] = {path.data(), nullptr};
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
        // The window runs once start-up has stored its first settings (the profile manager's load
        // leaves the store in place); give it time to reach its loop.
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        ASSERT_EQ(::kill(pid, sig), 0);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        pid_t done = 0;
        while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            FAIL() << "signal " << sig << " did not end the window";
        }
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << sig << " killed it instead of closing it";
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << sig;
        CSqliteRegistry store;
        EXPECT_EQ(store.GetProfileString("", "ConnectedStation", "absent"), "")
            << sig << ": shutdown did not run";
    }
}

}  // namespace
}  // namespace wavory::test
