// The real adapter's reads: from the kernel's view of the interface (one reading per refresh, see
// CLinkView), sysfs and the ethtool ioctl, into the payloads of the request codes.
#include <linux/ethtool.h>
#include <linux/nl80211.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "LinkAddress.h"
#include "RealAdapter.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {

namespace fs = std::filesystem;

namespace {

// Reply marks of the two requests that share one code for query and set (see WepKey, RegDomain).
constexpr uint8_t kKeyReplyMark[2] = {0x52, 0x51};
constexpr uint32_t kDomainReplyMark = 0x51524B44;

uint32_t GetU32(const uint8_t* p, size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

void PutU32(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

uint32_t Answer(uint8_t* p, uint32_t value) {
    PutU32(p, 0, value);
    return kStatusSuccess;
}

bool ReadCounter(const std::string& ifname, const char* name, uint64_t& value) {
    std::ifstream in("/sys/class/net/" + ifname + "/statistics/" + name);
    return static_cast<bool>(in >> value);
}

}  // namespace

uint32_t CRealAdapter::DeviceInfo(uint8_t* p) {
    std::memset(p, 0, 152);
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", m_Info.name.c_str());
    ifr.ifr_data = reinterpret_cast<char*>(&info);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kStatusFailed;
    const int rc = ::ioctl(fd, SIOCETHTOOL, &ifr);
    ::close(fd);
    if (rc != 0) return kStatusFailed;
    const auto driver =
        DriverVersionWords(std::string(info.version, strnlen(info.version, sizeof info.version)));
    const auto firmware =
        FirmwareVersionWords(std::string(info.fw_version, strnlen(info.fw_version, sizeof info.fw_version)));
    const auto nvm =
        NvmVersionWords(std::string(info.erom_version, strnlen(info.erom_version, sizeof info.erom_version)));
    for (size_t i = 0; i < 4; ++i) PutU32(p, 8 + 4 * i, driver[i]);
    PutU32(p, 32, firmware[0]);
    PutU32(p, 36, firmware[1]);
    PutU32(p, 148, nvm[0]);
    PutU32(p, 0, nvm[1]);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryMac(uint8_t* p) {
    std::memset(p, 0, 8);
    // The address in use now: a join may have changed it since the interface was listed.
    MacAddress now{};
    if (ReadLinkAddress(m_Info.name, now)) {
        std::memcpy(p, now.data(), 6);
        return kStatusSuccess;
    }
    const std::string& mac = m_Info.mac;
    for (size_t i = 0; i < 6 && mac.size() >= 17; ++i)
        p[i] = static_cast<uint8_t>(ParseNumber(mac.substr(3 * i, 2), 16, 0xFF).value_or(0));
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryAddressInfo(uint8_t* p) {
    std::memset(p, 0, KCOM_ADDRESS_SIZE);
    MacAddress now{}, own{};
    if (!ReadLinkAddress(m_Info.name, now)) return kStatusFailed;
    const bool ownKnown = ReadPermanentAddress(m_Info.name, own);
    std::memcpy(p + KCOM_ADDRESS_IN_USE, now.data(), 6);
    if (ownKnown) std::memcpy(p + KCOM_ADDRESS_OWN, own.data(), 6);
    p[KCOM_ADDRESS_MODE] = m_nJoinMacMode.load();
    // Without the adapter's own address to compare with, a locally administered one is a made-up one.
    p[KCOM_ADDRESS_RANDOM] = ownKnown ? (now != own ? 1 : 0) : ((now[0] & 0x02) ? 1 : 0);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryBssid(uint8_t* p) {
    std::memset(p, 0, 8);
    SBss bss;
    if (m_View.Associated(bss)) std::memcpy(p, bss.bssid, 6);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QuerySsid(uint8_t* p) {
    SBss bss;
    const std::string ssid = m_View.Associated(bss) ? bss.ssid : m_Wanted.ssid;
    std::memset(p, 0, 34);
    p[0] = static_cast<uint8_t>(std::min<size_t>(ssid.size(), 32));
    std::memcpy(p + 1, ssid.data(), p[0]);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryPhy(uint8_t* p) {
    SBss bss;
    if (m_View.Associated(bss)) return Answer(p, static_cast<uint32_t>(LinkGeneration(bss)));
    return Answer(p, m_Wanted.phy);
}

// Once per association; a fact not told yet (the 802.1X exchange may still run, or this user may
// not ask) is asked again at most every few seconds, not on every refresh.
template <typename T, typename Ask>
T CRealAdapter::AskPerLink(SLinkFact<T>& fact, const SBss& bss, T unknown, const Ask& ask) {
    const uint32_t changes = m_nLinkChanges;
    const auto now = std::chrono::steady_clock::now();
    if (fact.changes == changes && std::memcmp(fact.bssid, bss.bssid, sizeof bss.bssid) == 0 &&
        fact.askedAt != std::chrono::steady_clock::time_point{} &&
        (fact.value != unknown || now - fact.askedAt < std::chrono::seconds(5)))
        return fact.value;
    fact.changes = changes;
    std::memcpy(fact.bssid, bss.bssid, sizeof bss.bssid);
    fact.askedAt = now;
    fact.value = ask();
    return fact.value;
}

int CRealAdapter::LinkGeneration(const SBss& bss) {
    const int network = NetworkRadio(bss.freqMhz, bss.ies).phyType;
    if (network <= KCOM_PHY_G) return network;
    // The link's own rates name the generation: the radio's description (a dump of many messages)
    // is not read for it.
    SStationState station;
    int rates = -1;
    if (m_View.Station(station))
        rates = std::max(station.hasTx ? RateGeneration(station.tx) : -1,
                         station.hasRx ? RateGeneration(station.rx) : -1);
    int told = -1;
    if (rates < network && m_pControl)
        told = AskPerLink(m_LinkGeneration, bss, -1, [this] { return m_pControl->LinkGeneration(); });
    return kccl::LinkGeneration(network, bss.freqMhz, rates, told);
}

uint32_t CRealAdapter::LinkSecurity(const SBss& bss) {
    const uint8_t kind = SecurityKind(bss.capability, bss.ies);
    if (kind != KCOM_SECURITY_WPA2_WPA3) return kind;
    // A transition network is joined as WPA3 unless WPA2 was asked for or the radio has no SAE.
    SWiphyInfo radio;
    const bool sae = !m_View.Wiphy(radio) || radio.sae;
    return m_Wanted.security == KCOM_SECURITY_MODE_WPA2_PERSONAL || !sae ? KCOM_SECURITY_WPA2
                                                                         : KCOM_SECURITY_WPA3;
}

uint8_t CRealAdapter::LinkEapMethod(const SBss& bss) {
    if (!m_pControl) return KCOM_EAP_NONE;  // without a supplicant there is no 802.1X
    return AskPerLink<uint8_t>(m_LinkEap, bss, KCOM_EAP_NONE, [this] { return m_pControl->LinkEapMethod(); });
}

uint32_t CRealAdapter::QueryLinkInfo(uint8_t* p) {
    std::memset(p, 0, KCOM_LINK_EAP_METHOD + 4);
    PutU32(p, KCOM_LINK_SIGNAL, static_cast<uint32_t>(INT32_MIN));
    PutU32(p, KCOM_LINK_NOISE, static_cast<uint32_t>(INT32_MIN));
    SBss bss;
    if (!m_View.Associated(bss)) return kStatusSuccess;  // frequency 0: no link
    SIfaceState iface;
    ReadInterface(iface);
    const SNetworkRadio radio = NetworkRadio(bss.freqMhz, bss.ies);
    const uint32_t freq = iface.freqMhz != 0 ? iface.freqMhz : bss.freqMhz;
    PutU32(p, KCOM_LINK_FREQ, freq);
    PutU32(p, KCOM_LINK_WIDTH, iface.widthMhz != 0 ? iface.widthMhz : static_cast<uint32_t>(radio.widthMHz));
    PutU32(p, KCOM_LINK_PHY, static_cast<uint32_t>(LinkGeneration(bss)));
    SStationState station;
    uint32_t fastest = radio.maxRate100k;
    if (m_View.Station(station)) {
        if (station.hasTx) {
            PutU32(p, KCOM_LINK_TX_RATE, station.tx.rate100k);
            PutRateDescription(station.tx, p + KCOM_LINK_TX_KIND);
        }
        if (station.hasRx) {
            PutU32(p, KCOM_LINK_RX_RATE, station.rx.rate100k);
            PutRateDescription(station.rx, p + KCOM_LINK_RX_KIND);
        }
        // The network's elements may promise less than the link already does (a rate it did not list).
        fastest = std::max({fastest, station.tx.rate100k, station.rx.rate100k});
        if (station.hasSignal) PutU32(p, KCOM_LINK_SIGNAL, static_cast<uint32_t>(station.signalDbm));
    }
    if (!station.hasSignal) PutU32(p, KCOM_LINK_SIGNAL, static_cast<uint32_t>(bss.signalDbm));
    PutU32(p, KCOM_LINK_MAX_RATE, fastest);
    const uint32_t security = LinkSecurity(bss);
    PutU32(p, KCOM_LINK_SECURITY, security);
    if (security == KCOM_SECURITY_WPA2_ENTERPRISE || security == KCOM_SECURITY_WPA3_ENTERPRISE)
        p[KCOM_LINK_EAP_METHOD] = LinkEapMethod(bss);
    // The noise costs a survey dump, and only the signal-to-noise ratio (QuerySnr) shows it: the
    // link's description carries it when this refresh has read it already.
    int noise = 0;
    if (m_View.Noise(bss.freqMhz, noise, false)) PutU32(p, KCOM_LINK_NOISE, static_cast<uint32_t>(noise));
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryChannelList(uint8_t* p) {
    SWiphyInfo radio;
    if (!m_View.Wiphy(radio)) return kStatusFailed;
    const size_t count = std::min<size_t>(radio.channels.size(), KCOM_CHLIST_MAX);
    std::memset(p, 0, KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * count);
    PutU32(p, KCOM_CHLIST_COUNT, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t* entry = p + KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * i;
        PutU32(entry, 0, radio.channels[i].freqMhz);
        PutU32(entry, 4, radio.channels[i].flags);
    }
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryNetMode(uint8_t* p) {
    SIfaceState iface;
    if (!ReadInterface(iface)) return kStatusFailed;
    return Answer(p, iface.iftype == NL80211_IFTYPE_ADHOC     ? 2
                     : iface.iftype == NL80211_IFTYPE_STATION ? 1
                                                              : 0);
}

uint32_t CRealAdapter::QueryConnected(uint8_t* p) {
    std::memset(p, 0, 4);
    SBss bss;
    p[0] = m_View.Associated(bss) ? 1 : 0;
    return kStatusSuccess;
}

uint32_t CRealAdapter::QuerySnr(uint8_t* p) {
    SBss bss;
    if (!m_View.Associated(bss)) return kStatusNotAssociated;
    // The station's own measure of the link is fresher than the scan's.
    SStationState station;
    const int signal = m_View.Station(station) && station.hasSignal ? station.signalDbm : bss.signalDbm;
    // Only a driver that measures the noise gives a ratio; none is made up for the others.
    int noise = 0;
    if (!m_View.Noise(bss.freqMhz, noise)) return kStatusNotSupported;
    return Answer(p, static_cast<uint32_t>(signal - noise));
}

uint32_t CRealAdapter::QueryCounters(uint8_t* p, bool reset) {
    // The kernel's counters cannot be reset: a reset keeps them as the baseline from then on.
    std::array<uint64_t, 4> now{};
    const char* names[4] = {"tx_packets", "rx_packets", "tx_bytes", "rx_bytes"};
    for (size_t i = 0; i < 4; ++i) {
        if (!ReadCounter(m_Info.name, names[i], now[i])) {
            // The interface has gone from sysfs.
            if (::if_nametoindex(m_Info.name.c_str()) == 0) m_bGone = true;
            return kStatusFailed;
        }
    }
    if (reset) {
        m_CounterBase = now;
        return kStatusSuccess;
    }
    std::array<uint32_t, 4> value{};
    for (size_t i = 0; i < 4; ++i) {
        // A counter below its baseline was restarted (the interface came back): count from zero.
        if (now[i] < m_CounterBase[i]) m_CounterBase[i] = 0;
        value[i] = static_cast<uint32_t>(now[i] - m_CounterBase[i]);
    }
    std::memset(p, 0, 68);
    PutU32(p, 0, value[0]);
    PutU32(p, 4, value[1]);
    PutU32(p, 20, value[2]);  // all bytes count as directed: the kernel does not split them
    PutU32(p, 44, value[3]);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryScan(uint8_t* p, bool more) {
    int page = 0;
    if (more) {
        page = p[KCOM_SCAN_PAGE] | p[KCOM_SCAN_PAGE + 1] << 8;
        if (page < 1) return kStatusInvalidData;
    }
    // The first page takes the list of this refresh; the further pages answer from it, so that no
    // network moves between pages while they are read.
    if (!more || m_Snapshot.empty()) {
        const std::vector<SBss>* list = m_View.Scan();
        if (!list) return kStatusFailed;
        m_Snapshot = *list;
        OrderForList(m_Snapshot, m_nSnapshotInfra);
    }
    EncodeScanPage(m_Snapshot, m_nSnapshotInfra, m_bScanning, page, p);
    if (more) {
        p[KCOM_SCAN_PAGE] = static_cast<uint8_t>(page);
        p[KCOM_SCAN_PAGE + 1] = static_cast<uint8_t>(page >> 8);
    }
    return kStatusSuccess;
}

uint32_t CRealAdapter::QueryChannel(uint8_t* p) {
    // The frequency and width go beside the channel number, whose band it does not tell.
    SIfaceState iface;
    ReadInterface(iface);
    uint32_t freq = iface.freqMhz, width = iface.widthMhz;
    SBss bss;
    if (freq == 0 && m_View.Associated(bss)) {
        freq = bss.freqMhz;
        width = static_cast<uint32_t>(NetworkRadio(bss.freqMhz, bss.ies).widthMHz);
    }
    if (freq == 0) freq = m_Wanted.freqMhz != 0 ? m_Wanted.freqMhz : ChannelToFrequency(m_Wanted.channel);
    const int channel = FrequencyToChannel(freq);
    std::memset(p, 0, KCOM_CHANNEL_RECORD_FREQ);
    PutU32(p, KCOM_CHANNEL_RECORD_SIZE, 12);
    p[KCOM_CHANNEL_NUMBER] = static_cast<uint8_t>(channel > 255 ? 0 : channel);
    PutU32(p, KCOM_CHANNEL_FLAG, m_Wanted.channelFlag);
    PutU32(p, KCOM_CHANNEL_FREQ, freq);
    PutU32(p, KCOM_CHANNEL_WIDTH, width);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QuerySecurity(uint8_t* p) {
    SBss bss;
    if (!m_View.Associated(bss)) return Answer(p, m_Wanted.security);
    switch (LinkSecurity(bss)) {
        case KCOM_SECURITY_WEP:
            return Answer(p, 1);
        case KCOM_SECURITY_WPA:
            return Answer(p, 2);
        case KCOM_SECURITY_WPA2:
            return Answer(p, KCOM_SECURITY_MODE_WPA2_PERSONAL);
        case KCOM_SECURITY_WPA3:
            return Answer(p, KCOM_SECURITY_MODE_WPA3_PERSONAL);
        case KCOM_SECURITY_OWE:
            return Answer(p, KCOM_SECURITY_MODE_OWE);
        case KCOM_SECURITY_WPA2_ENTERPRISE:
        case KCOM_SECURITY_WPA_ENTERPRISE:
            return Answer(p, KCOM_SECURITY_MODE_WPA2_ENTERPRISE);
        case KCOM_SECURITY_WPA3_ENTERPRISE:
            return Answer(p, KCOM_SECURITY_MODE_WPA3_ENTERPRISE);
        default:
            return Answer(p, 0);
    }
}

uint32_t CRealAdapter::WepKey(uint8_t* p) {
    // One code for query and set: an answer carries a mark a set never has, and an empty record
    // is a query, as on the simulated adapter.
    const bool answerMarked = p[2] == kKeyReplyMark[0] && p[3] == kKeyReplyMark[1];
    const bool emptyRecord = p[0] == 0 && p[1] == 0;
    if (!answerMarked && !emptyRecord) {
        const uint8_t index = p[0];
        const uint8_t len = p[1];
        if (index >= 4 || (len != 5 && len != 13)) return kStatusInvalidData;
        m_Wanted.wepKeys[index].assign(reinterpret_cast<const char*>(p + 8), len);
        m_Wanted.activeKey = index;
        return m_Wanted.security == 1 ? StartJoin() : kStatusSuccess;
    }
    const std::string& key = m_Wanted.wepKeys[m_Wanted.activeKey];
    std::memset(p, 0, 44);
    p[0] = m_Wanted.activeKey;
    p[1] = static_cast<uint8_t>(key.size());
    p[2] = kKeyReplyMark[0];
    p[3] = kKeyReplyMark[1];
    PutU32(p, 4, key.size() == 5 ? 1 : key.empty() ? 0 : 2);
    std::memcpy(p + 8, key.data(), key.size());
    return kStatusSuccess;
}

uint32_t CRealAdapter::RegDomain(uint8_t* p) {
    if (GetU32(p, 4) != kDomainReplyMark && GetU32(p, 0) != 0) return kStatusNotSupported;  // a set
    std::string alpha2;
    if (!m_View.RegDomain(alpha2)) return kStatusFailed;
    PutU32(p, 0, RegDomainCode(alpha2));
    PutU32(p, 4, kDomainReplyMark);
    return kStatusSuccess;
}

uint32_t CRealAdapter::HardwareStatus(uint8_t* p) {
    // Ready unless a radio kill switch (the hardware one or the software one) blocks the radio.
    bool blocked = false;
    std::error_code ec;
    const fs::path phy = fs::path("/sys/class/net") / m_Info.name / "phy80211";
    for (const auto& entry : fs::directory_iterator(phy, ec)) {
        if (entry.path().filename().string().rfind("rfkill", 0) != 0) continue;
        for (const char* name : {"soft", "hard"}) {
            std::ifstream in(entry.path() / name);
            int value = 0;
            if (in >> value && value != 0) blocked = true;
        }
    }
    return Answer(p, blocked ? 0 : 1);
}

}  // namespace wavory::kccl
