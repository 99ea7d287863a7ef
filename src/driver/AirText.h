// How the utility words a connection's radio: channel and band, generation, rates and the kind of
// security, the same on every page, list and command. Also the adapter's link details (request
// OID_LINK_INFO) and its channel list (OID_CHANNEL_LIST), read through driver variables.
#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wavory {

// "36 / 5.180 GHz - Wi-Fi 6 (802.11ax)", "5 / 5.975 GHz (6 GHz band) - Wi-Fi 6E", and for the PHYs
// of old "6 / 2.437 GHz - 802.11g". The frequency is the channel's own when 0 is given.
std::string ChannelText(int channel, int freqMHz, int phyType);
// A channel as a list shows it: "36 / 5.180 GHz", "5 / 5.975 GHz (6 GHz band)".
std::string ChannelLabel(int channel, int freqMHz);
// The Channel column of the survey: the number, with the band where the number alone would be
// read as 2.4 or 5 GHz ("5 (6 GHz)").
std::string ChannelColumnText(int channel, int freqMHz);
// "Wi-Fi 6E", "Wi-Fi 5", "802.11g" (the older PHYs have no generation name).
std::string GenerationText(int phyType, int freqMHz);

// The security as the General page shows it: the design's "Disabled" for an open network, else the
// kind's readable name, with the 802.1X method where there is one ("WPA2-Enterprise (PEAP)").
std::string LinkSecurityText(int kind, int eapMethod = 0);

// Readable names of the kinds of security (KCOM_SECURITY_KIND): "None", "WEP", "WPA-Personal",
// "WPA2-Personal", "WPA3-Personal", "WPA2/WPA3-Personal", "Enhanced Open", "WPA-Enterprise",
// "WPA2-Enterprise", "WPA3-Enterprise"; empty for unknown.
const char* SecurityKindText(int kind);
// The kind of security a security mode of the adapter joins (0 none … KCOM_SECURITY_MODE_*).
int SecurityKindOfMode(int mode);
// The security mode that joins a kind of network; 0 for open and unknown, 1 for WEP.
int SecurityModeOfKind(int kind);

// The connection's radio as the adapter reports it.
struct SLinkInfo {
    uint32_t freqMHz = 0;  // 0: no link
    uint32_t widthMHz = 0;
    uint32_t phyType = 0;
    uint32_t txRate100k = 0, rxRate100k = 0, maxRate100k = 0;
    int securityKind = 0;
    int eapMethod = 0;              // KCOM_EAP_METHOD of an 802.1X connection
    int32_t signalDbm = INT32_MIN;  // INT32_MIN: not told
};
// One read of OID_LINK_INFO; nothing when the adapter does not answer it.
std::optional<SLinkInfo> ReadLinkInfo();

// The hardware address the adapter uses, as OID_ADDRESS_INFO tells it.
struct SAddressInfo {
    std::string inUse;    // "02:1a:...", lower case
    std::string own;      // the adapter's own; empty where not known
    bool random = false;  // the address in use is not the adapter's own
    int mode = 0;         // KCOM_MAC_MODE the last join asked for
};
// One read of OID_ADDRESS_INFO; nothing when the adapter does not answer it.
std::optional<SAddressInfo> ReadAddressInfo();
// "02:1a:2b:3c:4d:5e (random)" or "00:11:22:33:44:55 (the device's own)".
std::string AddressInfoText(const SAddressInfo& info);

// A channel of the adapter in its regulatory domain.
struct SAdapterChannel {
    int freqMHz;
    uint32_t flags;  // KCOM_CHLIST_* bits
};
// The adapter's channel list (OID_CHANNEL_LIST), disabled ones left out; nothing when the adapter
// does not answer it.
std::optional<std::vector<SAdapterChannel>> ReadChannelList();

}  // namespace wavory
