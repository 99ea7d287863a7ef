#include "SupplicantControl.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "EapSettings.h"
#include "JoinLock.h"
#include "RealFormat.h"
#include "Refusal.h"
#include "kccl_status.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A scan for a network that is not there ends in "not found"; the first may have missed it.
constexpr int kNotFoundScans = 2;
constexpr auto kEventSlice = 500ms;

bool Ok(const std::string& reply) { return !reply.empty() && reply.rfind("FAIL", 0) != 0; }

// A command whose reply is lost (the socket is opened anew then) is sent once more.
bool Command(CWpaCtrl& ctrl, const std::string& command, std::string* reply = nullptr) {
    std::string text;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (ctrl.Request(command, text)) {
            if (reply) *reply = text;
            return Ok(text);
        }
    }
    return false;
}

SWpaEntry EntryOf(const SJoinSettings& s) {
    SWpaEntry entry;
    entry.ssid = s.ssid;
    entry.tag = CSupplicantControl::kTag;
    entry.adHoc = s.mode == 2;
    entry.frequencyMhz = s.mode == 2 ? CellFrequency(s) : 0;
    entry.security = s.security;
    entry.wepKeys = s.wepKeys;
    entry.activeKey = s.activeKey;
    entry.passphrase = s.passphrase;
    entry.eap = s.eap;
    entry.sae = s.sae;
    if (HasChosenBssid(s)) entry.bssid = BssidText(s.bssid.data());
    if (HasHintBssid(s)) entry.bssidHint = BssidText(s.hintBssid.data());
    entry.macMode = s.net.macMode;
    if (s.net.macMode == KCOM_MAC_STABLE && s.mode != 2) {
        // The same address the direct control gives this network: one secret of the user's.
        const std::vector<uint8_t> secret = UserAddressSecret();
        if (!secret.empty()) entry.stableMac = MacText(StableAddress(secret, s.ssid));
    }
    return entry;
}

// What a joined attempt says of the settings the supplicant does not carry out as asked.
std::string JoinedNote(const SJoinSettings& s, const std::string& ifname, bool hintRefused, bool stableRefused) {
    std::string note = AddressingNote(s, ifname);
    if (hintRefused)
        note += std::string(note.empty() ? "" : "; ") +
                "this wpa_supplicant takes no preferred access point (bssid_hint): it chose one itself";
    // Before 2.11 it keeps no address for a network: each join takes a new random one.
    if (stableRefused)
        note += std::string(note.empty() ? "" : "; ") +
                "this wpa_supplicant (before 2.11) keeps no address for a network: it gave a new random "
                "one, and the next join takes another";
    return JoinNotes(s, note);
}

SJoinOutcome Failed(uint32_t cause, std::string detail, uint32_t status = kStatusFailed) {
    SJoinOutcome out;
    out.cause = cause;
    out.detail = std::move(detail);
    out.status = status;
    return out;
}

// The entry id a reply starts with (ADD_NETWORK's, STATUS's id=); -1 when it is none.
int Trailing(const std::string& text) { return ParseEntryId(text.substr(0, text.find_first_of("\r\n"))); }

std::string WithoutPriority(const std::string& line) {
    const size_t close = line.find('>');
    return !line.empty() && line[0] == '<' && close != std::string::npos ? line.substr(close + 1) : line;
}

}  // namespace

CSupplicantControl::CSupplicantControl(std::string ifname, std::string socketPath, IAdapterControl* fallback)
    : m_Ifname(std::move(ifname)), m_Socket(std::move(socketPath)), m_pFallback(fallback) {}

int CSupplicantControl::OpenControl(CWpaCtrl& ctrl) const {
    ctrl.SetTimeout(m_CommandWait);
    const int err = ctrl.Open(m_Socket);
    if (err != 0) return err;
    std::string reply;
    // A socket nobody answers on is left over from a supplicant that has gone.
    if (!ctrl.Request("PING", reply, std::min<std::chrono::milliseconds>(m_CommandWait, 1500ms)) ||
        reply.rfind("PONG", 0) != 0)
        return -ECONNREFUSED;
    return 0;
}

uint32_t CSupplicantControl::StartScan() {
    CWpaCtrl ctrl;
    const int err = OpenControl(ctrl);
    if (err == -EACCES || err == -EPERM) return KCCL_STATUS_NEEDS_SUPPLICANT;
    if (err != 0) return m_pFallback ? m_pFallback->StartScan() : kStatusFailed;
    std::string reply;
    if (!ctrl.Request("SCAN", reply)) return kStatusFailed;
    // A scan the supplicant runs already ends the same way as ours would.
    return reply.rfind("OK", 0) == 0 || reply.rfind("FAIL-BUSY", 0) == 0 ? kStatusSuccess : kStatusFailed;
}

