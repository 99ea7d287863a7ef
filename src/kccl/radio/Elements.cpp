#include "radio/Elements.h"

#include <algorithm>

#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Rates.h"

namespace wavory::kccl {

namespace {

constexpr std::size_t kHtCapLen = 26;
constexpr std::size_t kHtMcsSet = 3;  // offset of the supported MCS set in the HT capabilities
constexpr std::size_t kVhtCapLen = 12;
constexpr std::size_t kVhtOpLen = 5;
constexpr std::size_t kHeCapMin = 6 + 11 + 4;  // MAC and PHY capabilities, the MCS maps up to 80 MHz
constexpr std::size_t kHeOpMin = 6;
constexpr std::size_t kEhtCapMin = 2 + 9 + 3;
constexpr std::size_t kEhtOpMin = 5;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The width a VHT operation (or the VHT part of an HE operation) describes; 0 for "see HT".
int VhtOperationWidth(const uint8_t* op) {
    const int width = op[0];
    const int ccfs0 = op[1];
    const int ccfs1 = op[2];
    if (width == 0) return 0;
    if (width == 1) {
        // 160 MHz is told by a second centre segment 8 channels from the first (80+80 further off).
        return ccfs1 != 0 && std::abs(ccfs1 - ccfs0) >= 8 ? 160 : 80;
    }
    return 160;  // 2 (160) and 3 (80+80), both deprecated forms
}

struct SFound {
    bool ht = false, vht = false, he = false, eht = false;
    uint32_t legacy100k = 0;
    bool ofdm = false;
    // HT
    bool ht40Cap = false, sgi20 = false, sgi40 = false;
    int htStreams = 0;
    int htOpWidth = 0;  // 0: no HT operation
    // VHT
    int vhtCapWidth = 80;
    bool sgi80 = false, sgi160 = false;
    uint16_t vhtMcsMap = 0xFFFF;
    int vhtOpWidth = -1;  // -1: no VHT operation; 0: see HT
    // HE
    uint8_t hePhy0 = 0;
    uint16_t heMap80 = 0xFFFF, heMap160 = 0xFFFF;
    int heOpWidth = -1;  // from the HE operation's VHT or 6 GHz part; -1 when it has none
    // EHT
    bool eht320Cap = false;
    int ehtNss[3] = {0, 0, 0};  // streams for MCS 0..9, 10..11, 12..13
    int ehtOpWidth = -1;
};

void ReadRates(const SElement& e, SFound& f) {
    for (std::size_t i = 0; i < e.len; ++i) {
        const int value = e.data[i] & 0x7F;  // in 500 kbit/s; the top bit marks a basic rate
        // Membership selectors (HT PHY, VHT PHY, SAE hash-to-element …) are above 54 Mbit/s.
        if (value == 0 || value > 108) continue;
        if (value != 2 && value != 4 && value != 11 && value != 22) f.ofdm = true;
        f.legacy100k = std::max<uint32_t>(f.legacy100k, static_cast<uint32_t>(value) * 5);
    }
}

void ReadHtCapabilities(const SElement& e, SFound& f) {
    if (e.len < kHtCapLen) return;
    f.ht = true;
    const uint16_t info = U16(e.data);
    f.ht40Cap = info & 0x0002;
    f.sgi20 = info & 0x0020;
    f.sgi40 = info & 0x0040;
    for (int stream = 0; stream < 4; ++stream)
        if (e.data[kHtMcsSet + stream] != 0) f.htStreams = stream + 1;
}

void ReadHtOperation(const SElement& e, SFound& f) {
    if (e.len < 2) return;
    const int offset = e.data[1] & 0x03;
    const bool anyWidth = e.data[1] & 0x04;
    f.htOpWidth = (offset == 1 || offset == 3) && anyWidth ? 40 : 20;
}

void ReadVhtCapabilities(const SElement& e, SFound& f) {
    if (e.len < kVhtCapLen) return;
    f.vht = true;
    const uint32_t info = static_cast<uint32_t>(e.data[0]) | static_cast<uint32_t>(e.data[1]) << 8 |
                          static_cast<uint32_t>(e.data[2]) << 16 | static_cast<uint32_t>(e.data[3]) << 24;
    f.vhtCapWidth = ((info >> 2) & 0x3) != 0 ? 160 : 80;
    f.sgi80 = info & 0x20;
    f.sgi160 = info & 0x40;
    f.vhtMcsMap = U16(e.data + 4);
}

void ReadHeCapabilities(const SElement& e, SFound& f) {
    if (e.len < kHeCapMin) return;
    f.he = true;
    f.hePhy0 = e.data[6];
    f.heMap80 = U16(e.data + 17);
    if ((f.hePhy0 & 0x08) && e.len >= kHeCapMin + 4) f.heMap160 = U16(e.data + 21);
}

void ReadHeOperation(const SElement& e, SFound& f) {
    if (e.len < kHeOpMin) return;
    const uint32_t params = static_cast<uint32_t>(e.data[0]) | static_cast<uint32_t>(e.data[1]) << 8 |
                            static_cast<uint32_t>(e.data[2]) << 16;
    std::size_t pos = kHeOpMin;
    if (params & (1u << 14)) {  // VHT operation information present
        if (e.len < pos + 3) return;
        const int width = VhtOperationWidth(e.data + pos);
        if (width != 0) f.heOpWidth = width;
        pos += 3;
    }
    if (params & (1u << 15)) pos += 1;  // co-hosted BSS indicator
    if (params & (1u << 17)) {          // 6 GHz operation information present
        if (e.len < pos + 5) return;
        static constexpr int kWidths[4] = {20, 40, 80, 160};
        int width = kWidths[e.data[pos + 1] & 0x03];
        // 80 MHz with a second segment is 160 MHz, as in the VHT operation.
        if (width == 80 && e.data[pos + 3] != 0 && std::abs(e.data[pos + 3] - e.data[pos + 2]) >= 8)
            width = 160;
        f.heOpWidth = width;
    }
}

void ReadEhtCapabilities(const SElement& e, SFound& f) {
    if (e.len < kEhtCapMin) return;
    f.eht = true;
    f.eht320Cap = e.data[2] & 0x02;
    // The MCS and stream map up to 80 MHz: receive streams in the low half of each byte.
    for (int i = 0; i < 3; ++i) f.ehtNss[i] = e.data[11 + i] & 0x0F;
}

void ReadEhtOperation(const SElement& e, SFound& f) {
    if (e.len < kEhtOpMin || !(e.data[0] & 0x01) || e.len < kEhtOpMin + 3) return;
    static constexpr int kWidths[8] = {20, 40, 80, 160, 320, 0, 0, 0};
    const int width = kWidths[e.data[kEhtOpMin] & 0x07];
    if (width != 0) f.ehtOpWidth = width;
}

// The width the network operates at.
int OperatingWidth(const SFound& f, EBand band) {
    int width = 20;
    if (f.htOpWidth > 0)
        width = f.htOpWidth;
    else if (f.ht40Cap && band == EBand::Band2G4)
        width = 40;
    if (band != EBand::Band2G4) {
        if (f.vhtOpWidth > 0)
            width = f.vhtOpWidth;
        else if (f.vht && f.vhtOpWidth < 0 && f.htOpWidth == 0)
            width = f.vhtCapWidth;
        if (f.heOpWidth > 0) width = f.heOpWidth;
        if (band == EBand::Band6G && f.heOpWidth < 0 && f.he)
            width = (f.hePhy0 & 0x08) ? 160 : (f.hePhy0 & 0x04) ? 80 : 20;
    }
    if (f.ehtOpWidth > 0) width = f.ehtOpWidth;
    return width;
}

// The fastest of the streams and MCS ranges a two-bit-per-stream map offers (VHT and HE maps):
// value 0 is MCS 0..7, then two more per step, 3 none.
void BestOfMap(uint16_t map, ERateKind kind, int width, int guard, SNetworkRadio& out) {
    const int step = kind == ERateKind::HE ? 2 : 1;  // VHT: 7, 8, 9; HE: 7, 9, 11
    for (int stream = 0; stream < 8; ++stream) {
        const int value = (map >> (2 * stream)) & 0x3;
        if (value == 3) continue;
        const uint32_t rate = Bitrate100k(kind, 7 + step * value, stream + 1, width, guard);
        if (rate > out.maxRate100k) {
            out.maxRate100k = rate;
            out.streams = stream + 1;
        }
    }
}

}  // namespace

bool ForEachElement(const uint8_t* ies, std::size_t len, const std::function<void(const SElement&)>& visit) {
    std::size_t pos = 0;
    while (pos + 2 <= len) {
        const int id = ies[pos];
        const std::size_t size = ies[pos + 1];
        if (pos + 2 + size > len) return false;
        const uint8_t* body = ies + pos + 2;
        if (id == EID_EXTENSION) {
            if (size >= 1) visit(SElement{id, body[0], body + 1, size - 1});
        } else {
            visit(SElement{id, -1, body, size});
        }
        pos += 2 + size;
    }
    return pos == len;
}

std::vector<uint8_t> ElementsFromHex(std::string_view hex) {
    std::vector<uint8_t> out;
    if (hex.size() % 2 != 0) return out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexValue(hex[i]);
        const int lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return {};
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return out;
}

SNetworkRadio ParseNetworkRadio(const uint8_t* ies, std::size_t len, int freqMHz) {
    const EBand band = BandOfFrequency(freqMHz);
    SFound f;
    ForEachElement(ies, len, [&f](const SElement& e) {
        switch (e.id) {
            case EID_SUPPORTED_RATES:
            case EID_EXTENDED_RATES:
                ReadRates(e, f);
                break;
            case EID_HT_CAPABILITIES:
                ReadHtCapabilities(e, f);
                break;
            case EID_HT_OPERATION:
                ReadHtOperation(e, f);
                break;
            case EID_VHT_CAPABILITIES:
                ReadVhtCapabilities(e, f);
                break;
            case EID_VHT_OPERATION:
                if (e.len >= kVhtOpLen) f.vhtOpWidth = VhtOperationWidth(e.data);
                break;
            case EID_EXTENSION:
                if (e.extId == EXT_HE_CAPABILITIES) ReadHeCapabilities(e, f);
                if (e.extId == EXT_HE_OPERATION) ReadHeOperation(e, f);
                if (e.extId == EXT_EHT_CAPABILITIES) ReadEhtCapabilities(e, f);
                if (e.extId == EXT_EHT_OPERATION) ReadEhtOperation(e, f);
                break;
            default:
                break;
        }
    });
    // VHT is a 5 GHz PHY; some 2.4 GHz access points send its elements all the same.
    if (band == EBand::Band2G4) f.vht = false;

    SNetworkRadio out;
    const int width = OperatingWidth(f, band);
    if (f.eht) {
        out.phyType = KCOM_PHY_BE;
        out.widthMHz = width == 320 && !f.eht320Cap ? 160 : width;
        const int range = f.ehtNss[2] > 0 ? 2 : f.ehtNss[1] > 0 ? 1 : 0;
        out.streams = std::max(1, f.ehtNss[range]);
        out.maxRate100k = Bitrate100k(ERateKind::EHT, 9 + 2 * range, out.streams, out.widthMHz, GI_800NS);
    } else if (f.he) {
        out.phyType = KCOM_PHY_AX;
        out.widthMHz = std::min(width, 160);
        BestOfMap(out.widthMHz == 160 && f.heMap160 != 0xFFFF ? f.heMap160 : f.heMap80, ERateKind::HE,
                  out.widthMHz, GI_800NS, out);
    } else if (f.vht) {
        out.phyType = KCOM_PHY_AC;
        out.widthMHz = std::min(width, 160);
        const bool sgi = out.widthMHz == 160  ? f.sgi160
                         : out.widthMHz == 80 ? f.sgi80
                         : out.widthMHz == 40 ? f.sgi40
                                              : f.sgi20;
        BestOfMap(f.vhtMcsMap, ERateKind::VHT, out.widthMHz, sgi ? GI_400NS : GI_800NS, out);
    } else if (f.ht) {
        out.phyType = KCOM_PHY_N;
        out.widthMHz = std::min(width, 40);
        out.streams = std::max(1, f.htStreams);
        const bool sgi = out.widthMHz == 40 ? f.sgi40 : f.sgi20;
        out.maxRate100k = Bitrate100k(ERateKind::HT, 7, out.streams, out.widthMHz, sgi ? GI_400NS : GI_800NS);
    } else if (f.legacy100k > 0) {
        out.phyType = band == EBand::Band2G4 ? (f.ofdm ? KCOM_PHY_G : KCOM_PHY_B) : KCOM_PHY_A;
        out.widthMHz = 20;
    }
    out.maxRate100k = std::max(out.maxRate100k, f.legacy100k);
    return out;
}

}  // namespace wavory::kccl
