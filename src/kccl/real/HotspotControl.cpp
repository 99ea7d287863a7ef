// The hotspot through each way of control: NetworkManager's access-point connection and
// wpa_supplicant's access-point block, each started and stopped under the interface's join lock so
// that no join or other hotspot acts on the interface meanwhile. What to go back to at the stop is
// kept in the interface's hotspot file, since the stop may come from another process.
#include <systemd/sd-id128.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "HotspotSettings.h"
#include "JoinLock.h"
#include "NmClient.h"
#include "NmControl.h"
#include "Refusal.h"
#include "SupplicantControl.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_status.h"
#include "radio/Hotspot.h"

namespace wavory::kccl {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// NetworkManager starts an access point and its DHCP server within a few seconds; the supplicant
// within one or two.
constexpr auto kStartWait = 30s;
constexpr auto kRestoreWait = 15s;
constexpr auto kLockWait = 30s;
constexpr auto kPoll = 200ms;

SHotspotAnswer Refusal(uint32_t status, std::string text) { return {status, std::move(text)}; }

// The join lock, or the answer that says why it could not be had.
std::optional<SHotspotAnswer> Lock(CJoinLock& lock, const std::string& ifname, CJoinContext& context) {
    if (auto busy = LockForJoin(lock, ifname, kLockWait, context))
        return Refusal(busy->status == 2 ? kStatusFailed : busy->status, busy->detail);
    return std::nullopt;
}

std::string NewUuid() {
    sd_id128_t id{};
    std::array<uint8_t, 16> bytes{};
    if (sd_id128_randomize(&id) < 0) {
        const auto now = Clock::now().time_since_epoch().count();
        std::memcpy(id.bytes, &now, sizeof now);
    }
    std::memcpy(bytes.data(), id.bytes, 16);
    return UuidText(bytes);
}

constexpr const char* kDhcpNote =
    "wpa_supplicant runs the access point only: clients get no addresses unless this system gives "
    "them (a DHCP server on the interface)";

}  // namespace

SHotspotAnswer IAdapterControl::StartHotspot(const SHotspotStart&, CJoinContext&) {
    return Refusal(kStatusNotSupported, NoHotspotReason());
}

SHotspotAnswer IAdapterControl::StopHotspot(CJoinContext&) {
    return Refusal(kStatusNotSupported, NoHotspotReason());
}

SHotspotFacts IAdapterControl::HotspotFacts() {
    SHotspotFacts facts;
    facts.note = NoHotspotReason();
    return facts;
}

// ---- NetworkManager

SHotspotFacts CNmControl::HotspotFacts() {
    SHotspotFacts facts;
    facts.canStart = true;
    CNmClient nm;
    std::string active, id;
    facts.ours = nm.Open(m_Ifname) && nm.DeviceActiveConnection(active) && active != "/" &&
                 nm.ActiveConnectionId(active, id) && id == kNmHotspotId;
    return facts;
}

