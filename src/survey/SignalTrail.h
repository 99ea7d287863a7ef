// The signal of each access point over the last minutes: one point per look at the scan list (the
// looks the window makes anyway), kept per BSSID. A look that misses an access point starts a gap,
// so that a chart breaks its line there instead of drawing one through the time it was not heard.
// Bounded: points older than kKeepMs go, at most kMaxPoints per access point, and an access point
// not heard for kForgetMs is forgotten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wavory {

// One access point as a look at the scan list heard it.
struct STrailHeard {
    std::string bssid;  // as FormatBssid writes it
    std::string ssid;   // raw bytes
    int freqMHz = 0;
    int signalDbm = 0;  // 0: not told (no point, though the access point counts as heard)
};

struct STrailPoint {
    int64_t timeMs = 0;
    int signalDbm = 0;
    bool heard = true;  // false: the look at this time missed the access point, a gap starts here
    bool operator==(const STrailPoint&) const = default;
};

struct STrailSeries {
    std::string bssid;
    std::string ssid;  // as last heard
    int freqMHz = 0;
    bool own = false;  // the connection's access point at the last look
    int64_t lastHeardMs = 0;
    std::vector<STrailPoint> points;  // oldest first
    bool operator==(const STrailSeries&) const = default;
};

class CSignalTrail {
public:
    static constexpr int64_t kKeepMs = 10 * 60 * 1000;
    static constexpr std::size_t kMaxPoints = 300;
    static constexpr int64_t kForgetMs = 10 * 60 * 1000;

    // Adds a look at time nowMs (a steady clock's milliseconds): a point for each access point
    // heard, a gap for each known one missed; ownBssid names the connection's (empty: none).
    void Add(int64_t nowMs, const std::vector<STrailHeard>& heard, const std::string& ownBssid);
    void Clear();

    // Every access point kept, by BSSID.
    std::vector<STrailSeries> Series() const;
    // The series of a BSSID (any case), null when it is not kept.
    const STrailSeries* Find(const std::string& bssid) const;
    // The time of the last look; 0 before the first.
    int64_t LastLookMs() const { return m_nLastLookMs; }

    // The unbroken stretches of a series' points: each a run of heard points between gaps.
    static std::vector<std::vector<STrailPoint>> Runs(const STrailSeries& series);

private:
    std::map<std::string, STrailSeries> m_Series;  // by upper-case BSSID
    int64_t m_nLastLookMs = 0;
};

}  // namespace wavory
