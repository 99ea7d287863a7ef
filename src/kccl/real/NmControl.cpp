#include "NmControl.h"

#include "DropEvents.h"

#include <linux/nl80211.h>
#include <pwd.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "EapSettings.h"
#include "JoinLock.h"
#include "LinkView.h"
#include "NmClient.h"
#include "RealFormat.h"
#include "Refusal.h"
#include "kccl_status.h"
#include "WpaCtrl.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// NetworkManager gives up on a network after its own timeouts (20 to 25 s); a refused key comes
// back within a few seconds.
constexpr auto kActivateWait = 30s;
// Open-system WEP that the network does not take ends only in NetworkManager's timeout: shared
// key is tried after this long.
constexpr auto kWepOpenWait = 15s;
constexpr auto kRestoreWait = 15s;
constexpr auto kPoll = 150ms;
// A scan for one network ends within a few seconds on any band plan.
constexpr auto kScanWait = 10s;

bool Tracing() {
    const char* trace = std::getenv("WAVORY_KCCL_TRACE");
    return trace && *trace == '1';
}

// The refusal of a call as the library's status; WAVORY_KCCL_TRACE=1 names NetworkManager's answer.
uint32_t Refused(const std::string& ifname, const char* call, const SNmReply& reply) {
    if (Tracing())
        std::fprintf(stderr, "kccl: NetworkManager refused %s on %s: %s: %s\n", call, ifname.c_str(),
                     reply.name.c_str(), reply.message.c_str());
    return StatusOfNmError(reply.error);
}

SJoinOutcome Failed(uint32_t cause, std::string detail = {}, uint32_t status = kStatusFailed) {
    SJoinOutcome out;
    out.cause = cause;
    out.detail = std::move(detail);
    out.status = status;
    return out;
}

// A call NetworkManager refused, as the outcome of an attempt.
SJoinOutcome FailedCall(const std::string& ifname, const char* call, const SNmReply& reply) {
    const uint32_t status = Refused(ifname, call, reply);
    switch (reply.error) {
        case ENmError::PermissionDenied:
            return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(status, ifname, {}), status);
        case ENmError::Unreachable:
            return Failed(KCOM_CAUSE_UNSUPPORTED, RefusalText(status, ifname, {}), status);
        default:
            return Failed(KCOM_CAUSE_REFUSED, "NetworkManager: " + reply.message, status);
    }
}

std::string NewUuid() {
    sd_id128_t id{};
    std::array<uint8_t, 16> bytes{};
    if (sd_id128_randomize(&id) < 0) {
        // Without the kernel's random source a time-based value still keeps attempts apart.
        const auto now = Clock::now().time_since_epoch().count();
        std::memcpy(id.bytes, &now, sizeof now);
    }
    std::memcpy(bytes.data(), id.bytes, 16);
    return UuidText(bytes);
}

}  // namespace

std::string CurrentUserName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? pw->pw_name : std::to_string(::geteuid());
}

CNmControl::CNmControl(std::string ifname, int ifindex, CNl80211& nl, std::string supplicantSocket)
    : m_Ifname(std::move(ifname)),
      m_nIfindex(ifindex),
      m_Nl(nl),
      m_SupplicantSocket(std::move(supplicantSocket)) {}

uint32_t CNmControl::StartScan() {
    CNmClient nm;
    SNmReply reply = nm.Open(m_Ifname);
    if (reply) reply = nm.RequestScan();
    return reply ? kStatusSuccess : Refused(m_Ifname, "a scan", reply);
}

bool CNmControl::RunsOurConnection() {
    CNmClient nm;
    std::string active, id;
    return nm.Open(m_Ifname) && nm.DeviceActiveConnection(active) && active != "/" &&
           nm.ActiveConnectionId(active, id) && id == kNmConnectionId;
}

SNmRequest CNmControl::RequestOf(const SJoinSettings& s, std::string uuid) const {
    SNmRequest request;
    request.interfaceName = m_Ifname;
    request.uuid = std::move(uuid);
    request.ssid = s.ssid;
    request.adHoc = s.mode == 2;
    request.channel = s.channel;
    request.freqMhz = CellFrequency(s);
    request.security = s.security;
    request.wepKeys = s.wepKeys;
    request.activeKey = s.activeKey;
    request.passphrase = s.passphrase;
    request.eap = s.eap;
    request.sae = s.sae;
    request.powerSave = s.nmPowerSave;
    request.net = s.net;
    request.user = CurrentUserName();
    if (HasChosenBssid(s)) request.bssid.assign(s.bssid.begin(), s.bssid.end());
    return request;
}

