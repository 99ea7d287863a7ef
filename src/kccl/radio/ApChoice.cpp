#include "radio/ApChoice.h"

#include "radio/Bands.h"

namespace wavory::kccl {

namespace {

bool HighBand(int mhz) {
    const EBand band = BandOfFrequency(mhz);
    return band == EBand::Band5G || band == EBand::Band6G;
}

// The strongest of the list that passes `take`; -1 when none does. Equal signals keep the first.
template <typename Take>
int Strongest(const std::vector<SApSeen>& seen, Take take) {
    int best = -1;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (!take(seen[i])) continue;
        if (best < 0 || seen[i].signalDbm > seen[static_cast<std::size_t>(best)].signalDbm)
            best = static_cast<int>(i);
    }
    return best;
}

}  // namespace

SApChoice ChooseAccessPoint(const std::vector<SApSeen>& seen, const SNetRecord& record) {
    SApChoice out;
    if (record.HasPin()) {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].bssid != record.pin) continue;
            out.kind = EApChoice::Pinned;
            out.index = static_cast<int>(i);
            return out;
        }
        out.kind = EApChoice::PinUnheard;
        out.detail =
            "the access point this network is pinned to, " + MacText(record.pin) + ", is not in range" +
            (seen.empty() ? std::string()
                          : " (the network's other access points are not joined while it is pinned)");
        return out;
    }
    if (!record.preferHighBand || seen.empty()) return out;
    int best = Strongest(
        seen, [&](const SApSeen& ap) { return HighBand(ap.freqMhz) && ap.signalDbm >= record.bandFloorDbm; });
    if (best < 0) best = Strongest(seen, [](const SApSeen&) { return true; });
    out.kind = EApChoice::Preferred;
    out.index = best;
    return out;
}

std::string BandChoiceNote(const std::vector<SApSeen>& seen, const SApChoice& choice,
                           const SNetRecord& record) {
    if (choice.kind != EApChoice::Preferred || choice.index < 0) return {};
    const SApSeen& ap = seen[static_cast<std::size_t>(choice.index)];
    if (HighBand(ap.freqMhz)) return {};
    bool high = false;
    for (const SApSeen& other : seen) high = high || HighBand(other.freqMhz);
    return high ? "no 5 or 6 GHz access point of the network was heard at " +
                      std::to_string(record.bandFloorDbm) + " dBm or stronger: the " +
                      BandName(BandOfFrequency(ap.freqMhz)) + " one was taken"
                : "the network has no 5 or 6 GHz access point in range: the " +
                      std::string(BandName(BandOfFrequency(ap.freqMhz))) + " one was taken";
}

}  // namespace wavory::kccl
