// The settings store against its real INI file.
#include "platform/SettingsRegistry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <thread>

#include "RegTestSupport.h"
#include "base/RegistrySchema.h"

namespace wavory {
namespace {

using test::ReadBytes;
using test::WriteBytes;

class SettingsRegistryTest : public ::testing::Test {
protected:
    // A copy of the file opened by a second store: it sees only what reached the disk, not what
    // this process holds in memory.
    std::string CopyOfFile() {
        const std::string copy = m_Dir.Path("copy-" + std::to_string(++m_nCopies) + ".conf");
        std::filesystem::copy_file(m_strFile, copy);
        return copy;
    }

    test::CScratchDir m_Dir;
    std::string m_strFile = m_Dir.Path("Wavory/Wavory Utility.conf");
    int m_nCopies = 0;
};

TEST_F(SettingsRegistryTest, AbsentValuesGiveTheDefaultOfEachCall) {
    CSettingsRegistry reg(m_strFile);
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "PhyType", 1), 1);
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "PhyType", 7), 7);
    EXPECT_EQ(reg.GetProfileString("", "ConnectedStation", "none"), "none");

    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "PhyType", 2));
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "PhyType", 1), 2);
    EXPECT_EQ(reg.GetProfileInt("Profile 1", "PhyType", 1), 1);
    EXPECT_EQ(reg.GetProfileInt("", "PhyType", 1), 1);

    // A text that is no number reads as the default.
    ASSERT_TRUE(reg.WriteProfileString("", "Utilization", "fast"));
    EXPECT_EQ(reg.GetProfileInt("", "Utilization", 3), 3);
}

TEST_F(SettingsRegistryTest, DefaultStoreIsPrivateFileInXdgConfigHome) {
    const std::string folder = test::TempHome() + "/Wavory";
    std::filesystem::remove_all(folder);
    {
        CSettingsRegistry reg;
        EXPECT_EQ(reg.FileName(), folder + "/Wavory Utility.conf");
        ASSERT_TRUE(reg.WriteProfileString("Profile 0", "Sec Key 0", "0123456789"));
        EXPECT_EQ(test::Mode(reg.FileName()), 0600u);
        EXPECT_EQ(test::Mode(folder), 0700u);
    }
    std::filesystem::remove_all(folder);
}

TEST_F(SettingsRegistryTest, WiderFileModeIsNarrowed) {
    {
        CSettingsRegistry reg(m_strFile);
        ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 0));
    }
    ::chmod(m_strFile.c_str(), 0644);
    CSettingsRegistry reg(m_strFile);
    EXPECT_EQ(test::Mode(m_strFile), 0600u);
    ::chmod(m_strFile.c_str(), 0666);
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 1));
    EXPECT_EQ(test::Mode(m_strFile), 0600u);
}

TEST_F(SettingsRegistryTest, IntegersAreStoredAsDwords) {
    CSettingsRegistry reg(m_strFile);
    for (int value : {0, 1, -1, 27000000, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "Priority", value));
        CSettingsRegistry copy(CopyOfFile());
        EXPECT_EQ(copy.GetProfileInt("Profile 0", "Priority", 5), value);
    }
    ASSERT_TRUE(reg.WriteProfileInt("Profile 0", "Priority", -1));
    EXPECT_NE(ReadBytes(m_strFile).find("Priority=4294967295\n"), std::string::npos);

    // Both spellings of a DWORD read back; what no DWORD can hold reads as the default.
    WriteBytes(m_strFile, "[Profile%200]\nPriority=-1\nPhyChnl=4294967295\nMaxFragment=4294967296\n");
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "Priority", 0), -1);
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "PhyChnl", 0), -1);
    EXPECT_EQ(reg.GetProfileInt("Profile 0", "MaxFragment", 9), 9);
}

TEST_F(SettingsRegistryTest, TextsRoundTripThroughTheFile) {
    const std::vector<std::string> texts = {"say \"hi\"",
                                            "C:\\path\\to\\",
                                            "--",
                                            "Caf\xC3\xA9 \xE2\x98\x95 \xE6\x97\xA5\xF0\x9F\x98\x80",
                                            "  padded  ",
                                            "a=b;c#d",
                                            "x, y",
                                            "@Variant(0)",
                                            "[General]",
                                            "",
                                            "tab\there",
                                            "two\nlines\r",
                                            "%20 %41",
                                            "\\\"",
                                            "; not a comment"};
    CSettingsRegistry reg(m_strFile);
    reg.BeginUpdate();
    for (size_t i = 0; i < texts.size(); ++i) {
        reg.WriteProfileString("Profile " + std::to_string(i), "NetName", texts[i]);
    }
    reg.WriteProfileString("Import\\Profil \xC3\xA9", "Sec Key 3", texts[3]);
    ASSERT_TRUE(reg.EndUpdate());

    CSettingsRegistry copy(CopyOfFile());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(copy.GetProfileString("Profile " + std::to_string(i), "NetName", "absent"), texts[i]) << i;
    }
    EXPECT_EQ(copy.GetProfileString("Import\\Profil \xC3\xA9", "Sec Key 3", ""), texts[3]);
}

