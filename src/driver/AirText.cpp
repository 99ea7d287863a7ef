#include "driver/AirText.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "base/StringTable.h"
#include "driver/CommVarList.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Eap.h"

namespace wavory {

using kccl::BandOfFrequency;
using kccl::EBand;

namespace {

constexpr std::array<const char*, 11> kKindTexts = {"",
                                                    "None",
                                                    "WEP",
                                                    "WPA-Personal",
                                                    "WPA2-Personal",
                                                    "WPA3-Personal",
                                                    "Enhanced Open",
                                                    "WPA2/WPA3-Personal",
                                                    "WPA2-Enterprise",
                                                    "WPA3-Enterprise",
                                                    "WPA-Enterprise"};

}  // namespace

std::string ChannelLabel(int channel, int freqMHz) {
    const int mhz = kccl::ChannelFrequency(channel, freqMHz);
    std::string text = StrFormat("%d / %#1.3f GHz", channel, mhz / 1000.0);
    if (BandOfFrequency(mhz) == EBand::Band6G) text += " (6 GHz band)";
    return text;
}

std::string GenerationText(int phyType, int freqMHz) {
    const std::string generation = kccl::PhyGeneration(phyType, BandOfFrequency(freqMHz));
    return generation.empty() ? kccl::PhyStandard(phyType) : generation;
}

std::string ChannelText(int channel, int freqMHz, int phyType) {
    const int mhz = kccl::ChannelFrequency(channel, freqMHz);
    if (phyType >= 0 && phyType <= KCOM_PHY_G) {
        // The PHYs of old keep their letter.
        return StrFormat("%d / %#1.3f GHz - 802.11%c", channel, mhz / 1000.0, "abg"[phyType]);
    }
    const std::string generation = kccl::PhyGeneration(phyType, BandOfFrequency(mhz));
    if (generation.empty()) return ChannelLabel(channel, mhz);
    // On 6 GHz the band is named already, and Wi-Fi 6E says 802.11ax by itself.
    if (phyType == KCOM_PHY_AX && BandOfFrequency(mhz) == EBand::Band6G)
        return ChannelLabel(channel, mhz) + " - " + generation;
    return ChannelLabel(channel, mhz) + " - " + generation + " (" + kccl::PhyStandard(phyType) + ")";
}

std::string ChannelColumnText(int channel, int freqMHz) {
    if (BandOfFrequency(freqMHz) == EBand::Band6G) return StrFormat("%d (6 GHz)", channel);
    return StrFormat("%d", channel);
}

const char* SecurityKindText(int kind) {
    return kind >= 0 && kind < static_cast<int>(kKindTexts.size())
               ? kKindTexts[static_cast<std::size_t>(kind)]
               : "";
}

std::string LinkSecurityText(int kind, int eapMethod) {
    if (kind == KCOM_SECURITY_OPEN) return LoadStringId(IDS_DISABLED);
    std::string text = SecurityKindText(kind);
    const char* method = kccl::EapMethodName(eapMethod);
    if (!text.empty() && *method) text += std::string(" (") + method + ")";
    return text;
}

int SecurityKindOfMode(int mode) {
    switch (mode) {
        case 0:
            return KCOM_SECURITY_OPEN;
        case 1:
            return KCOM_SECURITY_WEP;
        case 2:
            return KCOM_SECURITY_WPA;
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
            return KCOM_SECURITY_WPA2;
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
            return KCOM_SECURITY_WPA3;
        case KCOM_SECURITY_MODE_OWE:
            return KCOM_SECURITY_OWE;
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL:
            return KCOM_SECURITY_WPA2_WPA3;
        case KCOM_SECURITY_MODE_WPA2_ENTERPRISE:
            return KCOM_SECURITY_WPA2_ENTERPRISE;
        case KCOM_SECURITY_MODE_WPA3_ENTERPRISE:
            return KCOM_SECURITY_WPA3_ENTERPRISE;
        default:
            return KCOM_SECURITY_UNKNOWN;
    }
}

int SecurityModeOfKind(int kind) {
    switch (kind) {
        case KCOM_SECURITY_WEP:
            return 1;
        case KCOM_SECURITY_WPA:  // the first WPA is TKIP
            return 2;
        case KCOM_SECURITY_WPA2:
            return KCOM_SECURITY_MODE_WPA2_PERSONAL;
        case KCOM_SECURITY_WPA3:
            return KCOM_SECURITY_MODE_WPA3_PERSONAL;
        case KCOM_SECURITY_OWE:
            return KCOM_SECURITY_MODE_OWE;
        case KCOM_SECURITY_WPA2_WPA3:
            return KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
        case KCOM_SECURITY_WPA2_ENTERPRISE:
        case KCOM_SECURITY_WPA_ENTERPRISE:
            return KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
        case KCOM_SECURITY_WPA3_ENTERPRISE:
            return KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
        default:
            return 0;
    }
}

std::optional<SLinkInfo> ReadLinkInfo() {
    CCommVarList list;
    list.AddVarExt(OID_LINK_INFO, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return std::nullopt;
    const uint8_t* block = list.GetVar(0)->GetBlock(0);
    SLinkInfo info;
    info.freqMHz = PayloadU32(block, KCOM_LINK_FREQ);
    info.widthMHz = PayloadU32(block, KCOM_LINK_WIDTH);
    info.phyType = PayloadU32(block, KCOM_LINK_PHY);
    info.txRate100k = PayloadU32(block, KCOM_LINK_TX_RATE);
    info.rxRate100k = PayloadU32(block, KCOM_LINK_RX_RATE);
    info.maxRate100k = PayloadU32(block, KCOM_LINK_MAX_RATE);
    info.securityKind = static_cast<int>(PayloadU32(block, KCOM_LINK_SECURITY));
    info.eapMethod = Payload(block)[KCOM_LINK_EAP_METHOD];
    info.signalDbm = PayloadI32(block, KCOM_LINK_SIGNAL);
    return info;
}

std::optional<SAddressInfo> ReadAddressInfo() {
    CCommVarList list;
    list.AddVarExt(OID_ADDRESS_INFO, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return std::nullopt;
    const uint8_t* p = Payload(list.GetVar(0)->GetBlock(0));
    auto text = [](const uint8_t* a) {
        char out[18];
        std::snprintf(out, sizeof out, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
        return std::string(out);
    };
    SAddressInfo info;
    info.inUse = text(p + KCOM_ADDRESS_IN_USE);
    static const uint8_t zero[6] = {};
    if (std::memcmp(p + KCOM_ADDRESS_OWN, zero, 6) != 0) info.own = text(p + KCOM_ADDRESS_OWN);
    info.random = p[KCOM_ADDRESS_RANDOM] != 0;
    info.mode = p[KCOM_ADDRESS_MODE];
    return info;
}

std::string AddressInfoText(const SAddressInfo& info) {
    if (!info.random) return info.inUse + " (the device's own)";
    return info.inUse + (info.mode == KCOM_MAC_STABLE ? " (random, stable for this network)" : " (random)");
}

std::optional<std::vector<SAdapterChannel>> ReadChannelList() {
    CCommVarList list;
    list.AddVarExt(OID_CHANNEL_LIST, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return std::nullopt;
    const uint8_t* payload = Payload(list.GetVar(0)->GetBlock(0));
    const uint32_t count = PayloadU32(list.GetVar(0)->GetBlock(0), KCOM_CHLIST_COUNT);
    // A count the payload cannot hold is a broken answer, not a long list.
    if (count > KCOM_CHLIST_MAX ||
        KCOM_CHLIST_ENTRIES + static_cast<std::size_t>(count) * KCOM_CHLIST_ENTRY_SIZE > KCOM_PAYLOAD_SIZE)
        return std::nullopt;
    std::vector<SAdapterChannel> channels;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry =
            payload + KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * static_cast<std::size_t>(i);
        uint32_t freq, flags;
        std::memcpy(&freq, entry, 4);
        std::memcpy(&flags, entry + 4, 4);
        if ((flags & KCOM_CHLIST_DISABLED) || kccl::FrequencyToChannel(static_cast<int>(freq)) == 0) continue;
        channels.push_back({static_cast<int>(freq), flags});
    }
    return channels;
}

}  // namespace wavory
