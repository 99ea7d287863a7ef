// The settings store when things go wrong around it: a damaged file, a read-only file, folder or
// file system, another program holding the write lock, deleted secrets left on disk, and its copies.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RegTestSupport.h"
#include "store/SqliteRegistry.h"
#include "store/StoreCopies.h"

namespace wavory {
namespace {

using test::CScratchDir;
using test::Mode;
using test::ReadBytes;
using test::WriteBytes;

constexpr size_t kPage = 4096;

class StoreSafetyTest : public ::testing::Test {
protected:
    std::string Folder() const { return m_Dir.Path("Wavory"); }
    std::string DbPath() const { return Folder() + "/settings.db"; }

    // A store of many profiles (several pages of each table), with a copy made of it, and one value
    // changed after the copy.
    void StoreWithCopy() {
        SStoreOpening opening = OpenSettingsStore(Folder());
        ASSERT_NE(opening.store, nullptr) << opening.error;
        CSqliteRegistry& store = *opening.store;
        store.BeginUpdate();
        for (int i = 0; i < 300; ++i) {
            const std::string section = "Profile " + std::to_string(i);
            store.WriteProfileString(section, "ProfName", "Name " + std::to_string(i));
            store.WriteProfileString(section, "NetName", "Network " + std::to_string(i));
            store.WriteProfileString(section, "Sec Key 0", "1A2B3C4D5E");
        }
        store.WriteProfileInt("", "Polling Interval", 10000);
        ASSERT_TRUE(store.EndUpdate());
        ASSERT_EQ(MakeStoreCopy(store, "backup"), REG_OK);
        ASSERT_TRUE(store.WriteProfileInt("", "Polling Interval", 20000));
    }

    // Files of the folder whose names start with this.
    std::vector<std::string> Kept(const std::string& start) const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(Folder()))
            if (e.path().filename().string().starts_with(start)) found.push_back(e.path().string());
        return found;
    }

    CScratchDir m_Dir;
};

// Flipped bytes in the middle of the file, a cut file, and garbage: each is noticed when the store is
// opened, the damaged file is kept as it was, the last copy takes its place and the user is told
// where the damaged file is. No default is written over what was there.
TEST_F(StoreSafetyTest, ADamagedStoreIsKeptAsideAndTheLastCopyRestored) {
    struct SDamage {
        const char* what;
        std::string (*apply)(std::string);
    };
    const SDamage damages[] = {
        {"flipped page",
         [](std::string b) {
             const size_t page = (b.size() / kPage / 2) * kPage;
             for (size_t i = page; i < page + kPage && i < b.size(); ++i)
                 b[i] = static_cast<char>(b[i] ^ 0xA5);
             return b;
         }},
        {"cut in half", [](std::string b) { return b.substr(0, (b.size() / kPage / 2) * kPage + 100); }},
        {"garbage", [](std::string b) { return std::string(b.size(), '\x5A'); }},
    };
    for (const SDamage& damage : damages) {
        std::filesystem::remove_all(Folder());
        ASSERT_NO_FATAL_FAILURE(StoreWithCopy());
        ASSERT_FALSE(std::filesystem::exists(DbPath() + "-wal")) << "the store was not closed";
        const std::string damaged = damage.apply(ReadBytes(DbPath()));
        WriteBytes(DbPath(), damaged);

        SStoreOpening opening = OpenSettingsStore(Folder());
        ASSERT_NE(opening.store, nullptr) << damage.what << ": " << opening.error;
        EXPECT_TRUE(opening.damaged) << damage.what;
        const std::vector<std::string> kept = Kept("settings.db.damaged-");
        ASSERT_EQ(kept.size(), 1u) << damage.what;
        EXPECT_EQ(ReadBytes(kept.front()), damaged) << damage.what;
        EXPECT_NE(opening.notice.find(kept.front()), std::string::npos) << opening.notice;
        // The copy's state: the change made after it is gone, everything before it is there.
        CSqliteRegistry& store = *opening.store;
        EXPECT_EQ(store.GetProfileInt("", "Polling Interval", 0), 10000) << damage.what;
        EXPECT_EQ(store.SubKeys("").size(), 300u) << damage.what;
        EXPECT_EQ(store.GetProfileString("Profile 299", "NetName", ""), "Network 299") << damage.what;
    }
}

