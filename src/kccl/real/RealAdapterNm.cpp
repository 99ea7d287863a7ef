// The real adapter's changes while NetworkManager runs the interface: each goes through its D-Bus
// API, so that NetworkManager stays in charge and its own authorisation decides.
#include <systemd/sd-id128.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "NmClient.h"
#include "RealAdapter.h"
#include "SimState.h"

namespace wavory::kccl {

using namespace std::chrono_literals;

namespace {

// NetworkManager gives up on a network only after its own timeouts (about 25 s for WEP).
constexpr auto kNmConnectWait = 40s;
constexpr auto kNmPoll = 150ms;
// A scan for one network ends within a few seconds on any band plan.
constexpr auto kNmScanWait = 10s;
constexpr uint32_t kActiveDeactivated = 4;  // NMActiveConnectionState

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

std::string NewUuid() {
    sd_id128_t id{};
    std::array<uint8_t, 16> bytes{};
    if (sd_id128_randomize(&id) < 0) {
        // Without the kernel's random source a time-based value still keeps attempts apart.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::memcpy(id.bytes, &now, sizeof now);
    }
    std::memcpy(bytes.data(), id.bytes, 16);
    return UuidText(bytes);
}

}  // namespace

uint32_t CRealAdapter::CommitNetworkManager() {
    CNmClient nm;
    if (const SNmReply reply = nm.Open(m_Info.name); !reply) return Refused(m_Info.name, "the device", reply);
    // NetworkManager looks for a network that is not there for half a minute; the utility's
    // auto-selection wants to go on to the next network long before.
    if (m_Wanted.mode != 2 && !InRangeThroughNm(nm)) return kStatusNotAssociated;
    bool keepTrying = false;
    uint32_t status = ActivateThroughNm(nm, false, keepTrying);
    // NetworkManager takes one WEP authentication per connection: open system first (what most WEP
    // networks use), then shared key when the network did not take the first.
    if (status != kStatusSuccess && keepTrying && m_Wanted.security == 1)
        status = ActivateThroughNm(nm, true, keepTrying);
    return status;
}

uint32_t CRealAdapter::ActivateThroughNm(CNmClient& nm, bool wepSharedKey, bool& keepTrying) {
    keepTrying = false;
    SNmRequest request;
    request.interfaceName = m_Info.name;
    request.uuid = NewUuid();
    request.ssid = m_Wanted.ssid;
    request.adHoc = m_Wanted.mode == 2;
    request.channel = m_Wanted.channel;
    request.security = m_Wanted.security;
    request.wepKeys = m_Wanted.wepKeys;
    request.activeKey = m_Wanted.activeKey;
    request.wepSharedKey = wepSharedKey;
    request.passphrase = m_Wanted.passphrase;
    request.powerSave = m_Wanted.nmPowerSave;
    const NmSettings settings = BuildConnectionSettings(request);
    if (settings.empty()) return kStatusInvalidData;

    std::string active;
    if (const SNmReply reply = nm.AddAndActivate(settings, active); !reply)
        return Refused(m_Info.name, "the connection", reply);
    m_NmUuid = request.uuid;

    // Follow the device while it works on this connection, until it is up, refused or let go.
    ENmProgress progress = ENmProgress::Pending;
    uint32_t lastReason = 0;
    const auto deadline = std::chrono::steady_clock::now() + kNmConnectWait;
    while (progress == ENmProgress::Pending && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kNmPoll);
        uint32_t activeState = 0, state = 0, reason = 0;
        const bool gone = !nm.ActiveConnectionState(active, activeState) || activeState >= kActiveDeactivated;
        nm.DeviceState(state, reason);
        if (gone) {
            progress = ProgressAfterRelease(reason != 0 ? reason : lastReason);
            lastReason = reason != 0 ? reason : lastReason;
            break;
        }
        std::string current;
        if (!nm.DeviceActiveConnection(current) || current != active) continue;
        if (reason != 0) lastReason = reason;
        progress = ProgressOfDevice(state, reason);
    }
    if (Tracing())
        std::fprintf(stderr, "kccl: NetworkManager activation on %s ended: progress %d, reason %u\n",
                     m_Info.name.c_str(), static_cast<int>(progress), lastReason);
    if (progress != ENmProgress::Associated) {
        // NetworkManager would go on trying (or ask an agent for secrets): this attempt ends here,
        // and the volatile connection goes with it.
        nm.Deactivate(active);
        keepTrying = lastReason != kNmReasonSsidNotFound;
    }
    return StatusOfProgress(progress);
}

uint32_t CRealAdapter::ScanThroughNm() {
    CNmClient nm;
    SNmReply reply = nm.Open(m_Info.name);
    if (reply) reply = nm.RequestScan();
    if (!reply) return Refused(m_Info.name, "a scan", reply);
    m_bScanning = true;
    m_ScanStart = std::chrono::steady_clock::now();
    return kStatusSuccess;
}

bool CRealAdapter::InRangeThroughNm(CNmClient& nm) {
    const auto heard = [this] {
        for (const SBss& bss : DumpScan())
            if (bss.ssid == m_Wanted.ssid && !(bss.capability & kCapabilityIbss)) return true;
        return false;
    };
    if (heard()) return true;
    // Not in the kernel's last list: a scan that asks for it by name, and its end.
    if (!nm.RequestScan(m_Wanted.ssid)) return true;  // let NetworkManager look for itself
    m_bScanning = true;
    m_ScanStart = std::chrono::steady_clock::now();
    const auto deadline = m_ScanStart + kNmScanWait;
    while (m_bScanning && std::chrono::steady_clock::now() < deadline) PollEvents(200);
    m_bScanning = false;
    return heard();
}

bool CRealAdapter::NmRunsOurConnection() {
    if (m_NmUuid.empty()) return false;
    CNmClient nm;
    std::string active, uuid;
    return nm.Open(m_Info.name) && nm.DeviceActiveConnection(active) && active != "/" &&
           nm.ActiveConnectionUuid(active, uuid) && uuid == m_NmUuid;
}

uint32_t CRealAdapter::DisconnectThroughNm() {
    CNmClient nm;
    SNmReply reply = nm.Open(m_Info.name);
    if (reply) reply = nm.Disconnect();
    // A device with no connection has nothing to leave.
    if (!reply && reply.name.size() > 10 && reply.name.rfind(".NotActive") == reply.name.size() - 10)
        return kStatusSuccess;
    return reply ? kStatusSuccess : Refused(m_Info.name, "the disconnection", reply);
}

uint32_t CRealAdapter::PowerSaveThroughNm(uint32_t index) {
    // NetworkManager keeps power save per connection. The utility's own connection is activated
    // again with the new value; any other connection is the user's, and the kernel is asked
    // directly (which needs CAP_NET_ADMIN) rather than changing the user's settings.
    m_Wanted.nmPowerSave = index == 0 ? 2 : 3;
    if (!NmRunsOurConnection()) return kStatusNotSupported;
    return CommitNetworkManager();
}

}  // namespace wavory::kccl
