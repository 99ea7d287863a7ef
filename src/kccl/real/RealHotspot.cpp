// The hotspot of a real interface: the radio's abilities and the clients come from the kernel
// (nl80211), the start and stop go to the interface's way of control.
#include <linux/nl80211.h>
#include <netlink/attr.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>

#include "HotspotSettings.h"
#include "RealAdapter.h"
#include "kccl_oid.h"
#include "kccl_status.h"
#include "radio/Hotspot.h"

namespace wavory::kccl {

namespace {

void PutU32(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

// The answer's sentence, cut to its field.
void PutText(uint8_t* p, size_t size, const std::string& text) {
    const size_t len = std::min(text.size(), size - 1);
    std::memcpy(p, text.data(), len);
    p[len] = 0;
}

std::vector<SApChannel> ApChannels(const SWiphyInfo& radio) {
    std::vector<SApChannel> out;
    for (const SWiphyChannel& c : radio.channels) out.push_back({c.freqMhz, c.flags});
    return out;
}

// Runs the way of control's start or stop without the adapter's request lock: NetworkManager's
// activation takes seconds, and the process's other requests (the window's refresh) go on meanwhile,
// as they do while a join runs. Called with the lock held; holds it again on return.
class CUnlocked {
public:
    explicit CUnlocked(std::mutex& m) : m_m(m) { m_m.unlock(); }
    ~CUnlocked() { m_m.lock(); }
    CUnlocked(const CUnlocked&) = delete;
    CUnlocked& operator=(const CUnlocked&) = delete;

private:
    std::mutex& m_m;
};

uint64_t WallMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

uint32_t CRealAdapter::StartHotspot(uint8_t* p) {
    SHotspotRecord record;
    const bool decoded = DecodeHotspotRecord(p, KCOM_PAYLOAD_SIZE, record);
    std::memset(p, 0, KCOM_HOTSPOT_TEXT_SIZE);
    if (!decoded) return kStatusInvalidData;
    if (std::string problem = CheckHotspotRecord(record); !problem.empty()) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, problem);
        return kStatusInvalidData;
    }
    SWiphyInfo radio;
    if (!m_View.Wiphy(radio)) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, "the kernel did not describe the radio of " + m_Info.name);
        return kStatusFailed;
    }
    if (!radio.canAp) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, "the radio of " + m_Info.name + " cannot run an access point");
        return kStatusNotSupported;
    }
    if (record.security == KCOM_HOTSPOT_WPA3 && !radio.sae) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, "the radio of " + m_Info.name + " does not do WPA3 (SAE)");
        return kStatusNotSupported;
    }
    std::string why;
    SHotspotStart start;
    start.freqMhz = ChooseHotspotFrequency(record, ApChannels(radio), why);
    if (start.freqMhz == 0) {
        PutText(p, KCOM_HOTSPOT_TEXT_SIZE, why);
        return kStatusNotSupported;
    }
    start.interfaceName = m_Info.name;
    start.ssid = record.ssid;
    start.security = record.security;
    start.passphrase = record.passphrase;
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    CJoinContext context;
    SHotspotAnswer answer;
    {
        CUnlocked unlocked(m_Mutex);
        std::lock_guard one(m_HotspotMutex);
        answer = control.StartHotspot(start, context);
    }
    m_View.Invalidate();
    PutText(p, KCOM_HOTSPOT_TEXT_SIZE, answer.text);
    return answer.status;
}

uint32_t CRealAdapter::StopHotspot(uint8_t* p) {
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    CJoinContext context;
    SHotspotAnswer answer;
    {
        CUnlocked unlocked(m_Mutex);
        std::lock_guard one(m_HotspotMutex);
        answer = control.StopHotspot(context);
    }
    m_View.Invalidate();
    std::memset(p, 0, KCOM_HOTSPOT_TEXT_SIZE);
    PutText(p, KCOM_HOTSPOT_TEXT_SIZE, answer.text);
    return answer.status;
}