uint8_t CNmControl::LinkEapMethod() {
    CNmClient nm;
    std::string active, connection, method;
    if (!nm.Open(m_Ifname) || !nm.DeviceActiveConnection(active) || active == "/" ||
        !nm.ActiveConnectionSettings(active, connection) || !nm.ConnectionEapMethod(connection, method))
        return KCOM_EAP_NONE;
    return EapMethodByName(method);
}

int CNmControl::LinkGeneration() {
    if (m_SupplicantSocket.empty()) return -1;
    CWpaCtrl ctrl;
    std::string status;
    if (ctrl.Open(m_SupplicantSocket) != 0 || !ctrl.Request("STATUS", status)) return -1;
    return GenerationOfStatus(status);
}

SDropEvent CNmControl::ExplainDrop() {
    CNmClient nm;
    uint32_t state = 0, reason = 0;
    if (!nm.Open(m_Ifname) || !nm.DeviceState(state, reason)) return {};
    return DropFromNmReason(reason);
}

uint32_t CNmControl::Disconnect() {
    CNmClient nm;
    std::string active, id;
    SNmReply reply = nm.Open(m_Ifname);
    if (reply) reply = nm.DeviceActiveConnection(active);
    if (!reply) return Refused(m_Ifname, "the disconnection", reply);
    if (active.empty() || active == "/") return kStatusSuccess;     // nothing to leave
    if (!nm.ActiveConnectionId(active, id)) return kStatusSuccess;  // it went meanwhile
    // Device.Disconnect would also stop NetworkManager's autoconnect on the device until the user
    // connects by hand; deactivating the utility's connection lets NetworkManager go back to the
    // user's own.
    if (id != kNmConnectionId) return KCCL_STATUS_NOT_OURS;
    reply = nm.Deactivate(active);
    if (!reply && reply.name.size() > 10 && reply.name.rfind(".NotActive") == reply.name.size() - 10)
        return kStatusSuccess;
    return reply ? kStatusSuccess : Refused(m_Ifname, "the disconnection", reply);
}

uint32_t CNmControl::SetPowerSave(uint32_t, const SJoinSettings&) {
    // The caller activates the utility's connection again when it runs; the user's stays as it is.
    return RunsOurConnection() ? kStatusSuccess : kStatusNotSupported;
}

SJoinOutcome CNmControl::CheckJoin(const SJoinSettings& s) {
    const SNmRequest request = RequestOf(s, "00000000-0000-4000-8000-000000000000");
    if (BuildConnectionSettings(request).empty())
        return Failed(KCOM_CAUSE_NONE, "the settings do not make a network NetworkManager can join",
                      kStatusInvalidData);
    CNmClient nm;
    if (const SNmReply reply = nm.Open(m_Ifname); !reply) return FailedCall(m_Ifname, "the device", reply);
    // NetworkManager's authorisation says at once what it would refuse later.
    std::map<std::string, std::string> permissions;
    if (nm.Permissions(permissions)) {
        for (const char* needed : {"org.freedesktop.NetworkManager.network-control",
                                   "org.freedesktop.NetworkManager.settings.modify.own"}) {
            const auto it = permissions.find(needed);
            if (it != permissions.end() && it->second != "yes")
                return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(KCCL_STATUS_NM_REFUSED, m_Ifname, {}),
                              KCCL_STATUS_NM_REFUSED);
        }
    }
    return {};
}

bool CNmControl::InRange(CNmClient& nm, const std::string& ssid, CJoinContext& context) {
    const auto heard = [&] {
        CLinkView view(m_Nl, m_nIfindex);
        if (const std::vector<SBss>* list = view.Scan())
            for (const SBss& bss : *list)
                if (bss.ssid == ssid && !(bss.capability & kCapabilityIbss)) return true;
        return false;
    };
    if (heard()) return true;
    // Not in the kernel's last list: a scan that asks for it by name, and its end.
    std::atomic<bool> ended{false};
    const int id = m_Nl.AddListener([&](int cmd, CNl80211::Attrs) {
        if (cmd == NL80211_CMD_NEW_SCAN_RESULTS || cmd == NL80211_CMD_SCAN_ABORTED) ended = true;
    });
    const bool asked = static_cast<bool>(nm.RequestScan(ssid));
    const auto deadline = Clock::now() + kScanWait;
    while (asked && !ended && Clock::now() < deadline && !context.Stopping()) m_Nl.PumpEvents(200ms);
    m_Nl.RemoveListener(id);
    // A scan refused as too soon after the last one leaves that one's list, which is fresh.
    return heard();
}

