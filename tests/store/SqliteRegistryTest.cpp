// The settings store against a real database in a temporary folder: exact values, private files,
// other programs' changes, and transactions that other processes and a kill cannot break.
#include "store/SqliteRegistry.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "RegTestSupport.h"
#include "store/RegFile.h"

namespace wavory {
namespace {

using test::CScratchDir;
using test::Mode;

// Network names that are no UTF-8 and texts with a NUL: a store that decodes them loses bytes.
const std::string kRawSsids[] = {std::string("Caf\xE9"), std::string("\xC3\x28\xFF"), std::string("a\0b", 3),
                                 std::string("\xF0\x9F\x93\xB6 ok"), std::string()};

class SqliteRegistryTest : public ::testing::Test {
protected:
    std::string DbPath() const { return m_Dir.Path("Wavory/settings.db"); }
    CScratchDir m_Dir;
};

TEST_F(SqliteRegistryTest, ValuesComeBackByteForByteWithTheirKinds) {
    {
        CSqliteRegistry reg(DbPath());
        ASSERT_TRUE(reg.IsOpen()) << reg.Error();
        for (size_t i = 0; i < std::size(kRawSsids); ++i)
            ASSERT_TRUE(reg.WriteProfileString("Profile " + std::to_string(i), "NetName", kRawSsids[i]));
        ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "Priority", -1));
        ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 5));
    }
    CSqliteRegistry reg(DbPath());  // a new connection reads what the file holds
    for (size_t i = 0; i < std::size(kRawSsids); ++i)
        EXPECT_EQ(reg.GetProfileString("Profile " + std::to_string(i), "NetName", "?"), kRawSsids[i]) << i;
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "Priority", 0), -1);
    EXPECT_EQ(reg.GetProfileString("Profile 0", "Priority", "text?"), "text?");  // a dword is no text
    SRegKey tree;
    ASSERT_EQ(reg.ReadTree("Profile 0", tree), REG_OK);
    ASSERT_NE(tree.FindValue("Priority"), nullptr);
    EXPECT_EQ(*tree.FindValue("Priority"), SRegValue::Dword(0xFFFFFFFFu));
    EXPECT_EQ(*tree.FindValue("NetName"), SRegValue::Sz(kRawSsids[0]));
    // Names compare without regard to ASCII case, as in the registry.
    EXPECT_EQ(reg.GetProfileInt("profile 0", "PRIORITY", 0), -1);
}

// A few values of every subkey in one statement read as the values read one by one do: kinds,
// defaults, decimal text read as a number, names of another case, subkeys without values.
TEST_F(SqliteRegistryTest, SubKeyValuesReadAsSingleReadsDo) {
    CSqliteRegistry reg(DbPath());
    ASSERT_TRUE(reg.IsOpen()) << reg.Error();
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "Home"));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "Priority", -1));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "AutoSelect", 1));
    ASSERT_TRUE(reg.WriteProfileString("Profile 1", "PROFNAME", kRawSsids[2]));
    ASSERT_TRUE(reg.WriteProfileString("Profile 1", "Priority", " 7 "));
    ASSERT_TRUE(reg.WriteProfileString("Profile 1", "AutoSelect", "yes"));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 2", "ProfName", 3));         // a dword is no name
    ASSERT_TRUE(reg.WriteProfileInt("Profile 3\\Inner", "Priority", 9));  // Profile 3 holds no value
    ASSERT_TRUE(reg.WriteProfileString("Import\\Profile 0", "ProfName", "Staged"));
    const SRegRead reads[] = {{"ProfName", ERegType::Sz, 0, "none"},
                              {"Priority", ERegType::Dword, 42, ""},
                              {"AutoSelect", ERegType::Dword, 0, ""}};
    auto sorted = [](std::vector<SRegKey> keys) {
        std::sort(keys.begin(), keys.end(),
                  [](const SRegKey& a, const SRegKey& b) { return a.name < b.name; });
        return keys;
    };
    auto check = [&] {
        for (const std::string path : {"", "Import", "Profile 3"}) {
            const std::vector<SRegKey> one = sorted(reg.SubKeyValues(path, reads));
            EXPECT_EQ(one, sorted(reg.IRegistry::SubKeyValues(path, reads))) << path;
        }
    };
    check();
    const std::vector<SRegKey> keys = sorted(reg.SubKeyValues("", reads));
    ASSERT_EQ(keys.size(), 5u);  // Import and Profile 0 to 3
    EXPECT_EQ(keys[1].values[0].value, SRegValue::Sz("Home"));
    EXPECT_EQ(keys[1].values[1].value, SRegValue::Dword(0xFFFFFFFFu));
    EXPECT_EQ(keys[2].values[0].value, SRegValue::Sz(kRawSsids[2]));
    EXPECT_EQ(keys[2].values[1].value, SRegValue::Dword(7));
    EXPECT_EQ(keys[2].values[2].value, SRegValue::Dword(0));
    EXPECT_EQ(keys[3].values[0].value, SRegValue::Sz("none"));
    EXPECT_EQ(keys[4].values[1].value, SRegValue::Dword(42));
    EXPECT_TRUE(reg.SubKeyValues("Nowhere", reads).empty());

    // Inside a change, its own writes are read.
    reg.BeginUpdate();
    ASSERT_TRUE(reg.WriteProfileString("Profile 4", "ProfName", "Pending"));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "Priority", 2));
    check();
    reg.CancelUpdate();
    EXPECT_FALSE(reg.EndUpdate());
    check();
    EXPECT_EQ(reg.SubKeyValues("", reads).size(), 5u);
}

