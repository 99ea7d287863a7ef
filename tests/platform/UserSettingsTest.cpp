// The move of the first store's INI file into the database: once, whole, and the file kept.
#include "platform/UserSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../store/RegTestSupport.h"
#include "platform/SettingsRegistry.h"

namespace wavory {
namespace {

using test::CScratchDir;

TEST(UserSettingsTest, TheIniFileMovesInOnceAndIsKeptBeside) {
    CScratchDir dir;
    const std::string folder = dir.Path("Wavory");
    const std::string ini = folder + "/Wavory Utility.conf";
    {
        std::filesystem::create_directories(folder);
        CSettingsRegistry old(ini);
        ASSERT_TRUE(old.WriteProfileInt("", "NumOfProfiles", 1));
        ASSERT_TRUE(old.WriteProfileInt("", "Polling Interval", 20000));
        ASSERT_TRUE(old.WriteProfileString("Profile 0", "ProfName", "Home"));
        ASSERT_TRUE(old.WriteProfileString("Profile 0", "NetName", "Lighthouse"));
        ASSERT_TRUE(old.WriteProfileInt("Profile 0", "Priority", -1));
        ASSERT_TRUE(old.WriteProfileString("Profile 0", "Sec Key 0", "1A2B3C4D5E"));
    }
    std::string error;
    {
        auto store = OpenUserSettings(error, folder);
        ASSERT_NE(store, nullptr) << error;
        EXPECT_EQ(store->GetProfileInt("", "Polling Interval", 0), 20000);
        EXPECT_EQ(store->GetProfileString("Profile 0", "NetName", ""), "Lighthouse");
        EXPECT_EQ(store->GetProfileInt("Profile 0", "Priority", 0), -1);
        SRegKey tree;
        ASSERT_EQ(store->ReadTree("Profile 0", tree), REG_OK);
        EXPECT_EQ(*tree.FindValue("Priority"), SRegValue::Dword(0xFFFFFFFFu));  // kinds come along
        EXPECT_EQ(*tree.FindValue("Sec Key 0"), SRegValue::Sz("1A2B3C4D5E"));
        ASSERT_TRUE(store->WriteProfileInt("", "Polling Interval", 30000));
    }
    EXPECT_FALSE(std::filesystem::exists(ini));
    const std::string kept = ini + kMovedIniSuffix;
    ASSERT_TRUE(std::filesystem::exists(kept));
    EXPECT_EQ(test::Mode(kept), 0600u);

    // An INI file that turns up again never overwrites what the database holds.
    std::filesystem::copy_file(kept, ini);
    auto store = OpenUserSettings(error, folder);
    ASSERT_NE(store, nullptr) << error;
    EXPECT_EQ(store->GetProfileInt("", "Polling Interval", 0), 30000);
    EXPECT_TRUE(std::filesystem::exists(ini));
}

}  // namespace
}  // namespace wavory