SHotspotAnswer CNmControl::StartHotspot(const SHotspotStart& start, CJoinContext& context) {
    SHotspotStart request;
    request.interfaceName = m_Ifname;
    request.ssid = start.ssid;
    request.security = start.security;
    request.freqMhz = start.freqMhz;
    request.passphrase = start.passphrase;
    request.uuid = NewUuid();
    request.user = CurrentUserName();
    const NmSettings settings = BuildHotspotSettings(request);
    if (settings.empty()) {
        if (start.security == KCOM_HOTSPOT_WPA2_WPA3)
            return Refusal(kStatusNotSupported,
                           "NetworkManager's access point offers one of WPA2 and WPA3: choose wpa2 or wpa3");
        if (HotspotBandOf(start.freqMhz) == KCOM_HOTSPOT_BAND_6G)
            return Refusal(kStatusNotSupported, "NetworkManager starts no access point on 6 GHz");
        return Refusal(kStatusInvalidData, "the settings do not make an access point NetworkManager can run");
    }
    CJoinLock lock;
    if (auto busy = Lock(lock, m_Ifname, context)) return *busy;
    CNmClient nm;
    if (const SNmReply reply = nm.Open(m_Ifname); !reply)
        return Refusal(StatusOfNmError(reply.error), "NetworkManager: " + reply.message);

    // The connection that is up now, to come back to at the stop.
    std::string before, beforeId, beforeConnection;
    if (nm.DeviceActiveConnection(before) && before != "/" && nm.ActiveConnectionId(before, beforeId)) {
        if (beforeId == kNmHotspotId) return Refusal(kStatusFailed, "a hotspot runs already on " + m_Ifname);
        nm.ActiveConnectionSettings(before, beforeConnection);
    }
    // One of the utility's own connections is volatile and would go with the switch: it is kept
    // until the stop has brought it back.
    const bool beforeOurs = beforeId == kNmConnectionId && !beforeConnection.empty();
    if (beforeOurs && !nm.SetVolatile(beforeConnection, false)) beforeConnection.clear();
    std::map<std::string, std::string> file = {{"security", HotspotSecurityName(start.security)}};
    if (!beforeConnection.empty()) {
        file["nm-previous"] = beforeConnection;
        file["nm-previous-ours"] = beforeOurs ? "1" : "0";
    }
    WriteHotspotFile(m_Ifname, file);

    std::string active;
    SNmReply reply = nm.AddAndActivate(settings, active);
    uint32_t state = 0, device = 0, reason = 0;
    const auto deadline = Clock::now() + kStartWait;
    while (reply && Clock::now() < deadline && !context.Stopping()) {
        if (!nm.ActiveConnectionState(active, state) || state >= kNmActiveDeactivated) break;
        if (state == kNmActiveActivated) return {kStatusSuccess, {}};
        nm.DeviceState(device, reason);
        context.Sleep(kPoll);
    }
    // It did not come up: nothing of it stays, and the earlier connection comes back.
    std::string text =
        !reply ? "NetworkManager: " + reply.message
        : context.Stopping()
            ? std::string("the start was cancelled")
            : "NetworkManager did not start the access point" +
                  (reason != 0 ? " (its reason " + std::to_string(reason) + ")" : std::string());
    if (reply) {
        std::string connection;
        const bool known = static_cast<bool>(nm.ActiveConnectionSettings(active, connection));
        nm.Deactivate(active);
        if (known) nm.DeleteConnection(connection);
    }
    if (!beforeConnection.empty()) {
        std::string again;
        nm.Activate(beforeConnection, again);
        if (beforeOurs) nm.SetVolatile(beforeConnection, true);
    }
    WriteHotspotFile(m_Ifname, {});
    return Refusal(reply ? kStatusFailed : StatusOfNmError(reply.error), text);
}

SHotspotAnswer CNmControl::StopHotspot(CJoinContext& context) {
    CJoinLock lock;
    if (auto busy = Lock(lock, m_Ifname, context)) return *busy;
    CNmClient nm;
    if (const SNmReply reply = nm.Open(m_Ifname); !reply)
        return Refusal(StatusOfNmError(reply.error), "NetworkManager: " + reply.message);
    std::string active, id, connection;
    const bool running = nm.DeviceActiveConnection(active) && active != "/" &&
                         nm.ActiveConnectionId(active, id) && id == kNmHotspotId;
    const auto file = ReadHotspotFile(m_Ifname);
    if (!running && file.empty())
        return Refusal(kStatusNotAssociated, "no hotspot of this utility runs on " + m_Ifname);
    if (running) {
        nm.ActiveConnectionSettings(active, connection);
        if (const SNmReply reply = nm.Deactivate(active); !reply)
            return Refusal(StatusOfNmError(reply.error), "NetworkManager: " + reply.message);
        // Volatile, so NetworkManager deletes it itself; it is asked as well, so that nothing of it
        // stays should it have been made otherwise.
        if (!connection.empty()) nm.DeleteConnection(connection);
    }
    WriteHotspotFile(m_Ifname, {});
    const auto previous = file.find("nm-previous");
    if (previous == file.end()) return {kStatusSuccess, {}};
    const bool previousOurs = file.count("nm-previous-ours") && file.at("nm-previous-ours") == "1";
    std::string again;
    SHotspotAnswer answer{kStatusSuccess, {}};
    if (!nm.Activate(previous->second, again)) {
        answer.text = "the connection that was active before could not be activated again";
    } else {
        const auto deadline = Clock::now() + kRestoreWait;
        uint32_t state = 0;
        while (Clock::now() < deadline && !context.Stopping() && nm.ActiveConnectionState(again, state) &&
               state < kNmActiveActivated)
            context.Sleep(kPoll);
        if (state != kNmActiveActivated) answer.text = "the connection that was active before is not back yet";
    }
    if (previousOurs) nm.SetVolatile(previous->second, true);
    return answer;
}

