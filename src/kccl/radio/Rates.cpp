#include "radio/Rates.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace wavory::kccl {

namespace {

// Per MCS index within a stream: coded bits per subcarrier and the code rate.
struct SModulation {
    int bits;
    int rateNum;
    int rateDen;
};
constexpr std::array<SModulation, 14> kModulations = {{
    {1, 1, 2},   // BPSK 1/2
    {2, 1, 2},   // QPSK 1/2
    {2, 3, 4},   // QPSK 3/4
    {4, 1, 2},   // 16-QAM 1/2
    {4, 3, 4},   // 16-QAM 3/4
    {6, 2, 3},   // 64-QAM 2/3
    {6, 3, 4},   // 64-QAM 3/4
    {6, 5, 6},   // 64-QAM 5/6
    {8, 3, 4},   // 256-QAM 3/4
    {8, 5, 6},   // 256-QAM 5/6
    {10, 3, 4},  // 1024-QAM 3/4
    {10, 5, 6},  // 1024-QAM 5/6
    {12, 3, 4},  // 4096-QAM 3/4
    {12, 5, 6},  // 4096-QAM 5/6
}};

constexpr int kMaxStreams = 8;

// Data subcarriers of a width: HT and VHT use 64-point symbols per 20 MHz, HE and EHT 256-point.
int DataSubcarriers(ERateKind kind, int widthMHz) {
    if (kind == ERateKind::HT || kind == ERateKind::VHT) {
        switch (widthMHz) {
            case 20:
                return 52;
            case 40:
                return 108;
            case 80:
                return kind == ERateKind::VHT ? 234 : 0;
            case 160:
                return kind == ERateKind::VHT ? 468 : 0;
            default:
                return 0;
        }
    }
    switch (widthMHz) {
        case 20:
            return 234;
        case 40:
            return 468;
        case 80:
            return 980;
        case 160:
            return 1960;
        case 320:
            return kind == ERateKind::EHT ? 3920 : 0;
        default:
            return 0;
    }
}

// Symbol duration in nanoseconds: 3200 (HT, VHT) or 12800 (HE, EHT) plus the guard interval.
int SymbolNs(ERateKind kind, int guard) {
    const bool wide = kind == ERateKind::HE || kind == ERateKind::EHT;
    switch (guard) {
        case GI_800NS:
            return (wide ? 12800 : 3200) + 800;
        case GI_400NS:
            return wide ? 0 : 3200 + 400;
        case GI_1600NS:
            return wide ? 12800 + 1600 : 0;
        case GI_3200NS:
            return wide ? 12800 + 3200 : 0;
        default:
            return 0;
    }
}

}  // namespace

int MaxMcs(ERateKind kind) {
    switch (kind) {
        case ERateKind::HT:
            return 7;
        case ERateKind::VHT:
            return 9;
        case ERateKind::HE:
            return 11;
        case ERateKind::EHT:
            return 13;
        default:
            return -1;
    }
}

uint32_t Bitrate100k(ERateKind kind, int mcs, int nss, int widthMHz, int guard) {
    if (kind == ERateKind::HT) {
        // HT numbers streams into the index: 0..7 one stream, 8..15 two, up to 31.
        if (mcs < 0 || mcs > 31) return 0;
        if (mcs > 7 || nss <= 0) nss = mcs / 8 + 1;
        mcs %= 8;
    }
    if (mcs < 0 || mcs > MaxMcs(kind) || nss < 1 || nss > kMaxStreams) return 0;
    const int subcarriers = DataSubcarriers(kind, widthMHz);
    const int symbolNs = SymbolNs(kind, guard);
    if (subcarriers == 0 || symbolNs == 0) return 0;
    const SModulation& m = kModulations[static_cast<std::size_t>(mcs)];
    // Bits per symbol over the symbol time: bits/ns is Gbit/s, so 1e4 of them are 100 kbit/s.
    const double bitsPerSymbol =
        static_cast<double>(subcarriers) * m.bits * m.rateNum / m.rateDen * static_cast<double>(nss);
    return static_cast<uint32_t>(std::lround(bitsPerSymbol / symbolNs * 10000.0));
}

std::string FormatRate100k(uint32_t rate100k) {
    if (rate100k == 0) return {};
    char text[32];
    if (rate100k % 10 == 0)
        std::snprintf(text, sizeof text, "%u Mbps", rate100k / 10);
    else
        std::snprintf(text, sizeof text, "%u.%u Mbps", rate100k / 10, rate100k % 10);
    return text;
}

int RequiredSnrDb(int mcs) {
    static constexpr std::array<int, 14> kSnr = {5, 8, 11, 14, 17, 21, 23, 25, 29, 31, 34, 37, 40, 43};
    if (mcs < 0) return 0;
    return kSnr[static_cast<std::size_t>(mcs < 13 ? mcs : 13)];
}

}  // namespace wavory::kccl