TEST_F(SettingsRegistryTest, ReadsSeeChangesOfOtherProcesses) {
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileInt("", "Polling Interval", 10000));
    EXPECT_EQ(reg.GetProfileInt("", "Polling Interval", 0), 10000);

    // The command-line tool rewrites the file.
    WriteBytes(m_strFile, "[General]\nPolling%20Interval=25000\nView%20AP%20or%20NET=1\n");
    EXPECT_EQ(reg.GetProfileInt("", "Polling Interval", 0), 25000);
    EXPECT_EQ(reg.GetProfileInt("", "View AP or NET", 0), 1);
    EXPECT_TRUE(reg.KeyExists(""));
    EXPECT_TRUE(reg.SubKeys("").empty());
}

TEST_F(SettingsRegistryTest, UpdateWritesTheFileOnceAtTheEnd) {
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 0));
    const std::string before = ReadBytes(m_strFile);
    test::CFileWrites writes(m_Dir.Path("Wavory"), "Wavory Utility.conf");

    reg.BeginUpdate();
    reg.BeginUpdate();
    for (int p = 0; p < 100; ++p) {
        const std::string section = "Profile " + std::to_string(p);
        for (const SRegSchemaEntry& e : RegistrySchema().first(27)) {
            const bool ok = e.type == ERegType::Sz ? reg.WriteProfileString(section, e.name, section)
                                                   : reg.WriteProfileInt(section, e.name, p);
            ASSERT_TRUE(ok);
        }
    }
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 100));
    EXPECT_TRUE(reg.EndUpdate());  // the inner one: still collecting
    EXPECT_EQ(reg.GetProfileString("Profile 99", "ProfName", ""), "Profile 99");
    EXPECT_EQ(writes.Count(), 0);
    EXPECT_EQ(ReadBytes(m_strFile), before);

    EXPECT_TRUE(reg.EndUpdate());
    EXPECT_EQ(writes.Count(), 1);
    CSettingsRegistry copy(CopyOfFile());
    EXPECT_EQ(copy.GetProfileInt("", "NumOfProfiles", 0), 100);
    EXPECT_EQ(copy.GetProfileInt("Profile 42", "Priority", 0), 42);
    EXPECT_EQ(copy.GetProfileString("Profile 42", "Sec Key 3", ""), "Profile 42");

    EXPECT_FALSE(reg.EndUpdate());  // no update open
}

TEST_F(SettingsRegistryTest, FailedWritesReachTheCaller) {
    // The file's place is taken by a folder: nothing can be written there, not even by root.
    std::filesystem::create_directories(m_strFile);
    CSettingsRegistry reg(m_strFile);
    EXPECT_FALSE(reg.WriteProfileInt("", "Polling Interval", 5000));
    EXPECT_FALSE(reg.WriteProfileString("", "ConnectedStation", "AP;6"));
    reg.BeginUpdate();
    EXPECT_TRUE(reg.WriteProfileInt("Profile 0", "PhyType", 2));  // only collected
    EXPECT_FALSE(reg.EndUpdate());

    // Once the file can be written again, so can the store: the failure is not remembered.
    std::filesystem::remove(m_strFile);
    EXPECT_TRUE(reg.WriteProfileInt("", "Polling Interval", 6000));
    CSettingsRegistry copy(CopyOfFile());
    EXPECT_EQ(copy.GetProfileInt("", "Polling Interval", 0), 6000);

    // A regular file where the settings folder belongs.
    WriteBytes(m_Dir.Path("NotAFolder"), "x");
    CSettingsRegistry blocked(m_Dir.Path("NotAFolder/Wavory Utility.conf"));
    EXPECT_FALSE(blocked.WriteProfileInt("", "Active", 1));
}

TEST_F(SettingsRegistryTest, FullDiskFailsTheWrite) {
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "kept"));
    {
        test::CFileSizeLimit limit(2048);
        reg.BeginUpdate();
        for (int i = 0; i < 40; ++i) {
            reg.WriteProfileString("Profile " + std::to_string(i), "NetName", std::string(60, 'n'));
        }
        EXPECT_FALSE(reg.EndUpdate());
        EXPECT_FALSE(reg.WriteProfileString("Profile 0", "Sec Key 0", std::string(3000, 'k')));
        EXPECT_EQ(reg.DeleteKey("Profile 0"), REG_ERROR_WRITE_FAULT);
    }
    // With room again the collected values reach the file with the next write.
    EXPECT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 40));
    CSettingsRegistry copy(CopyOfFile());
    EXPECT_EQ(copy.GetProfileString("Profile 39", "NetName", ""), std::string(60, 'n'));
}

TEST_F(SettingsRegistryTest, ReadOnlyFileFailsTheWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes files regardless of their mode";
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileInt("", "Active", 0));
    ::chmod(m_strFile.c_str(), 0400);
    EXPECT_FALSE(reg.WriteProfileInt("", "Active", 1));
    reg.BeginUpdate();
    reg.WriteProfileInt("", "Scan-Band", 2);
    EXPECT_FALSE(reg.EndUpdate());
}