// ---- wpa_supplicant

namespace {

bool Ok(const std::string& reply) { return !reply.empty() && reply.rfind("FAIL", 0) != 0; }

bool Send(CWpaCtrl& ctrl, const std::string& command, std::string* reply = nullptr) {
    std::string text;
    if (!ctrl.Request(command, text)) return false;
    if (reply) *reply = text;
    return Ok(text);
}

// The blocks tagged as the utility's hotspot.
std::vector<int> HotspotBlocks(CWpaCtrl& ctrl, const std::vector<SWpaNetwork>& networks) {
    std::vector<int> out;
    for (const SWpaNetwork& network : networks) {
        std::string tag;
        if (ctrl.Request("GET_NETWORK " + std::to_string(network.id) + " id_str", tag) &&
            tag.rfind(QuotedValue(kWpaHotspotTag), 0) == 0)
            out.push_back(network.id);
    }
    return out;
}

std::string JoinIds(const std::vector<int>& ids) {
    std::string out;
    for (const int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
    return out;
}

std::vector<int> SplitIds(const std::string& text) {
    std::vector<int> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const int id = ParseEntryId(text.substr(start, comma - start));
        if (id >= 0) out.push_back(id);
        start = comma + 1;
    }
    return out;
}

// The supplicant's STATUS as key and value.
std::map<std::string, std::string> Status(CWpaCtrl& ctrl) {
    std::string text;
    return Send(ctrl, "STATUS", &text) ? ParseKeyValues(text) : std::map<std::string, std::string>{};
}

bool RunsAccessPoint(const std::map<std::string, std::string>& status) {
    const auto mode = status.find("mode");
    const auto state = status.find("wpa_state");
    return mode != status.end() && mode->second == "AP" && state != status.end() &&
           state->second == "COMPLETED";
}

}  // namespace

SHotspotFacts CSupplicantControl::HotspotFacts() {
    SHotspotFacts facts;
    facts.canStart = true;
    CWpaCtrl ctrl;
    std::vector<SWpaNetwork> networks;
    if (OpenControl(ctrl) == 0 && ReadNetworks(ctrl, networks)) {
        const auto status = Status(ctrl);
        const auto id = status.find("id");
        const std::vector<int> ours = HotspotBlocks(ctrl, networks);
        facts.ours = RunsAccessPoint(status) && id != status.end() &&
                     std::find(ours.begin(), ours.end(), ParseEntryId(id->second)) != ours.end();
    }
    facts.note = kDhcpNote;
    return facts;
}

std::optional<SHotspotAnswer> CSupplicantControl::OpenForHotspot(CWpaCtrl& ctrl,
                                                                 std::vector<SWpaNetwork>& networks) const {
    const int err = OpenControl(ctrl);
    if (err == -EACCES || err == -EPERM)
        return Refusal(KCCL_STATUS_NEEDS_SUPPLICANT, RefusalText(KCCL_STATUS_NEEDS_SUPPLICANT, m_Ifname, m_Socket));
    if (err != 0 || !ReadNetworks(ctrl, networks))
        return Refusal(kStatusFailed, "wpa_supplicant does not answer on " + m_Socket);
    return std::nullopt;
}

