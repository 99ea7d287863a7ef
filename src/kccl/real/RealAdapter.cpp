#include "RealAdapter.h"

#include <linux/nl80211.h>
#include <net/if.h>
#include <netlink/attr.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "DirectControl.h"
#include "IwdControl.h"
#include "LinkAddress.h"
#include "NmControl.h"
#include "ReadOnlyControl.h"
#include "SupplicantControl.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_status.h"
#include "radio/ApChoice.h"

namespace wavory::kccl {

namespace {

// A scan whose end we never see (events lost) counts as finished after this long.
constexpr auto kScanLimit = std::chrono::seconds(30);

uint32_t GetU32(const uint8_t* p, size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

void PutU32(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

uint32_t Answer(uint8_t* p, uint32_t value) {
    std::memcpy(p, &value, 4);
    return kStatusSuccess;
}

// A passphrase as WPA takes it: 8..63 printable ASCII characters, or 64 hexadecimal digits.
bool ValidPassphrase(const std::string& text) {
    if (text.size() == 64)
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (text.size() < 8 || text.size() > 63) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

}  // namespace

CRealAdapter::CRealAdapter(SInterfaceInfo info, std::shared_ptr<CNl80211> nl)
    : m_Info(std::move(info)),
      m_Roam(m_Info.managedBy == KCCL_MANAGED_BY_WPA_SUPPLICANT || m_Info.managedBy == KCCL_MANAGED_BY_NETWORK_MANAGER),
      m_pNl(std::move(nl)),
      m_View(*m_pNl, m_Info.ifindex) {
    m_pDirect = std::make_unique<CDirectControl>(m_Info.name, m_Info.ifindex, *m_pNl);
    switch (m_Info.managedBy) {
        case KCCL_MANAGED_BY_NETWORK_MANAGER:
            m_pControl = std::make_unique<CNmControl>(m_Info.name, m_Info.ifindex, *m_pNl, m_Info.controlSocket);
            break;
        case KCCL_MANAGED_BY_WPA_SUPPLICANT:
            m_pControl =
                std::make_unique<CSupplicantControl>(m_Info.name, m_Info.controlSocket, m_pDirect.get());
            break;
        case KCCL_MANAGED_BY_IWD:
            m_pControl = std::make_unique<CIwdControl>(m_Info.name);
            break;
        case KCCL_MANAGED_BY_CONNMAN:
            m_pControl = std::make_unique<CReadOnlyControl>(m_Info.name, KCCL_STATUS_RUN_BY_CONNMAN);
            break;
        default:
            break;
    }
    m_nListener = m_pNl->AddListener([this](int cmd, CNl80211::Attrs tb) { OnEvent(cmd, tb); });
    // A time limit for joins other than the ways of control's own (1 s to 5 min).
    if (const char* limit = std::getenv("WAVORY_JOIN_TIMEOUT_MS")) {
        const long ms = std::strtol(limit, nullptr, 10);
        if (ms >= 1000 && ms <= 300000) m_Wanted.timeout = std::chrono::milliseconds(ms);
    }
}

CRealAdapter::~CRealAdapter() {
    m_Join.Wait();
    m_pNl->RemoveListener(m_nListener);
}

int CRealAdapter::Open() {
    if (m_Info.ifindex <= 0) m_Info.ifindex = static_cast<int>(::if_nametoindex(m_Info.name.c_str()));
    if (m_Info.ifindex <= 0) return kResultNoLink;
    if (m_pNl->Open() != 0) return kResultNoAdapter;
    std::lock_guard lock(m_Mutex);
    m_View.BeginRequest();
    SIfaceState state;
    return ReadInterface(state) ? 0 : kResultNoLink;
}

// Events arrive on whichever thread reads the socket, with the client's lock held: only flags here.
void CRealAdapter::OnEvent(int cmd, CNl80211::Attrs tb) {
    if (cmd == 0) {  // events were lost: what they would have said is not known
        m_bEventsLost = true;
        ++m_nLinkChanges;
        m_View.Invalidate();
        m_View.InvalidateRadio();
        return;
    }
    // The regulatory domain or the radios changed: the channel list and capabilities with them.
    if (cmd == NL80211_CMD_REG_CHANGE || cmd == NL80211_CMD_WIPHY_REG_CHANGE ||
        cmd == NL80211_CMD_NEW_WIPHY || cmd == NL80211_CMD_DEL_WIPHY)
        m_View.InvalidateRadio();
    const bool ours = !tb[NL80211_ATTR_IFINDEX] ||
                      static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) == m_Info.ifindex;
    if (!ours) return;
    switch (cmd) {
        case NL80211_CMD_DEL_INTERFACE:
            if (tb[NL80211_ATTR_IFINDEX]) m_bGone = true;
            break;
        case NL80211_CMD_NEW_SCAN_RESULTS:
        case NL80211_CMD_SCAN_ABORTED:
            m_bScanning = false;
            break;
        case NL80211_CMD_DISCONNECT:
            NoteDrop(ParseNlDisconnect(tb));
            ++m_nLinkChanges;
            break;
        case NL80211_CMD_CONNECT:
        case NL80211_CMD_ROAM:
            NoteConnected(tb);
            ++m_nLinkChanges;
            break;
        case NL80211_CMD_ASSOCIATE:
            ++m_nLinkChanges;
            break;
        default:
            break;
    }
    // A link made or lost, a scan ended, the interface or the regulatory domain changed.
    m_View.Invalidate();
}

bool CRealAdapter::ReadInterface(SIfaceState& state) {
    int err = 0;
    if (m_View.Interface(state, &err)) return true;
    if (err == -ENODEV) m_bGone = true;
    return false;
}

int CRealAdapter::Exec(KCOM_REQUEST& request) {
    std::lock_guard lock(m_Mutex);
    // The supplicant's lines first: a request to move comes before the connection it leads to.
    if (m_bWatchRoams) PumpSupplicantLines();
    m_pNl->PumpEvents(std::chrono::milliseconds(0));
    // With events lost, the interface's index is looked up once more: it may have gone and come back.
    if (m_bEventsLost.exchange(false) &&
        static_cast<int>(::if_nametoindex(m_Info.name.c_str())) != m_Info.ifindex)
        m_bGone = true;
    if (m_bGone) return kResultNoLink;
    const bool inTime = std::chrono::steady_clock::now() - m_ScanStart <= kScanLimit;
    if (m_bScanning && !inTime) m_bScanning = false;
    // The kernel's results ended only a part of a scan the way of control runs in parts (iwd's
    // 6 GHz part comes after the rest): the list is not complete until it says the scan is over.
    if (!m_bScanning && m_bControlScan) {
        m_bControlScan = inTime && m_pControl && m_pControl->ScanRunning();
        m_bScanning = m_bControlScan;
    }
    m_View.BeginRequest();
    request.status = Dispatch(request.code, request.payload);
    if (request.status == kStatusSuccess) NoteLink(request.code, request.payload);
    return m_bGone ? kResultNoLink : 0;
}

void CRealAdapter::NoteLink(uint32_t code, const uint8_t* p) {
    std::lock_guard lock(m_DropMutex);
    const auto now = std::chrono::steady_clock::now();
    if (code == OID_SSID_QUERY && p[0] <= 32 && p[0] > 0)
        m_strLinkSsid.assign(reinterpret_cast<const char*>(p + 1), p[0]);
    if (code == OID_BSSID && std::any_of(p, p + 6, [](uint8_t b) { return b != 0; })) {
        std::memcpy(m_LinkBssid.data(), p, 6);
        m_Roam.LinkSeen(m_LinkBssid, m_strLinkSsid, now);
    }
    if (code == OID_LINK_INFO) {
        int32_t signal = 0;
        std::memcpy(&signal, p + KCOM_LINK_SIGNAL, 4);
        if (signal != INT32_MIN) m_Roam.SignalSeen(m_LinkBssid, signal);
    }
}

void CRealAdapter::NoteConnected(CNl80211::Attrs tb) {
    // A connect event for a failed attempt carries its status code; a roam event carries none.
    if (tb[NL80211_ATTR_STATUS_CODE] && nla_get_u16(tb[NL80211_ATTR_STATUS_CODE]) != 0) return;
    if (!tb[NL80211_ATTR_MAC] || nla_len(tb[NL80211_ATTR_MAC]) < 6) return;
    CRoamWatch::Bssid bssid{};
    std::memcpy(bssid.data(), nla_data(tb[NL80211_ATTR_MAC]), 6);
    bool told = false;
    std::string ssid;
    if (tb[NL80211_ATTR_REQ_IE])
        ssid = SsidOfRequestIes(static_cast<const uint8_t*>(nla_data(tb[NL80211_ATTR_REQ_IE])),
                                static_cast<std::size_t>(nla_len(tb[NL80211_ATTR_REQ_IE])), &told);
    const auto wallMs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    std::lock_guard lock(m_DropMutex);
    m_Roam.Connected(bssid, ssid, std::chrono::steady_clock::now(), wallMs);
    m_LinkBssid = bssid;
}

void CRealAdapter::PumpSupplicantLines() {
    if (m_Info.controlSocket.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    // Attached again now and then: the supplicant lets go of a monitor whose socket filled up.
    if (m_Monitor.IsOpen() && now - m_MonitorTried > std::chrono::minutes(1)) m_Monitor.Close();
    if (!m_Monitor.IsOpen()) {
        if (m_MonitorTried != std::chrono::steady_clock::time_point{} && now - m_MonitorTried < std::chrono::seconds(30))
            return;
        m_MonitorTried = now;
        m_Monitor.SetTimeout(std::chrono::milliseconds(500));
        if (m_Monitor.Open(m_Info.controlSocket) != 0 || !m_Monitor.Attach()) {
            m_Monitor.Close();
            return;
        }
    }
    for (int i = 0; i < 256; ++i) {
        const std::string line = m_Monitor.NextEvent(std::chrono::milliseconds(0));
        if (line.empty()) break;
        if (IsSteerLine(line)) {
            std::lock_guard lock(m_DropMutex);
            m_Roam.SteerSeen(now);
        }
    }
}

uint32_t CRealAdapter::QueryLastRoam(uint8_t* p) {
    // Asked once, the moves are watched from then on (and the supplicant's lines read for them).
    if (!m_bWatchRoams.exchange(true)) PumpSupplicantLines();
    std::lock_guard lock(m_DropMutex);
    m_Roam.Fill(p);
    return kStatusSuccess;
}

void CRealAdapter::NoteDrop(const SDropEvent& event) {
    std::lock_guard lock(m_DropMutex);
    const auto now = std::chrono::steady_clock::now();
    // Leaving one network for another that this library was asked to join ends no connection.
    if (now - m_JoinStarted < std::chrono::seconds(5) && now - m_UserLeft >= std::chrono::seconds(5)) return;
    m_Drop = event;
    // A disconnect this library was asked for a moment ago is the user's.
    if (now - m_UserLeft < std::chrono::seconds(5)) {
        m_Drop.by = KCOM_DISCONNECT_BY_USER;
        m_UserLeft = {};
    }
    if (!m_Drop.hasBssid) {
        m_Drop.bssid = m_LinkBssid;
        m_Drop.hasBssid = true;
    }
    m_strDropSsid = m_strLinkSsid;
    m_bDropToExplain = m_Drop.by == KCOM_DISCONNECT_BY_THIS_MACHINE;
    m_DropAt = now;
    m_Roam.Dropped(m_Drop, now);
    ++m_nDrops;
    m_nDropTimeMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count());
}

void CRealAdapter::ExplainDrop() {
    {
        std::lock_guard lock(m_DropMutex);
        const bool fresh = std::chrono::steady_clock::now() - m_DropAt < std::chrono::seconds(10);
        if (!m_bDropToExplain || !fresh || !m_pControl) {
            m_bDropToExplain = false;
            return;
        }
        m_bDropToExplain = false;
    }
    // Asked without the lock: the events' thread takes it.
    const SDropEvent known = m_pControl->ExplainDrop();
    std::lock_guard lock(m_DropMutex);
    if (known.valid && m_Drop.by == KCOM_DISCONNECT_BY_THIS_MACHINE) m_Drop.by = known.by;
}

uint32_t CRealAdapter::QueryLastDisconnect(uint8_t* p) {
    ExplainDrop();
    std::lock_guard lock(m_DropMutex);
    std::memset(p, 0, KCOM_DISC_SIZE);
    PutU32(p, KCOM_DISC_COUNT, m_nDrops);
    if (m_nDrops == 0) return kStatusSuccess;
    PutU32(p, KCOM_DISC_REASON, m_Drop.reason);
    PutU32(p, KCOM_DISC_BY, m_Drop.by);
    std::memcpy(p + KCOM_DISC_BSSID, m_Drop.bssid.data(), 6);
    const size_t len = std::min<size_t>(m_strDropSsid.size(), 32);
    p[KCOM_DISC_SSID_LEN] = static_cast<uint8_t>(len);
    std::memcpy(p + KCOM_DISC_SSID, m_strDropSsid.data(), len);
    std::memcpy(p + KCOM_DISC_TIME, &m_nDropTimeMs, 8);
    return kStatusSuccess;
}

uint32_t CRealAdapter::Dispatch(uint32_t code, uint8_t* p) {
    switch (code) {
        case OID_DEVICE_INFO:
            return DeviceInfo(p);
        case OID_MAC_QUERY:
            return QueryMac(p);
        case OID_BSSID:
            return QueryBssid(p);
        case OID_SSID_QUERY:
            return QuerySsid(p);
        case OID_SSID_SET:
            if (p[0] > 32) return kStatusInvalidData;
            m_Wanted.ssid.assign(reinterpret_cast<const char*>(p + 1), p[0]);
            // Any access point of the network, until one is chosen again.
            m_Wanted.bssid = {};
            m_Wanted.bssidFreqMhz = 0;
            m_bBssidFromPin = false;
            // The defaults, until the network's own settings come: the adapter's own address (told
            // to whoever runs the interface, whose own default may differ) and automatic addresses.
            m_Wanted.net = {};
            m_Wanted.net.macMode = KCOM_MAC_DEVICE;
            return kStatusSuccess;
        case OID_JOIN_BSSID_SET:
            if (p[KCOM_JOIN_BSSID] & 0x01) return kStatusInvalidData;  // a group address
            std::memcpy(m_Wanted.bssid.data(), p + KCOM_JOIN_BSSID, 6);
            m_Wanted.bssidFreqMhz = GetU32(p, KCOM_JOIN_BSSID_FREQ);
            m_bBssidFromPin = false;
            return kStatusSuccess;
        case OID_PHY_QUERY:
            return QueryPhy(p);
        case OID_PHY_SET:
            if (GetU32(p, 0) > 2) return kStatusInvalidData;
            m_Wanted.phy = GetU32(p, 0);
            return kStatusSuccess;
        case OID_POWER_SAVE_QUERY:
            return PowerSave(p, false);
        case OID_POWER_SAVE_SET:
            return PowerSave(p, true);
        case OID_SNR:
            return QuerySnr(p);
        case OID_SCAN_LIST:
            return QueryScan(p, false);
        case OID_SCAN_LIST_MORE:
            return QueryScan(p, true);
        case OID_START_SCAN:
            return StartScan();
        case OID_NET_MODE_QUERY:
            return QueryNetMode(p);
        case OID_NET_MODE_SET: {
            const uint32_t mode = GetU32(p, 0);
            if (mode != 1 && mode != 2) return kStatusInvalidData;
            m_Wanted.mode = mode;
            return kStatusSuccess;
        }
        case OID_CHANNEL_QUERY:
            return QueryChannel(p);
        case OID_CHANNEL_SET:
            return SetChannel(p);
        case OID_CHANNEL_LIST:
            return QueryChannelList(p);
        case OID_LINK_INFO:
            return QueryLinkInfo(p);
        case OID_STATISTICS:
            return QueryCounters(p, false);
        case OID_RESET_STATISTICS:
            return QueryCounters(p, true);
        case OID_WEP_KEY:
            return WepKey(p);
        case OID_SECURITY_QUERY:
            return QuerySecurity(p);
        case OID_SECURITY_SET: {
            const uint32_t security = GetU32(p, 0);
            if (security > KCOM_SECURITY_MODE_WPA3_ENTERPRISE) return kStatusInvalidData;
            if (security == 2) return kStatusNotSupported;  // TKIP alone: no network offers it any more
            m_Wanted.security = security;
            // Without a key to come (none, Enhanced Open; 802.1X settings come before) the settings
            // are complete.
            return security == 0 || security == KCOM_SECURITY_MODE_OWE || IsEnterpriseMode(security)
                       ? StartJoin()
                       : kStatusSuccess;
        }
        case OID_EAP_SETTINGS_QUERY: {
            SEapRecord shown = m_Wanted.eap;
            if (!shown.Get(KCOM_EAP_PASSWORD).empty()) shown.flags |= KCOM_EAP_FLAG_HAS_PASSWORD;
            if (!shown.Get(KCOM_EAP_KEY_PASSWORD).empty()) shown.flags |= KCOM_EAP_FLAG_HAS_KEY_PASSWORD;
            shown.Get(KCOM_EAP_PASSWORD).clear();
            shown.Get(KCOM_EAP_KEY_PASSWORD).clear();
            std::memset(p, 0, KCOM_PAYLOAD_SIZE);
            return EncodeEapRecord(shown, p, KCOM_PAYLOAD_SIZE) ? kStatusSuccess : kStatusInvalidData;
        }
        case OID_EAP_SETTINGS_SET: {
            SEapRecord record;
            if (!DecodeEapRecord(p, KCOM_PAYLOAD_SIZE, record) || record.method > KCOM_EAP_PWD ||
                !EapPhase2Fits(record.method, record.phase2))
                return kStatusInvalidData;
            record.flags &= KCOM_EAP_FLAG_SYSTEM_CA | KCOM_EAP_FLAG_NO_CA_CHECK;
            m_Wanted.eap = std::move(record);
            return kStatusSuccess;
        }
        case OID_NET_SETTINGS_QUERY:
            std::memset(p, 0, KCOM_PAYLOAD_SIZE);
            return EncodeNetRecord(m_Wanted.net, p, KCOM_PAYLOAD_SIZE) ? kStatusSuccess : kStatusInvalidData;
        case OID_NET_SETTINGS_SET: {
            SNetRecord record;
            if (!DecodeNetRecord(p, KCOM_PAYLOAD_SIZE, record) || !CheckNetRecord(record).empty())
                return kStatusInvalidData;
            m_Wanted.net = std::move(record);
            return kStatusSuccess;
        }
        case OID_ADDRESS_INFO:
            return QueryAddressInfo(p);
        case OID_PASSPHRASE_QUERY:
            std::memset(p, 0, 4);
            p[0] = static_cast<uint8_t>(m_Wanted.passphrase.size());
            return kStatusSuccess;
        case OID_PASSPHRASE_SET: {
            std::string text(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], 64));
            const bool valid = ValidPassphrase(text);
            if (valid) m_Wanted.passphrase = text;
            SecureClear(text);
            if (!valid) return kStatusInvalidData;
            return m_Wanted.security == KCOM_SECURITY_MODE_WPA2_PERSONAL ||
                           m_Wanted.security == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
                           m_Wanted.security == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL
                       ? StartJoin()
                       : kStatusSuccess;
        }
        case OID_CONN_SETTING_QUERY:
            return Answer(p, m_Wanted.connectionSetting);
        case OID_CONN_SETTING_SET:
            m_Wanted.connectionSetting = GetU32(p, 0);
            return kStatusSuccess;
        case OID_HW_STATUS:
            return HardwareStatus(p);
        case OID_CONNECT_STATUS:
            return QueryConnected(p);
        case OID_DISCONNECT:
            return Disconnect();
        case OID_JOIN_STATE:
            m_Join.Fill(p);
            return kStatusSuccess;
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

uint32_t CRealAdapter::StartJoin() {
    {
        std::lock_guard lock(m_DropMutex);
        m_JoinStarted = std::chrono::steady_clock::now();
        m_Roam.JoinStarted(m_JoinStarted);
    }
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    SJoinOutcome check;
    if (m_Wanted.ssid.empty()) {
        check.status = kStatusInvalidData;
        check.detail = "no network name was given";
    } else if (!RunsAccessPoint(check) && !RefusedBeforeStart(check)) {
        // A transition network is joined as WPA3 where the radio can do SAE and the network, where
        // it was heard, offers it.
        SWiphyInfo radio;
        const bool known = m_View.Wiphy(radio);
        m_Wanted.sae = !known || radio.sae;
        m_Wanted.radioRoams = known && radio.roams;
        if (const std::vector<SBss>* list = m_View.Scan()) {
            bool heard = false, sae = false;
            for (const SBss& bss : *list) {
                if (bss.ssid != m_Wanted.ssid) continue;
                // The chosen access point's channel, where the request did not tell it.
                if (HasChosenBssid(m_Wanted) && m_Wanted.bssidFreqMhz == 0 &&
                    std::memcmp(bss.bssid, m_Wanted.bssid.data(), 6) == 0)
                    m_Wanted.bssidFreqMhz = bss.freqMhz;
                heard = true;
                sae = sae || (SecurityAkm(bss.ies) & (KCOM_AKM_SAE | KCOM_AKM_FT_SAE | KCOM_AKM_SAE_EXT_KEY));
            }
            if (heard && !sae) m_Wanted.sae = false;
        }
        if (!ChooseAccessPoint(check)) check = control.CheckJoin(m_Wanted);
    }
    if (check.status != kStatusSuccess) {
        m_Join.Refuse(m_Wanted, check);
        return check.status;
    }
    m_View.Invalidate();
    m_nJoinMacMode = m_Wanted.net.macMode;
    m_Join.Start(control, m_Wanted,
                 [this](const SJoinSettings&, const SJoinOutcome&) { m_View.Invalidate(); });
    return kStatusSuccess;
}

bool CRealAdapter::ChooseAccessPoint(SJoinOutcome& outcome) {
    // What the last attempt chose from its own pin or preference is not this one's.
    if (m_bBssidFromPin) {
        m_Wanted.bssid = {};
        m_Wanted.bssidFreqMhz = 0;
        m_bBssidFromPin = false;
    }
    m_Wanted.hintBssid = {};
    m_Wanted.hintFreqMhz = 0;
    m_Wanted.choiceNote.clear();
    // An access point the request chose itself stays; the choice is for infrastructure networks.
    if (m_Wanted.mode != 1 || HasChosenBssid(m_Wanted)) return false;
    if (!m_Wanted.net.HasPin() && !m_Wanted.net.preferHighBand) return false;
    // iwd keeps no pin at all: its refusal says why, whether the pinned access point is heard or not.
    if (m_Wanted.net.HasPin() && m_Info.managedBy == KCCL_MANAGED_BY_IWD) return false;
    std::vector<SApSeen> seen;
    if (const std::vector<SBss>* list = m_View.Scan()) {
        for (const SBss& bss : *list) {
            if (bss.ssid != m_Wanted.ssid || (bss.capability & kCapabilityIbss)) continue;
            SApSeen ap;
            std::memcpy(ap.bssid.data(), bss.bssid, 6);
            ap.freqMhz = static_cast<int>(bss.freqMhz);
            ap.signalDbm = bss.signalDbm;
            seen.push_back(ap);
        }
    }
    const SApChoice choice = kccl::ChooseAccessPoint(seen, m_Wanted.net);
    switch (choice.kind) {
        case EApChoice::Pinned:
            m_Wanted.bssid = seen[static_cast<std::size_t>(choice.index)].bssid;
            m_Wanted.bssidFreqMhz =
                static_cast<uint32_t>(seen[static_cast<std::size_t>(choice.index)].freqMhz);
            m_bBssidFromPin = true;
            return false;
        case EApChoice::PinUnheard:
            // The network heard without the pinned access point fails here; not heard at all, the
            // way of control looks for the pin itself (a scan of its own may find it).
            if (seen.empty()) {
                m_Wanted.bssid = m_Wanted.net.pin;
                m_bBssidFromPin = true;
                return false;
            }
            outcome = SJoinOutcome{};
            outcome.status = kStatusJoinNotStarted;
            outcome.cause = KCOM_CAUSE_NOT_FOUND;
            outcome.detail = choice.detail;
            return true;
        case EApChoice::Preferred:
            m_Wanted.hintBssid = seen[static_cast<std::size_t>(choice.index)].bssid;
            m_Wanted.hintFreqMhz =
                static_cast<uint32_t>(seen[static_cast<std::size_t>(choice.index)].freqMhz);
            m_Wanted.choiceNote = BandChoiceNote(seen, choice, m_Wanted.net);
            return false;
        default:
            return false;
    }
}

bool CRealAdapter::RunsAccessPoint(SJoinOutcome& outcome) {
    // The hotspot runs on the interface itself: a join would end it without a word.
    SIfaceState iface;
    if (!ReadInterface(iface) || iface.iftype != NL80211_IFTYPE_AP) return false;
    outcome = SJoinOutcome{};
    outcome.status = kStatusJoinNotStarted;
    outcome.cause = KCOM_CAUSE_HOTSPOT;
    outcome.detail = m_Info.name + " runs a hotspot (an access point): stop it first";
    return true;
}

bool CRealAdapter::RefusedBeforeStart(SJoinOutcome& outcome) {
    bool enterprise = IsEnterpriseMode(m_Wanted.security);
    if (!enterprise && m_Wanted.mode == 1) {
        // A network heard only as an enterprise one is not joined with a passphrase either.
        bool personal = false;
        if (const std::vector<SBss>* list = m_View.Scan()) {
            for (const SBss& bss : *list) {
                if (bss.ssid != m_Wanted.ssid || (bss.capability & kCapabilityIbss)) continue;
                const uint8_t kind = SecurityKind(bss.capability, bss.ies);
                const bool eap = kind == KCOM_SECURITY_WPA2_ENTERPRISE ||
                                 kind == KCOM_SECURITY_WPA3_ENTERPRISE ||
                                 kind == KCOM_SECURITY_WPA_ENTERPRISE;
                (eap ? enterprise : personal) = true;
            }
        }
        enterprise = enterprise && !personal;
    }
    if (!enterprise) return false;
    outcome = SJoinOutcome{};
    outcome.status = kStatusJoinNotStarted;
    if (!IsEnterpriseMode(m_Wanted.security) || m_Wanted.eap.method == KCOM_EAP_NONE ||
        m_Wanted.eap.Get(KCOM_EAP_IDENTITY).empty()) {
        outcome.cause = KCOM_CAUSE_NEEDS_8021X;
        outcome.detail = "an enterprise network (802.1X): joining it needs 802.1X credentials";
        return true;
    }
    // A server nobody checks could be anyone's: only the user's explicit choice joins it so.
    if (!m_Wanted.eap.ChecksServer() && !(m_Wanted.eap.flags & KCOM_EAP_FLAG_NO_CA_CHECK)) {
        outcome.cause = KCOM_CAUSE_CERT_UNTRUSTED;
        outcome.detail = "no CA certificate and no server name: the server cannot be checked";
        return true;
    }
    return false;
}

uint32_t CRealAdapter::StartScan() {
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    const uint32_t status = control.StartScan();
    if (status == kStatusSuccess) {
        m_bScanning = true;
        m_bControlScan = m_pControl != nullptr;
        m_ScanStart = std::chrono::steady_clock::now();
    }
    return status;
}

uint32_t CRealAdapter::Disconnect() {
    // Leaving ends an attempt that is still on its way (it puts back what it changed first).
    m_Join.Cancel();
    m_Wanted.ssid.clear();
    {
        std::lock_guard lock(m_DropMutex);
        m_UserLeft = std::chrono::steady_clock::now();
    }
    m_View.Invalidate();
    IAdapterControl& control = m_pControl ? *m_pControl : *m_pDirect;
    return control.Disconnect();
}

uint32_t CRealAdapter::SetChannel(const uint8_t* p) {
    // A record with room for the frequency names the channel by it (6 GHz channel numbers repeat
    // those of the other bands); a shorter one by its 2.4/5 GHz number.
    const uint32_t freq = GetU32(p, KCOM_CHANNEL_RECORD_SIZE) >= 20 ? GetU32(p, KCOM_CHANNEL_FREQ) : 0;
    if (freq != 0) {
        const int channel = FrequencyToChannel(freq);
        if (channel == 0 || channel > 255) return kStatusInvalidData;
        m_Wanted.channel = static_cast<uint8_t>(channel);
        m_Wanted.freqMhz = freq;
    } else {
        if (ChannelToFrequency(p[KCOM_CHANNEL_NUMBER]) == 0) return kStatusInvalidData;
        m_Wanted.channel = p[KCOM_CHANNEL_NUMBER];
        m_Wanted.freqMhz = 0;
    }
    m_Wanted.channelFlag = GetU32(p, KCOM_CHANNEL_FLAG);
    return kStatusSuccess;
}

uint32_t CRealAdapter::PowerSave(uint8_t* p, bool set) {
    if (!set) {
        bool enabled = false;
        if (!m_View.PowerSave(enabled)) return kStatusFailed;
        return Answer(p, enabled ? 2 : 0);
    }
    const uint32_t index = GetU32(p, 0);
    if (index > 2) return kStatusInvalidData;
    if (m_pControl) {
        SJoinSettings again = m_Wanted;
        again.nmPowerSave = index == 0 ? 2 : 3;
        const uint32_t status = m_pControl->SetPowerSave(index, again);
        if (status == kStatusSuccess && !m_Wanted.ssid.empty()) {
            // NetworkManager keeps power save per connection: the utility's own is activated again
            // with the new value, as an attempt of its own.
            m_Wanted.nmPowerSave = again.nmPowerSave;
            m_Join.Start(*m_pControl, m_Wanted,
                         [this](const SJoinSettings&, const SJoinOutcome&) { m_View.Invalidate(); });
            return kStatusSuccess;
        }
        if (status != kStatusSuccess && status != kStatusNotSupported) return status;
    }
    // Nobody keeps it for the interface: the kernel is asked (which needs CAP_NET_ADMIN).
    const int err = m_pNl->Request(NL80211_CMD_SET_POWER_SAVE, m_Info.ifindex, false, [&](nl_msg* msg) {
        nla_put_u32(msg, NL80211_ATTR_PS_STATE, index == 0 ? NL80211_PS_DISABLED : NL80211_PS_ENABLED);
    });
    m_View.Invalidate();
    if (err == 0) return kStatusSuccess;
    if (err == -ENODEV) m_bGone = true;
    return err == -EPERM || err == -EACCES ? KCCL_STATUS_NEEDS_NET_ADMIN : kStatusFailed;
}

}  // namespace wavory::kccl