// One value written to many sections leaves the bytes a write of each would: read back at once
// (no stale cached value), by another connection, in a section made by it, and not at all when the
// change around it is cancelled.
TEST_F(SqliteRegistryTest, ANumberWrittenToManySectionsIsStoredAsEachWriteWould) {
    CSqliteRegistry reg(DbPath());
    ASSERT_TRUE(reg.IsOpen()) << reg.Error();
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "Home"));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "PRIORITY", 4));
    ASSERT_TRUE(reg.WriteProfileString("Profile 1", "Priority", "7"));
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "Priority", 0), 4);  // now cached
    const SRegDwordAt writes[] = {{"Profile 0", 3}, {"Profile 1", 0xFFFFFFFFu}, {"Profile 2", 5}};
    ASSERT_TRUE(reg.WriteDwordEach("Priority", writes));
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "Priority", 0), 3);
    EXPECT_EQ(reg.GetProfileInt("Profile 1", "Priority", 0), -1);
    EXPECT_EQ(reg.GetProfileInt("Profile 2", "Priority", 0), 5);
    EXPECT_EQ(reg.GetProfileString("Profile 0", "ProfName", ""), "Home");

    CSqliteRegistry other(DbPath());
    CSqliteRegistry expected(DbPath() + ".expected");
    for (const SRegDwordAt& w : writes)
        ASSERT_TRUE(expected.WriteProfileInt(w.section, "Priority", static_cast<int>(w.dword)));
    for (const char* section : {"Profile 1", "Profile 2"}) {
        SRegKey mine, theirs;
        ASSERT_EQ(other.ReadTree(section, mine), REG_OK);
        ASSERT_EQ(expected.ReadTree(section, theirs), REG_OK);
        EXPECT_EQ(mine, theirs) << section;
    }

    reg.BeginUpdate();
    const SRegDwordAt again[] = {{"Profile 0", 9}, {"Profile 3", 9}};
    ASSERT_TRUE(reg.WriteDwordEach("Priority", again));
    reg.CancelUpdate();
    reg.EndUpdate();
    EXPECT_EQ(other.GetProfileInt("Profile 0", "Priority", 0), 3);
    EXPECT_FALSE(other.KeyExists("Profile 3"));
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "Priority", 0), 3);
    const SRegDwordAt badPath[] = {{"Profile 0\\", 1}};
    EXPECT_FALSE(reg.WriteDwordEach("Priority", badPath));
}

