#include "SimRequests.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "SimChannels.h"
#include "SimEap.h"
#include "SimRates.h"
#include "SimScenario.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Hotspot.h"
#include "radio/NetSettings.h"

namespace wavory::kccl {

namespace {

// The WEP key record and the regulatory domain use one code for query and set, so the adapter
// must tell them apart by the block. A query answer carries a mark where a set never has one
// (+2 of the key record, whose two bytes a set leaves zero; +4 after the domain), so that a
// caller re-reading with the block of an earlier answer is not taken for a set. A block with no
// record (all zero) is a query as well.
constexpr uint8_t kKeyReplyMark[2] = {0x52, 0x51};
constexpr uint32_t kDomainReplyMark = 0x51524B44;

uint32_t GetU32(const uint8_t* p, size_t off) {
    return static_cast<uint32_t>(p[off]) | static_cast<uint32_t>(p[off + 1]) << 8 |
           static_cast<uint32_t>(p[off + 2]) << 16 | static_cast<uint32_t>(p[off + 3]) << 24;
}

void PutU32(uint8_t* p, size_t off, uint32_t v) {
    p[off] = static_cast<uint8_t>(v);
    p[off + 1] = static_cast<uint8_t>(v >> 8);
    p[off + 2] = static_cast<uint8_t>(v >> 16);
    p[off + 3] = static_cast<uint8_t>(v >> 24);
}

// The key management suites a network of a kind offers, as its RSN element would list them.
uint32_t AkmOfKind(int kind) {
    switch (kind) {
        case KCOM_SECURITY_WPA2:
            return KCOM_AKM_PSK | KCOM_AKM_PSK_SHA256;
        case KCOM_SECURITY_WPA3:
            return KCOM_AKM_SAE | KCOM_AKM_FT_SAE;
        case KCOM_SECURITY_WPA2_WPA3:
            return KCOM_AKM_PSK | KCOM_AKM_SAE;
        case KCOM_SECURITY_OWE:
            return KCOM_AKM_OWE;
        case KCOM_SECURITY_WPA2_ENTERPRISE:
            return KCOM_AKM_8021X | KCOM_AKM_FT_8021X;
        case KCOM_SECURITY_WPA3_ENTERPRISE:
            return KCOM_AKM_8021X_SHA256;
        default:
            return 0;
    }
}

void PutScanEntry(uint8_t* entry, const SimNetwork& net) {
    std::memcpy(entry + KCOM_ENTRY_BSSID, net.bssid, 6);
    // A hidden network's beacons carry no name; it answers only a join that names it.
    const uint8_t ssidLen = net.hidden ? 0 : net.ssidLen;
    entry[KCOM_ENTRY_SSID_LEN] = ssidLen;
    std::memcpy(entry + KCOM_ENTRY_SSID, net.ssid, ssidLen);
    PutU32(entry, KCOM_ENTRY_PHY, net.phy);
    entry[KCOM_ENTRY_CHANNEL] = net.channel;
    const int kind = SimSecurityKind(net);
    // OWE encrypts too: only an open network clears the privacy bit.
    entry[KCOM_ENTRY_PRIVACY] = kind != KCOM_SECURITY_OPEN ? 1 : 0;
    entry[KCOM_ENTRY_SECURITY] = static_cast<uint8_t>(kind);
    PutU32(entry, KCOM_ENTRY_SIGNAL, static_cast<uint32_t>(net.signalDbm));
    PutU32(entry, KCOM_ENTRY_FREQ, net.freqMHz);
    PutU32(entry, KCOM_ENTRY_MAX_RATE, BestRate(net).rate100k);
    entry[KCOM_ENTRY_WIDTH] = static_cast<uint8_t>(net.widthMHz);
    entry[KCOM_ENTRY_WIDTH + 1] = static_cast<uint8_t>(net.widthMHz >> 8);
    PutU32(entry, KCOM_ENTRY_AKM, AkmOfKind(kind));
}

void PutRate(uint8_t* p, const SimRate& rate) {
    p[0] = rate.kind;
    p[1] = rate.mcs;
    p[2] = rate.streams;
    p[3] = rate.guard;
}

// A set of a small index: stored when below `limit`, else refused.
uint32_t SetIndex(const uint8_t* p, uint32_t limit, uint32_t& field) {
    const uint32_t value = GetU32(p, 0);
    if (value >= limit) return kStatusInvalidData;
    field = value;
    return kStatusSuccess;
}

uint32_t Answer(uint8_t* p, uint32_t value) {
    PutU32(p, 0, value);
    return kStatusSuccess;
}

}  // namespace

void CSimRequests::Handle(KCOM_REQUEST& request) { request.status = Dispatch(request.code, request.payload); }

uint32_t CSimRequests::Dispatch(uint32_t code, uint8_t* p) {
    SimSettings& st = m_state.settings;
    switch (code) {
        case OID_DEVICE_INFO:
            return DeviceInfo(p);
        case OID_MAC_QUERY:
            return QueryMac(p);
        case OID_MAC_SET:
            return SetMac(p);
        case OID_BSSID:
            return QueryBssid(p);
        case OID_SSID_QUERY:
            return QuerySsid(p);
        case OID_SSID_SET:
            return SetSsid(p);
        case OID_JOIN_BSSID_SET:
            return SetJoinBssid(p);
        case OID_PHY_QUERY:
            return QueryPhy(p);
        case OID_PHY_SET:
            return SetPhy(p);
        case OID_POWER_SAVE_QUERY:
            return Answer(p, st.powerSave);
        case OID_POWER_SAVE_SET:
            return SetIndex(p, 3, st.powerSave);
        case OID_SNR:
            return QuerySnr(p);
        case OID_SCAN_LIST:
            return QueryScanList(p, 0);
        case OID_SCAN_LIST_MORE:
            return QueryScanListMore(p);
        case OID_START_SCAN:
            m_radio.StartScan();
            return kStatusSuccess;
        case OID_NET_MODE_QUERY:
            return Answer(p, st.mode);
        case OID_NET_MODE_SET:
            return SetMode(p);
        case OID_CHANNEL_QUERY:
            return QueryChannel(p);
        case OID_CHANNEL_SET:
            return SetChannel(p);
        case OID_STATISTICS:
            return QueryCounters(p);
        case OID_RESET_STATISTICS:
            m_radio.ResetCounters();
            return kStatusSuccess;
        case OID_WEP_KEY:
            return WepKey(p);
        case OID_SECURITY_QUERY:
            return Answer(p, st.security);
        case OID_SECURITY_SET:
            return SetSecurity(p);
        case OID_PASSPHRASE_QUERY:
            std::memset(p, 0, 4);
            p[0] = st.passLen;
            return kStatusSuccess;
        case OID_PASSPHRASE_SET:
            return SetPassphrase(p);
        case OID_EAP_SETTINGS_QUERY:
            return QueryEapSettings(st.eap, p);
        case OID_EAP_SETTINGS_SET:
            return SetEapSettings(st.eap, p);
        case OID_NET_SETTINGS_QUERY:
            return QueryNetSettings(p);
        case OID_NET_SETTINGS_SET:
            return SetNetSettings(p);
        case OID_ADDRESS_INFO:
            return QueryAddressInfo(p);
        case OID_CONN_SETTING_QUERY:
            return Answer(p, st.connectionSetting);
        case OID_CONN_SETTING_SET:
            st.connectionSetting = GetU32(p, 0);
            return kStatusSuccess;
        case OID_HW_STATUS:
            return Answer(p, 1);
        case OID_CONNECT_STATUS:
            std::memset(p, 0, 4);
            p[0] = m_state.link.associated;
            return kStatusSuccess;
        case OID_DISCONNECT:
            m_radio.Disconnect();
            return kStatusSuccess;
        case OID_LINK_INFO:
            return LinkInfo(p);
        case OID_CHANNEL_LIST:
            return ChannelList(p);
        case OID_JOIN_STATE:
            return QueryJoinState(p);
        case OID_LAST_DISCONNECT:
            return QueryLastDisconnect(p);
        case OID_LAST_ROAM:
            return QueryLastRoam(p);
        case OID_REG_DOMAIN:
            return RegDomain(p);
        case OID_HOTSPOT_START:
            return StartHotspot(p);
        case OID_HOTSPOT_STOP:
            return StopHotspot(p);
        case OID_HOTSPOT_QUERY:
            return QueryHotspot(p);
        default:
            return kStatusNotSupported;
    }
}

uint32_t CSimRequests::DeviceInfo(uint8_t* p) {
    const SimAdapterInfo& info = m_state.info;
    std::memset(p, 0, 152);
    PutU32(p, 0, info.nvm[1]);
    for (int i = 0; i < 4; ++i) PutU32(p, 8 + 4 * static_cast<size_t>(i), info.driverVersion[i]);
    PutU32(p, 32, info.firmware[0]);
    PutU32(p, 36, info.firmware[1]);
    PutU32(p, 148, info.nvm[0]);
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryMac(uint8_t* p) {
    std::memset(p, 0, 8);
    std::memcpy(p, AddressInUse(), 6);
    return kStatusSuccess;
}

const uint8_t* CSimRequests::AddressInUse() const {
    static const uint8_t zero[6] = {};
    const uint8_t* inUse = m_state.address.inUse;
    return std::memcmp(inUse, zero, 6) == 0 ? m_state.info.mac : inUse;
}

uint32_t CSimRequests::QueryAddressInfo(uint8_t* p) {
    std::memset(p, 0, KCOM_ADDRESS_SIZE);
    const uint8_t* inUse = AddressInUse();
    std::memcpy(p + KCOM_ADDRESS_IN_USE, inUse, 6);
    std::memcpy(p + KCOM_ADDRESS_OWN, m_state.info.mac, 6);
    p[KCOM_ADDRESS_MODE] = m_state.address.mode;
    p[KCOM_ADDRESS_RANDOM] = std::memcmp(inUse, m_state.info.mac, 6) != 0 ? 1 : 0;
    return kStatusSuccess;
}

uint32_t CSimRequests::SetNetSettings(const uint8_t* p) {
    SNetRecord record;
    if (!DecodeNetRecord(p, KCOM_PAYLOAD_SIZE, record) || !CheckNetRecord(record).empty())
        return kStatusInvalidData;
    const std::string* texts[] = {&record.ipv4, &record.gateway4, &record.ipv6, &record.gateway6,
                                  &record.dns};
    for (const std::string* text : texts)
        if (text->size() > static_cast<std::size_t>(kSimNetTextMax)) return kStatusInvalidData;
    SimNetSettings& net = m_state.settings.net;
    net = SimNetSettings{};
    net.macMode = record.macMode;
    net.metered = record.metered ? 1 : 0;
    net.preferHighBand = record.preferHighBand ? 1 : 0;
    net.bandFloorDbm = static_cast<int8_t>(record.bandFloorDbm);
    std::memcpy(net.pin, record.pin.data(), 6);
    for (int i = 0; i < KCOM_NET_STRING_COUNT; ++i)
        std::memcpy(net.text[i], texts[i]->data(), texts[i]->size());
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryNetSettings(uint8_t* p) {
    const SimNetSettings& net = m_state.settings.net;
    SNetRecord record;
    record.macMode = net.macMode;
    record.metered = net.metered != 0;
    record.preferHighBand = net.preferHighBand != 0;
    record.bandFloorDbm = net.bandFloorDbm;
    std::memcpy(record.pin.data(), net.pin, 6);
    std::string* texts[] = {&record.ipv4, &record.gateway4, &record.ipv6, &record.gateway6, &record.dns};
    for (int i = 0; i < KCOM_NET_STRING_COUNT; ++i) *texts[i] = net.text[i];
    std::memset(p, 0, KCOM_PAYLOAD_SIZE);
    return EncodeNetRecord(record, p, KCOM_PAYLOAD_SIZE) ? kStatusSuccess : kStatusInvalidData;
}

uint32_t CSimRequests::SetMac(const uint8_t* p) {
    static const uint8_t zero[6] = {};
    if ((p[0] & 0x01) != 0 || std::memcmp(p, zero, 6) == 0) return kStatusInvalidData;
    std::memcpy(m_state.info.mac, p, 6);
    m_radio.Reassociate();  // an own ad-hoc cell takes its BSSID from the address
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryBssid(uint8_t* p) {
    std::memset(p, 0, 8);
    if (m_state.link.associated) std::memcpy(p, m_state.link.bss.bssid, 6);
    return kStatusSuccess;
}

uint32_t CSimRequests::QuerySsid(uint8_t* p) {
    const SimSettings& st = m_state.settings;
    std::memset(p, 0, 1 + kSsidMax + 1);
    p[0] = st.ssidLen;
    std::memcpy(p + 1, st.ssid, st.ssidLen);
    return kStatusSuccess;
}

uint32_t CSimRequests::SetSsid(const uint8_t* p) {
    SimSettings& st = m_state.settings;
    if (p[0] > kSsidMax) return kStatusInvalidData;
    st.ssidLen = p[0];
    std::memset(st.ssid, 0, sizeof st.ssid);
    std::memcpy(st.ssid, p + 1, st.ssidLen);
    // Another network, or the same one anew: any of its access points, until one is chosen again.
    st.bssidSet = 0;
    std::memset(st.bssid, 0, sizeof st.bssid);
    st.net = SimNetSettings{};  // the defaults, until the network's own settings come
    return kStatusSuccess;
}

uint32_t CSimRequests::SetJoinBssid(const uint8_t* p) {
    SimSettings& st = m_state.settings;
    if (p[KCOM_JOIN_BSSID] & 0x01) return kStatusInvalidData;  // a group address is no access point
    static const uint8_t any[6] = {};
    std::memcpy(st.bssid, p + KCOM_JOIN_BSSID, 6);
    st.bssidSet = std::memcmp(st.bssid, any, 6) != 0 ? 1 : 0;
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryPhy(uint8_t* p) {
    return Answer(p, m_state.link.associated ? m_state.link.bss.phy : m_state.settings.phy);
}

uint32_t CSimRequests::SetPhy(const uint8_t* p) { return SetIndex(p, kPhyTypeCount, m_state.settings.phy); }

uint32_t CSimRequests::QuerySnr(uint8_t* p) {
    if (!m_state.link.associated) return kStatusNotAssociated;
    return Answer(p, static_cast<uint32_t>(m_state.link.bss.signalDbm - kNoiseFloorDbm));
}

uint32_t CSimRequests::QueryScanList(uint8_t* p, int page) {
    // While a scan runs the previous complete list is answered, marked as still scanning. Page 0 is
    // the list itself, page n the n-th twenty entries beyond it in each half.
    const SimScan& scan = m_state.scan;
    std::memset(p, 0, KCOM_PAYLOAD_SIZE);
    p[0] = scan.scanning ? 1 : 0;
    const uint32_t first = static_cast<uint32_t>(page) * kScanHalfSlots;
    const struct {
        uint32_t count;
        const SimNetwork* networks;
        size_t countOffset;
        size_t entriesOffset;
    } halves[2] = {{scan.infraCount, scan.infra, KCOM_SCAN_INFRA_COUNT, KCOM_SCAN_INFRA_ENTRIES},
                   {scan.adhocCount, scan.adhoc, KCOM_SCAN_ADHOC_COUNT, KCOM_SCAN_ADHOC_ENTRIES}};
    for (const auto& half : halves) {
        uint8_t n = 0;
        for (uint32_t i = first; i < half.count && n < kScanHalfSlots; ++i, ++n)
            PutScanEntry(p + half.entriesOffset + KCOM_SCAN_ENTRY_SIZE * static_cast<size_t>(n),
                         half.networks[i]);
        p[half.countOffset] = n;
    }
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryScanListMore(uint8_t* p) {
    const int page = p[KCOM_SCAN_PAGE] | p[KCOM_SCAN_PAGE + 1] << 8;
    if (page < 1) return kStatusInvalidData;
    QueryScanList(p, page);
    p[KCOM_SCAN_PAGE] = static_cast<uint8_t>(page);
    p[KCOM_SCAN_PAGE + 1] = static_cast<uint8_t>(page >> 8);
    return kStatusSuccess;
}

uint32_t CSimRequests::SetMode(const uint8_t* p) {
    const uint32_t mode = GetU32(p, 0);
    if (mode != 1 && mode != 2) return kStatusInvalidData;
    m_state.settings.mode = mode;
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryChannel(uint8_t* p) {
    // The frequency and width beside the channel are filled for every caller, so that a channel
    // number is never read without its band.
    const SimSettings& st = m_state.settings;
    const SimLink& link = m_state.link;
    std::memset(p, 0, KCOM_CHANNEL_RECORD_FREQ);
    PutU32(p, 0, 12);
    p[KCOM_CHANNEL_NUMBER] = link.associated ? link.bss.channel : st.channel;
    PutU32(p, KCOM_CHANNEL_FLAG, st.shortPreamble);
    PutU32(p, KCOM_CHANNEL_FREQ, link.associated ? link.bss.freqMHz : st.freqMHz);
    PutU32(p, KCOM_CHANNEL_WIDTH, link.associated ? link.bss.widthMHz : 20);
    return kStatusSuccess;
}

uint32_t CSimRequests::SetChannel(const uint8_t* p) {
    SimSettings& st = m_state.settings;
    // A record with room for the frequency names the channel by it; a shorter one by its number.
    const uint32_t freq = GetU32(p, 0) >= 20 ? GetU32(p, KCOM_CHANNEL_FREQ) : 0;
    if (freq != 0) {
        const int channel = FrequencyToChannel(static_cast<int>(freq));
        if (channel == 0) return kStatusInvalidData;
        st.channel = static_cast<uint8_t>(channel);
        st.freqMHz = static_cast<uint16_t>(freq);
    } else {
        if (!IsValidChannel(p[KCOM_CHANNEL_NUMBER])) return kStatusInvalidData;
        st.channel = p[KCOM_CHANNEL_NUMBER];
        st.freqMHz = static_cast<uint16_t>(LegacyChannelToFrequency(st.channel));
    }
    st.channelSet = 1;
    st.shortPreamble = GetU32(p, 12);
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryCounters(uint8_t* p) {
    // Byte totals split into directed, multicast and broadcast parts that add up to the total
    // modulo 2^32, which is all a reader of the sums can rely on.
    const SimTraffic& t = m_state.traffic;
    std::memset(p, 0, 68);
    PutU32(p, 0, static_cast<uint32_t>((t.txBytes + 1499) / 1500));
    PutU32(p, 4, static_cast<uint32_t>((t.rxBytes + 1499) / 1500));
    const uint64_t totals[2] = {t.txBytes, t.rxBytes};
    for (size_t k = 0; k < 2; ++k) {
        const uint64_t multicast = totals[k] / 20;
        const uint64_t broadcast = totals[k] / 50;
        const size_t base = 20 + 24 * k;
        PutU32(p, base, static_cast<uint32_t>(totals[k] - multicast - broadcast));
        PutU32(p, base + 8, static_cast<uint32_t>(multicast));
        PutU32(p, base + 16, static_cast<uint32_t>(broadcast));
    }
    return kStatusSuccess;
}

uint32_t CSimRequests::WepKey(uint8_t* p) {
    SimSettings& st = m_state.settings;
    const bool answerMarked = p[2] == kKeyReplyMark[0] && p[3] == kKeyReplyMark[1];
    const bool emptyRecord = p[0] == 0 && p[1] == 0;
    if (!answerMarked && !emptyRecord) {
        // A set: store the key in its slot and make it the one used for sending.
        const uint8_t index = p[0];
        const uint8_t len = p[1];
        if (index >= kWepKeySlots || (len != 5 && len != 13)) return kStatusInvalidData;
        SimWepKey& key = st.keys[index];
        key = SimWepKey{};
        key.len = len;
        key.type = len == 5 ? 1 : 2;
        std::memcpy(key.bytes, p + 8, len);
        st.activeKey = index;
        return m_radio.StartJoin();
    }
    const SimWepKey& key = st.keys[st.activeKey % kWepKeySlots];
    std::memset(p, 0, 44);
    p[0] = st.activeKey;
    p[1] = key.len;
    p[2] = kKeyReplyMark[0];
    p[3] = kKeyReplyMark[1];
    PutU32(p, 4, key.type);
    std::memcpy(p + 8, key.bytes, key.len);
    return kStatusSuccess;
}

uint32_t CSimRequests::SetSecurity(const uint8_t* p) {
    const uint32_t security = GetU32(p, 0);
    if (security > KCOM_SECURITY_MODE_WPA3_ENTERPRISE) return kStatusInvalidData;
    m_state.settings.security = security;
    // Without a key to come (no security, Enhanced Open, or 802.1X, whose settings came before) the
    // settings are complete and the join starts. A WEP key or a passphrase completes the others.
    const bool keyless = security == 0 || security == KCOM_SECURITY_MODE_OWE ||
                         security == KCOM_SECURITY_MODE_WPA2_ENTERPRISE ||
                         security == KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
    return keyless ? m_radio.StartJoin() : kStatusSuccess;
}

uint32_t CSimRequests::SetPassphrase(const uint8_t* p) {
    SimSettings& st = m_state.settings;
    const uint8_t len = p[0];
    if (len < 8 || len > kPassphraseMax) return kStatusInvalidData;
    st.passLen = len;
    std::memset(st.passphrase, 0, sizeof st.passphrase);
    std::memcpy(st.passphrase, p + 1, len);
    return m_radio.StartJoin();
}

uint32_t CSimRequests::QueryJoinState(uint8_t* p) {
    const SimJoin& join = m_state.join;
    std::memset(p, 0, KCOM_JOIN_DETAIL + KCOM_JOIN_DETAIL_SIZE);
    PutU32(p, KCOM_JOIN_STATE_FIELD, join.state);
    PutU32(p, KCOM_JOIN_CAUSE, join.cause);
    PutU32(p, KCOM_JOIN_ATTEMPT, join.attempt);
    PutU32(p, KCOM_JOIN_FLAGS, join.flags);
    p[KCOM_JOIN_SSID_LEN] = join.ssidLen;
    std::memcpy(p + KCOM_JOIN_SSID, join.ssid, join.ssidLen);
    std::memcpy(p + KCOM_JOIN_DETAIL, join.detail, KCOM_JOIN_DETAIL_SIZE - 1);
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryLastDisconnect(uint8_t* p) {
    const SimDrop& drop = m_state.drop;
    std::memset(p, 0, KCOM_DISC_SIZE);
    PutU32(p, KCOM_DISC_COUNT, drop.count);
    PutU32(p, KCOM_DISC_REASON, drop.reason);
    PutU32(p, KCOM_DISC_BY, drop.by);
    std::memcpy(p + KCOM_DISC_BSSID, drop.bssid, 6);
    p[KCOM_DISC_SSID_LEN] = drop.ssidLen;
    std::memcpy(p + KCOM_DISC_SSID, drop.ssid, drop.ssidLen);
    std::memcpy(p + KCOM_DISC_TIME, &drop.timeMs, 8);
    return kStatusSuccess;
}

uint32_t CSimRequests::QueryLastRoam(uint8_t* p) {
    const SimRoam& roam = m_state.roam;
    std::memset(p, 0, KCOM_ROAM_SIZE);
    PutU32(p, KCOM_ROAM_COUNT, roam.count);
    PutU32(p, KCOM_ROAM_BY, roam.by);
    std::memcpy(p + KCOM_ROAM_FROM_BSSID, roam.fromBssid, 6);
    std::memcpy(p + KCOM_ROAM_TO_BSSID, roam.toBssid, 6);
    PutU32(p, KCOM_ROAM_FROM_SIGNAL, static_cast<uint32_t>(roam.fromSignalDbm));
    std::memcpy(p + KCOM_ROAM_TIME, &roam.timeMs, 8);
    return kStatusSuccess;
}

uint32_t CSimRequests::LinkInfo(uint8_t* p) {
    const SimLink& link = m_state.link;
    std::memset(p, 0, KCOM_LINK_EAP_METHOD + 4);
    PutU32(p, KCOM_LINK_SIGNAL, static_cast<uint32_t>(INT32_MIN));
    PutU32(p, KCOM_LINK_NOISE, static_cast<uint32_t>(INT32_MIN));
    if (!link.associated) return kStatusSuccess;  // frequency 0: no link
    const SimNetwork& bss = link.bss;
    const int snr = bss.signalDbm - kNoiseFloorDbm;
    // The access point sends with more power than the adapter: it is heard a little better than
    // it hears us, so receiving runs a step faster than sending.
    const SimRate tx = RateForSnr(bss, snr);
    const SimRate rx = RateForSnr(bss, snr + 3);
    PutU32(p, KCOM_LINK_FREQ, bss.freqMHz);
    PutU32(p, KCOM_LINK_WIDTH, bss.widthMHz);
    PutU32(p, KCOM_LINK_PHY, bss.phy);
    PutU32(p, KCOM_LINK_TX_RATE, tx.rate100k);
    PutU32(p, KCOM_LINK_RX_RATE, rx.rate100k);
    PutU32(p, KCOM_LINK_MAX_RATE, BestRate(bss).rate100k);
    PutRate(p + KCOM_LINK_TX_KIND, tx);
    PutRate(p + KCOM_LINK_RX_KIND, rx);
    int kind = SimSecurityKind(bss);
    // A transition network is joined as WPA3 where the settings allow it.
    if (kind == KCOM_SECURITY_WPA2_WPA3)
        kind = m_state.active.security == KCOM_SECURITY_MODE_WPA2_PERSONAL ? KCOM_SECURITY_WPA2
                                                                           : KCOM_SECURITY_WPA3;
    PutU32(p, KCOM_LINK_SECURITY, static_cast<uint32_t>(kind));
    PutU32(p, KCOM_LINK_SIGNAL, static_cast<uint32_t>(bss.signalDbm));
    PutU32(p, KCOM_LINK_NOISE, static_cast<uint32_t>(kNoiseFloorDbm));
    if (IsEnterprise(bss)) p[KCOM_LINK_EAP_METHOD] = m_state.active.eap.method;
    return kStatusSuccess;
}

uint32_t CSimRequests::ChannelList(uint8_t* p) {
    const std::vector<SimChannel> channels = DomainChannels(m_state.info.regDomain);
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(channels.size(), KCOM_CHLIST_MAX));
    std::memset(p, 0, KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * static_cast<size_t>(count));
    PutU32(p, KCOM_CHLIST_COUNT, count);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* entry = p + KCOM_CHLIST_ENTRIES + KCOM_CHLIST_ENTRY_SIZE * static_cast<size_t>(i);
        PutU32(entry, 0, channels[i].freqMHz);
        PutU32(entry, 4, channels[i].flags);
    }
    return kStatusSuccess;
}

uint32_t CSimRequests::RegDomain(uint8_t* p) {
    const uint32_t value = GetU32(p, 0);
    if (GetU32(p, 4) != kDomainReplyMark && value != 0) {
        // A set (see the reply marks above); the block is left as the caller wrote it.
        if (!IsValidRegDomain(value)) return kStatusInvalidData;
        m_state.info.regDomain = value;
        return kStatusSuccess;
    }
    PutU32(p, 0, m_state.info.regDomain);
    PutU32(p, 4, kDomainReplyMark);
    return kStatusSuccess;
}

namespace {

void PutText(uint8_t* p, size_t size, const std::string& text) {
    const size_t len = std::min(text.size(), size - 1);
    std::memcpy(p, text.data(), len);
    p[len] = 0;
}

std::vector<SApChannel> SimApChannels(uint32_t domain) {
    std::vector<SApChannel> out;
    for (const SimChannel& c : DomainChannels(domain)) out.push_back({c.freqMHz, c.flags});
    return out;
}

}  // namespace

uint32_t CSimRequests::StartHotspot(uint8_t* p) {
    SHotspotRecord record;
    const bool decoded = DecodeHotspotRecord(p, KCOM_PAYLOAD_SIZE, record);
    std::memset(p, 0, KCOM_HOTSPOT_TEXT_SIZE);
    if (!decoded) return kStatusInvalidData;
    if (const std::string problem = CheckHotspotRecord(record); !problem.empty()) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, problem);
        return kStatusInvalidData;
    }
    if (!m_state.info.canAp) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, "the simulated radio cannot run an access point");
        return kStatusNotSupported;
    }
    std::string text;
    const uint32_t freq = ChooseHotspotFrequency(record, SimApChannels(m_state.info.regDomain), text);
    if (freq == 0) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, text);
        return kStatusNotSupported;
    }
    const uint32_t status = m_radio.StartHotspot(record, freq, text);
    PutText(p, KCOM_HOTSPOT_TEXT_SIZE, text);
    return status;
}

uint32_t CSimRequests::StopHotspot(uint8_t* p) {
    std::string text;
    const uint32_t status = m_radio.StopHotspot(text);
    std::memset(p, 0, KCOM_HOTSPOT_TEXT_SIZE);
    PutText(p, KCOM_HOTSPOT_TEXT_SIZE, text);
    return status;
}

uint32_t CSimRequests::QueryHotspot(uint8_t* p) {
    std::memset(p, 0, KCOM_HS_CLIENTS);
    const SimHotspot& h = m_state.hotspot;
    p[KCOM_HS_CONTROL] = KCOM_HS_CONTROL_SIM;
    uint8_t ability = KCOM_HS_CAN_SAE | KCOM_HS_CAN_CONTROL;
    if (m_state.info.canAp) ability |= KCOM_HS_CAN_AP;
    if (m_state.info.apWithStation) ability |= KCOM_HS_CAN_AP_AND_STATION;
    p[KCOM_HS_ABILITY] = ability;
    p[KCOM_HS_BANDS] = m_state.info.canAp ? HotspotBands(SimApChannels(m_state.info.regDomain)) : 0;
    p[KCOM_HS_SECURITY] = h.running ? h.security : 0xFF;
    if (!m_state.info.canAp)
        PutText(p + KCOM_HS_NOTE, KCOM_HS_CLIENTS - KCOM_HS_NOTE, "the radio cannot run an access point");
    if (!h.running) return kStatusSuccess;
    p[KCOM_HS_RUNNING] = 1;
    p[KCOM_HS_OURS] = 1;
    PutU32(p, KCOM_HS_FREQ, h.freqMHz);
    p[KCOM_HS_SSID_LEN] = h.ssidLen;
    std::memcpy(p + KCOM_HS_SSID, h.ssid, h.ssidLen);
    uint32_t count = 0;
    for (uint32_t i = 0; i < m_state.hotspotClientCount && i < kMaxHotspotClients; ++i) {
        const SimHotspotClient& c = m_state.hotspotClients[i];
        if (!m_radio.ClientJoined(c)) continue;
        uint8_t* entry = p + KCOM_HS_CLIENTS + KCOM_HS_CLIENT_SIZE * count;
        std::memset(entry, 0, KCOM_HS_CLIENT_SIZE);
        std::memcpy(entry, c.mac, 6);
        PutU32(entry, 8, static_cast<uint32_t>(c.signalDbm));
        const uint64_t since = h.startWallMs + c.joinAfterMs;
        std::memcpy(entry + 16, &since, 8);
        ++count;
    }
    PutU32(p, KCOM_HS_CLIENT_COUNT, count);
    return kStatusSuccess;
}

}  // namespace wavory::kccl
