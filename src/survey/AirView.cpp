#include "survey/AirView.h"

#include <algorithm>
#include <map>

#include "base/History.h"

namespace wavory {

namespace {

// The 5 GHz channel plan's blocks start at channel 36 (5180 MHz) and, from channel 149 on, at 149
// (5745 MHz); the 6 GHz plan's at channel 1 (5955 MHz). Edges are 10 MHz below a block's first
// channel.
int BlockStartEdge(int freqMHz, int widthMHz) {
    const int base = freqMHz >= 5955 ? 5955 : freqMHz >= 5745 ? 5745 : 5180;
    const int lowEdge = base - 10;
    return lowEdge + (freqMHz - lowEdge) / widthMHz * widthMHz;
}

}  // namespace

std::pair<int, int> OccupiedRange(int freqMHz, int widthMHz) {
    const int width = widthMHz > 0 ? widthMHz : 20;
    if (freqMHz < 3000) {
        // 2.4 GHz: channels 5 MHz apart, 20 MHz wide (22 for the old DSSS rates).
        const int half = width >= 40 ? 30 : 11;
        return {freqMHz - half, freqMHz + half};
    }
    if (width <= 20) return {freqMHz - 10, freqMHz + 10};
    const int start = BlockStartEdge(freqMHz, width);
    return {start, start + width};
}

std::vector<SAirBand> BuildAirView(const std::vector<SAirEntry>& entries) {
    // band → frequency → channel
    std::map<std::string, std::map<int, SAirChannel>> bands;
    for (const SAirEntry& e : entries) {
        if (e.freqMHz <= 0) continue;
        SAirChannel& channel = bands[BandOfFrequency(e.freqMHz)][e.freqMHz];
        channel.channel = e.channel;
        channel.freqMHz = e.freqMHz;
        channel.networks.push_back(e);
    }
    std::vector<SAirBand> view;
    for (auto& [band, channels] : bands) {
        SAirBand out;
        out.band = band;
        for (auto& [freq, channel] : channels) {
            // Who covers this channel's own 20 MHz: any access point whose range reaches into it.
            const int low = freq - 10, high = freq + 10;
            for (const SAirEntry& e : entries) {
                if (e.freqMHz <= 0) continue;
                const auto [from, to] = OccupiedRange(e.freqMHz, e.widthMHz);
                if (from < high && to > low) {
                    ++channel.sharing;
                    if (e.current) channel.own = true;
                }
            }
            std::stable_sort(channel.networks.begin(), channel.networks.end(),
                             [](const SAirEntry& a, const SAirEntry& b) {
                                 const int sa = a.signalDbm ? a.signalDbm : -1000;
                                 const int sb = b.signalDbm ? b.signalDbm : -1000;
                                 return sa > sb;
                             });
            out.channels.push_back(std::move(channel));
        }
        view.push_back(std::move(out));
    }
    // 2.4 GHz first, then 5, then 6 (the map's order would put "2.4" first and "6" after "5" too,
    // but not a future "60 GHz"): by frequency of the first channel.
    std::sort(view.begin(), view.end(), [](const SAirBand& a, const SAirBand& b) {
        return a.channels.front().freqMHz < b.channels.front().freqMHz;
    });
    return view;
}

}  // namespace wavory