TEST_F(SqliteRegistryTest, ExportAndImportKeepEveryByte) {
    CSqliteRegistry reg(DbPath());
    // (A text with a NUL has no place in a regedit file: it ends there. It is left out here.)
    for (size_t i = 0; i < std::size(kRawSsids); ++i) {
        if (kRawSsids[i].find('\0') != std::string::npos) continue;
        const std::string section = "Profile " + std::to_string(i);
        ASSERT_TRUE(reg.WriteProfileString(section, "NetName", kRawSsids[i]));
        ASSERT_TRUE(reg.WriteProfileString(section, "Sec Key 0",
                                           std::string(kRawSsids[i].rbegin(), kRawSsids[i].rend())));
    }
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 5));
    const std::string file = m_Dir.Path("all.reg");
    ASSERT_EQ(reg.SaveKey("", file, false), REG_OK);
    ASSERT_EQ(reg.RestoreKey("Import", file), REG_OK);
    for (size_t i = 0; i < std::size(kRawSsids); ++i) {
        if (kRawSsids[i].find('\0') != std::string::npos) continue;
        const std::string section = "Import\\Profile " + std::to_string(i);
        EXPECT_EQ(reg.GetProfileString(section, "NetName", "?"), kRawSsids[i]) << i;
        EXPECT_EQ(reg.GetProfileString(section, "Sec Key 0", "?"),
                  std::string(kRawSsids[i].rbegin(), kRawSsids[i].rend()));
    }
    EXPECT_EQ(reg.GetProfileInt("Import", "NumOfProfiles", 0), 5);
}

TEST_F(SqliteRegistryTest, FolderAndFilesArePrivateWhateverTheUmask) {
    const mode_t old = ::umask(0);
    {
        CSqliteRegistry reg(DbPath());
        ASSERT_TRUE(reg.IsOpen()) << reg.Error();
        ASSERT_TRUE(reg.WriteProfileString("Profile 0", "Sec Key 0", "1A2B3C4D5E"));
        EXPECT_EQ(Mode(m_Dir.Path("Wavory")), 0700u);
        for (const char* suffix : {"", "-wal", "-shm"}) EXPECT_EQ(Mode(DbPath() + suffix), 0600u) << suffix;
    }
    ::umask(old);
    // An own folder and file that others were let into are narrowed again.
    ASSERT_EQ(::chmod(m_Dir.Path("Wavory").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(DbPath().c_str(), 0666), 0);
    CSqliteRegistry reg(DbPath());
    ASSERT_TRUE(reg.IsOpen()) << reg.Error();
    EXPECT_EQ(Mode(m_Dir.Path("Wavory")), 0700u);
    EXPECT_EQ(Mode(DbPath()), 0600u);
}

TEST_F(SqliteRegistryTest, ALinkOrAnotherUsersFolderOrFileIsRefused) {
    ASSERT_EQ(::mkdir(m_Dir.Path("Wavory").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/etc/hostname", DbPath().c_str()), 0);
    {
        CSqliteRegistry reg(DbPath());
        EXPECT_FALSE(reg.IsOpen());
        EXPECT_NE(reg.Error().find("symbolic link"), std::string::npos) << reg.Error();
    }
    ASSERT_EQ(::unlink(DbPath().c_str()), 0);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root; run the tests as root";

    const uid_t other = 65534;  // nobody
    { CSqliteRegistry(DbPath()).WriteProfileInt("", "NumOfProfiles", 0); }
    ASSERT_EQ(::chown(DbPath().c_str(), other, other), 0);
    {
        CSqliteRegistry reg(DbPath());
        EXPECT_FALSE(reg.IsOpen());
        EXPECT_NE(reg.Error().find("belongs to another user"), std::string::npos) << reg.Error();
    }
    ASSERT_EQ(::chown(DbPath().c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(m_Dir.Path("Wavory").c_str(), other, other), 0);
    CSqliteRegistry reg(DbPath());
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_NE(reg.Error().find("settings folder"), std::string::npos) << reg.Error();
    EXPECT_NE(reg.Error().find("belongs to another user"), std::string::npos) << reg.Error();
}

TEST_F(SqliteRegistryTest, AnotherConnectionsChangeIsSeenAndCounted) {
    CSqliteRegistry window(DbPath());
    CSqliteRegistry command(DbPath());
    ASSERT_TRUE(window.WriteProfileInt("", "dBm-Percent", 0));
    const uint64_t seen = window.ChangeCount();
    EXPECT_EQ(window.ChangeCount(), seen);  // its own writes are no news
    ASSERT_TRUE(command.WriteProfileInt("", "dBm-Percent", 1));
    EXPECT_GT(window.ChangeCount(), seen);
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 1);
    // Inside a read group the store is looked at once, at its start.
    window.BeginRead();
    ASSERT_TRUE(command.WriteProfileInt("", "dBm-Percent", 0));
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 1);
    window.EndRead();
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 0);
}

// A watching store looks only after a notice; every commit of another program must give one.
TEST_F(SqliteRegistryTest, AWatchingStoreSeesEveryCommitOfAnotherProgramAfterItsNotice) {
    CSqliteRegistry window(DbPath());
    ASSERT_TRUE(window.WriteProfileInt("", "dBm-Percent", 0));
    window.SetLookAfterNoticeMs(0);  // only the notice itself makes it look
    const int fd = window.WatchChanges();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(window.WatchChanges(), fd);  // one watch
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 0);
    auto noticeWaits = [fd] {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1;
    };
    uint64_t seen = window.ChangeCount();
    for (int value : {1, 2, 3}) {
        {
            // A short-lived program: opens, writes once, closes (as wavoryctl does).
            CSqliteRegistry command(DbPath());
            ASSERT_TRUE(command.WriteProfileInt("", "dBm-Percent", value));
        }
        ASSERT_TRUE(noticeWaits()) << value;
        window.ChangesNoticed();
        EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), value);
        EXPECT_GT(window.ChangeCount(), seen) << value;
        seen = window.ChangeCount();
    }
    // Without the notice read, the cached value stands: the reads did not look at the files.
    {
        CSqliteRegistry command(DbPath());
        ASSERT_TRUE(command.WriteProfileInt("", "dBm-Percent", 9));
    }
    ASSERT_TRUE(noticeWaits());
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 3);
    window.ChangesNoticed();
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 9);
    // Its own writes stay visible to itself without any notice.
    ASSERT_TRUE(window.WriteProfileInt("", "dBm-Percent", 7));
    EXPECT_EQ(window.GetProfileInt("", "dBm-Percent", -1), 7);
}

