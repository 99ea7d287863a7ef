#include "SimRates.h"

#include <array>

#include "kccl_oid.h"
#include "radio/Rates.h"

namespace wavory::kccl {

namespace {

// Legacy rates in 100 kbit/s with the signal-to-noise ratio each needs.
struct SLegacy {
    uint32_t rate100k;
    int snrDb;
};
constexpr std::array<SLegacy, 4> kDsss = {{{10, 2}, {20, 4}, {55, 7}, {110, 10}}};
constexpr std::array<SLegacy, 8> kOfdm = {
    {{60, 5}, {90, 6}, {120, 8}, {180, 11}, {240, 14}, {360, 18}, {480, 22}, {540, 25}}};
constexpr int kMimoSnrDb = 15;

ERateKind KindOf(uint8_t phy) {
    switch (phy) {
        case KCOM_PHY_N:
            return ERateKind::HT;
        case KCOM_PHY_AC:
            return ERateKind::VHT;
        case KCOM_PHY_AX:
            return ERateKind::HE;
        case KCOM_PHY_BE:
            return ERateKind::EHT;
        default:
            return ERateKind::Legacy;
    }
}

int WidthPenaltyDb(int width) {
    int db = 0;
    for (int w = 20; w < width; w *= 2) db += 3;
    return db;
}

SimRate Mcs(const SimNetwork& net, ERateKind kind, int mcs, int streams) {
    // HT and VHT links use the short guard interval, HE and EHT the shortest they have.
    const int guard = kind == ERateKind::HT || kind == ERateKind::VHT ? GI_400NS : GI_800NS;
    SimRate r;
    r.kind = static_cast<uint8_t>(kind);
    r.mcs = static_cast<uint8_t>(kind == ERateKind::HT ? mcs + 8 * (streams - 1) : mcs);
    r.streams = static_cast<uint8_t>(streams);
    r.guard = static_cast<uint8_t>(guard);
    r.rate100k = Bitrate100k(kind, mcs, streams, net.widthMHz, guard);
    return r;
}

template <std::size_t N>
SimRate Legacy(const std::array<SLegacy, N>& table, int snrDb) {
    SimRate r;
    r.rate100k = table[0].rate100k;
    for (const SLegacy& l : table)
        if (snrDb >= l.snrDb) r.rate100k = l.rate100k;
    return r;
}

int Streams(const SimNetwork& net) { return net.streams > 0 ? net.streams : 1; }

}  // namespace

SimRate BestRate(const SimNetwork& net) {
    const ERateKind kind = KindOf(net.phy);
    if (kind == ERateKind::Legacy) return net.phy == KCOM_PHY_B ? Legacy(kDsss, 1000) : Legacy(kOfdm, 1000);
    return Mcs(net, kind, MaxMcs(kind), Streams(net));
}

SimRate RateForSnr(const SimNetwork& net, int snrDb) {
    const ERateKind kind = KindOf(net.phy);
    if (kind == ERateKind::Legacy) return net.phy == KCOM_PHY_B ? Legacy(kDsss, snrDb) : Legacy(kOfdm, snrDb);
    const int penalty = WidthPenaltyDb(net.widthMHz);
    const int streams = snrDb >= kMimoSnrDb + penalty ? Streams(net) : 1;
    int mcs = 0;
    for (int m = MaxMcs(kind); m > 0; --m) {
        if (snrDb >= RequiredSnrDb(m) + penalty) {
            mcs = m;
            break;
        }
    }
    return Mcs(net, kind, mcs, streams);
}

}  // namespace wavory::kccl
