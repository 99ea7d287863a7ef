#include "survey/SignalTrail.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace wavory {

namespace {

std::string UpperBssid(std::string bssid) {
    for (char& c : bssid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return bssid;
}

}  // namespace

void CSignalTrail::Add(int64_t nowMs, const std::vector<STrailHeard>& heard, const std::string& ownBssid) {
    m_nLastLookMs = nowMs;
    const std::string own = UpperBssid(ownBssid);
    std::set<std::string> seen;
    for (const STrailHeard& h : heard) {
        const std::string key = UpperBssid(h.bssid);
        if (key.empty() || !seen.insert(key).second) continue;  // the first entry of a BSSID wins
        STrailSeries& series = m_Series[key];
        series.bssid = key;
        series.ssid = h.ssid;
        series.freqMHz = h.freqMHz;
        series.lastHeardMs = nowMs;
        if (h.signalDbm != 0) series.points.push_back({nowMs, h.signalDbm, true});
    }
    for (auto it = m_Series.begin(); it != m_Series.end();) {
        STrailSeries& series = it->second;
        series.own = !own.empty() && it->first == own;
        if (!seen.count(it->first) && !series.points.empty() && series.points.back().heard)
            series.points.push_back({nowMs, 0, false});
        // Old points go; a gap left at the front has nothing before it to break from.
        const auto old = std::find_if(series.points.begin(), series.points.end(),
                                      [nowMs](const STrailPoint& p) { return p.timeMs >= nowMs - kKeepMs; });
        series.points.erase(series.points.begin(), old);
        if (series.points.size() > kMaxPoints)
            series.points.erase(series.points.begin(),
                                series.points.end() - static_cast<std::ptrdiff_t>(kMaxPoints));
        while (!series.points.empty() && !series.points.front().heard)
            series.points.erase(series.points.begin());
        if (nowMs - series.lastHeardMs >= kForgetMs)
            it = m_Series.erase(it);
        else
            ++it;
    }
}

void CSignalTrail::Clear() {
    m_Series.clear();
    m_nLastLookMs = 0;
}

std::vector<STrailSeries> CSignalTrail::Series() const {
    std::vector<STrailSeries> all;
    all.reserve(m_Series.size());
    for (const auto& [key, series] : m_Series) all.push_back(series);
    return all;
}

const STrailSeries* CSignalTrail::Find(const std::string& bssid) const {
    const auto it = m_Series.find(UpperBssid(bssid));
    return it == m_Series.end() ? nullptr : &it->second;
}

std::vector<std::vector<STrailPoint>> CSignalTrail::Runs(const STrailSeries& series) {
    std::vector<std::vector<STrailPoint>> runs;
    bool broken = true;
    for (const STrailPoint& p : series.points) {
        if (!p.heard) {
            broken = true;
            continue;
        }
        if (broken) runs.emplace_back();
        broken = false;
        runs.back().push_back(p);
    }
    return runs;
}

}  // namespace wavory