SJoinOutcome CNmControl::Activate(CNmClient& nm, const SJoinSettings& s, bool wepSharedKey,
                                  std::chrono::milliseconds wait, CJoinContext& context, bool& keepTrying) {
    keepTrying = false;
    SNmRequest request = RequestOf(s, NewUuid());
    request.wepSharedKey = wepSharedKey;
    const NmSettings settings = BuildConnectionSettings(request);
    if (settings.empty()) return Failed(KCOM_CAUSE_NONE, "the settings do not make a network");

    // The supplicant's own events, where this user may listen: a refused key or an 802.1X verdict
    // ends the attempt at once, with its cause. Listening changes nothing there.
    CWpaCtrl events;
    const bool listening =
        !m_SupplicantSocket.empty() && events.Open(m_SupplicantSocket) == 0 && events.Attach();
    CWpaEapWatch eap;
    // A refused WPA2 key NetworkManager tells at once itself (it asks for another, which the agent
    // refuses); a refused WPA3 password it tells only when it gives up.
    const bool sae = s.sae && (s.security == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
                               s.security == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL);
    uint32_t verdict = KCOM_CAUSE_NONE;
    std::string verdictDetail;

    // The band preference's access point starts the activation; NetworkManager may still roam.
    std::string specific = "/";
    if (HasHintBssid(s)) {
        std::vector<std::pair<std::string, std::string>> accessPoints;
        if (nm.AccessPoints(accessPoints)) specific = NmAccessPointOf(accessPoints, s.hintBssid);
    }
    std::string active, connection;
    if (const SNmReply reply = nm.AddAndActivate(settings, active, specific); !reply)
        return FailedCall(m_Ifname, "the connection", reply);
    if (nm.ActiveConnectionSettings(active, connection)) nm.GuardSecretsOf(connection);
    const int refusedBefore = nm.RefusedSecretRequests();

    // Follow the device while it works on this connection, until it is up, refused or let go.
    ENmProgress progress = ENmProgress::Pending;
    uint32_t lastReason = 0;
    const auto deadline = Clock::now() + wait;
    while (progress == ENmProgress::Pending && Clock::now() < deadline && !context.Stopping()) {
        context.Sleep(kPoll);
        for (std::string line; listening && !(line = events.NextEvent(0ms)).empty();) {
            if (eap.Feed(line)) {
                verdict = eap.Cause();
                verdictDetail = eap.Detail();
            } else if (sae && ClassifyWpaEvent(line).kind == EWpaEvent::WrongKey) {
                verdict = KCOM_CAUSE_WRONG_KEY;
            }
            if (verdict != KCOM_CAUSE_NONE) break;
        }
        if (verdict != KCOM_CAUSE_NONE) {
            progress = ENmProgress::Refused;
            break;
        }
        nm.Process();
        uint32_t activeState = 0, state = 0, reason = 0;
        const bool gone = !nm.ActiveConnectionState(active, activeState) || activeState >= kNmActiveDeactivated;
        nm.DeviceState(state, reason);
        if (reason != 0) lastReason = reason;
        // NetworkManager asked for another key: the one given was refused (the agent said so). It
        // counts even when the connection has gone meanwhile (the device has moved on to another).
        if (nm.RefusedSecretRequests() > refusedBefore) {
            progress = ENmProgress::Refused;
            break;
        }
        if (gone) {
            progress = ProgressAfterRelease(lastReason);
            if (progress == ENmProgress::Pending) progress = ENmProgress::Failed;
            break;
        }
        std::string current;
        if (!nm.DeviceActiveConnection(current) || current != active) continue;
        progress = ProgressOfDevice(state, reason);
    }
    if (Tracing())
        std::fprintf(stderr, "kccl: NetworkManager activation on %s ended: progress %d, reason %u\n",
                     m_Ifname.c_str(), static_cast<int>(progress), lastReason);
    if (progress == ENmProgress::Associated) {
        SJoinOutcome joined{true};
        std::string own;
        if (HasHintBssid(s) && specific == "/")
            own = "NetworkManager did not list the preferred access point " + BssidText(s.hintBssid.data()) +
                  ": it chose the access point itself";
        joined.detail = JoinNotes(s, own);
        return joined;
    }
    // NetworkManager would go on trying (or ask for secrets): this attempt ends here, and the
    // volatile connection goes with it.
    nm.Deactivate(active);
    nm.Process();
    if (context.Stopping()) return Failed(KCOM_CAUSE_CANCELLED);
    const uint32_t cause = verdict != KCOM_CAUSE_NONE ? verdict
                           : progress == ENmProgress::Pending
                               ? static_cast<uint32_t>(KCOM_CAUSE_TIMEOUT)
                               : CauseOfNmFailure(progress, lastReason, s.security != 0);
    keepTrying =
        cause != KCOM_CAUSE_NOT_FOUND && cause != KCOM_CAUSE_CANCELLED && cause != KCOM_CAUSE_ADAPTER_GONE;
    if (!verdictDetail.empty()) return Failed(cause, verdictDetail);
    return Failed(cause,
                  lastReason != 0 ? "NetworkManager's reason " + std::to_string(lastReason) : std::string());
}

