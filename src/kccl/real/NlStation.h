// What nl80211 says about a connection's rates (a station's transmit and receive bitrate) and about
// a radio (its channels in the regulatory domain in force, the generations it speaks per band, and
// whether it can do SAE). Pure readings of attributes, tested apart from any socket.
#pragma once

#include <cstdint>
#include <vector>

struct nlattr;

namespace wavory::kccl {

// One rate as KCOM_LINK_INFO describes it.
struct SRateInfo {
    uint32_t rate100k = 0;  // 0 = not known
    uint8_t kind = 0;       // KCOM_RATE_KIND
    uint8_t mcs = 0xFF;     // 0xFF = none (legacy)
    uint8_t nss = 0;        // 0 = not told
    uint8_t guard = 0;      // 0 = 0.8 us, 1 = 0.4 us, 2 = 1.6 us, 3 = 3.2 us
    uint32_t widthMhz = 20;
};

// A NL80211_STA_INFO_TX_BITRATE or _RX_BITRATE attribute (nested NL80211_RATE_INFO_*). The rate is
// the kernel's own figure where it gives one, else computed from MCS, streams, width and guard
// interval. False when the attribute holds nothing usable.
bool ParseRateInfo(const nlattr* rateInfo, SRateInfo& out);

// The four bytes of a rate's description in KCOM_LINK_INFO: kind, MCS, streams, guard interval.
void PutRateDescription(const SRateInfo& rate, uint8_t* p);

// NL80211_ATTR_CHANNEL_WIDTH (enum nl80211_chan_width) in MHz; 0 when unknown.
uint32_t ChannelWidthMhz(uint32_t nlWidth);

struct SWiphyChannel {
    uint32_t freqMhz = 0;
    uint32_t flags = 0;  // KCOM_CHLIST_* bits
};

// A radio as one or more messages of a (split) GET_WIPHY dump describe it.
struct SWiphyInfo {
    std::vector<SWiphyChannel> channels;  // in order of frequency once Finish ran
    int bestPhy[3] = {-1, -1, -1};        // KCOM_PHY_TYPE the radio speaks on 2.4, 5 and 6 GHz; -1 none
    bool sae = false;                     // SAE through the supplicant (or in the driver)
    bool roams = false;                   // the device roams by itself (firmware roaming)
    bool canAp = false;                   // the access point interface type is among its kinds
    bool apWithStation = false;           // an interface combination holds an access point and a station
    bool Has(uint32_t freqMhz) const;
};

// Adds what one message of the dump says (bands, their channels and capabilities, features).
void AddWiphyMessage(nlattr* const* tb, SWiphyInfo& info);
// Orders the channels by frequency and drops any told twice.
void FinishWiphy(SWiphyInfo& info);
// The generation (KCOM_PHY_TYPE) a rate was sent with: HT, VHT, HE and EHT rates name theirs; -1
// for a legacy rate, which every generation sends.
int RateGeneration(const SRateInfo& rate);

// The generation of a connection, without the radio's description (a large dump): the network's
// (from its elements) where the link's own rates reach it; else what whoever runs the link says it
// joined with (`told`, -1 when nobody says); else, on 6 GHz, at least Wi-Fi 6 (nothing older runs
// there); else the newest the link's rates name, or the network's while they name none (only legacy
// frames so far). Never newer than the network's. `rates`: the newest of the link's send and
// receive rates (RateGeneration), -1 for none.
int LinkGeneration(int networkPhy, uint32_t freqMhz, int rates, int told);

}  // namespace wavory::kccl
