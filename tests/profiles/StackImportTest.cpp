// Networks of another stack stored through the profile manager's import: the stack's preference
// becomes the auto-selection order after the members already there, and what is refused is not
// stored.
#include "ProfilesFixture.h"
#include "profiles/StackImport.h"

namespace wavory::test {
namespace {

class StackImportTest : public ProfilesFixture {};

TEST_F(StackImportTest, PriorityBecomesTheOrderAfterTheExistingMembers) {
    StoreProfile("Profile 0", "Mine", "Mine", true, 0);
    ASSERT_TRUE(theApp.WriteProfileInt("", kCountEntry, 1));
    CProfileMngr& mngr = MakeMngr();
    ASSERT_EQ(mngr.GetAutoCount(), 1);

    const SStackRead read = ReadWpaSupplicantConf(R"(
network={
    ssid="Low"
    key_mgmt=NONE
    priority=1
}
network={
    ssid="Off"
    key_mgmt=NONE
    priority=50
    disabled=1
}
network={
    ssid="Broken"
    psk="short"
}
network={
    ssid="High"
    key_mgmt=NONE
    priority=7
}
network={
    ssid="Mine"
    key_mgmt=NONE
}
)");
    ASSERT_EQ(read.networks.size(), 5u);
    const SStackImportResult result = ImportStackNetworks(mngr, read.networks);
    ASSERT_EQ(result.import.error, 0) << result.import.refusal;
    EXPECT_EQ(result.orderError, 0);
    EXPECT_EQ(result.names[2], "");
    // A name another profile bears is not taken over.
    EXPECT_NE(result.names[4], "Mine");
    EXPECT_NE(result.names[4], "");

    // What the store holds, read again.
    CProfileMngr& fresh = MakeMngr();
    EXPECT_EQ(fresh.GetCount(), 5);
    EXPECT_EQ(fresh.NameAt(0), "Mine");
    EXPECT_EQ(fresh.NameAt(1), "High");
    EXPECT_EQ(fresh.NameAt(2), "Low");
    EXPECT_EQ(fresh.NameAt(3), result.names[4]);  // no priority given: 0
    EXPECT_EQ(fresh.GetAutoCount(), 4);
    ASSERT_TRUE(fresh.GetProfile("Off"));
    EXPECT_FALSE(fresh.GetProfile("Off")->AutoSelect);
    EXPECT_FALSE(fresh.GetProfile("Broken"));
}

TEST_F(StackImportTest, NothingUsableStoresNothing) {
    CProfileMngr& mngr = MakeMngr();
    const SStackRead read = ReadWpaSupplicantConf("network={\nssid=\"A\"\nkey_mgmt=IEEE8021X\n}\n");
    const SStackImportResult result = ImportStackNetworks(mngr, read.networks);
    EXPECT_NE(result.import.error, 0);
    EXPECT_FALSE(result.import.refusal.empty());
    EXPECT_EQ(MakeMngr().GetCount(), 0);
}

}  // namespace
}  // namespace wavory::test