TEST_F(StoreSafetyTest, ADamagedStoreWithoutCopyIsKeptAndTheSettingsStartEmpty) {
    {
        CSqliteRegistry store(DbPath());
        ASSERT_TRUE(store.WriteProfileString("Profile 0", "ProfName", "Home"));
    }
    WriteBytes(DbPath(), "not a database, but the user's file all the same" + std::string(5000, '\1'));
    SStoreOpening opening = OpenSettingsStore(Folder());
    ASSERT_NE(opening.store, nullptr) << opening.error;
    EXPECT_TRUE(opening.damaged);
    EXPECT_NE(opening.notice.find("no copy"), std::string::npos) << opening.notice;
    EXPECT_EQ(Kept("settings.db.damaged-").size(), 1u);
    EXPECT_TRUE(opening.store->IsEmpty());
}

// Copies: the newest few are kept, newest first, also several in one second; the day's copy is made
// once a day.
TEST_F(StoreSafetyTest, CopiesRotateAndTheDaysCopyIsMadeOnce) {
    SStoreOpening opening = OpenSettingsStore(Folder());
    ASSERT_NE(opening.store, nullptr);
    CSqliteRegistry& store = *opening.store;
    EXPECT_TRUE(ListStoreCopies(DbPath()).empty()) << "a copy of an empty store";
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(store.WriteProfileInt("", "Polling Interval", 1000 * (i + 1)));
        ASSERT_EQ(MakeStoreCopy(store, i % 2 ? "import" : "backup"), REG_OK);
    }
    const std::vector<SStoreCopy> copies = ListStoreCopies(DbPath());
    ASSERT_EQ(copies.size(), kKeptStoreCopies);
    SRegKey newest;
    ASSERT_EQ(CSqliteRegistry::ReadStoreFile(copies.front().path, newest, nullptr), REG_OK);
    EXPECT_EQ(*newest.FindValue("Polling Interval"), SRegValue::Dword(8000));
    EXPECT_EQ(copies.front().reason, "import");
    EXPECT_EQ(Mode(copies.front().path), 0600u);
    EXPECT_EQ(Mode(StoreCopiesFolder(DbPath())), 0700u);

    opening.store.reset();
    std::filesystem::remove_all(StoreCopiesFolder(DbPath()));
    for (int i = 0; i < 2; ++i) ASSERT_NE(OpenSettingsStore(Folder()).store, nullptr);
    const std::vector<SStoreCopy> daily = ListStoreCopies(DbPath());
    ASSERT_EQ(daily.size(), 1u);
    EXPECT_EQ(daily.front().reason, "daily");
}

// A store file handed to `restore` is checked first; a sound one replaces what is stored as one
// change that another connection notices.
TEST_F(StoreSafetyTest, RestoreTakesOnlyASoundStoreFile) {
    ASSERT_NO_FATAL_FAILURE(StoreWithCopy());
    const std::string copy = ListStoreCopies(DbPath()).front().path;
    CSqliteRegistry store(DbPath());
    CSqliteRegistry other(DbPath());
    const uint64_t seen = other.ChangeCount();
    ASSERT_TRUE(store.WriteProfileString("Profile 1000", "ProfName", "Added after the copy"));

    const std::string garbage = m_Dir.Path("garbage.db");
    WriteBytes(garbage, std::string(8192, 'x'));
    std::string findings;
    EXPECT_EQ(store.RestoreFrom(garbage, &findings), REG_ERROR_BADDB);
    EXPECT_FALSE(findings.empty());
    EXPECT_TRUE(store.KeyExists("Profile 1000"));

    ASSERT_EQ(store.RestoreFrom(copy, &findings), REG_OK) << findings;
    EXPECT_FALSE(store.KeyExists("Profile 1000"));
    EXPECT_EQ(store.GetProfileInt("", "Polling Interval", 0), 10000);
    EXPECT_GT(other.ChangeCount(), seen);
    EXPECT_EQ(other.GetProfileInt("", "Polling Interval", 0), 10000);
}

// A deleted profile's key is gone from the file, not only from the tables.
TEST_F(StoreSafetyTest, DeletedSecretsAreWipedFromTheFile) {
    const std::string secret = "5EC12E7DEADBEEF0123456789A";
    {
        CSqliteRegistry store(DbPath());
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(store.WriteProfileString("Profile " + std::to_string(i), "Sec Key 1",
                                                 i == 7 ? secret : "0123456789ABCDEF0123456789"));
    }
    ASSERT_NE(ReadBytes(DbPath()).find(secret), std::string::npos);
    {
        CSqliteRegistry store(DbPath());
        ASSERT_EQ(store.DeleteKeyTree("Profile 7"), REG_OK);
    }
    for (const char* file : {"", "-wal"})
        EXPECT_EQ(ReadBytes(DbPath() + file).find(secret), std::string::npos) << file;
}

