// A view of the air, as a channel analyzer shows it: per band, the access points by their primary
// channel with width and signal, how many access points cover each channel (their whole width, not
// only the primary channel), and the channel of the user's own connection.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace wavory {

struct SAirEntry {
    std::string ssid;  // raw bytes
    std::string bssid;
    int channel = 0;
    int freqMHz = 0;    // primary channel's centre
    int widthMHz = 0;   // 0: not told (taken as 20)
    int signalDbm = 0;  // 0: not told
    bool current = false;
    bool operator==(const SAirEntry&) const = default;
};

struct SAirChannel {
    int channel = 0;
    int freqMHz = 0;
    std::vector<SAirEntry> networks;  // access points with this primary channel, strongest first
    int sharing = 0;                  // access points whose width covers this channel
    bool own = false;                 // the connection's channel (primary or within its width)
    bool operator==(const SAirChannel&) const = default;
};

struct SAirBand {
    std::string band;  // "2.4 GHz", "5 GHz", "6 GHz"
    std::vector<SAirChannel> channels;  // by frequency; only channels with an access point on them
    bool operator==(const SAirBand&) const = default;
};

// The frequencies (MHz, lower and upper edge) an access point occupies: its width's block of the
// band's channel plan on 5 and 6 GHz, centred on the primary channel on 2.4 GHz (22 MHz at 20 MHz,
// the whole 40 MHz pair around it being unknown, ±30 MHz at 40 MHz).
std::pair<int, int> OccupiedRange(int freqMHz, int widthMHz);

// Groups the access points by band and primary channel and counts who shares each channel.
std::vector<SAirBand> BuildAirView(const std::vector<SAirEntry>& entries);

}  // namespace wavory
