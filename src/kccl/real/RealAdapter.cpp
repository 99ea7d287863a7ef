#include "RealAdapter.h"

#include <grp.h>
#include <linux/ethtool.h>
#include <linux/nl80211.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netlink/attr.h>
#include <netlink/msg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "NmClient.h"
#include "SimState.h"
#include "WpaCtrl.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kStatusFailed = 0xC0000001;
// A scan whose end we never see (events lost) counts as finished after this long.
constexpr auto kScanLimit = 30s;
// How long a change waits for the network's answer.
constexpr auto kConnectWait = 15s;
constexpr int kDefaultNoiseDbm = -95;
constexpr uint32_t kCipherWep40 = 0x000FAC01;
constexpr uint32_t kCipherWep104 = 0x000FAC05;
constexpr const char* kNetworkTag = "wavory";
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

uint64_t ReadCounter(const std::string& ifname, const char* name) {
    std::ifstream in("/sys/class/net/" + ifname + "/statistics/" + name);
    uint64_t value = 0;
    in >> value;
    return value;
}

// A passphrase as WPA takes it: 8..63 printable ASCII characters, or 64 hexadecimal digits.
bool ValidPassphrase(const std::string& text) {
    if (text.size() == 64)
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (text.size() < 8 || text.size() > 63) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

void PutWepKeys(nl_msg* msg, const std::array<std::string, 4>& keys, uint8_t active) {
    nlattr* all = nla_nest_start(msg, NL80211_ATTR_KEYS);
    for (int i = 0; i < 4; ++i) {
        const std::string& key = keys[static_cast<size_t>(i)];
        if (key.empty()) continue;
        nlattr* one = nla_nest_start(msg, i + 1);
        nla_put(msg, NL80211_KEY_DATA, static_cast<int>(key.size()), key.data());
        nla_put_u8(msg, NL80211_KEY_IDX, static_cast<uint8_t>(i));
        nla_put_u32(msg, NL80211_KEY_CIPHER, key.size() == 5 ? kCipherWep40 : kCipherWep104);
        if (i == active) nla_put_flag(msg, NL80211_KEY_DEFAULT);
        nla_nest_end(msg, one);
    }
    nla_nest_end(msg, all);
}

// Owner group of the supplicant's socket (or of its folder), for the message that names it.
std::string SocketGroup(const std::string& path) {
    struct stat st {};
    if (::stat(fs::path(path).parent_path().c_str(), &st) != 0 && ::stat(path.c_str(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : std::to_string(st.st_gid);
}

bool Tracing() {
    const char* trace = std::getenv("WAVORY_KCCL_TRACE");
    return trace && *trace == '1';
}

void Trace(const char* what) {
    if (Tracing()) std::fprintf(stderr, "kccl: %s\n", what);
}

}  // namespace

CRealAdapter::CRealAdapter(SInterfaceInfo info) : m_Info(std::move(info)) {}

int CRealAdapter::Open() {
    const unsigned index = ::if_nametoindex(m_Info.name.c_str());
    if (index == 0) return kResultNoLink;
    m_Info.ifindex = static_cast<int>(index);
    if (m_Nl.Open() != 0) return kResultNoAdapter;
    SInterfaceState state;
    if (!ReadInterface(state)) return kResultNoLink;
    return 0;
}

std::string CRealAdapter::RefusalText(uint32_t status, const std::string& name,
                                      const std::string& controlSocket) {
    switch (status) {
        case KCCL_STATUS_NEEDS_NET_ADMIN:
            return "changing " + name +
                   " needs the CAP_NET_ADMIN right: run as root (sudo), or give the program that right "
                   "(setcap cap_net_admin+ep), or let wpa_supplicant run the interface";
        case KCCL_STATUS_NEEDS_SUPPLICANT: {
            const std::string group = SocketGroup(controlSocket);
            return "wpa_supplicant runs " + name + " and refuses this user: join the group that owns " +
                   controlSocket + (group.empty() ? "" : " (" + group + ")") +
                   " and log in again, or run as root";
        }
        case KCCL_STATUS_READ_ONLY:
            return "NetworkManager runs " + name +
                   " but does not answer on the system D-Bus: start NetworkManager (or its D-Bus), or "
                   "change the connection with NetworkManager's own tools";
        case KCCL_STATUS_NM_REFUSED:
            return "NetworkManager runs " + name +
                   " and refuses this user the change: it needs NetworkManager's permission "
                   "org.freedesktop.NetworkManager.network-control (polkit gives it to the user of the "
                   "active local session; an administrator can grant it with a polkit rule), or run as root";
        case KCCL_STATUS_WPA_NEEDS_SUPPLICANT:
            return "WPA2 and WPA3 networks are joined through wpa_supplicant, which does not run " + name +
                   ": start wpa_supplicant on it (with a control socket)";
        default:
            return {};
    }
}

uint32_t CRealAdapter::Refusal(int err) const {
    // WAVORY_KCCL_TRACE=1 names the kernel's answer, for finding out why a change failed.
    if (Tracing())
        std::fprintf(stderr, "kccl: %s refused a change: %s\n", m_Info.name.c_str(), std::strerror(-err));
    if (err == -EPERM || err == -EACCES) return KCCL_STATUS_NEEDS_NET_ADMIN;
    if (err == -EBUSY) return kStatusNotAssociated;
    return kStatusFailed;
}

int CRealAdapter::Exec(KCOM_REQUEST& request) {
    // The interface may have gone (unplugged, module removed) or come back under a new index.
    if (static_cast<int>(::if_nametoindex(m_Info.name.c_str())) != m_Info.ifindex) return kResultNoLink;
    PollEvents(0);
    request.status = Dispatch(request.code, request.payload);
    return 0;
}

bool CRealAdapter::ReadInterface(SInterfaceState& state) {
    bool seen = false;
    const int err =
        m_Nl.Request(NL80211_CMD_GET_INTERFACE, m_Info.ifindex, false, nullptr, [&](CNl80211::Attrs tb) {
            seen = true;
            if (tb[NL80211_ATTR_IFTYPE]) state.iftype = nla_get_u32(tb[NL80211_ATTR_IFTYPE]);
            if (tb[NL80211_ATTR_SSID])
                state.ssid.assign(static_cast<const char*>(nla_data(tb[NL80211_ATTR_SSID])),
                                  static_cast<size_t>(std::min(nla_len(tb[NL80211_ATTR_SSID]), 32)));
            if (tb[NL80211_ATTR_WIPHY_FREQ]) state.freqMhz = nla_get_u32(tb[NL80211_ATTR_WIPHY_FREQ]);
        });
    return err == 0 && seen;
}

std::vector<SBss> CRealAdapter::DumpScan() {
    std::vector<SBss> list;
    m_Nl.Request(NL80211_CMD_GET_SCAN, m_Info.ifindex, true, nullptr, [&](CNl80211::Attrs tb) {
        if (!tb[NL80211_ATTR_BSS]) return;
        nlattr* b[NL80211_BSS_MAX + 1] = {};
        if (nla_parse_nested(b, NL80211_BSS_MAX, tb[NL80211_ATTR_BSS], nullptr) != 0) return;
        if (!b[NL80211_BSS_BSSID] || nla_len(b[NL80211_BSS_BSSID]) < 6) return;
        SBss bss;
        std::memcpy(bss.bssid, nla_data(b[NL80211_BSS_BSSID]), 6);
        nlattr* ies = b[NL80211_BSS_INFORMATION_ELEMENTS] ? b[NL80211_BSS_INFORMATION_ELEMENTS]
                                                          : b[NL80211_BSS_BEACON_IES];
        if (ies) {
            const auto* data = static_cast<const uint8_t*>(nla_data(ies));
            bss.ies.assign(data, data + nla_len(ies));
        }
        bss.ssid = SsidFromIes(bss.ies);
        if (b[NL80211_BSS_FREQUENCY]) bss.freqMhz = nla_get_u32(b[NL80211_BSS_FREQUENCY]);
        if (b[NL80211_BSS_SIGNAL_MBM])
            bss.signalDbm = static_cast<int32_t>(nla_get_u32(b[NL80211_BSS_SIGNAL_MBM])) / 100;
        if (b[NL80211_BSS_CAPABILITY]) bss.capability = nla_get_u16(b[NL80211_BSS_CAPABILITY]);
        if (b[NL80211_BSS_STATUS]) {
            const uint32_t status = nla_get_u32(b[NL80211_BSS_STATUS]);
            bss.associated =
                status == NL80211_BSS_STATUS_ASSOCIATED || status == NL80211_BSS_STATUS_IBSS_JOINED;
        }
        list.push_back(std::move(bss));
    });
    return list;
}

bool CRealAdapter::Associated(SBss& out) {
    for (SBss& bss : DumpScan()) {
        if (bss.associated) {
            out = std::move(bss);
            return true;
        }
    }
    return false;
}

void CRealAdapter::PollEvents(int timeoutMs) {
    m_Nl.PollEvents(timeoutMs, [&](int cmd, CNl80211::Attrs tb) {
        const bool ours = !tb[NL80211_ATTR_IFINDEX] ||
                          static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) == m_Info.ifindex;
        if (ours && (cmd == NL80211_CMD_NEW_SCAN_RESULTS || cmd == NL80211_CMD_SCAN_ABORTED))
            m_bScanning = false;
    });
    if (m_bScanning && std::chrono::steady_clock::now() - m_ScanStart > kScanLimit) m_bScanning = false;
}

uint32_t CRealAdapter::Dispatch(uint32_t code, uint8_t* p) {
    SInterfaceState iface;
    switch (code) {
        case OID_DEVICE_INFO:
            return DeviceInfo(p);
        case OID_MAC_QUERY: {
            std::memset(p, 0, 8);
            const std::string mac = m_Info.mac;
            for (size_t i = 0; i < 6 && mac.size() >= 17; ++i)
                p[i] = static_cast<uint8_t>(std::stoul(mac.substr(3 * i, 2), nullptr, 16));
            return kStatusSuccess;
        }
        case OID_BSSID: {
            std::memset(p, 0, 8);
            SBss bss;
            if (Associated(bss)) std::memcpy(p, bss.bssid, 6);
            return kStatusSuccess;
        }
        case OID_SSID_QUERY: {
            SBss bss;
            const std::string ssid = Associated(bss) ? bss.ssid : m_Wanted.ssid;
            std::memset(p, 0, 34);
            p[0] = static_cast<uint8_t>(std::min<size_t>(ssid.size(), 32));
            std::memcpy(p + 1, ssid.data(), p[0]);
            return kStatusSuccess;
        }
        case OID_SSID_SET:
            if (p[0] > 32) return kStatusInvalidData;
            m_Wanted.ssid.assign(reinterpret_cast<const char*>(p + 1), p[0]);
            return kStatusSuccess;
        case OID_PHY_QUERY: {
            SBss bss;
            if (Associated(bss)) return Answer(p, PhyType(bss.freqMhz, bss.ies));
            return Answer(p, m_Wanted.phy);
        }
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
            if (!ReadInterface(iface)) return kStatusFailed;
            return Answer(p, iface.iftype == NL80211_IFTYPE_ADHOC     ? 2
                             : iface.iftype == NL80211_IFTYPE_STATION ? 1
                                                                      : 0);
        case OID_NET_MODE_SET: {
            const uint32_t mode = GetU32(p, 0);
            if (mode != 1 && mode != 2) return kStatusInvalidData;
            m_Wanted.mode = mode;
            return kStatusSuccess;
        }
        case OID_CHANNEL_QUERY:
            return QueryChannel(p);
        case OID_CHANNEL_SET:
            if (ChannelToFrequency(p[8]) == 0) return kStatusInvalidData;
            m_Wanted.channel = p[8];
            m_Wanted.channelFlag = GetU32(p, 12);
            return kStatusSuccess;
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
            if (security > KCOM_SECURITY_MODE_WPA3_PERSONAL) return kStatusInvalidData;
            if (security == 2) return kStatusNotSupported;  // TKIP alone: no network offers it any more
            m_Wanted.security = security;
            return security == 0 ? Commit() : kStatusSuccess;
        }
        case OID_PASSPHRASE_QUERY:
            std::memset(p, 0, 4);
            p[0] = static_cast<uint8_t>(m_Wanted.passphrase.size());
            return kStatusSuccess;
        case OID_PASSPHRASE_SET: {
            const std::string text(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], 64));
            if (!ValidPassphrase(text)) return kStatusInvalidData;
            m_Wanted.passphrase = text;
            return m_Wanted.security >= KCOM_SECURITY_MODE_WPA2_PERSONAL ? Commit() : kStatusSuccess;
        }
        case OID_CONN_SETTING_QUERY:
            return Answer(p, m_Wanted.connectionSetting);
        case OID_CONN_SETTING_SET:
            m_Wanted.connectionSetting = GetU32(p, 0);
            return kStatusSuccess;
        case OID_HW_STATUS:
            return HardwareStatus(p);
        case OID_CONNECT_STATUS: {
            std::memset(p, 0, 4);
            SBss bss;
            p[0] = Associated(bss) ? 1 : 0;
            return kStatusSuccess;
        }
        case OID_DISCONNECT:
            return Disconnect();
        case OID_REG_DOMAIN:
            return RegDomain(p);
        default:
            return kStatusNotSupported;
    }
}

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