SHotspotAnswer CSupplicantControl::StartHotspot(const SHotspotStart& start, CJoinContext& context) {
    std::vector<std::string> block = HotspotBlockSettings(start);
    if (block.empty()) return Refusal(kStatusInvalidData, "the settings do not make an access point");
    CJoinLock lock;
    if (auto busy = Lock(lock, m_Ifname, context)) return *busy;
    CWpaCtrl ctrl;
    std::vector<SWpaNetwork> networks;
    if (auto refused = OpenForHotspot(ctrl, networks)) return *refused;

    const auto status = Status(ctrl);
    const std::vector<int> leftOver = HotspotBlocks(ctrl, networks);
    if (RunsAccessPoint(status) && !leftOver.empty())
        return Refusal(kStatusFailed, "a hotspot runs already on " + m_Ifname);
    // Blocks of a hotspot whose process ended before it could stop it go first.
    for (const int id : leftOver) Send(ctrl, "REMOVE_NETWORK " + std::to_string(id));
    std::map<std::string, std::string> file = {{"security", HotspotSecurityName(start.security)}};
    if (const auto id = status.find("id");
        id != status.end() && status.count("wpa_state") && status.at("wpa_state") == "COMPLETED")
        file["wpa-previous"] = id->second;
    std::vector<int> enabled;
    for (const SWpaNetwork& network : networks)
        if (network.enabled && std::find(leftOver.begin(), leftOver.end(), network.id) == leftOver.end())
            enabled.push_back(network.id);
    file["wpa-enabled"] = JoinIds(enabled);

    std::string reply;
    int ours = -1;
    if (!ctrl.Request("ADD_NETWORK", reply) || (ours = ParseEntryId(reply.substr(0, reply.find('\n')))) < 0)
        return Refusal(kStatusFailed, "wpa_supplicant did not add a network block");
    file["wpa-block"] = std::to_string(ours);
    WriteHotspotFile(m_Ifname, file);
    const std::string id = std::to_string(ours);
    bool set = true;
    for (std::string& setting : block) {
        std::string command = "SET_NETWORK " + id + " " + setting;
        if (set) set = Send(ctrl, command);
        SecureClear(command);
    }
    SecureClearAll(block);
    // Selecting the block disables every other one; the stop enables them again.
    if (set && Send(ctrl, "SELECT_NETWORK " + id)) {
        // The supplicant starts an access point within a second or two, as fast as it joins.
        const auto deadline = Clock::now() + m_JoinWait;
        while (Clock::now() < deadline && !context.Stopping()) {
            if (RunsAccessPoint(Status(ctrl))) return {kStatusSuccess, kDhcpNote};
            context.Sleep(kPoll);
        }
    }
    // Nothing of it stays, and the earlier network comes back.
    CJoinContext ownContext;
    lock.Release();
    SHotspotAnswer stopped = StopHotspot(ownContext);
    (void)stopped;
    return Refusal(kStatusFailed, set ? "wpa_supplicant did not start the access point (a supplicant built "
                                        "without access point mode cannot)"
                                      : "wpa_supplicant did not take the access point's settings");
}

SHotspotAnswer CSupplicantControl::StopHotspot(CJoinContext& context) {
    CJoinLock lock;
    if (auto busy = Lock(lock, m_Ifname, context)) return *busy;
    CWpaCtrl ctrl;
    std::vector<SWpaNetwork> networks;
    if (auto refused = OpenForHotspot(ctrl, networks)) return *refused;
    const std::vector<int> blocks = HotspotBlocks(ctrl, networks);
    const auto file = ReadHotspotFile(m_Ifname);
    if (blocks.empty() && file.empty())
        return Refusal(kStatusNotAssociated, "no hotspot of this utility runs on " + m_Ifname);
    for (const int id : blocks) Send(ctrl, "REMOVE_NETWORK " + std::to_string(id));
    SHotspotAnswer answer{kStatusSuccess, {}};
    const auto previous = file.find("wpa-previous");
    if (previous != file.end() && !Send(ctrl, "SELECT_NETWORK " + previous->second))
        answer.text = "the network that was selected before could not be selected again";
    // Selection disabled the others: those that were enabled before are again.
    if (const auto enabled = file.find("wpa-enabled"); enabled != file.end())
        for (const int id : SplitIds(enabled->second))
            if (previous == file.end() || std::to_string(id) != previous->second)
                Send(ctrl, "ENABLE_NETWORK " + std::to_string(id));
    if (previous == file.end()) Send(ctrl, "REASSOCIATE");
    WriteHotspotFile(m_Ifname, {});
    return answer;
}

}  // namespace wavory::kccl