uint32_t CSupplicantControl::Disconnect() {
    CWpaCtrl ctrl;
    const int err = OpenControl(ctrl);
    if (err == -EACCES || err == -EPERM) return KCCL_STATUS_NEEDS_SUPPLICANT;
    if (err != 0) return m_pFallback ? m_pFallback->Disconnect() : kStatusFailed;
    std::string reply;
    return ctrl.Request("DISCONNECT", reply) && reply.rfind("OK", 0) == 0 ? kStatusSuccess : kStatusFailed;
}

uint8_t CSupplicantControl::LinkEapMethod() {
    CWpaCtrl ctrl;
    std::string status;
    if (OpenControl(ctrl) != 0 || !Command(ctrl, "STATUS", &status)) return KCOM_EAP_NONE;
    return EapMethodOfStatus(status);
}

int CSupplicantControl::LinkGeneration() {
    CWpaCtrl ctrl;
    std::string status;
    if (OpenControl(ctrl) != 0 || !Command(ctrl, "STATUS", &status)) return -1;
    return GenerationOfStatus(status);
}

uint32_t CSupplicantControl::SetPowerSave(uint32_t, const SJoinSettings&) { return kStatusNotSupported; }

SJoinOutcome CSupplicantControl::CheckJoin(const SJoinSettings& settings) {
    if (WpaEntrySettings(EntryOf(settings)).empty())
        return Failed(KCOM_CAUSE_NONE, "the settings do not make a network wpa_supplicant can join",
                      kStatusInvalidData);
    CWpaCtrl ctrl;
    const int err = OpenControl(ctrl);
    if (err == -EACCES || err == -EPERM)
        return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(KCCL_STATUS_NEEDS_SUPPLICANT, m_Ifname, m_Socket),
                      KCCL_STATUS_NEEDS_SUPPLICANT);
    m_bFallback = err != 0 && m_pFallback != nullptr;
    if (m_bFallback) return m_pFallback->CheckJoin(settings);
    if (err != 0) return Failed(KCOM_CAUSE_ADAPTER_GONE, "wpa_supplicant does not answer on " + m_Socket);
    return {};
}

bool CSupplicantControl::ReadNetworks(CWpaCtrl& ctrl, std::vector<SWpaNetwork>& out) {
    out.clear();
    int last = -1;
    for (int page = 0; page < 100000; ++page) {
        std::string reply;
        const std::string command =
            last < 0 ? "LIST_NETWORKS" : "LIST_NETWORKS LAST_ID=" + std::to_string(last);
        if (!ctrl.Request(command, reply)) return false;
        size_t added = 0;
        for (const SWpaNetwork& network : ParseNetworkList(reply)) {
            if (network.id <= last) continue;
            out.push_back(network);
            ++added;
        }
        if (added == 0) return true;
        last = out.back().id;
    }
    return false;
}