uint32_t CRealAdapter::QuerySnr(uint8_t* p) {
    SBss bss;
    if (!Associated(bss)) return kStatusNotAssociated;
    // The station's own measure of the link is fresher than the scan's.
    int signal = bss.signalDbm;
    bool fromStation = false;
    m_Nl.Request(NL80211_CMD_GET_STATION, m_Info.ifindex, true, nullptr, [&](CNl80211::Attrs tb) {
        if (!tb[NL80211_ATTR_STA_INFO]) return;
        nlattr* s[NL80211_STA_INFO_MAX + 1] = {};
        if (nla_parse_nested(s, NL80211_STA_INFO_MAX, tb[NL80211_ATTR_STA_INFO], nullptr) != 0) return;
        if (!s[NL80211_STA_INFO_SIGNAL]) return;
        const int value = static_cast<int8_t>(nla_get_u8(s[NL80211_STA_INFO_SIGNAL]));
        if (!fromStation || value > signal) signal = value;
        fromStation = true;
    });
    int noise = kDefaultNoiseDbm;
    m_Nl.Request(NL80211_CMD_GET_SURVEY, m_Info.ifindex, true, nullptr, [&](CNl80211::Attrs tb) {
        if (!tb[NL80211_ATTR_SURVEY_INFO]) return;
        nlattr* s[NL80211_SURVEY_INFO_MAX + 1] = {};
        if (nla_parse_nested(s, NL80211_SURVEY_INFO_MAX, tb[NL80211_ATTR_SURVEY_INFO], nullptr) != 0) return;
        const bool inUse =
            s[NL80211_SURVEY_INFO_IN_USE] || (s[NL80211_SURVEY_INFO_FREQUENCY] &&
                                              nla_get_u32(s[NL80211_SURVEY_INFO_FREQUENCY]) == bss.freqMhz);
        if (inUse && s[NL80211_SURVEY_INFO_NOISE])
            noise = static_cast<int8_t>(nla_get_u8(s[NL80211_SURVEY_INFO_NOISE]));
    });
    return Answer(p, static_cast<uint32_t>(signal - noise));
}

