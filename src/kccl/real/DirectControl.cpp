#include "DirectControl.h"

#include <linux/nl80211.h>
#include <net/if.h>
#include <netlink/attr.h>
#include <netlink/msg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "JoinLock.h"
#include "LinkAddress.h"
#include "LinkView.h"
#include "RealFormat.h"
#include "Refusal.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kJoinWait = 15s;
constexpr auto kRestoreWait = 10s;
constexpr auto kEventSlice = 50ms;
constexpr uint32_t kCipherWep40 = 0x000FAC01;
constexpr uint32_t kCipherWep104 = 0x000FAC05;
constexpr int kCapNetAdmin = 12;
// 802.11 status codes that say the key was wrong: a shared-key challenge that failed.
constexpr uint16_t kStatusChallengeFail = 15;

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

bool BringUp(const std::string& ifname) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", ifname.c_str());
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    if (ok && !(ifr.ifr_flags & IFF_UP)) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        ok = ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    }
    const int err = errno;
    ::close(fd);
    errno = err;
    return ok;
}

bool Joinable(uint32_t iftype) { return iftype == NL80211_IFTYPE_STATION || iftype == NL80211_IFTYPE_ADHOC; }

SJoinOutcome Failed(uint32_t cause, std::string detail = {}, uint32_t status = kStatusFailed) {
    SJoinOutcome out;
    out.cause = cause;
    out.detail = std::move(detail);
    out.status = status;
    return out;
}

// The outcome of a connection as the kernel's CONNECT event tells it.
struct SConnectEvent {
    bool seen = false;
    bool timedOut = false;
    uint32_t timeoutReason = 0;  // NL80211_TIMEOUT_*: the scan for the network, or its answer
    bool bssKnown = false;       // the kernel found the network (the event names its BSSID)
    int status = -1;
};

}  // namespace

void PutAccessPointChoice(nl_msg* msg, const SJoinSettings& s) {
    if (HasChosenBssid(s)) {
        // One access point of the network chosen (or pinned): the kernel joins it and no other.
        nla_put(msg, NL80211_ATTR_MAC, 6, s.bssid.data());
        if (s.bssidFreqMhz != 0) nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, s.bssidFreqMhz);
    } else if (HasHintBssid(s) && s.radioRoams) {
        // The band preference's pick, to a radio that roams by itself: where it starts; it may take
        // another of the network later.
        nla_put(msg, NL80211_ATTR_MAC_HINT, 6, s.hintBssid.data());
        if (s.hintFreqMhz != 0) nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ_HINT, s.hintFreqMhz);
    } else if (HasHintBssid(s)) {
        // The kernel's own connection handling passes a hint by and picks by itself, and it never
        // roams: the pick is told as the access point to join, where the link would stay anyway.
        nla_put(msg, NL80211_ATTR_MAC, 6, s.hintBssid.data());
        if (s.hintFreqMhz != 0) nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, s.hintFreqMhz);
    }
}

CDirectControl::CDirectControl(std::string ifname, int ifindex, CNl80211& nl)
    : m_Ifname(std::move(ifname)), m_nIfindex(ifindex), m_Nl(nl) {}

bool CDirectControl::MayChange() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("CapEff:", 0) != 0) continue;
        const unsigned long long caps = std::strtoull(line.c_str() + 7, nullptr, 16);
        return (caps >> kCapNetAdmin) & 1;
    }
    return ::geteuid() == 0;
}

uint32_t CDirectControl::Refusal(int err) const {
    if (std::getenv("WAVORY_KCCL_TRACE"))
        std::fprintf(stderr, "kccl: %s refused a change: %s\n", m_Ifname.c_str(), std::strerror(-err));
    if (err == -EPERM || err == -EACCES) return KCCL_STATUS_NEEDS_NET_ADMIN;
    if (err == -EBUSY) return kStatusNotAssociated;
    return kStatusFailed;
}

bool CDirectControl::ReadLink(SLink& link) {
    CLinkView view(m_Nl, m_nIfindex);
    SIfaceState iface;
    if (!view.Interface(iface)) return false;
    link = SLink{};
    link.iftype = iface.iftype;
    link.freqMhz = iface.freqMhz;
    SBss bss;
    if (view.Associated(bss)) {
        link.ssid = bss.ssid;
        link.freqMhz = bss.freqMhz;
        link.privacy = (bss.capability & kCapabilityPrivacy) != 0;
    }
    return true;
}

uint32_t CDirectControl::StartScan() {
    const int err = m_Nl.Request(NL80211_CMD_TRIGGER_SCAN, m_nIfindex, false, [](nl_msg* msg) {
        nlattr* ssids = nla_nest_start(msg, NL80211_ATTR_SCAN_SSIDS);
        nla_put(msg, 1, 0, "");  // the wildcard SSID: ask every network to answer
        nla_nest_end(msg, ssids);
    });
    // A scan that runs already ends the same way as this one would.
    return err == 0 || err == -EBUSY ? kStatusSuccess : Refusal(err);
}

