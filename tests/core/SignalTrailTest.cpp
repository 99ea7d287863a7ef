// The signal of each access point over time: its bounds, gaps where an access point was not heard,
// and the connection's access point.
#include <gtest/gtest.h>

#include "survey/SignalTrail.h"

namespace wavory {
namespace {

constexpr int64_t kMinute = 60 * 1000;

STrailHeard Ap(const std::string& bssid, int dBm, const std::string& ssid = "Net") {
    return {bssid, ssid, 2412, dBm};
}

std::vector<int> Signals(const STrailSeries& series) {
    std::vector<int> out;
    for (const STrailPoint& p : series.points) out.push_back(p.heard ? p.signalDbm : 0);
    return out;
}

TEST(SignalTrailTest, KeepsTheLastMinutesAndAtMostItsPointsPerAccessPoint) {
    CSignalTrail trail;
    // One look every 10 s for 12 minutes: only the last 10 minutes stay.
    for (int64_t t = 0; t <= 12 * kMinute; t += 10 * 1000) trail.Add(t, {Ap("00-00-00-00-00-01", -50)}, "");
    const STrailSeries* series = trail.Find("00-00-00-00-00-01");
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->points.front().timeMs, 2 * kMinute);
    EXPECT_EQ(series->points.back().timeMs, 12 * kMinute);
    EXPECT_EQ(series->points.size(), 61u);

    // Looks twice a second: the count bounds it before the time does.
    CSignalTrail fast;
    for (int64_t t = 0; t < 400 * 500; t += 500) fast.Add(t, {Ap("00-00-00-00-00-02", -60)}, "");
    ASSERT_NE(fast.Find("00-00-00-00-00-02"), nullptr);
    EXPECT_EQ(fast.Find("00-00-00-00-00-02")->points.size(), CSignalTrail::kMaxPoints);
    EXPECT_EQ(fast.Find("00-00-00-00-00-02")->points.back().timeMs, 399 * 500);
}

TEST(SignalTrailTest, AnAccessPointThatVanishesLeavesAGapAndIsForgottenAfterItsTime) {
    CSignalTrail trail;
    const std::string a = "00-00-00-00-00-0A", b = "00-00-00-00-00-0B";
    trail.Add(0, {Ap(a, -50), Ap(b, -70)}, "");
    trail.Add(10000, {Ap(a, -52), Ap(b, -71)}, "");
    trail.Add(20000, {Ap(a, -54)}, "");  // b missed
    trail.Add(30000, {Ap(a, -55)}, "");  // and again: one gap, not two
    trail.Add(40000, {Ap(a, -56), Ap(b, -69)}, "");
    const STrailSeries* series = trail.Find(b);
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(Signals(*series), (std::vector<int>{-70, -71, 0, -69}));
    EXPECT_EQ(series->points[2].timeMs, 20000);
    const auto runs = CSignalTrail::Runs(*series);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].size(), 2u);
    EXPECT_EQ(runs[1].size(), 1u);
    EXPECT_EQ(runs[1][0].signalDbm, -69);
    EXPECT_EQ(CSignalTrail::Runs(*trail.Find(a)).size(), 1u);

    // Not heard for ten minutes: gone; until then its old points age out and no gap leads.
    trail.Add(40000 + 9 * kMinute, {Ap(a, -50)}, "");
    ASSERT_NE(trail.Find(b), nullptr);
    trail.Add(40000 + 10 * kMinute, {Ap(a, -50)}, "");
    EXPECT_EQ(trail.Find(b), nullptr);
    EXPECT_EQ(trail.Series().size(), 1u);

    // A look that heard nothing breaks every line; an access point without a told signal counts as
    // heard but adds no point.
    CSignalTrail quiet;
    quiet.Add(0, {Ap(a, -50)}, "");
    quiet.Add(1000, {}, "");
    quiet.Add(2000, {Ap(a, 0)}, "");
    ASSERT_NE(quiet.Find(a), nullptr);
    EXPECT_EQ(Signals(*quiet.Find(a)), (std::vector<int>{-50, 0}));
    EXPECT_EQ(quiet.Find(a)->lastHeardMs, 2000);
}

TEST(SignalTrailTest, TheConnectionsAccessPointIsFlaggedByTheLastLook) {
    CSignalTrail trail;
    const std::string a = "3c-84-6a-51-0e-24", b = "3C-84-6A-51-0E-31";
    trail.Add(0, {Ap(a, -50, "Marina"), Ap(b, -60, "Marina")}, "3C-84-6A-51-0E-24");
    EXPECT_TRUE(trail.Find(a)->own);  // any case
    EXPECT_FALSE(trail.Find(b)->own);
    EXPECT_EQ(trail.Find(a)->bssid, "3C-84-6A-51-0E-24");
    // Roamed: the flag moves; disconnected: no one has it.
    trail.Add(1000, {Ap(a, -70, "Marina"), Ap(b, -55, "Marina")}, b);
    EXPECT_FALSE(trail.Find(a)->own);
    EXPECT_TRUE(trail.Find(b)->own);
    trail.Add(2000, {Ap(a, -70, "Marina"), Ap(b, -55, "Marina")}, "");
    EXPECT_FALSE(trail.Find(b)->own);
    // A BSSID twice in one look is one point.
    trail.Add(3000, {Ap(a, -71), Ap(a, -40)}, "");
    EXPECT_EQ(trail.Find(a)->points.back().signalDbm, -71);
    EXPECT_EQ(trail.Find(a)->points.size(), 4u);
}

}  // namespace
}  // namespace wavory