uint32_t CRealAdapter::QueryCounters(uint8_t* p, bool reset) {
    // The kernel's counters cannot be reset: a reset keeps them as the baseline from then on.
    const std::array<uint64_t, 4> now = {
        ReadCounter(m_Info.name, "tx_packets"), ReadCounter(m_Info.name, "rx_packets"),
        ReadCounter(m_Info.name, "tx_bytes"), ReadCounter(m_Info.name, "rx_bytes")};
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
    // The first page takes a fresh list; the further pages answer from it, so that no network
    // moves between pages while they are read.
    if (!more || m_Snapshot.empty()) {
        m_Snapshot = DumpScan();
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
    SInterfaceState iface;
    ReadInterface(iface);
    int channel = FrequencyToChannel(iface.freqMhz);
    if (channel == 0) {
        SBss bss;
        channel = Associated(bss) ? FrequencyToChannel(bss.freqMhz) : m_Wanted.channel;
    }
    std::memset(p, 0, 16);
    PutU32(p, 0, 12);
    p[8] = static_cast<uint8_t>(channel);
    PutU32(p, 12, m_Wanted.channelFlag);
    return kStatusSuccess;
}

uint32_t CRealAdapter::QuerySecurity(uint8_t* p) {
    SBss bss;
    if (!Associated(bss)) return Answer(p, m_Wanted.security);
    switch (SecurityKind(bss.capability, bss.ies)) {
        case KCOM_SECURITY_WEP:
            return Answer(p, 1);
        case KCOM_SECURITY_WPA:
            return Answer(p, 2);
        case KCOM_SECURITY_WPA2:
            // A WPA3 connection to a network that offers both is told by what was asked for.
            return Answer(p, m_Wanted.security == KCOM_SECURITY_MODE_WPA3_PERSONAL
                                 ? KCOM_SECURITY_MODE_WPA3_PERSONAL
                                 : KCOM_SECURITY_MODE_WPA2_PERSONAL);
        case KCOM_SECURITY_WPA3:
            return Answer(p, KCOM_SECURITY_MODE_WPA3_PERSONAL);
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
        return m_Wanted.security == 1 ? Commit() : kStatusSuccess;
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
    const int err = m_Nl.Request(NL80211_CMD_GET_REG, 0, false, nullptr, [&](CNl80211::Attrs tb) {
        if (tb[NL80211_ATTR_REG_ALPHA2]) alpha2 = nla_get_string(tb[NL80211_ATTR_REG_ALPHA2]);
    });
    if (err != 0) return kStatusFailed;
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

uint32_t CRealAdapter::PowerSave(uint8_t* p, bool set) {
    if (!set) {
        uint32_t state = 0;
        const int err =
            m_Nl.Request(NL80211_CMD_GET_POWER_SAVE, m_Info.ifindex, false, nullptr, [&](CNl80211::Attrs tb) {
                if (tb[NL80211_ATTR_PS_STATE]) state = nla_get_u32(tb[NL80211_ATTR_PS_STATE]);
            });
        if (err != 0) return kStatusFailed;
        return Answer(p, state == NL80211_PS_ENABLED ? 2 : 0);
    }
    const uint32_t index = GetU32(p, 0);
    if (index > 2) return kStatusInvalidData;
    if (m_Info.managedBy == KCCL_MANAGED_BY_NETWORK_MANAGER) {
        const uint32_t status = PowerSaveThroughNm(index);
        if (status != kStatusNotSupported) return status;
    }
    const int err = m_Nl.Request(NL80211_CMD_SET_POWER_SAVE, m_Info.ifindex, false, [&](nl_msg* msg) {
        nla_put_u32(msg, NL80211_ATTR_PS_STATE, index == 0 ? NL80211_PS_DISABLED : NL80211_PS_ENABLED);
    });
    return err == 0 ? kStatusSuccess : Refusal(err);
}

uint32_t CRealAdapter::StartScan() {
    if (m_Info.managedBy == KCCL_MANAGED_BY_NETWORK_MANAGER) return ScanThroughNm();
    if (m_Info.managedBy == KCCL_MANAGED_BY_WPA_SUPPLICANT) {
        CWpaCtrl ctrl;
        const int err = ctrl.Open(m_Info.controlSocket);
        if (err == -EACCES || err == -EPERM) return KCCL_STATUS_NEEDS_SUPPLICANT;
        std::string reply;
        if (err == 0 && ctrl.Request("SCAN", reply)) {
            // A scan the supplicant runs already ends the same way as ours would.
            if (reply.rfind("OK", 0) != 0 && reply.rfind("FAIL-BUSY", 0) != 0) return kStatusFailed;
            m_bScanning = true;
            m_ScanStart = std::chrono::steady_clock::now();
            return kStatusSuccess;
        }
        // A socket nobody answers on is left over from a supplicant that has gone: go on directly.
    }
    const int err = m_Nl.Request(NL80211_CMD_TRIGGER_SCAN, m_Info.ifindex, false, [](nl_msg* msg) {
        nlattr* ssids = nla_nest_start(msg, NL80211_ATTR_SCAN_SSIDS);
        nla_put(msg, 1, 0, "");  // the wildcard SSID: ask every network to answer
        nla_nest_end(msg, ssids);
    });
    if (err != 0 && err != -EBUSY) return Refusal(err);
    m_bScanning = true;
    m_ScanStart = std::chrono::steady_clock::now();
    return kStatusSuccess;
}

uint32_t CRealAdapter::Commit() {
    if (m_Wanted.ssid.empty()) return kStatusInvalidData;
    if (m_Info.managedBy == KCCL_MANAGED_BY_NETWORK_MANAGER) return CommitNetworkManager();
    if (m_Info.managedBy == KCCL_MANAGED_BY_WPA_SUPPLICANT) {
        const uint32_t status = CommitSupplicant();
        if (status != kStatusNotSupported) return status;
    }
    if (m_Wanted.security >= KCOM_SECURITY_MODE_WPA2_PERSONAL) return KCCL_STATUS_WPA_NEEDS_SUPPLICANT;
    return CommitDirect();
}

uint32_t CRealAdapter::CommitSupplicant() {
    CWpaCtrl ctrl, monitor;
    int err = ctrl.Open(m_Info.controlSocket);
    if (err == -EACCES || err == -EPERM) return KCCL_STATUS_NEEDS_SUPPLICANT;
    if (err != 0) return kStatusNotSupported;  // nobody answers: change the interface directly
    if (monitor.Open(m_Info.controlSocket) != 0 || !monitor.Attach()) return kStatusFailed;

    SWpaEntry entry;
    entry.ssid = m_Wanted.ssid;
    entry.tag = kNetworkTag;
    entry.adHoc = m_Wanted.mode == 2;
    entry.frequencyMhz = ChannelToFrequency(m_Wanted.channel);
    entry.security = m_Wanted.security;
    entry.wepKeys = m_Wanted.wepKeys;
    entry.activeKey = m_Wanted.activeKey;
    entry.passphrase = m_Wanted.passphrase;
    const std::vector<std::string> settings = WpaEntrySettings(entry);
    if (settings.empty()) return kStatusInvalidData;

    auto ok = [&](const std::string& command) {
        std::string reply;
        return ctrl.Request(command, reply) && reply.rfind("FAIL", 0) != 0;
    };
    // One entry of the supplicant's list is the utility's: found by its tag, replaced each time.
    // The user's own entries that the supplicant may choose are noted, to be given back below.
    std::string reply;
    if (!ctrl.Request("LIST_NETWORKS", reply)) return kStatusFailed;
    std::vector<int> usersEnabled;
    for (const SWpaNetwork& network : ParseNetworkList(reply)) {
        std::string tag;
        if (ctrl.Request("GET_NETWORK " + std::to_string(network.id) + " id_str", tag) &&
            tag.rfind(QuotedValue(kNetworkTag), 0) == 0)
            ok("REMOVE_NETWORK " + std::to_string(network.id));
        else if (network.enabled)
            usersEnabled.push_back(network.id);
    }
    if (!ctrl.Request("ADD_NETWORK", reply)) return kStatusFailed;
    const std::string id = reply.substr(0, reply.find_first_of("\r\n"));
    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) return kStatusFailed;
    bool done = true;
    for (const std::string& setting : settings) done = done && ok("SET_NETWORK " + id + " " + setting);
    // What the supplicant said before the selection is about earlier attempts, not this one.
    while (!monitor.NextEvent(0ms).empty()) {
    }
    // Selecting the entry disables every other one, so that the supplicant goes to this network and
    // no other. Once the attempt has ended the user's entries are enabled again: the supplicant
    // stays on the network it is on, and may go back to them when it loses it.
    if (!done || !ok("SELECT_NETWORK " + id)) {
        ok("REMOVE_NETWORK " + id);
        for (const int other : usersEnabled) ok("ENABLE_NETWORK " + std::to_string(other));
        return kStatusInvalidData;
    }
    auto finish = [&](uint32_t status) {
        if (status != kStatusSuccess) ok("DISABLE_NETWORK " + id);
        for (const int other : usersEnabled) ok("ENABLE_NETWORK " + std::to_string(other));
        return status;
    };
    // The outcome: connected, refused (wrong key or passphrase), or no answer in time.
    const auto deadline = std::chrono::steady_clock::now() + kConnectWait;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const std::string event = monitor.NextEvent(std::min(left, std::chrono::milliseconds(500)));
        if (Tracing() && !event.empty()) std::fprintf(stderr, "kccl: wpa_supplicant: %s\n", event.c_str());
        const EWpaEvent kind = ClassifyWpaEvent(event);
        if (kind == EWpaEvent::Connected) return finish(kStatusSuccess);
        // The supplicant would retry for ever: the utility's attempt ends here.
        if (kind == EWpaEvent::Refused) return finish(kStatusAuthRejected);
    }
    return finish(kStatusNotAssociated);
}

uint32_t CRealAdapter::Disconnect() {
    m_Wanted.ssid.clear();
    if (m_Info.managedBy == KCCL_MANAGED_BY_NETWORK_MANAGER) return DisconnectThroughNm();
    if (m_Info.managedBy == KCCL_MANAGED_BY_WPA_SUPPLICANT) {
        CWpaCtrl ctrl;
        const int err = ctrl.Open(m_Info.controlSocket);
        if (err == -EACCES || err == -EPERM) return KCCL_STATUS_NEEDS_SUPPLICANT;
        std::string reply;
        if (err == 0 && ctrl.Request("DISCONNECT", reply))
            return reply.rfind("OK", 0) == 0 ? kStatusSuccess : kStatusFailed;
        // Nobody answers on the socket: leave directly.
    }
    SInterfaceState iface;
    if (!ReadInterface(iface)) return kStatusFailed;
    return SetInterfaceType(iface.iftype == NL80211_IFTYPE_ADHOC ? NL80211_IFTYPE_ADHOC
                                                                 : NL80211_IFTYPE_STATION);
}

bool CRealAdapter::BringUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", m_Info.name.c_str());
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    if (ok && !(ifr.ifr_flags & IFF_UP)) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        ok = ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    }
    ::close(fd);
    return ok;
}

