// The profile manager on the real store when a process dies: each user-visible operation (save a
// profile, delete one, import a file, set the preferences) is killed at each of its writes, and the
// store then holds either everything before it or everything after it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "ProfilesFixture.h"
#include "driver/Format.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "store/SqliteRegistry.h"

namespace wavory::test {
namespace {

class ProfileStoreTest : public ProfilesFixture {
protected:
    // Three profiles, two of them in the auto-selection order, and an export of all of them.
    void StoreStart() {
        DropMngr();
        m_pRegistry.reset();
        std::filesystem::remove_all(std::filesystem::path(TempHome()) / "Wavory");
        OpenStore();
        StoreProfile("Profile 0", "A", "alpha", true, 0);
        StoreProfile("Profile 1", "B", "bravo", true, 1);
        StoreProfile("Profile 2", "C", "charlie");
        ASSERT_TRUE(theApp.WriteProfileInt("", "NumOfProfiles", 3));
        ASSERT_TRUE(theApp.WriteProfileInt("", "Polling Interval", 10000));
        std::filesystem::remove(FilePath("all.reg"));
        ASSERT_TRUE(
            MakeMngr().RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, FilePath("all.reg"), std::nullopt));
        DropMngr();
    }

    void OpenStore() {
        m_pRegistry = std::make_unique<CSqliteRegistry>();
        ASSERT_TRUE(m_pRegistry->IsOpen()) << m_pRegistry->Error();
        theApp.m_pRegistry = m_pRegistry.get();
    }

    SRegKey Snapshot() {
        SRegKey tree;
        EXPECT_EQ(m_pRegistry->ReadTree("", tree), REG_OK);
        return tree;
    }

    // Runs the operation in a child process killed at each of its writes in turn; after each run the
    // store must equal the start or the end.
    void KillAtEachWrite(const std::string& what, const std::function<void(CProfileMngr&)>& operation) {
        StoreStart();
        const SRegKey before = Snapshot();
        // The start, kept as a file: the last connection to close leaves the whole store in it.
        DropMngr();
        theApp.m_pRegistry = nullptr;
        m_pRegistry.reset();
        const std::filesystem::path db = CSqliteRegistry::DefaultPath();
        const std::filesystem::path start = FilePath("start.db");
        std::filesystem::copy_file(db, start, std::filesystem::copy_options::overwrite_existing);
        for (int step = 1;; ++step) {
            // The store is closed before the fork: a connection must not cross into a child.
            DropMngr();
            theApp.m_pRegistry = nullptr;
            m_pRegistry.reset();
            for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
            std::filesystem::copy_file(start, db, std::filesystem::copy_options::overwrite_existing);
            const pid_t pid = ::fork();
            if (pid == 0) {
                CSqliteRegistry::SetKillAtWrite(step);
                CSqliteRegistry store;
                theApp.m_pRegistry = &store;
                CProfileMngr mngr;
                theApp.m_pProfileMngr = &mngr;
                operation(mngr);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            OpenStore();
            const SRegKey now = Snapshot();
            if (WIFEXITED(status)) {
                ASSERT_EQ(WEXITSTATUS(status), 0) << what;
                EXPECT_NE(now, before) << what << ": the operation changed nothing";
                EXPECT_GT(step, 2) << what;
                return;
            }
            ASSERT_TRUE(WIFSIGNALED(status)) << what;
            EXPECT_EQ(now, before) << what << " killed at write " << step;
            // Whatever died, the profiles load whole: none without a name, the order without holes.
            CProfileMngr& mngr = MakeMngr();
            EXPECT_EQ(mngr.GetCount(), 3) << what << " at " << step;
            for (const auto& p : mngr.Snapshot()) EXPECT_FALSE(p->ProfName.empty());
            ASSERT_LT(step, 2000) << what;
        }
    }
};

TEST_F(ProfileStoreTest, EveryOperationIsWholeWhenKilledAtAnyWrite) {
    KillAtEachWrite("new profile", [](CProfileMngr& mngr) {
        auto lock = mngr.Lock();  // the manager's lock before the store's update, as everywhere
        CRegistryUpdate group(theApp.m_pRegistry);
        auto p = mngr.GetProfile(mngr.AddProfile());
        p->NetName = "delta";
        p->AutoSelect = true;
        p->Priority = mngr.UpdatePriorities(-1);
        p->Save(true);
        group.End();
    });
    KillAtEachWrite("delete", [](CProfileMngr& mngr) { mngr.RemoveProfile("A", true, true); });
    KillAtEachWrite("import", [](CProfileMngr& mngr) {
        mngr.RegistryOp(CProfileMngr::REG_OP_IMPORT, FilePath("all.reg"), std::nullopt);
    });
    KillAtEachWrite("preferences", [](CProfileMngr&) {
        CRegistryUpdate group(theApp.m_pRegistry);
        theApp.WriteProfileInt("", "Polling Interval", 20000);
        theApp.WriteProfileInt("", "Active", 1);
        theApp.WriteProfileInt("", "dBm-Percent", 1);
        group.End();
    });
}

TEST_F(ProfileStoreTest, DeletionStoresSectionCountAndOrderTogether) {
    StoreStart();
    CProfileMngr& mngr = MakeMngr();
    mngr.RemoveProfile("A", true, true);
    CProfileMngr& again = MakeMngr();
    EXPECT_EQ(again.GetCount(), 2);
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), 2);
    EXPECT_EQ(again.GetProfile("B")->Priority, 0);
    EXPECT_EQ(again.GetAutoCount(), 1);
}

TEST_F(ProfileStoreTest, AnotherProgramsChangeIsLoadedByTheWindowsTick) {
    StoreStart();
    CProfileMngr& mngr = MakeMngr();
    auto held = mngr.GetProfile("B");
    theApp.OnMainTick();  // the first tick takes the store as it is
    {
        CSqliteRegistry other;
        ASSERT_TRUE(other.WriteProfileString("Profile 1", "NetName", "bravo-2"));
        ASSERT_TRUE(other.WriteProfileString("Profile 7", "ProfName", "New"));
        ASSERT_TRUE(other.WriteProfileString("Profile 7", "NetName", "echo"));
    }
    theApp.OnMainTick();
    EXPECT_EQ(mngr.GetCount(), 4);
    ASSERT_NE(mngr.GetProfile("New"), nullptr);
    // A record someone holds (an open editor) is the live one, with the stored values.
    EXPECT_EQ(mngr.GetProfile("B"), held);
    EXPECT_EQ(held->NetName, "bravo-2");
}

}  // namespace
}  // namespace wavory::test
