// What the list makes of a station without the widgets: the row order and the channel a profile
// copy gets.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "survey/Station.h"
#include "ui/survey/SiteRows.h"

namespace wavory::test {
namespace {

std::shared_ptr<CStation> Station(const std::string& ssid, int channel, int dBm) {
    CProfile fields("", false);
    fields.NetName = ssid;
    fields.PhyChnl = channel;
    return std::make_shared<CStation>(fields, std::string(), dBm);
}

TEST(SiteRowsTest, ColumnsTellBandRateAndKindOfSecurity) {
    auto six = Station("Marina-6E", 5, -61);
    six->PhyFreq = 5975;
    six->m_nMaxRate100k = 12010;
    six->m_nSecurityKind = KCOM_SECURITY_WPA3;
    EXPECT_EQ(SiteColumnText(*six, SITE_COL_CHANNEL), "5 (6 GHz)");
    EXPECT_EQ(SiteColumnText(*six, SITE_COL_RATE), "1201 Mbps");
    EXPECT_EQ(SiteColumnText(*six, SITE_COL_SECURITY), "WPA3-Personal");
    EXPECT_EQ(SiteRowKey(*six, false), "Marina-6E;5975");  // not the key of 2.4 GHz channel 5

    auto old = Station("Lighthouse", 11, -66);
    old->PhyType = 1;
    EXPECT_EQ(SiteColumnText(*old, SITE_COL_CHANNEL), "11");
    EXPECT_EQ(SiteColumnText(*old, SITE_COL_RATE), "11 Mbps");  // no figure scanned: the PHY's
    EXPECT_EQ(SiteColumnText(*old, SITE_COL_SECURITY), "None");
    old->m_nSecurityKind = KCOM_SECURITY_WPA2_ENTERPRISE;
    EXPECT_EQ(SiteColumnText(*old, SITE_COL_SECURITY), "WPA2-Enterprise");
}

TEST(SiteRowsTest, KeysSortByTextAndKeepSsidsThatHoldTheSeparator) {
    // "--" inside an SSID must neither split the key nor change the order.
    const std::vector<std::shared_ptr<CStation>> stations = {
        Station("Dock -- North", 6, -60), Station("Dock", 1, -60), Station("Dock -- ", 11, -60),
        Station("-- ", 3, -60)};
    EXPECT_EQ(SortSiteKeys(stations, SITE_COL_SSID, true, true),
              (std::vector<std::string>{"-- ", "Dock", "Dock -- ", "Dock -- North"}));
    EXPECT_EQ(SortSiteKeys(stations, SITE_COL_SSID, false, false),
              (std::vector<std::string>{"Dock -- North;6", "Dock -- ;11", "Dock;1", "-- ;3"}));
    // Equal texts fall back on the key, so the order is the same every time.
    EXPECT_EQ(SortSiteKeys(stations, SITE_COL_QUALITY, true, false),
              (std::vector<std::string>{"-- ;3", "Dock -- ;11", "Dock -- North;6", "Dock;1"}));
}

TEST(SiteRowsTest, NetworkViewShowsANameOnceEvenWhenTwoStationsRemain) {
    // One access point heard on two channels survives the grouping as two stations.
    const std::vector<std::shared_ptr<CStation>> stations = {
        Station("Harbour", 1, -58), Station("Harbour", 6, -71), Station("Lighthouse", 11, -66)};
    // In percent: 66% (Harbour on 6), 83% (Lighthouse), 99% (Harbour on 1).
    EXPECT_EQ(SortSiteKeys(stations, SITE_COL_QUALITY, true, true),
              (std::vector<std::string>{"Harbour", "Lighthouse"}));
    EXPECT_EQ(SortSiteKeys(stations, SITE_COL_QUALITY, true, false).size(), 3u);
}

TEST(SiteRowsTest, ChannelNumbersBecomeTheChannelListPositionsThatApplyThem) {
    for (int channel = 1; channel <= 14; ++channel) {
        EXPECT_EQ(ChannelIndexToNumber(1, ChannelNumberToIndex(1, channel)), channel);
        EXPECT_EQ(ChannelIndexToNumber(2, ChannelNumberToIndex(2, channel)), channel);
    }
    for (int channel : {36, 40, 64, 149, 153, 161, 165})
        EXPECT_EQ(ChannelIndexToNumber(0, ChannelNumberToIndex(0, channel)), channel) << channel;
    // Channels the list does not offer take the nearest one below, never a position past the list.
    EXPECT_EQ(ChannelIndexToNumber(0, ChannelNumberToIndex(0, 100)), 64);
    EXPECT_EQ(ChannelNumberToIndex(0, 7), 0);
}

}  // namespace
}  // namespace wavory::test
