#include "base/History.h"

#include <array>

namespace wavory {

namespace {

constexpr std::array<const char*, 5> kKindKeys{"join", "connect", "roam", "disconnect", "link"};

}  // namespace

const char* HistoryKindKey(SHistoryEvent::EKind kind) { return kKindKeys[static_cast<std::size_t>(kind)]; }

std::optional<SHistoryEvent::EKind> HistoryKindFromKey(const std::string& key) {
    for (std::size_t i = 0; i < kKindKeys.size(); ++i)
        if (key == kKindKeys[i]) return static_cast<SHistoryEvent::EKind>(i);
    return std::nullopt;
}

std::string BandOfFrequency(int freqMHz) {
    if (freqMHz <= 0) return {};
    if (freqMHz < 3000) return "2.4 GHz";
    if (freqMHz < 5925) return "5 GHz";
    if (freqMHz < 7200) return "6 GHz";
    return "60 GHz";
}

}  // namespace wavory