uint32_t CRealAdapter::SetInterfaceType(uint32_t iftype) {
    SInterfaceState iface;
    if (!ReadInterface(iface)) return kStatusFailed;
    // Leave whatever the interface is in, and wait for the kernel to say so.
    int err = 0;
    if (iface.iftype == NL80211_IFTYPE_ADHOC) {
        err = m_Nl.Request(NL80211_CMD_LEAVE_IBSS, m_Info.ifindex, false);
    } else if (iface.iftype == NL80211_IFTYPE_STATION && !iface.ssid.empty()) {
        err = m_Nl.Request(NL80211_CMD_DISCONNECT, m_Info.ifindex, false,
                           [](nl_msg* msg) { nla_put_u16(msg, NL80211_ATTR_REASON_CODE, 3); });
        bool gone = false;
        m_Nl.PollEvents(
            2000, [&](int cmd, CNl80211::Attrs) { gone = gone || cmd == NL80211_CMD_DISCONNECT; },
            [&] { return gone; });
    }
    if (err == -EPERM) return Refusal(err);
    if (iface.iftype != iftype) {
        err = m_Nl.Request(NL80211_CMD_SET_INTERFACE, m_Info.ifindex, false,
                           [&](nl_msg* msg) { nla_put_u32(msg, NL80211_ATTR_IFTYPE, iftype); });
        if (err != 0) return Refusal(err);
    }
    if (!BringUp()) return Refusal(-errno);
    return kStatusSuccess;
}

