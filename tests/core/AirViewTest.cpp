// The view of the air: what an access point's width covers on each band's channel plan, and who
// shares a channel.
#include <gtest/gtest.h>

#include <utility>

#include "survey/AirView.h"

namespace wavory {
namespace {

TEST(AirViewTest, AWidthCoversItsBlockOfTheChannelPlan) {
    using Range = std::pair<int, int>;
    // 5 GHz: 36-48 at 80 MHz, from any of its channels; 100-128 at 160; the upper band from 149.
    EXPECT_EQ(OccupiedRange(5180, 80), Range(5170, 5250));
    EXPECT_EQ(OccupiedRange(5240, 80), Range(5170, 5250));
    EXPECT_EQ(OccupiedRange(5260, 40), Range(5250, 5290));
    EXPECT_EQ(OccupiedRange(5620, 160), Range(5490, 5650));
    EXPECT_EQ(OccupiedRange(5720, 80), Range(5650, 5730));
    EXPECT_EQ(OccupiedRange(5765, 80), Range(5735, 5815));
    // 6 GHz: channels 1-13 at 80 MHz (5955-6015).
    EXPECT_EQ(OccupiedRange(5975, 80), Range(5945, 6025));
    EXPECT_EQ(OccupiedRange(6035, 80), Range(6025, 6105));
    // 20 MHz, or not told: the channel itself; 2.4 GHz spreads over its neighbours.
    EXPECT_EQ(OccupiedRange(5500, 0), Range(5490, 5510));
    EXPECT_EQ(OccupiedRange(2437, 20), Range(2426, 2448));
}

TEST(AirViewTest, ChannelsCountWhoCoversThemAndMarkTheConnection) {
    std::vector<SAirEntry> air = {
        {"Wide", "00-00-00-00-00-01", 36, 5180, 80, -60, true},
        {"Narrow", "00-00-00-00-00-02", 44, 5220, 20, -50, false},
        {"Loud", "00-00-00-00-00-03", 44, 5220, 20, -40, false},
        {"Next door", "00-00-00-00-00-04", 52, 5260, 20, -70, false},
        {"Old", "00-00-00-00-00-05", 1, 2412, 20, -80, false},
        {"Close", "00-00-00-00-00-06", 3, 2422, 20, -75, false},
        {"Far", "00-00-00-00-00-07", 11, 2462, 20, -65, false},
    };
    const std::vector<SAirBand> view = BuildAirView(air);
    ASSERT_EQ(view.size(), 2u);
    EXPECT_EQ(view[0].band, "2.4 GHz");
    EXPECT_EQ(view[1].band, "5 GHz");

    const SAirBand& low = view[0];
    ASSERT_EQ(low.channels.size(), 3u);
    EXPECT_EQ(low.channels[0].sharing, 2);  // channels 1 and 3 overlap
    EXPECT_EQ(low.channels[2].sharing, 1);  // 11 is clear of them

    const SAirBand& five = view[1];
    ASSERT_EQ(five.channels.size(), 3u);
    EXPECT_TRUE(five.channels[0].own);
    EXPECT_EQ(five.channels[0].sharing, 1);  // 36: the wide one only
    const SAirChannel& c44 = five.channels[1];
    EXPECT_EQ(c44.channel, 44);
    EXPECT_EQ(c44.sharing, 3);  // its two and the 80 MHz one from 36
    EXPECT_TRUE(c44.own);       // within the connection's width
    ASSERT_EQ(c44.networks.size(), 2u);
    EXPECT_EQ(c44.networks[0].ssid, "Loud");  // strongest first
    EXPECT_EQ(five.channels[2].sharing, 1);   // 52 is past the 80 MHz block
    EXPECT_FALSE(five.channels[2].own);
}

}  // namespace
}  // namespace wavory
