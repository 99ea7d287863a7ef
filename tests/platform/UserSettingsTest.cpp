// Opening the user's store: the move of the first store's INI file (once, whole, the file kept; an
// unreadable one left where it is; keys that differ only in case merged).
#include "platform/UserSettings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSettings>
#include <filesystem>
#include <fstream>

#include "../store/RegTestSupport.h"

namespace wavory {
namespace {

using test::CScratchDir;

class UserSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strFolder = m_Dir.Path("Wavory");
        m_strIni = m_strFolder + "/Wavory Utility.conf";
        std::filesystem::create_directories(m_strFolder);
    }

    // The first store wrote integers as unsigned numbers and texts as they were.
    void WriteIni(const std::function<void(QSettings&)>& fill) {
        QSettings ini(QString::fromStdString(m_strIni), QSettings::IniFormat);
        fill(ini);
        ini.sync();
        ASSERT_EQ(ini.status(), QSettings::NoError);
    }

    CScratchDir m_Dir;
    std::string m_strFolder;
    std::string m_strIni;
};

TEST_F(UserSettingsTest, TheIniFileMovesInOnceAndIsKeptBeside) {
    WriteIni([](QSettings& ini) {
        ini.setValue("NumOfProfiles", 1u);
        ini.setValue("Polling Interval", 20000u);
        ini.setValue("Profile 0/ProfName", "Home");
        ini.setValue("Profile 0/NetName", "Lighthouse");
        ini.setValue("Profile 0/Priority", 4294967295u);
        ini.setValue("Profile 0/Sec Key 0", "1A2B3C4D5E");
    });
    {
        SStoreOpening opening = OpenUserSettings(m_strFolder);
        ASSERT_NE(opening.store, nullptr) << opening.error;
        EXPECT_TRUE(opening.notice.empty()) << opening.notice;
        CSqliteRegistry& store = *opening.store;
        EXPECT_EQ(store.GetProfileInt("", "Polling Interval", 0), 20000);
        EXPECT_EQ(store.GetProfileString("Profile 0", "NetName", ""), "Lighthouse");
        SRegKey tree;
        ASSERT_EQ(store.ReadTree("Profile 0", tree), REG_OK);
        EXPECT_EQ(*tree.FindValue("Priority"), SRegValue::Dword(0xFFFFFFFFu));  // kinds come along
        EXPECT_EQ(*tree.FindValue("Sec Key 0"), SRegValue::Sz("1A2B3C4D5E"));
        ASSERT_TRUE(store.WriteProfileInt("", "Polling Interval", 30000));
    }
    EXPECT_FALSE(std::filesystem::exists(m_strIni));
    const std::string kept = m_strIni + kMovedIniSuffix;
    ASSERT_TRUE(std::filesystem::exists(kept));
    EXPECT_EQ(test::Mode(kept), 0600u);
    // A copy of the store was kept before the move.
    EXPECT_FALSE(ListStoreCopies(m_strFolder + "/settings.db").empty());

    // An INI file that turns up again never overwrites what the database holds.
    std::filesystem::copy_file(kept, m_strIni);
    SStoreOpening again = OpenUserSettings(m_strFolder);
    ASSERT_NE(again.store, nullptr) << again.error;
    EXPECT_EQ(again.store->GetProfileInt("", "Polling Interval", 0), 30000);
    EXPECT_TRUE(std::filesystem::exists(m_strIni));
}

// Groups and values the registry takes for one (they differ only in case) become one key, the later
// values winning; before, they made every start fail.
TEST_F(UserSettingsTest, KeysThatDifferOnlyInCaseAreMergedTheLaterWinning) {
    WriteIni([](QSettings& ini) {
        ini.setValue("NumOfProfiles", 1u);
        ini.setValue("Profile 0/ProfName", "Home");
        ini.setValue("Profile 0/NetName", "Old");
        ini.setValue("profile 0/NetName", "New");
        ini.setValue("profile 0/PhyChnl", 5u);
        ini.setValue("Polling interval", 15000u);
        ini.setValue("Polling Interval", 25000u);
    });
    SStoreOpening opening = OpenUserSettings(m_strFolder);
    ASSERT_NE(opening.store, nullptr) << opening.error;
    CSqliteRegistry& store = *opening.store;
    EXPECT_EQ(store.SubKeys(""), std::vector<std::string>{"Profile 0"});
    EXPECT_EQ(store.GetProfileString("Profile 0", "ProfName", ""), "Home");
    EXPECT_EQ(store.GetProfileString("Profile 0", "NetName", ""), "New");
    EXPECT_EQ(store.GetProfileInt("Profile 0", "PhyChnl", 0), 5);
    EXPECT_EQ(store.GetProfileInt("", "Polling Interval", 0), 15000);  // "interval" sorts after "Interval"
    EXPECT_FALSE(std::filesystem::exists(m_strIni));
}

// A file that cannot be read is no empty one: it stays where it is and the user is told, instead of
// an empty store taking its place and the file being renamed away.
TEST_F(UserSettingsTest, AnUnreadableIniFileIsLeftWhereItIsAndTold) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    WriteIni([](QSettings& ini) { ini.setValue("Profile 0/ProfName", "Home"); });
    std::filesystem::permissions(m_strIni, std::filesystem::perms::none);
    SStoreOpening opening = OpenUserSettings(m_strFolder);
    ASSERT_NE(opening.store, nullptr) << opening.error;
    EXPECT_NE(opening.notice.find(m_strIni), std::string::npos) << opening.notice;
    EXPECT_TRUE(std::filesystem::exists(m_strIni));
    EXPECT_FALSE(std::filesystem::exists(m_strIni + kMovedIniSuffix));
    // Once readable, it moves in at the next start.
    std::filesystem::permissions(m_strIni,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    opening = OpenUserSettings(m_strFolder);
    ASSERT_NE(opening.store, nullptr);
    EXPECT_EQ(opening.store->GetProfileString("Profile 0", "ProfName", ""), "Home");
}

}  // namespace
}  // namespace wavory