TEST_F(SqliteRegistryTest, AnUpdateIsStoredWholeOrNotAtAll) {
    CSqliteRegistry reg(DbPath());
    reg.BeginUpdate();
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "Home"));
    reg.BeginUpdate();
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 1));
    EXPECT_TRUE(reg.EndUpdate());
    EXPECT_EQ(reg.GetProfileString("Profile 0", "ProfName", ""), "Home");  // seen inside the update
    reg.CancelUpdate();
    EXPECT_FALSE(reg.EndUpdate());
    EXPECT_FALSE(reg.KeyExists("Profile 0"));
    EXPECT_EQ(reg.GetProfileInt("", "NumOfProfiles", -1), -1);
    // A write the store refuses spoils its update.
    reg.BeginUpdate();
    ASSERT_TRUE(reg.WriteProfileString("Profile 1", "ProfName", "Work"));
    EXPECT_FALSE(reg.WriteProfileString("Bad\\\\Section", "ProfName", "x"));
    EXPECT_FALSE(reg.EndUpdate());
    EXPECT_FALSE(reg.KeyExists("Profile 1"));
}

TEST_F(SqliteRegistryTest, KeyTreeGoesInOneStepAndKeysBehaveAsRegistryKeys) {
    CSqliteRegistry reg(DbPath());
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(reg.WriteProfileInt("Import\\Profile " + std::to_string(i) + "\\Deep", "x", i));
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "x", 1));
    EXPECT_EQ(reg.DeleteKey("Import"), REG_ERROR_ACCESS_DENIED);  // it has subkeys
    EXPECT_EQ(reg.SubKeys("Import").size(), 300u);
    EXPECT_EQ(reg.SubKeys("Import")[10], "Profile 10");  // natural order
    EXPECT_EQ(reg.DeleteKeyTree("Import"), REG_OK);
    EXPECT_FALSE(reg.KeyExists("Import"));
    EXPECT_FALSE(reg.KeyExists("Import\\Profile 3\\Deep"));
    EXPECT_EQ(reg.DeleteKeyTree("Import"), REG_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.DeleteKeyTree(""), REG_ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.DeleteKey("Profile 0"), REG_OK);
    EXPECT_EQ(reg.DeleteKey("Profile 0"), REG_ERROR_FILE_NOT_FOUND);
}