uint32_t CDirectControl::Disconnect() {
    SLink link;
    if (!ReadLink(link)) return kStatusFailed;
    int err = 0;
    if (link.iftype == NL80211_IFTYPE_ADHOC) {
        err = m_Nl.Request(NL80211_CMD_LEAVE_IBSS, m_nIfindex, false);
    } else if (link.iftype == NL80211_IFTYPE_STATION) {
        err = m_Nl.Request(NL80211_CMD_DISCONNECT, m_nIfindex, false,
                           [](nl_msg* msg) { nla_put_u16(msg, NL80211_ATTR_REASON_CODE, 3); });
    } else {
        return KCCL_STATUS_OTHER_MODE;  // an access point or monitor interface is on no network
    }
    // Not on a network: there is nothing to leave.
    if (err == -ENOTCONN || err == -ENOLINK || err == -EALREADY) err = 0;
    // The utility's connection has ended: the adapter's own address is its address again.
    if (err == 0) PutBackAddress();
    return err == 0 ? kStatusSuccess : Refusal(err);
}

int CDirectControl::ApplyAddress(const SJoinSettings& s, std::string& problem) {
    std::lock_guard lock(m_Mutex);
    MacAddress now{};
    if (!ReadLinkAddress(m_Ifname, now)) {
        problem = "the hardware address of " + m_Ifname + " could not be read";
        return -ENODEV;
    }
    MacAddress wanted = now;
    const bool own = s.net.macMode == KCOM_MAC_DEVICE || s.net.macMode == KCOM_MAC_NOT_TOLD;
    switch (s.net.macMode) {
        case KCOM_MAC_STABLE: {
            const std::vector<uint8_t> secret = UserAddressSecret();
            if (secret.empty()) {
                problem =
                    "the secret that stable hardware addresses are made from could not be read or made "
                    "(~/.config/wavory/address-secret)";
                return -EIO;
            }
            wanted = StableAddress(secret, s.ssid);
            break;
        }
        case KCOM_MAC_RANDOM:
            wanted = RandomAddress();
            break;
        default:
            // The adapter's own: its permanent address (an earlier command may have changed it),
            // else the one this process found before it changed it, else it stays as it is.
            wanted = OwnAddress().value_or(now);
            break;
    }
    if (wanted == now) {
        if (own) m_OwnAddress.reset();
        return 0;
    }
    if (!m_OwnAddress) m_OwnAddress = OwnAddress().value_or(now);
    const int err = SetLinkAddress(m_nIfindex, wanted);
    if (err != 0) {
        problem = "the hardware address of " + m_Ifname + " could not be changed: " + std::strerror(-err);
        return err;
    }
    if (own) m_OwnAddress.reset();
    return 0;
}

std::optional<MacAddress> CDirectControl::OwnAddress() const {
    MacAddress permanent{};
    if (ReadPermanentAddress(m_Ifname, permanent)) return permanent;
    return m_OwnAddress;
}

void CDirectControl::PutBackAddress() {
    std::lock_guard lock(m_Mutex);
    const std::optional<MacAddress> own = OwnAddress();
    MacAddress now{};
    if (!own || !ReadLinkAddress(m_Ifname, now) || now == *own) return;
    // Only an address made up for a network (locally administered) is taken back.
    if ((now[0] & 0x02) && SetLinkAddress(m_nIfindex, *own) == 0) m_OwnAddress.reset();
}

uint32_t CDirectControl::SetPowerSave(uint32_t, const SJoinSettings&) { return kStatusNotSupported; }

SJoinOutcome CDirectControl::CheckJoin(const SJoinSettings& s) {
    if (IsEnterpriseMode(s.security))
        return Failed(
            KCOM_CAUSE_UNSUPPORTED,
            "802.1X (WPA-Enterprise) runs in wpa_supplicant or NetworkManager, neither of which runs " +
                m_Ifname +
                ": start wpa_supplicant on it (with a control socket) or let NetworkManager manage it",
            kStatusFailed);
    if (s.security >= KCOM_SECURITY_MODE_WPA2_PERSONAL)
        return Failed(KCOM_CAUSE_UNSUPPORTED, RefusalText(KCCL_STATUS_WPA_NEEDS_SUPPLICANT, m_Ifname, {}),
                      KCCL_STATUS_WPA_NEEDS_SUPPLICANT);
    if (s.ssid.empty() || (s.security == 1 && s.wepKeys[s.activeKey % 4].empty()) ||
        (s.mode == 2 && CellFrequency(s) == 0))
        return Failed(KCOM_CAUSE_NONE, "the settings do not make a network", kStatusInvalidData);
    SLink link;
    if (!ReadLink(link)) return Failed(KCOM_CAUSE_ADAPTER_GONE, m_Ifname + " does not answer");
    if (!Joinable(link.iftype))
        return Failed(KCOM_CAUSE_UNSUPPORTED, RefusalText(KCCL_STATUS_OTHER_MODE, m_Ifname, {}),
                      KCCL_STATUS_OTHER_MODE);
    if (!MayChange())
        return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(KCCL_STATUS_NEEDS_NET_ADMIN, m_Ifname, {}),
                      KCCL_STATUS_NEEDS_NET_ADMIN);
    return {};
}

