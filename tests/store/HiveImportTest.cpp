// Import of binary registry hives, made here with hivexsh from the empty hive of the test data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "RegTestSupport.h"
#include "store/RegFile.h"
#include "store/SqliteRegistry.h"

namespace wavory {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const std::string kEmptyHive =
    (std::filesystem::path(__FILE__).parent_path() / "data" / "minimal.hive").string();

class HiveImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v hivexsh >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "hivexsh is not installed";
    }

    // A copy of the empty hive changed by a hivexsh script.
    std::string MakeHive(const std::string& name, const std::string& script) {
        const std::string hive = m_Dir.Path(name);
        std::filesystem::copy_file(kEmptyHive, hive);
        std::filesystem::permissions(hive, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        WriteBytes(m_Dir.Path("script"), script + "commit\n");
        const std::string cmd = "hivexsh -w -f '" + m_Dir.Path("script") + "' '" + hive + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return hive;
    }

    test::CScratchDir m_Dir;
    CSqliteRegistry m_Reg{m_Dir.Path("settings.db")};
};

// Root values (one of them the default value), two profiles and a key below one of them. hivexsh
// takes non-ASCII strings as bytes: "Café Ω" in UTF-16LE with its terminator.
constexpr const char* kHiveScript =
    "setval 3\n"
    "NumOfProfiles\ndword:2\n"
    "ConnectedStation\nstring:AP;6\n"
    "@\nstring:default\n"
    "add Profile 0\n"
    "cd Profile 0\n"
    "setval 5\n"
    "ProfName\nhex:1:43,00,61,00,66,00,e9,00,20,00,a9,03,00,00\n"
    "Priority\ndword:0xffffffff\n"
    "PhyType\nstring:2\n"
    "Sec Key 0\nexpandstring:0123456789\n"
    "Blob\nhex:3:01,02\n"
    "cd ..\n"
    "add Profile 1\n"
    "cd Profile 1\n"
    "setval 1\n"
    "NetName\nstring:net\n"
    "add Extra\n"
    "cd Extra\n"
    "setval 1\n"
    "MaxNetRate\ndword:27000000\n";

TEST_F(HiveImportTest, ValuesAndSubkeysImport) {
    const std::string hive = MakeHive("all.hive", kHiveScript);
    ASSERT_TRUE(ReadBytes(hive).starts_with("regf"));
    m_Reg.WriteProfileString("Import\\Stale", "ProfName", "old");

    ASSERT_EQ(m_Reg.RestoreKey("Import", hive), REG_OK);
    EXPECT_EQ(m_Reg.GetProfileInt("Import", "NumOfProfiles", 0), 2);
    EXPECT_EQ(m_Reg.GetProfileString("Import", "ConnectedStation", ""), "AP;6");
    EXPECT_EQ(m_Reg.GetProfileString("Import\\Profile 0", "ProfName", ""), "Caf\xC3\xA9 \xCE\xA9");
    EXPECT_EQ(m_Reg.GetProfileInt("Import\\Profile 0", "Priority", 0), -1);
    EXPECT_EQ(m_Reg.GetProfileInt("Import\\Profile 0", "PhyType", 0), 2);
    EXPECT_EQ(m_Reg.GetProfileString("Import\\Profile 0", "Sec Key 0", ""), "0123456789");
    EXPECT_EQ(m_Reg.GetProfileString("Import\\Profile 0", "Blob", "none"), "none");
    EXPECT_EQ(m_Reg.GetProfileString("Import\\Profile 1", "NetName", ""), "net");
    EXPECT_EQ(m_Reg.GetProfileInt("Import\\Profile 1\\Extra", "MaxNetRate", 0), 27000000);
    EXPECT_EQ(m_Reg.SubKeys("Import"), (std::vector<std::string>{"Profile 0", "Profile 1"}));

    // Exported again, the values carry the kinds of the utility.
    SRegKey tree;
    ASSERT_EQ(m_Reg.SaveKey("Import", m_Dir.Path("again.reg"), false), REG_OK);
    ASSERT_EQ(ReadRegFile(m_Dir.Path("again.reg"), tree), REG_OK);
    EXPECT_EQ(*tree.FindSubKey("Profile 0")->FindValue("PhyType"), SRegValue::Dword(2));
    EXPECT_EQ(*tree.FindSubKey("Profile 0")->FindValue("Priority"), SRegValue::Dword(0xFFFFFFFF));
}

TEST_F(HiveImportTest, DamagedHivesChangeNothing) {
    std::string script = "add Profile 0\ncd Profile 0\nsetval 1\nNetName\nstring:x\ncd ..\n";
    for (int i = 1; i < 40; ++i) {  // enough keys for a second block of cells
        script += "add Key " + std::to_string(i) + "\ncd Key " + std::to_string(i) +
                  "\nsetval 1\nProfName\nstring:" + std::string(200, 'p') + "\ncd ..\n";
    }
    const std::string good = ReadBytes(MakeHive("good.hive", script));
    ASSERT_GT(good.size(), 8192u);
    m_Reg.WriteProfileString("Import", "ProfName", "before");

    const std::string bad = m_Dir.Path("bad.hive");
    for (size_t cut : {size_t{4100}, size_t{8192}, good.size() - 4096, good.size() - 100}) {
        WriteBytes(bad, good.substr(0, cut));
        EXPECT_EQ(m_Reg.RestoreKey("Import", bad), REG_ERROR_INVALID_DATA) << "cut at " << cut;
    }
    WriteBytes(bad, "regf" + std::string(5000, '\x7f'));
    EXPECT_EQ(m_Reg.RestoreKey("Import", bad), REG_ERROR_INVALID_DATA);

    EXPECT_EQ(m_Reg.GetProfileString("Import", "ProfName", ""), "before");
    EXPECT_TRUE(m_Reg.SubKeys("Import").empty());
}

}  // namespace
}  // namespace wavory
