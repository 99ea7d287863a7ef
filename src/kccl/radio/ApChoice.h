// Which of a network's access points an attempt takes, from the scan list: a pinned BSSID alone,
// or with the band preference the best 5 or 6 GHz one heard strongly enough before any 2.4 GHz
// one. Shared by the simulated adapter and the real ones, which hand the choice to their way of
// control (a pin as the BSSID to join, a preference as a hint).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "radio/NetSettings.h"

namespace wavory::kccl {

// One access point of the network, as a scan heard it.
struct SApSeen {
    std::array<uint8_t, 6> bssid{};
    int freqMhz = 0;
    int signalDbm = -100;
};

enum class EApChoice {
    Any,        // nothing asked: the way of control picks as it would
    Preferred,  // the band preference's pick (a hint: the way of control may still move)
    Pinned,     // the pinned access point, heard
    PinUnheard  // the pinned access point was not heard: the attempt must not join another
};

struct SApChoice {
    EApChoice kind = EApChoice::Any;
    int index = -1;  // into the list, for Preferred and Pinned
    // For PinUnheard: the sentence the attempt fails with.
    std::string detail;
};

// The choice among `seen` (the network's access points only) for the record's pin and band
// preference. The pin wins over the preference, whatever its band. With the preference and no
// 5/6 GHz access point at or above the floor, the strongest of any band is taken; an empty list
// chooses nothing (the way of control scans for itself).
SApChoice ChooseAccessPoint(const std::vector<SApSeen>& seen, const SNetRecord& record);

// The sentence of a preference the attempt followed or could not, for a joined attempt's note;
// empty when there is nothing to say.
std::string BandChoiceNote(const std::vector<SApSeen>& seen, const SApChoice& choice,
                           const SNetRecord& record);

}  // namespace wavory::kccl