int CDirectControl::Prepare(uint32_t iftype, const SJoinSettings& settings, std::string& problem) {
    SLink link;
    if (!ReadLink(link)) return -ENODEV;
    int err = 0;
    if (link.iftype == NL80211_IFTYPE_ADHOC) {
        err = m_Nl.Request(NL80211_CMD_LEAVE_IBSS, m_nIfindex, false);
    } else if (link.iftype == NL80211_IFTYPE_STATION && !link.ssid.empty()) {
        // Leave, and wait for the kernel to say so: a join sent before that is refused.
        std::atomic<bool> gone{false};
        const int id = m_Nl.AddListener([&](int cmd, CNl80211::Attrs tb) {
            if (cmd == NL80211_CMD_DISCONNECT && tb && tb[NL80211_ATTR_IFINDEX] &&
                static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) == m_nIfindex)
                gone = true;
        });
        err = m_Nl.Request(NL80211_CMD_DISCONNECT, m_nIfindex, false,
                           [](nl_msg* msg) { nla_put_u16(msg, NL80211_ATTR_REASON_CODE, 3); });
        const auto deadline = Clock::now() + 2s;
        while (err == 0 && !gone && Clock::now() < deadline) m_Nl.PumpEvents(kEventSlice);
        m_Nl.RemoveListener(id);
    }
    if (err == -EPERM || err == -EACCES) return err;
    if (link.iftype != iftype) {
        err = m_Nl.Request(NL80211_CMD_SET_INTERFACE, m_nIfindex, false,
                           [&](nl_msg* msg) { nla_put_u32(msg, NL80211_ATTR_IFTYPE, iftype); });
        if (err != 0) return err;
    }
    // Off the network now: the address the join asks for can be set.
    if ((err = ApplyAddress(settings, problem)) != 0) return err;
    return BringUp(m_Ifname) ? 0 : -errno;
}