uint32_t CRealAdapter::CommitDirect() {
    const uint32_t status =
        SetInterfaceType(m_Wanted.mode == 2 ? NL80211_IFTYPE_ADHOC : NL80211_IFTYPE_STATION);
    if (status != kStatusSuccess) return status;
    return m_Wanted.mode == 2 ? DirectAdHoc() : DirectInfrastructure();
}

uint32_t CRealAdapter::DirectInfrastructure() {
    const bool wep = m_Wanted.security == 1;
    if (wep && m_Wanted.wepKeys[m_Wanted.activeKey].empty()) return kStatusInvalidData;
    const int err = m_Nl.Request(NL80211_CMD_CONNECT, m_Info.ifindex, false, [&](nl_msg* msg) {
        nla_put(msg, NL80211_ATTR_SSID, static_cast<int>(m_Wanted.ssid.size()), m_Wanted.ssid.data());
        // WEP leaves the authentication out, which asks the kernel for the automatic choice: open
        // system first, then shared key when the access point refuses it.
        if (!wep) nla_put_u32(msg, NL80211_ATTR_AUTH_TYPE, NL80211_AUTHTYPE_OPEN_SYSTEM);
        if (wep) {
            nla_put_flag(msg, NL80211_ATTR_PRIVACY);
            PutWepKeys(msg, m_Wanted.wepKeys, m_Wanted.activeKey);
        }
    });
    if (err != 0) return Refusal(err);
    bool seen = false;
    int code = -1;
    m_Nl.PollEvents(
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kConnectWait).count()),
        [&](int cmd, CNl80211::Attrs tb) {
            if (cmd != NL80211_CMD_CONNECT) return;
            if (tb[NL80211_ATTR_IFINDEX] &&
                static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) != m_Info.ifindex)
                return;
            seen = true;
            code = tb[NL80211_ATTR_STATUS_CODE] ? nla_get_u16(tb[NL80211_ATTR_STATUS_CODE]) : -1;
        },
        [&] { return seen; });
    if (!seen) {
        SBss bss;
        return Associated(bss) && bss.ssid == m_Wanted.ssid ? kStatusSuccess : kStatusNotAssociated;
    }
    return code == 0 ? kStatusSuccess : kStatusAuthRejected;
}