TEST_F(SqliteRegistryTest, ReadOnlyStoreChangesNothing) {
    CSqliteRegistry reg(DbPath());
    ASSERT_TRUE(reg.WriteProfileInt("", "View AP or NET", 1));
    reg.SetDiscardWrites(true);
    EXPECT_TRUE(reg.WriteProfileInt("", "View AP or NET", 0));
    EXPECT_EQ(CSqliteRegistry(DbPath()).GetProfileInt("", "View AP or NET", -1), 1);
}

// Runs `work` in a child process; the store kills the child at its `step`-th write. True when the
// child ran to its end (no such step), false when it was killed.
template <typename F>
bool RunKilledAt(int step, F&& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        CSqliteRegistry::SetKillAtWrite(step);
        work();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return true;
}

TEST_F(SqliteRegistryTest, AKilledUpdateLeavesTheStoreAsItWas) {
    {
        CSqliteRegistry reg(DbPath());
        ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "Old"));
    }
    SRegKey before;
    ASSERT_EQ(CSqliteRegistry(DbPath()).ReadTree("", before), REG_OK);
    int step = 1;
    for (;; ++step) {
        const bool finished = RunKilledAt(step, [this] {
            CSqliteRegistry reg(DbPath());
            reg.BeginUpdate();
            reg.WriteProfileString("Profile 0", "ProfName", "New");
            for (int i = 0; i < 5; ++i) reg.WriteProfileInt("Profile 1", "Value " + std::to_string(i), i);
            reg.DeleteKey("Profile 0");
            reg.EndUpdate();
        });
        SRegKey now;
        CSqliteRegistry reg(DbPath());
        ASSERT_TRUE(reg.IsOpen()) << reg.Error();
        ASSERT_EQ(reg.ReadTree("", now), REG_OK);
        if (finished) {
            EXPECT_FALSE(reg.KeyExists("Profile 0"));
            EXPECT_EQ(reg.GetProfileInt("Profile 1", "Value 4", -1), 4);
            break;
        }
        EXPECT_EQ(now, before) << "killed at write " << step;
    }
    EXPECT_GT(step, 7);  // every write and the commit were a place to die
}

TEST_F(SqliteRegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    { CSqliteRegistry(DbPath()).WriteProfileInt("", "Counter", 0); }
    constexpr int kRounds = 150;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        if (children[c] == 0) {
            CSqliteRegistry reg(DbPath());
            for (int i = 0; i < kRounds; ++i) {
                // Read, then write what was read plus one: only whole transactions keep the count.
                reg.BeginUpdate();
                const int n = reg.GetProfileInt("", "Counter", -1000000);
                reg.WriteProfileInt("", "Counter", n + 1);
                reg.WriteProfileInt("Child " + std::to_string(c), "Round " + std::to_string(i), n);
                if (!reg.EndUpdate()) {
                    std::fprintf(stderr, "child %d, round %d: %s\n", c, i,
                                 reg.IsOpen() ? "not stored" : reg.Error().c_str());
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    CSqliteRegistry reg(DbPath());
    EXPECT_EQ(reg.GetProfileInt("", "Counter", 0), 2 * kRounds);
    // Each transaction saw the count the one before it left: every value was read exactly once.
    std::vector<int> seenCounts;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kRounds; ++i)
            seenCounts.push_back(
                reg.GetProfileInt("Child " + std::to_string(c), "Round " + std::to_string(i), -1));
    std::sort(seenCounts.begin(), seenCounts.end());
    for (int i = 0; i < 2 * kRounds; ++i) ASSERT_EQ(seenCounts[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace wavory