// Another program (stopped, say) holding the write lock keeps nobody from starting and reading; a
// change waits for it and then fails as "busy", storing nothing.
TEST_F(StoreSafetyTest, AHeldWriteLockBlocksOnlyChanges) {
    {
        CSqliteRegistry store(DbPath());
        ASSERT_TRUE(store.WriteProfileString("Profile 0", "ProfName", "Home"));
    }
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        CSqliteRegistry store(DbPath());
        store.BeginUpdate();
        store.WriteProfileString("Profile 0", "NetName", "never committed");
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));

    ::setenv("WAVORY_STORE_BUSY_MS", "300", 1);
    {
        CSqliteRegistry store(DbPath());
        EXPECT_TRUE(store.IsOpen()) << store.Error();
        EXPECT_EQ(store.GetProfileString("Profile 0", "ProfName", ""), "Home");
        EXPECT_FALSE(store.WriteProfileInt("", "Polling Interval", 5000));
        EXPECT_EQ(store.LastError(), REG_ERROR_BUSY);
    }
    ::unsetenv("WAVORY_STORE_BUSY_MS");
    ::kill(holder, SIGKILL);
    ::waitpid(holder, &status, 0);
    CSqliteRegistry store(DbPath());
    EXPECT_EQ(store.GetProfileString("Profile 0", "NetName", "absent"), "absent");
    EXPECT_TRUE(store.WriteProfileInt("", "Polling Interval", 5000));
}

// What the owner made read-only stays so: the store opens, shows everything and refuses changes;
// no mode is changed. (Root passes permission bits: it gets a read-only file system instead.)
TEST_F(StoreSafetyTest, AReadOnlyStoreShowsEverythingAndChangesNothing) {
    {
        CSqliteRegistry store(DbPath());
        ASSERT_TRUE(store.WriteProfileString("Profile 0", "ProfName", "Home"));
    }
    auto expectReadOnly = [&](const std::string& what) {
        const std::string before = ReadBytes(DbPath());
        CSqliteRegistry store(DbPath());
        ASSERT_TRUE(store.IsOpen()) << what << ": " << store.Error();
        EXPECT_FALSE(store.IsWritable()) << what;
        EXPECT_FALSE(store.ReadOnlyReason().empty()) << what;
        EXPECT_EQ(store.GetProfileString("Profile 0", "ProfName", ""), "Home") << what;
        EXPECT_FALSE(store.WriteProfileString("Profile 0", "ProfName", "Changed")) << what;
        EXPECT_EQ(store.LastError(), REG_ERROR_WRITE_PROTECT) << what;
        EXPECT_EQ(store.DeleteKeyTree("Profile 0"), REG_ERROR_WRITE_PROTECT) << what;
        EXPECT_EQ(ReadBytes(DbPath()), before) << what;
    };
    if (::geteuid() != 0) {
        std::filesystem::permissions(DbPath(), std::filesystem::perms::owner_read);
        expectReadOnly("read-only file");
        EXPECT_EQ(Mode(DbPath()), 0400u);
        std::filesystem::permissions(
            DbPath(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        std::filesystem::permissions(Folder(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        expectReadOnly("read-only folder");
        EXPECT_EQ(Mode(Folder()), 0500u);
        std::filesystem::permissions(Folder(), std::filesystem::perms::owner_all);
        return;
    }
    // A file system of its own, remounted read-only.
    const std::string mountPoint = m_Dir.Path("ro");
    std::filesystem::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a file system here";
    std::filesystem::copy(Folder(), mountPoint + "/Wavory");
    ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    {
        const std::string before = ReadBytes(mountPoint + "/Wavory/settings.db");
        CSqliteRegistry store(mountPoint + "/Wavory/settings.db");
        ASSERT_TRUE(store.IsOpen()) << store.Error();
        EXPECT_FALSE(store.IsWritable());
        EXPECT_NE(store.ReadOnlyReason().find("read-only file system"), std::string::npos)
            << store.ReadOnlyReason();
        EXPECT_EQ(store.GetProfileString("Profile 0", "ProfName", ""), "Home");
        EXPECT_FALSE(store.WriteProfileString("Profile 0", "ProfName", "Changed"));
        EXPECT_EQ(store.LastError(), REG_ERROR_WRITE_PROTECT);
    }
    ::umount2(mountPoint.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace wavory