uint32_t CRealAdapter::DirectAdHoc() {
    const uint32_t freq = ChannelToFrequency(m_Wanted.channel);
    if (freq == 0) return kStatusInvalidData;
    const bool wep = m_Wanted.security == 1;
    if (wep && m_Wanted.wepKeys[m_Wanted.activeKey].empty()) return kStatusInvalidData;
    const int err = m_Nl.Request(NL80211_CMD_JOIN_IBSS, m_Info.ifindex, false, [&](nl_msg* msg) {
        nla_put(msg, NL80211_ATTR_SSID, static_cast<int>(m_Wanted.ssid.size()), m_Wanted.ssid.data());
        nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, freq);
        if (wep) {
            nla_put_flag(msg, NL80211_ATTR_PRIVACY);
            PutWepKeys(msg, m_Wanted.wepKeys, m_Wanted.activeKey);
        }
    });
    if (err != 0) return Refusal(err);
    Trace("JOIN_IBSS sent");
    bool joined = false;
    m_Nl.PollEvents(
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kConnectWait).count()),
        [&](int cmd, CNl80211::Attrs tb) {
            if (cmd != NL80211_CMD_JOIN_IBSS) return;
            if (tb[NL80211_ATTR_IFINDEX] &&
                static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) != m_Info.ifindex)
                return;
            joined = true;
        },
        [&] { return joined; });
    Trace(joined ? "IBSS joined (event)" : "no IBSS join event");
    // The event may have gone by unseen (a full socket): the scan list tells as well.
    SBss cell;
    if (!joined && Associated(cell)) joined = true;
    return joined ? kStatusSuccess : kStatusNotAssociated;
}

}  // namespace wavory::kccl
