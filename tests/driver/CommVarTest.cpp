// Driver variables and lists against the simulated adapter, with faults injected per request code.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/AppBase.h"
#include "driver/Card.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_sim.h"

using namespace wavory;

namespace {

struct FakeControl : IBoundControl {
    std::string text = "previous";
    int sets = 0;
    void SetText(const std::string& t) override {
        text = t;
        ++sets;
    }
};

struct FakePage : IControlHost {
    std::map<int, FakeControl> controls;
    IBoundControl* GetControl(int id) override { return &controls[id]; }
};

std::vector<int> g_steps;
void RecordingConverter(uint8_t*, std::string* text, int step) {
    g_steps.push_back(step);
    if (step == CONV_AFTER_QUERY) *text = "converted";
}

std::vector<uint32_t> LoggedCodes() {
    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    std::vector<uint32_t> codes;
    for (int i = 0; i < n; ++i) codes.push_back(log[i].code);
    return codes;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        theApp.DisconnectDriver();
        ASSERT_TRUE(theApp.ConnectDriver());
        kccl_sim_clear_log();
        g_steps.clear();
    }
    void TearDown() override {
        kccl_sim_clear_faults();
        kccl_sim_set_present(1);
        theApp.DisconnectDriver();
    }
};

}  // namespace

TEST_F(DriverTest, ClosedLinkFailsWithoutRequestOrConverter) {
    theApp.DisconnectDriver();
    kccl_sim_set_present(0);
    std::string text = "keep";
    CCommVar var(OID_SSID_QUERY, OID_SSID_SET, &text, RecordingConverter);
    var.DriverRecv(true);
    EXPECT_FALSE(var.m_bSuccess);
    var.DriverSend();
    EXPECT_FALSE(var.m_bSuccess);
    EXPECT_TRUE(g_steps.empty());
    EXPECT_TRUE(LoggedCodes().empty());
    EXPECT_EQ(text, "keep");

    // Plugged back, the next request connects again on its own.
    kccl_sim_set_present(1);
    var.DriverRecv(false);
    EXPECT_TRUE(var.m_bSuccess);
    EXPECT_TRUE(theApp.m_bDriverConnected);
}

TEST_F(DriverTest, NonzeroResultStopsMultiPairRead) {
    kccl_sim_set_fault(OID_CHANNEL_QUERY, KCCL_SIM_FAULT_RESULT, 7);
    FakePage page;
    const SCodePair pairs[] = {{OID_CHANNEL_QUERY, OID_CHANNEL_SET}, {OID_PHY_QUERY, OID_PHY_SET}};
    CCommVarList list(&page);
    list.AddVarMulti(1065, pairs, 2, ConvChannel);
    EXPECT_FALSE(list.GetVar(0)->m_bSuccess);
    EXPECT_EQ(LoggedCodes(), std::vector<uint32_t>{OID_CHANNEL_QUERY});
    EXPECT_EQ(page.controls[1065].sets, 0);
    EXPECT_EQ(page.controls[1065].text, "previous");
}

TEST_F(DriverTest, FailingStatusStillConvertsButFails) {
    kccl_sim_set_fault(OID_SSID_QUERY, KCCL_SIM_FAULT_STATUS, 1);
    std::string text;
    CCommVar var(OID_SSID_QUERY, 0, &text, RecordingConverter);
    var.DriverRecv(false);
    EXPECT_FALSE(var.m_bSuccess);
    EXPECT_EQ(g_steps, (std::vector<int>{CONV_BEFORE_QUERY, CONV_AFTER_QUERY}));
    EXPECT_EQ(text, "converted");
}

TEST_F(DriverTest, ExceptionFromLibraryFailsTheVariable) {
    kccl_sim_set_fault(OID_SSID_QUERY, KCCL_SIM_FAULT_THROW, 0);
    std::string text;
    CCommVar var(OID_SSID_QUERY, OID_SSID_SET, &text, RecordingConverter);
    var.DriverRecv(false);
    EXPECT_FALSE(var.m_bSuccess);
    EXPECT_EQ(g_steps, std::vector<int>{CONV_BEFORE_QUERY});
    kccl_sim_set_fault(OID_SSID_SET, KCCL_SIM_FAULT_THROW, 0);
    var.DriverSend();
    EXPECT_FALSE(var.m_bSuccess);
}