SJoinOutcome CSupplicantControl::Join(const SJoinSettings& settings, CJoinContext& context) {
    if (m_bFallback) return m_pFallback->Join(settings, context);
    // One attempt on the interface at a time: another one's selection disables every entry, and
    // its entry must not be taken for one left behind.
    CJoinLock lock;
    if (auto busy = LockForJoin(lock, m_Ifname, JoinLimit(settings, m_JoinWait), context)) return *busy;
    CWpaCtrl ctrl, monitor;
    const int err = OpenControl(ctrl);
    if (err == -EACCES || err == -EPERM)
        return Failed(KCOM_CAUSE_NOT_PERMITTED,
                      RefusalText(KCCL_STATUS_NEEDS_SUPPLICANT, m_Ifname, m_Socket));
    monitor.SetTimeout(m_CommandWait);
    if (err != 0 || monitor.Open(m_Socket) != 0 || !monitor.Attach())
        return Failed(KCOM_CAUSE_ADAPTER_GONE, "wpa_supplicant does not answer on " + m_Socket);

    // What the supplicant holds before anything changes.
    std::vector<SWpaNetwork> networks;
    if (!ReadNetworks(ctrl, networks))
        return Failed(KCOM_CAUSE_TIMEOUT, "wpa_supplicant did not list its networks");
    SRestore restore;
    std::string statusText;
    if (Command(ctrl, "STATUS", &statusText)) {
        const auto status = ParseKeyValues(statusText);
        const auto state = status.find("wpa_state");
        const auto id = status.find("id");
        if (state != status.end() && state->second == "COMPLETED" && id != status.end()) {
            restore.previous = Trailing(id->second);
            if (const auto freq = status.find("freq"); freq != status.end())
                restore.previousFreq = std::max(0, std::atoi(freq->second.c_str()));
        }
    }
    for (const SWpaNetwork& network : networks) {
        std::string tag;
        const bool ours = ctrl.Request("GET_NETWORK " + std::to_string(network.id) + " id_str", tag) &&
                          tag.rfind(QuotedValue(kTag), 0) == 0;
        if (ours && network.id != restore.previous) {
            // No other attempt runs while this one holds the lock: an entry of the utility's that
            // the interface is not on was left by a process that ended before it could clean up.
            Command(ctrl, "REMOVE_NETWORK " + std::to_string(network.id));
            continue;
        }
        if (ours) restore.previousOwn = network.id;
        if (network.enabled) restore.enabled.push_back(network.id);
    }

    std::string reply;
    if (!ctrl.Request("ADD_NETWORK", reply) || (restore.ours = Trailing(reply)) < 0)
        return Failed(KCOM_CAUSE_NONE, "wpa_supplicant did not add a network entry");
    const std::string id = std::to_string(restore.ours);
    bool set = true;
    bool sae = false;
    bool macRefused = false;
    bool hintRefused = false;
    bool stableRefused = false;
    std::vector<std::string> entrySettings = WpaEntrySettings(EntryOf(settings));
    for (const std::string& setting : entrySettings) {
        if (!set) break;
        std::string command = "SET_NETWORK " + id + " " + setting;
        set = Command(ctrl, command);
        SecureClear(command);
        // One before 2.11 has no policy 3: a random address per join is the nearest it gives.
        if (!set && setting == "mac_addr 3") {
            set = stableRefused = Command(ctrl, "SET_NETWORK " + id + " mac_addr 2");
            if (!set) macRefused = true;
            continue;
        }
        if (stableRefused && setting.rfind("mac_value ", 0) == 0) continue;
        // A supplicant built without address changes knows no mac_addr: the adapter's own address
        // is what it uses anyway; another one cannot be had through it.
        if (!set && setting.rfind("mac_addr ", 0) == 0) {
            set = setting == "mac_addr 0";
            macRefused = !set;
        }
        // One older than 2.7 knows no bssid_hint: a preference, not a condition of the join.
        if (!set && setting.rfind("bssid_hint ", 0) == 0) set = hintRefused = true;
        for (const std::string& older : KeyMgmtFallbacks(setting)) {
            if (set) break;
            set = Command(ctrl, "SET_NETWORK " + id + " " + older);
        }
        if (setting.rfind("key_mgmt ", 0) == 0 && setting.find("SAE") != std::string::npos) sae = true;
    }
    SecureClearAll(entrySettings);
    if (set && sae) AllowHashToElement(ctrl);
    // What the supplicant said before the selection is about earlier attempts, not this one.
    while (!monitor.NextEvent(0ms).empty()) {
    }
    // The supplicant keeps the last 802.1X session to resume it, and a resumed session skips the
    // server's certificate: new settings (another CA, another server name) would go unchecked. It
    // forgets the session when an entry changes while it is on no network: it leaves the current
    // one (selecting ours would leave it anyway) and the entry's tag is set once more.
    const bool leftFirst = set && IsEnterpriseMode(settings.security) && Command(ctrl, "DISCONNECT");
    if (leftFirst) set = Command(ctrl, "SET_NETWORK " + id + " id_str " + QuotedValue(kTag));
    // Selecting the entry disables every other one, so that the supplicant goes to this network
    // and no other; Finish gives them back.
    if (!set || !Command(ctrl, "SELECT_NETWORK " + id)) {
        Finish(ctrl, monitor, restore, false, leftFirst, context);
        if (leftFirst && restore.previous < 0) Command(ctrl, "RECONNECT");  // as it was: free to choose
        if (macRefused)
            return Failed(KCOM_CAUSE_UNSUPPORTED,
                          "this wpa_supplicant does not change the hardware address per network (mac_addr): "
                          "join with the device's own address, or let NetworkManager run " +
                              m_Ifname);
        return Failed(KCOM_CAUSE_NONE, "wpa_supplicant did not take the network's settings");
    }
    SJoinOutcome outcome = Attempt(ctrl, monitor, restore.ours, JoinLimit(settings, m_JoinWait), context);
    const bool restored = Finish(ctrl, monitor, restore, outcome.joined, !context.Stopping(), context);
    outcome.restored = !outcome.joined && restored;
    if (outcome.joined && outcome.detail.empty())
        outcome.detail = JoinedNote(settings, m_Ifname, hintRefused, stableRefused);
    return outcome;
}

void CSupplicantControl::AllowHashToElement(CWpaCtrl& ctrl) {
    // SAE's hash-to-element is a setting of the whole supplicant (sae_pwe), and 6 GHz networks take
    // nothing else: a supplicant that does only the older hunting-and-pecking (0, the default) is
    // set to do both (2), which every SAE network takes. Once set it stays: a later reconnection
    // of the supplicant's own needs it as much.
    std::string value;
    if (ctrl.Request("GET sae_pwe", value) && value.rfind("FAIL", 0) != 0 &&
        value.substr(0, value.find_first_of("\r\n")) != "0")
        return;
    Command(ctrl, "SET sae_pwe 2");
}