SJoinOutcome CDirectControl::Connect(const SJoinSettings& s, CJoinContext& context,
                                     std::chrono::milliseconds wait) {
    const bool adHoc = s.mode == 2;
    const bool wep = s.security == 1;
    std::string problem;
    int err = Prepare(adHoc ? NL80211_IFTYPE_ADHOC : NL80211_IFTYPE_STATION, s, problem);
    if (err == -EPERM || err == -EACCES)
        return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(KCCL_STATUS_NEEDS_NET_ADMIN, m_Ifname, {}));
    if (!problem.empty()) return Failed(KCOM_CAUSE_REFUSED, problem);
    if (err == -ENODEV) return Failed(KCOM_CAUSE_ADAPTER_GONE, m_Ifname + " has gone");
    if (err != 0) return Failed(KCOM_CAUSE_REFUSED, m_Ifname + ": " + std::strerror(-err));

    SConnectEvent result;
    std::mutex resultMutex;
    const int id = m_Nl.AddListener([&](int cmd, CNl80211::Attrs tb) {
        if (!tb || !tb[NL80211_ATTR_IFINDEX] ||
            static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX])) != m_nIfindex)
            return;
        std::lock_guard lock(resultMutex);
        if (cmd == NL80211_CMD_CONNECT && !adHoc) {
            result.seen = true;
            result.status = tb[NL80211_ATTR_STATUS_CODE] ? nla_get_u16(tb[NL80211_ATTR_STATUS_CODE]) : -1;
            result.timedOut = tb[NL80211_ATTR_TIMED_OUT] != nullptr;
            result.timeoutReason =
                tb[NL80211_ATTR_TIMEOUT_REASON] ? nla_get_u32(tb[NL80211_ATTR_TIMEOUT_REASON]) : 0;
            result.bssKnown = tb[NL80211_ATTR_MAC] != nullptr;
        } else if (cmd == NL80211_CMD_JOIN_IBSS && adHoc) {
            result.seen = true;
            result.status = 0;
        } else if (cmd == NL80211_CMD_DEL_INTERFACE) {
            result.seen = true;
            result.status = -2;
        }
    });
    const std::string& ssid = s.ssid;
    if (adHoc) {
        const uint32_t freq = CellFrequency(s);
        err = m_Nl.Request(NL80211_CMD_JOIN_IBSS, m_nIfindex, false, [&](nl_msg* msg) {
            nla_put(msg, NL80211_ATTR_SSID, static_cast<int>(ssid.size()), ssid.data());
            nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, freq);
            if (wep) {
                nla_put_flag(msg, NL80211_ATTR_PRIVACY);
                PutWepKeys(msg, s.wepKeys, s.activeKey);
            }
        });
    } else {
        err = m_Nl.Request(NL80211_CMD_CONNECT, m_nIfindex, false, [&](nl_msg* msg) {
            nla_put(msg, NL80211_ATTR_SSID, static_cast<int>(ssid.size()), ssid.data());
            PutAccessPointChoice(msg, s);
            // WEP leaves the authentication out, which asks the kernel for the automatic choice:
            // open system first, then shared key when the access point refuses it.
            if (!wep) nla_put_u32(msg, NL80211_ATTR_AUTH_TYPE, NL80211_AUTHTYPE_OPEN_SYSTEM);
            if (wep) {
                nla_put_flag(msg, NL80211_ATTR_PRIVACY);
                PutWepKeys(msg, s.wepKeys, s.activeKey);
            }
        });
    }
    if (err == 0) {
        const auto deadline = Clock::now() + wait;
        auto seen = [&] {
            std::lock_guard lock(resultMutex);
            return result.seen;
        };
        while (!seen() && Clock::now() < deadline && !context.Stopping()) m_Nl.PumpEvents(kEventSlice);
    }
    m_Nl.RemoveListener(id);
    if (err == -EPERM || err == -EACCES)
        return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(KCCL_STATUS_NEEDS_NET_ADMIN, m_Ifname, {}));
    if (err != 0) return Failed(KCOM_CAUSE_REFUSED, m_Ifname + ": " + std::strerror(-err));
    if (context.Stopping() && !result.seen) return Failed(KCOM_CAUSE_CANCELLED);
    if (!result.seen) {
        // The event may have gone by unseen (events lost): the scan results tell as well.
        SLink link;
        if (ReadLink(link) && link.ssid == ssid) return {true};
        return Failed(KCOM_CAUSE_TIMEOUT);
    }
    if (result.status == 0) return {true};
    if (result.status == -2) return Failed(KCOM_CAUSE_ADAPTER_GONE, m_Ifname + " has gone");
    // The kernel names the network's BSSID once its scan found one: without it (or with its scan
    // said to have timed out) the network is not in range.
    if (!result.bssKnown || (result.timedOut && result.timeoutReason == NL80211_TIMEOUT_SCAN))
        return Failed(KCOM_CAUSE_NOT_FOUND);
    if (result.timedOut) return Failed(KCOM_CAUSE_TIMEOUT, "the network did not answer");
    if (result.status == kStatusChallengeFail)
        return Failed(KCOM_CAUSE_WRONG_KEY, "the WEP key was not accepted");
    return Failed(KCOM_CAUSE_REFUSED, "802.11 status " + std::to_string(result.status));
}

SJoinOutcome CDirectControl::Join(const SJoinSettings& settings, CJoinContext& context) {
    // One attempt on the interface at a time: another one's CONNECT would replace this one's.
    CJoinLock lock;
    if (auto busy = LockForJoin(lock, m_Ifname, JoinLimit(settings, kJoinWait), context)) return *busy;
    // The link before the attempt, and the settings to make it again where they are known: those
    // this process joined with (keys included), or an open network's name and channel.
    SLink before;
    std::optional<SJoinSettings> previous;
    if (ReadLink(before) && !before.ssid.empty()) {
        std::lock_guard lock(m_Mutex);
        const bool adHoc = before.iftype == NL80211_IFTYPE_ADHOC;
        if (m_LastJoined && m_LastJoined->ssid == before.ssid && (m_LastJoined->mode == 2) == adHoc) {
            previous = m_LastJoined;
        } else if (!before.privacy) {
            SJoinSettings open;
            open.ssid = before.ssid;
            open.mode = adHoc ? 2 : 1;
            open.net.macMode = KCOM_MAC_DEVICE;  // as it was before the utility changed anything
            open.channel = static_cast<uint8_t>(FrequencyToChannel(before.freqMhz));
            previous = open;
        }
    }
    SJoinOutcome outcome = Connect(settings, context, JoinLimit(settings, kJoinWait));
    if (outcome.joined) {
        std::lock_guard lock(m_Mutex);
        m_LastJoined = settings;
        outcome.detail = JoinNotes(settings, AddressingNote(settings, m_Ifname));
        return outcome;
    }
    if (previous && !context.Stopping() && outcome.cause != KCOM_CAUSE_NOT_PERMITTED &&
        outcome.cause != KCOM_CAUSE_ADAPTER_GONE)
        outcome.restored = Connect(*previous, context, kRestoreWait).joined;
    return outcome;
}

}  // namespace wavory::kccl
