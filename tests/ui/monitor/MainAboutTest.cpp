// The About page: the adapter's identity as the driver reports it, the fixed texts, and what stays
// when the adapter is missing.
#include <gtest/gtest.h>

#include <QPushButton>

#include "../support/UiCore.h"
#include "ui/monitor/MainAbout.h"

namespace wavory::test {
namespace {

using A = CMainAbout;

class MainAboutTest : public CUiCoreTest {};

TEST_F(MainAboutTest, ShowsTheAdapterValues) {
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"mac": "00-0A-0B-0C-0D-0E", "driver_version": [3, 1, 0, 27],
        "firmware": ["0x00010002", "0x00030004"], "nvm": ["0x0A0B", "0x12"], "reg_domain": "0x31"},
        "networks": []})"),
              0);
    A page;
    page.show();
    page.Activate();
    EXPECT_EQ(Text(&page, A::IDC_DEVICE_NAME), "Wavory Utility");
    EXPECT_EQ(Text(&page, A::IDC_REG_DOMAIN), "SPAIN");
    EXPECT_EQ(Text(&page, A::IDC_DRIVER_VERSION), "3.1.0.27");
    EXPECT_EQ(Text(&page, A::IDC_FIRMWARE_VERSION), "0001 - 0002 / 0003 - 0004");
    EXPECT_EQ(Text(&page, A::IDC_NVM_VERSION), "A0B - 12");  // the payload-148 value first
    EXPECT_EQ(Text(&page, A::IDC_MAC), "00-0A-0B-0C-0D-0E");
    EXPECT_EQ(Text(&page, A::IDC_VERSION), "2.2.1");
    EXPECT_FALSE(page.findChild<QPushButton*>("IDC_1140")->isVisible());  // "&Generate Report"
}

TEST_F(MainAboutTest, EachRegulatoryDomainHasItsName) {
    const std::pair<const char*, const char*> domains[] = {{"0x10", "FCC (US)"},
                                                           {"0x20", "IC (CAN)"},
                                                           {"0x30", "ETSI (EUROPE)"},
                                                           {"0x32", "FRANCE"},
                                                           {"0x40", "JAPAN"}};
    for (const auto& [code, name] : domains) {
        const std::string scenario =
            std::string(R"({"adapter": {"reg_domain": ")") + code + R"("}, "networks": []})";
        ASSERT_EQ(kccl_sim_reset(scenario.c_str()), 0) << code;
        A page;
        page.Activate();
        EXPECT_EQ(Text(&page, A::IDC_REG_DOMAIN), name) << code;
    }
}

TEST_F(MainAboutTest, WithoutAnAdapterTheDriverVersionSaysNotConnected) {
    theApp.DisconnectDriver();
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    A page;
    page.Activate();
    EXPECT_EQ(Text(&page, A::IDC_DRIVER_VERSION), "Not Connected");
    for (int id : {A::IDC_FIRMWARE_VERSION, A::IDC_NVM_VERSION, A::IDC_MAC, A::IDC_REG_DOMAIN})
        EXPECT_EQ(Text(&page, id), "") << id;
    EXPECT_EQ(Text(&page, A::IDC_VERSION), "2.2.1");

    // Plugged in, the next refresh connects and fills every field.
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    page.Refresh();
    EXPECT_EQ(Text(&page, A::IDC_DRIVER_VERSION), "2.2.1.14");
    EXPECT_EQ(Text(&page, A::IDC_MAC), "00-0A-F5-3C-9E-12");
}

TEST_F(MainAboutTest, AFailingReadKeepsThatFieldAndTheOnesAfterIt) {
    A page;
    page.Activate();
    ASSERT_EQ(Text(&page, A::IDC_MAC), "00-0A-F5-3C-9E-12");
    ASSERT_EQ(
        kccl_sim_reset(R"({"adapter": {"mac": "00-0A-0B-0C-0D-0E", "reg_domain": "0x40"}, "networks": []})"),
        0);
    ASSERT_EQ(kccl_sim_set_fault(0x30, KCCL_SIM_FAULT_STATUS, 1), 0);
    page.Refresh();
    EXPECT_EQ(Text(&page, A::IDC_MAC), "00-0A-F5-3C-9E-12");
    EXPECT_EQ(Text(&page, A::IDC_REG_DOMAIN), "FCC (US)");
}

}  // namespace
}  // namespace wavory::test