SJoinOutcome CSupplicantControl::Attempt(CWpaCtrl& ctrl, CWpaCtrl& monitor, int id,
                                         std::chrono::milliseconds wait, CJoinContext& context) {
    const auto deadline = Clock::now() + wait;
    int notFound = 0;
    bool scanned = false;
    std::string refusal;
    CWpaEapWatch eap;  // an 802.1X attempt ends at the first EAP verdict, with its cause
    const int fd = monitor.Fd();
    while (Clock::now() < deadline && !context.Stopping()) {
        std::string line = monitor.NextEvent(0ms);
        if (line.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (context.Wait(&fd, 1, std::min<std::chrono::milliseconds>(left, kEventSlice)))
                line = monitor.NextEvent(0ms);
            if (line.empty()) continue;
        }
        if (std::getenv("WAVORY_KCCL_TRACE"))
            std::fprintf(stderr, "kccl: wpa_supplicant: %s\n", line.c_str());
        if (eap.Feed(line)) return Failed(eap.Cause(), eap.Detail());
        const SWpaEvent event = ClassifyWpaEvent(line);
        if (event.id >= 0 && event.id != id && event.kind != EWpaEvent::NotFound) continue;  // another entry
        switch (event.kind) {
            case EWpaEvent::Connected:
                return {true};
            case EWpaEvent::WrongKey:
                return Failed(KCOM_CAUSE_WRONG_KEY, WithoutPriority(line));
            case EWpaEvent::Refused:
                // The supplicant would try again and again: the utility's attempt ends here.
                return Failed(KCOM_CAUSE_REFUSED, WithoutPriority(line));
            case EWpaEvent::ConnFailed:
                return Failed(refusal.empty() ? KCOM_CAUSE_TIMEOUT : KCOM_CAUSE_REFUSED,
                              refusal.empty() ? "the network did not answer" : refusal);
            case EWpaEvent::ScanStarted:
                scanned = true;
                break;
            case EWpaEvent::NotFound:
                // A scan that began before the selection may not have looked for the network.
                if (scanned && ++notFound >= kNotFoundScans) return Failed(KCOM_CAUSE_NOT_FOUND, {});
                break;
            case EWpaEvent::Terminating:
                return Failed(KCOM_CAUSE_ADAPTER_GONE, "wpa_supplicant left " + m_Ifname);
            default:
                break;
        }
    }
    if (context.Stopping()) return Failed(KCOM_CAUSE_CANCELLED, {});
    std::string pong;
    if (!ctrl.Request("PING", pong))
        return Failed(KCOM_CAUSE_ADAPTER_GONE, "wpa_supplicant stopped answering");
    return Failed(notFound > 0 ? KCOM_CAUSE_NOT_FOUND : KCOM_CAUSE_TIMEOUT, {});
}

bool CSupplicantControl::Finish(CWpaCtrl& ctrl, CWpaCtrl& monitor, const SRestore& restore, bool joined,
                                bool reselect, CJoinContext& context) {
    bool restored = false;
    if (joined) {
        if (restore.previousOwn >= 0 && restore.previousOwn != restore.ours)
            Command(ctrl, "REMOVE_NETWORK " + std::to_string(restore.previousOwn));
    } else if (restore.ours >= 0) {
        // No entry of a failed attempt stays, nor its key: another tool's SAVE_CONFIG would keep it.
        Command(ctrl, "REMOVE_NETWORK " + std::to_string(restore.ours));
        if (reselect && restore.previous >= 0) {
            while (!monitor.NextEvent(0ms).empty()) {
            }
            // The previous network's channel is scanned alone: a scan of every band takes seconds.
            std::string select = "SELECT_NETWORK " + std::to_string(restore.previous);
            if (restore.previousFreq > 0) select += " freq=" + std::to_string(restore.previousFreq);
            if (Command(ctrl, select)) {
                const auto deadline = Clock::now() + m_RestoreWait;
                const int fd = monitor.Fd();
                while (!restored && Clock::now() < deadline && !context.Stopping()) {
                    std::string line = monitor.NextEvent(0ms);
                    if (line.empty() && context.Wait(&fd, 1, kEventSlice)) line = monitor.NextEvent(0ms);
                    const SWpaEvent event = ClassifyWpaEvent(line);
                    restored =
                        event.kind == EWpaEvent::Connected && (event.id < 0 || event.id == restore.previous);
                }
            }
        }
    }
    // The supplicant stays on the network it is on; the entries it may go back to when it loses it
    // are the ones that were enabled before.
    for (const int other : restore.enabled) {
        if (joined && other == restore.previousOwn) continue;
        Command(ctrl, "ENABLE_NETWORK " + std::to_string(other));
    }
    return restored;
}

}  // namespace wavory::kccl