TEST_F(DriverTest, CallersTextOutlivesTheVariable) {
    std::string text;
    {
        CCommVarList list;
        list.AddVarExt(OID_MAC_QUERY, OID_MAC_SET, ConvMac, &text);
        EXPECT_TRUE(list.RefreshAll(false, true));
    }
    EXPECT_EQ(text.size(), 17u);  // "XX-XX-XX-XX-XX-XX"
}

TEST_F(DriverTest, WriteSendsSetCodeAndConvertedPayload) {
    std::string text = "2";
    CCommVarList list;
    list.AddVarExt(OID_CONN_SETTING_QUERY, OID_CONN_SETTING_SET, ConvNumber, &text);
    ASSERT_TRUE(list.RefreshAll(true, false));
    KCCL_SIM_LOG_ENTRY log[4];
    ASSERT_EQ(kccl_sim_get_log(log, 4), 1);
    EXPECT_EQ(log[0].code, OID_CONN_SETTING_SET);
    EXPECT_EQ(log[0].head[0], 2);
    text.clear();
    ASSERT_TRUE(list.RefreshAll(false, false));
    EXPECT_EQ(text, "2");
}

TEST_F(DriverTest, ListStopsAtFirstFailure) {
    kccl_sim_set_fault(OID_NET_MODE_QUERY, KCCL_SIM_FAULT_STATUS, 0);
    std::string a, b, c;
    CCommVarList list;
    list.AddVarExt(OID_SSID_QUERY, 0, ConvSsid, &a);
    list.AddVarExt(OID_NET_MODE_QUERY, 0, ConvNetMode, &b);
    list.AddVarExt(OID_SECURITY_QUERY, 0, ConvSecurity, &c);
    EXPECT_FALSE(list.RefreshAll(false, false));
    EXPECT_EQ(LoggedCodes(), (std::vector<uint32_t>{OID_SSID_QUERY, OID_NET_MODE_QUERY}));
}

TEST_F(DriverTest, BoundVariableShowsValueAtOnceAndOnRefresh) {
    FakePage page;
    CCommVarList list(&page);
    list.AddVar(1148, OID_MAC_QUERY, OID_MAC_SET, ConvMac);
    EXPECT_EQ(page.controls[1148].sets, 1);
    EXPECT_NE(page.controls[1148].text, "previous");
    EXPECT_TRUE(list.RefreshAll(false, false));
    EXPECT_EQ(page.controls[1148].sets, 1);  // no update requested
    EXPECT_TRUE(list.RefreshAll(false, true));
    EXPECT_EQ(page.controls[1148].sets, 2);
}

TEST(CommVarListTest, EmptyListAndIndexes) {
    CCommVarList list;
    EXPECT_TRUE(list.RefreshAll(false, false));
    EXPECT_TRUE(list.RefreshAll(true, false));
    std::string t1, t2;
    list.AddVarExt(OID_SSID_QUERY, 0, ConvSsid, &t1);
    EXPECT_EQ(list.GetVar(1), nullptr);
    EXPECT_EQ(list.GetVar(-1), nullptr);
    list.RemoveAll();
    EXPECT_EQ(list.GetVar(0), nullptr);
    list.AddVarExt(OID_MAC_QUERY, 0, ConvMac, &t2);
    ASSERT_NE(list.GetVar(0), nullptr);
    EXPECT_EQ(list.GetCount(), 1);
    list.GetVar(0)->DriverRecv(false);
    EXPECT_EQ(t2.size(), 17u);
}

TEST(CardMngrTest, HoldsThreeNamedEntries) {
    CCardMngr mngr;
    ASSERT_EQ(mngr.GetCount(), 3u);
    for (int i = 0; i < 3; ++i) {
        const CCard* card = mngr.Find("Card " + std::to_string(i));
        ASSERT_NE(card, nullptr);
        EXPECT_EQ(card->m_strName, "Wavory Utility #" + std::to_string(i));
        EXPECT_TRUE(card->m_strInfo1.empty());
    }
    mngr.Remove("Card 1");
    mngr.Remove("Card 9");
    EXPECT_EQ(mngr.GetCount(), 2u);
}