bool CNmControl::Restore(CNmClient& nm, const std::string& connectionPath, CJoinContext& context) {
    std::string active;
    if (!nm.Activate(connectionPath, active)) return false;
    const auto deadline = Clock::now() + kRestoreWait;
    while (Clock::now() < deadline && !context.Stopping()) {
        uint32_t state = 0, device = 0, reason = 0;
        if (!nm.ActiveConnectionState(active, state) || state >= kNmActiveDeactivated) return false;
        if (state == kNmActiveActivated) return true;
        // The link is up again once the device configures addresses: the attempt need not wait
        // for DHCP to say that the network is back.
        std::string current;
        if (nm.DeviceState(device, reason) && ProgressOfDevice(device, reason) == ENmProgress::Associated &&
            nm.DeviceActiveConnection(current) && current == active)
            return true;
        context.Sleep(kPoll);
    }
    return false;
}

SJoinOutcome CNmControl::Join(const SJoinSettings& s, CJoinContext& context) {
    // One attempt on the interface at a time: another one's connection would replace this one's.
    CJoinLock lock;
    if (auto busy = LockForJoin(lock, m_Ifname, JoinLimit(s, kActivateWait), context)) return *busy;
    CNmClient nm;
    if (const SNmReply reply = nm.Open(m_Ifname); !reply) return FailedCall(m_Ifname, "the device", reply);
    // The user's connection that is up now, to come back to should this attempt fail. One of the
    // utility's is volatile and goes as soon as another connection takes the device.
    std::string before, beforeId, beforeConnection;
    bool beforeOurs = false;
    if (nm.DeviceActiveConnection(before) && before != "/" && nm.ActiveConnectionId(before, beforeId) &&
        nm.ActiveConnectionSettings(before, beforeConnection)) {
        // One of the utility's own is kept (not volatile) until this attempt has ended, so that a
        // failure can go back to it as to one of the user's.
        beforeOurs = beforeId == kNmConnectionId;
        if (beforeOurs && !nm.SetVolatile(beforeConnection, false)) beforeConnection.clear();
    }
    // What becomes of the utility's earlier connection once the attempt has ended: gone when it
    // is no longer active, volatile again while it is.
    const auto settle = [&] {
        if (!beforeOurs || beforeConnection.empty()) return;
        std::string now, nowConnection;
        const bool active = nm.DeviceActiveConnection(now) && now != "/" &&
                            nm.ActiveConnectionSettings(now, nowConnection) &&
                            nowConnection == beforeConnection;
        if (active)
            nm.SetVolatile(beforeConnection, true);
        else
            nm.DeleteConnection(beforeConnection);
    };

    // NetworkManager looks for a network that is not there for half a minute; the utility's
    // auto-selection wants to go on to the next network long before.
    if (s.mode != 2 && !InRange(nm, s.ssid, context)) {
        settle();
        return Failed(context.Stopping() ? KCOM_CAUSE_CANCELLED : KCOM_CAUSE_NOT_FOUND);
    }
    if (const SNmReply reply = nm.RegisterAgent(); !reply && Tracing())
        std::fprintf(stderr, "kccl: no secret agent of the utility's: %s\n", reply.message.c_str());

    bool keepTrying = false;
    const bool wep = s.security == 1;
    SJoinOutcome outcome =
        Activate(nm, s, false, JoinLimit(s, wep ? kWepOpenWait : kActivateWait), context, keepTrying);
    // NetworkManager takes one WEP authentication per connection: open system first (what most
    // WEP networks use), then shared key when the network did not take the first.
    if (!outcome.joined && keepTrying && wep)
        outcome = Activate(nm, s, true, JoinLimit(s, kActivateWait), context, keepTrying);
    if (!outcome.joined && !beforeConnection.empty() && !context.Stopping() &&
        outcome.cause != KCOM_CAUSE_ADAPTER_GONE)
        outcome.restored = Restore(nm, beforeConnection, context);
    settle();
    nm.UnregisterAgent();
    return outcome;
}

}  // namespace wavory::kccl