uint32_t CRealAdapter::QueryHotspot(uint8_t* p) {
    std::memset(p, 0, KCOM_HS_CLIENTS);
    p[KCOM_HS_CONTROL] = static_cast<uint8_t>(m_Info.managedBy);
    p[KCOM_HS_SECURITY] = 0xFF;
    SWiphyInfo radio;
    uint8_t ability = 0;
    if (m_View.Wiphy(radio)) {
        if (radio.canAp) ability |= KCOM_HS_CAN_AP;
        // Every way of control runs the access point on the interface itself, so the network in use
        // is left whatever interface combinations the radio offers: KCOM_HS_CAN_AP_AND_STATION stays clear.
        if (radio.sae) ability |= KCOM_HS_CAN_SAE;
        p[KCOM_HS_BANDS] = HotspotBands(ApChannels(radio));
    }
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    const SHotspotFacts facts = control.HotspotFacts();
    if (facts.canStart) ability |= KCOM_HS_CAN_CONTROL;
    p[KCOM_HS_ABILITY] = ability;
    SIfaceState iface;
    const bool running = ReadInterface(iface) && iface.iftype == NL80211_IFTYPE_AP;
    std::string note = facts.note;
    if (!(ability & KCOM_HS_CAN_AP) && note.empty()) note = "the radio cannot run an access point";
    PutText(p + KCOM_HS_NOTE, KCOM_HS_CLIENTS - KCOM_HS_NOTE, note);
    if (!running) return kStatusSuccess;
    p[KCOM_HS_RUNNING] = 1;
    p[KCOM_HS_OURS] = facts.ours ? 1 : 0;
    if (facts.ours) {
        const auto file = ReadHotspotFile(m_Info.name);
        if (const auto it = file.find("security"); it != file.end()) {
            const int security = HotspotSecurityByName(it->second);
            if (security >= 0) p[KCOM_HS_SECURITY] = static_cast<uint8_t>(security);
        }
    }
    PutU32(p, KCOM_HS_FREQ, iface.freqMhz);
    const size_t len = std::min<size_t>(iface.ssid.size(), 32);
    p[KCOM_HS_SSID_LEN] = static_cast<uint8_t>(len);
    std::memcpy(p + KCOM_HS_SSID, iface.ssid.data(), len);

    // The clients: the access point's station entries.
    uint32_t count = 0;
    const uint64_t now = WallMs();
    m_pNl->Request(NL80211_CMD_GET_STATION, m_Info.ifindex, true, nullptr, [&](CNl80211::Attrs tb) {
        if (count >= KCOM_HS_CLIENT_MAX || !tb[NL80211_ATTR_MAC] || nla_len(tb[NL80211_ATTR_MAC]) < 6) return;
        uint8_t* entry = p + KCOM_HS_CLIENTS + KCOM_HS_CLIENT_SIZE * count;
        std::memset(entry, 0, KCOM_HS_CLIENT_SIZE);
        std::memcpy(entry, nla_data(tb[NL80211_ATTR_MAC]), 6);
        int32_t signal = INT32_MIN;
        uint64_t since = 0;
        nlattr* s[NL80211_STA_INFO_MAX + 1] = {};
        if (tb[NL80211_ATTR_STA_INFO] &&
            nla_parse_nested(s, NL80211_STA_INFO_MAX, tb[NL80211_ATTR_STA_INFO], nullptr) == 0) {
            if (s[NL80211_STA_INFO_SIGNAL])
                signal = static_cast<int8_t>(nla_get_u8(s[NL80211_STA_INFO_SIGNAL]));
            if (s[NL80211_STA_INFO_CONNECTED_TIME])
                since = now - 1000ull * nla_get_u32(s[NL80211_STA_INFO_CONNECTED_TIME]);
        }
        std::memcpy(entry + 8, &signal, 4);
        std::memcpy(entry + 16, &since, 8);
        ++count;
    });
    PutU32(p, KCOM_HS_CLIENT_COUNT, count);
    return kStatusSuccess;
}

}  // namespace wavory::kccl