TEST_F(SettingsRegistryTest, KeysExistWhileTheyHoldSomething) {
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 1));
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "home"));
    for (const char* sub : {"Profile 10", "Profile 9", "Profile 2"}) {
        ASSERT_TRUE(reg.WriteProfileString(std::string("Import\\") + sub, "ProfName", sub));
    }

    EXPECT_TRUE(reg.KeyExists(""));
    EXPECT_TRUE(reg.KeyExists("Profile 0"));
    EXPECT_TRUE(reg.KeyExists("Import"));  // subkeys only
    EXPECT_TRUE(reg.KeyExists("Import\\Profile 9"));
    EXPECT_FALSE(reg.KeyExists("Profile 1"));
    EXPECT_FALSE(reg.KeyExists("Import\\Profile 9\\Deeper"));
    EXPECT_EQ(reg.SubKeys("Import"), (std::vector<std::string>{"Profile 2", "Profile 9", "Profile 10"}));
    EXPECT_EQ(reg.SubKeys(""), (std::vector<std::string>{"Import", "Profile 0"}));
    EXPECT_TRUE(reg.SubKeys("Missing").empty());
}

TEST_F(SettingsRegistryTest, DeleteKeyRefusesKeysWithSubkeys) {
    CSettingsRegistry reg(m_strFile);
    ASSERT_TRUE(reg.WriteProfileInt("", "NumOfProfiles", 1));
    ASSERT_TRUE(reg.WriteProfileString("Profile 0", "ProfName", "home"));
    ASSERT_TRUE(reg.WriteProfileInt("Import", "NumOfProfiles", 2));
    ASSERT_TRUE(reg.WriteProfileString("Import\\Profile 0", "ProfName", "a"));
    ASSERT_TRUE(reg.WriteProfileString("Import\\Profile 1", "ProfName", "b"));

    EXPECT_EQ(reg.DeleteKey("Missing"), REG_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.DeleteKey("Import"), REG_ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.GetProfileInt("Import", "NumOfProfiles", 0), 2);
    EXPECT_EQ(reg.GetProfileString("Import\\Profile 1", "ProfName", ""), "b");

    // Cleared leaf first, as the profile manager clears a tree.
    for (auto subs = reg.SubKeys("Import"); !subs.empty(); subs = reg.SubKeys("Import")) {
        ASSERT_EQ(reg.DeleteKey("Import\\" + subs.front()), REG_OK);
    }
    EXPECT_EQ(reg.DeleteKey("Import"), REG_OK);
    EXPECT_FALSE(reg.KeyExists("Import"));
    EXPECT_EQ(reg.GetProfileString("Profile 0", "ProfName", ""), "home");

    EXPECT_EQ(reg.DeleteKey(""), REG_ERROR_ACCESS_DENIED);
    ASSERT_EQ(reg.DeleteKey("Profile 0"), REG_OK);
    EXPECT_EQ(reg.DeleteKey(""), REG_OK);
    CSettingsRegistry copy(CopyOfFile());
    EXPECT_EQ(copy.GetProfileInt("", "NumOfProfiles", -5), -5);
    EXPECT_FALSE(copy.KeyExists("Profile 0"));
}

TEST_F(SettingsRegistryTest, NamesTheStoreCannotHoldAreRefused) {
    CSettingsRegistry reg(m_strFile);
    EXPECT_FALSE(reg.WriteProfileInt("a/b", "PhyType", 1));
    EXPECT_FALSE(reg.WriteProfileInt("Profile 0", "", 1));
    EXPECT_FALSE(reg.WriteProfileString("Profile 0", "Net/Name", "x"));
    EXPECT_FALSE(reg.WriteProfileString("Import\\\\Profile 0", "NetName", "x"));
    EXPECT_FALSE(reg.KeyExists("a"));
    EXPECT_EQ(reg.GetProfileInt("a/b", "PhyType", 4), 4);

    reg.BeginUpdate();
    EXPECT_TRUE(reg.WriteProfileInt("Profile 0", "PhyType", 1));
    EXPECT_FALSE(reg.WriteProfileInt("Profile 0", "", 1));
    EXPECT_FALSE(reg.EndUpdate());
}

TEST_F(SettingsRegistryTest, InterfaceAndPollingThreadsShareTheStore) {
    CSettingsRegistry reg(m_strFile);
    auto worker = [&](const std::string& section, bool batched) {
        for (int i = 0; i < 20; ++i) {
            if (batched) reg.BeginUpdate();
            reg.WriteProfileInt(section, "PhyChnl", i);
            reg.WriteProfileString(section, "NetName", section + std::to_string(i));
            if (batched) reg.EndUpdate();
            EXPECT_EQ(reg.GetProfileInt(section, "PhyChnl", -1), i);
            reg.SubKeys("");
        }
    };
    std::thread poll(worker, "Profile 1", false);
    worker("Profile 0", true);
    poll.join();
    CSettingsRegistry copy(CopyOfFile());
    EXPECT_EQ(copy.GetProfileString("Profile 0", "NetName", ""), "Profile 019");
    EXPECT_EQ(copy.GetProfileString("Profile 1", "NetName", ""), "Profile 119");
}

}  // namespace
}  // namespace wavory
