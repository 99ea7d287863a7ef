// The application's driver link: start without an adapter, reconnect once it is plugged in.
#include <gtest/gtest.h>

#include <string>

#include "base/AppBase.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_sim.h"

using namespace wavory;

class DriverLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        theApp.DisconnectDriver();
    }
    void TearDown() override {
        kccl_sim_set_present(1);
        theApp.DisconnectDriver();
    }
};

TEST_F(DriverLinkTest, NoAdapterThenPluggedIn) {
    kccl_sim_set_present(0);
    EXPECT_FALSE(theApp.ConnectDriver());
    EXPECT_FALSE(theApp.m_bDriverConnected);

    std::string ssid;
    CCommVarList list;
    list.AddVarExt(OID_HW_STATUS, 0, ConvRadioStatus, &ssid);
    EXPECT_FALSE(list.RefreshAll(false, false));

    kccl_sim_set_present(1);
    EXPECT_TRUE(list.RefreshAll(false, false));
    EXPECT_TRUE(theApp.m_bDriverConnected);
    EXPECT_EQ(ssid, "HW Status:  Ready; RF Status 1.");
}

TEST_F(DriverLinkTest, UnplugMidSessionFailsUntilReplugged) {
    ASSERT_TRUE(theApp.ConnectDriver());
    std::string text;
    CCommVarList list;
    list.AddVarExt(OID_MAC_QUERY, 0, ConvMac, &text);
    ASSERT_TRUE(list.RefreshAll(false, false));
    kccl_sim_set_present(0);
    EXPECT_FALSE(list.RefreshAll(false, false));
    EXPECT_FALSE(theApp.m_bDriverConnected);
    kccl_sim_set_present(1);
    // The failed request dropped the link, so the next one opens it again by itself.
    EXPECT_TRUE(list.RefreshAll(false, false));
    EXPECT_TRUE(theApp.m_bDriverConnected);
}

TEST_F(DriverLinkTest, DisconnectWithoutLinkKeepsFlagClear) {
    theApp.DisconnectDriver();
    EXPECT_FALSE(theApp.m_bDriverConnected);
    ASSERT_TRUE(theApp.ConnectDriver());
    theApp.DisconnectDriver();
    EXPECT_FALSE(theApp.m_bDriverConnected);
}
