#include "IwdControl.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "IwdClient.h"
#include "JoinLock.h"
#include "Refusal.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPoll = 200ms;

bool Tracing() {
    const char* trace = std::getenv("WAVORY_KCCL_TRACE");
    return trace && *trace == '1';
}

SJoinOutcome Failed(uint32_t cause, std::string detail = {}, uint32_t status = kStatusFailed) {
    SJoinOutcome out;
    out.cause = cause;
    out.detail = std::move(detail);
    out.status = status;
    return out;
}

std::string OwnRecordPath() {
    std::string error;
    const std::string folder = CJoinLock::Folder(error);
    return folder.empty() ? std::string() : folder + "/iwd-joined";
}

void WriteOwn(const std::vector<std::string>& paths) {
    const std::string path = OwnRecordPath();
    if (path.empty()) return;
    if (paths.empty()) {
        ::unlink(path.c_str());
        return;
    }
    // Written aside and renamed: a reader never sees half a list.
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const std::string& p : paths) out << p << '\n';
        if (!out) return;
    }
    std::rename(temp.c_str(), path.c_str());
}

// Forgets the utility's known networks other than `keep`, where iwd still has them; the rest of
// the record stays (a network that could not be forgotten is tried again next time).
void ForgetOwn(CIwdClient& iwd, const SIwdObjects& objects, const std::string& keep) {
    std::vector<std::string> left;
    for (const std::string& p : CIwdControl::OwnKnownNetworks()) {
        if (p == keep) {
            left.push_back(p);
        } else if (objects.known.count(p) != 0) {
            const SIwdReply reply = iwd.Forget(p);
            if (!reply && reply.error != EIwdError::Gone) left.push_back(p);
            if (!reply && Tracing())
                std::fprintf(stderr, "kccl: iwd did not forget %s: %s\n", p.c_str(), reply.message.c_str());
        }
    }
    if (!keep.empty() && std::find(left.begin(), left.end(), keep) == left.end()) left.push_back(keep);
    WriteOwn(left);
}

}  // namespace

std::string IwdEnterpriseRefusal(const std::string& ssid) {
    return "iwd joins an 802.1X network only from a provisioning file that root writes: /var/lib/iwd/" +
           IwdStorageName(ssid, "8021x") +
           " (see iwd.network(5), section [Security] with EAP-Method, EAP-Identity and the method's "
           "settings); once it is there, join the network again";
}

std::vector<std::string> CIwdControl::OwnKnownNetworks() {
    std::vector<std::string> paths;
    const std::string path = OwnRecordPath();
    if (path.empty()) return paths;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] == '/') paths.push_back(line);
    return paths;
}

CIwdControl::CIwdControl(std::string ifname) : m_Ifname(std::move(ifname)) {}

uint32_t CIwdControl::StatusOf(const SIwdReply& reply) const {
    if (Tracing())
        std::fprintf(stderr, "kccl: iwd refused a call on %s: %s: %s\n", m_Ifname.c_str(), reply.name.c_str(),
                     reply.message.c_str());
    switch (reply.error) {
        case EIwdError::Denied:
            return KCCL_STATUS_IWD_REFUSED;
        case EIwdError::Unreachable:
            return KCCL_STATUS_RUN_BY_IWD;
        default:
            return kStatusFailed;
    }
}

SJoinOutcome CIwdControl::FailedCall(const char* what, const SIwdReply& reply) const {
    const uint32_t status = StatusOf(reply);
    switch (reply.error) {
        case EIwdError::Denied:
            return Failed(KCOM_CAUSE_NOT_PERMITTED, RefusalText(status, m_Ifname, {}), status);
        case EIwdError::Unreachable:
            return Failed(KCOM_CAUSE_UNSUPPORTED, RefusalText(status, m_Ifname, {}), status);
        default:
            return Failed(KCOM_CAUSE_REFUSED, std::string("iwd refused ") + what + ": " + reply.message, status);
    }
}

bool CIwdControl::OpenStation(CIwdClient& iwd, SIwdObjects& objects, std::string& station,
                              SJoinOutcome& failure) {
    SIwdReply reply = iwd.Open();
    if (reply) reply = iwd.Read(objects);
    if (!reply) {
        failure = FailedCall("the reading of its objects", reply);
        return false;
    }
    station = objects.DeviceOf(m_Ifname);
    if (station.empty()) {
        failure = Failed(KCOM_CAUSE_ADAPTER_GONE, "iwd does not show " + m_Ifname);
        return false;
    }
    if (objects.stationState.count(station) == 0) {
        failure = Failed(KCOM_CAUSE_UNSUPPORTED, RefusalText(KCCL_STATUS_OTHER_MODE, m_Ifname, {}),
                         KCCL_STATUS_OTHER_MODE);
        return false;
    }
    return true;
}

uint32_t CIwdControl::StartScan() {
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station;
    SJoinOutcome failure;
    if (!OpenStation(iwd, objects, station, failure)) return failure.status;
    const SIwdReply reply = iwd.Scan(station, m_ScanCallWait);
    // A scan already running gives the same list; one still queued runs when the radio is free.
    if (Tracing())
        std::fprintf(stderr, "kccl: iwd scan on %s: %s\n", m_Ifname.c_str(),
                     reply ? "started" : reply.name.c_str());
    const bool started = reply || reply.error == EIwdError::Busy || reply.error == EIwdError::TimedOut;
    return started ? kStatusSuccess : StatusOf(reply);
}

bool CIwdControl::ScanRunning() {
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station;
    SJoinOutcome failure;
    return OpenStation(iwd, objects, station, failure) && objects.stationScanning.count(station) != 0;
}

uint32_t CIwdControl::Disconnect() {
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station;
    SJoinOutcome failure;
    if (!OpenStation(iwd, objects, station, failure)) return failure.status;
    const std::string state = objects.stationState[station];
    if (state != "disconnected") {
        const SIwdReply reply = iwd.Disconnect(station);
        if (!reply && reply.error != EIwdError::NotFound) return StatusOf(reply);
    }
    if (iwd.Read(objects)) ForgetOwn(iwd, objects, {});
    return kStatusSuccess;
}

uint32_t CIwdControl::SetPowerSave(uint32_t, const SJoinSettings&) { return kStatusNotSupported; }

int CIwdControl::LinkGeneration() {
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station, mode;
    SJoinOutcome failure;
    if (!OpenStation(iwd, objects, station, failure) || !iwd.RxMode(station, mode)) return -1;
    if (mode == "802.11n") return KCOM_PHY_N;
    if (mode == "802.11ac") return KCOM_PHY_AC;
    if (mode == "802.11ax") return KCOM_PHY_AX;
    if (mode == "802.11be") return KCOM_PHY_BE;
    return -1;
}

SJoinOutcome CIwdControl::CheckJoin(const SJoinSettings& s) {
    if (s.ssid.empty() || s.ssid.size() > 32)
        return Failed(KCOM_CAUSE_NONE, "the settings do not make a network iwd can join", kStatusInvalidData);
    if (s.mode == 2)
        return Failed(KCOM_CAUSE_UNSUPPORTED,
                      "iwd runs " + m_Ifname +
                          " as a station: ad-hoc cells are joined through wpa_supplicant (stop iwd and let "
                          "wpa_supplicant run the interface)");
    if (s.security == 1)
        return Failed(KCOM_CAUSE_UNSUPPORTED,
                      "iwd does not join WEP networks (it has no WEP at all): join this network through "
                      "wpa_supplicant, or better, move the network to WPA2 or WPA3");
    if (s.security == KCOM_SECURITY_MODE_WPA2_ENTERPRISE || s.security == KCOM_SECURITY_MODE_WPA3_ENTERPRISE)
        return Failed(KCOM_CAUSE_UNSUPPORTED, IwdEnterpriseRefusal(s.ssid));
    if (IwdTypeOf(s.security).empty())
        return Failed(KCOM_CAUSE_NONE, "the settings do not make a network iwd can join", kStatusInvalidData);
    // iwd chooses the hardware address itself, for every network alike.
    if (s.net.macMode == KCOM_MAC_STABLE || s.net.macMode == KCOM_MAC_RANDOM)
        return Failed(KCOM_CAUSE_UNSUPPORTED,
                      "iwd runs " + m_Ifname +
                          " and chooses its hardware address itself, for all networks alike "
                          "(AddressRandomization in iwd's main.conf): it takes no address per network; "
                          "join with the device's own address, or set iwd's own setting");
    // iwd's Network.Connect takes the network, never one of its access points.
    if (s.net.HasPin())
        return Failed(KCOM_CAUSE_UNSUPPORTED,
                      "iwd runs " + m_Ifname +
                          " and connects to a network, never to one of its access points (its interface "
                          "has no connect per BSSID): the pin to " +
                          MacText(s.net.pin) +
                          " cannot be kept; remove the pin, or let wpa_supplicant or NetworkManager run the "
                          "interface");
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station;
    SJoinOutcome failure;
    if (!OpenStation(iwd, objects, station, failure)) return failure;
    return {};
}

bool CIwdControl::Restore(CIwdClient& iwd, const std::string& station, const std::string& network,
                          CJoinContext& context) {
    // iwd may go back by itself (autoconnect); it is asked only while it does not.
    bool asked = false;
    const auto deadline = Clock::now() + m_RestoreWait;
    while (Clock::now() < deadline && !context.Stopping()) {
        SIwdObjects objects;
        if (!iwd.Read(objects) || objects.stationState.count(station) == 0) return false;
        const std::string& state = objects.stationState[station];
        const bool onIt = objects.stationNetwork[station] == network;
        if (onIt && state == "connected") return true;
        if (!asked && !onIt && state == "disconnected") {
            if (objects.networks.count(network) == 0 || !iwd.StartConnect(network)) return false;
            asked = true;
        }
        if (asked && iwd.WaitConnect(kPoll, context)) {
            // Answered: up (the next reading shows it), or refused; iwd busy with its own try is
            // asked again once that has ended.
            const SIwdReply reply = iwd.ConnectResult();
            if (!reply && reply.error != EIwdError::Busy) return false;
            asked = false;
            context.Sleep(kPoll);
        } else if (!asked) {
            context.Sleep(kPoll);
        }
    }
    return false;
}

SJoinOutcome CIwdControl::Join(const SJoinSettings& s, CJoinContext& context) {
    if (SJoinOutcome check = CheckJoin(s); check.status != 2) return check;
    const std::chrono::milliseconds wait = JoinLimit(s, m_JoinWait);
    CJoinLock lock;
    if (auto busy = LockForJoin(lock, m_Ifname, wait, context)) return *busy;
    CIwdClient iwd;
    SIwdObjects objects;
    std::string station;
    SJoinOutcome failure;
    if (!OpenStation(iwd, objects, station, failure)) return failure;

    // What the interface was on, and what iwd knew, before the attempt.
    const std::string before = objects.stationNetwork[station];
    std::set<std::string> knownBefore;
    for (const auto& entry : objects.known) knownBefore.insert(entry.first);
    const std::string type = IwdTypeOf(s.security);

    // A network iwd has not heard yet: a scan, and the networks it finds.
    const SIwdNetwork* network = objects.Network(station, s.ssid, type);
    if (!network) {
        const SIwdReply scan = iwd.Scan(station, m_ScanCallWait);
        // The scan runs while the station says so; its networks are there once it has ended. One
        // still queued behind the radio's other work is waited for until it has started and ended.
        bool queued = scan.error == EIwdError::TimedOut;
        bool scanning = scan || scan.error == EIwdError::Busy;
        const auto deadline = Clock::now() + m_ScanWait;
        while ((scanning || queued) && Clock::now() < deadline && !context.Stopping()) {
            context.Sleep(kPoll);
            if (!iwd.Read(objects)) break;
            if (objects.stationState.count(station) == 0) return Failed(KCOM_CAUSE_ADAPTER_GONE);
            if ((network = objects.Network(station, s.ssid, type))) break;
            scanning = objects.stationScanning.count(station) != 0;
            if (scanning) queued = false;
        }
    }
    if (context.Stopping()) return Failed(KCOM_CAUSE_CANCELLED);
    // The name is there with another kind of security: iwd would look for a hidden one in vain.
    if (!network)
        for (const auto& [path, other] : objects.networks)
            if (other.device == station && other.name == s.ssid)
                return Failed(KCOM_CAUSE_REFUSED, "iwd hears " + s.ssid + " as a network of type \"" + other.type +
                                                      "\", not \"" + type + "\"");
    const std::string target = network ? network->path : std::string();

    // A network the utility joined before is known to iwd with the passphrase given then, which iwd
    // would use without asking: it is forgotten, so that iwd asks for the one given now. The user's
    // own known networks keep theirs.
    if (network && type == "psk" && !network->known.empty() && !s.passphrase.empty()) {
        const std::vector<std::string> own = OwnKnownNetworks();
        const std::string known = network->known;
        if (std::find(own.begin(), own.end(), known) != own.end() && iwd.Forget(known)) knownBefore.erase(known);
    }
    if (type == "psk") {
        if (const SIwdReply reply = iwd.RegisterAgent(s.passphrase); !reply)
            return FailedCall("the utility's agent", reply);
    }
    // A network that does not show its name: iwd finds it among the hidden access points it heard.
    const SIwdReply started = network ? iwd.StartConnect(target) : iwd.StartConnectHidden(station, s.ssid);
    if (!started) {
        iwd.UnregisterAgent();
        return FailedCall("the connection", started);
    }

    bool answered = false, gone = false;
    const auto deadline = Clock::now() + wait;
    while (!(answered = iwd.WaitConnect(kPoll, context)) && !context.Stopping() && Clock::now() < deadline) {
        SIwdObjects now;
        if (iwd.Read(now) && now.stationState.count(station) == 0) {
            gone = true;
            break;
        }
    }
    // iwd aborts the attempt of a station that goes: that is the adapter gone, not a refusal.
    if (answered && !iwd.ConnectResult()) {
        SIwdObjects now;
        gone = iwd.Read(now) && now.stationState.count(station) == 0;
    }
    const int requests = iwd.PassphraseRequests();
    // iwd would go on trying: a disconnect ends its attempt.
    if (!answered && !gone) iwd.Disconnect(station);
    iwd.UnregisterAgent();

    SJoinOutcome outcome;
    const SIwdReply result = iwd.ConnectResult();
    if (gone) {
        outcome = Failed(KCOM_CAUSE_ADAPTER_GONE);
    } else if (answered && result) {
        outcome.joined = true;
        outcome.detail = AddressingNote(s, m_Ifname);
        // iwd takes no access point from outside: its own ranking decides the band.
        if (s.net.preferHighBand)
            outcome.detail += std::string(outcome.detail.empty() ? "" : "; ") +
                              "iwd chooses the access point by its own ranking ([Rank] in iwd's main.conf, "
                              "BandModifier5Ghz and BandModifier6Ghz), not by this network's band preference";
    } else if (!answered) {
        outcome = Failed(context.Stopping() ? KCOM_CAUSE_CANCELLED : KCOM_CAUSE_TIMEOUT);
    } else if (requests > 1 || (result.error == EIwdError::Failed && type == "psk" && requests == 1)) {
        // iwd asked again, or the handshake failed after the agent gave the key: the key was refused.
        outcome = Failed(KCOM_CAUSE_WRONG_KEY);
    } else {
        switch (result.error) {
            case EIwdError::NotFound:
                outcome = Failed(KCOM_CAUSE_NOT_FOUND);
                break;
            case EIwdError::Aborted:
                outcome = Failed(context.Stopping() ? KCOM_CAUSE_CANCELLED : KCOM_CAUSE_REFUSED,
                                 "iwd: " + result.message);
                break;
            case EIwdError::NotSupported:
                outcome = Failed(KCOM_CAUSE_UNSUPPORTED, "iwd: " + result.message);
                break;
            case EIwdError::Denied:
            case EIwdError::Unreachable:
                outcome = FailedCall("the connection", result);
                outcome.status = kStatusFailed;
                break;
            case EIwdError::Gone:
                outcome = Failed(KCOM_CAUSE_ADAPTER_GONE);
                break;
            default:
                outcome = Failed(KCOM_CAUSE_REFUSED, "iwd: " + result.message);
                break;
        }
    }
    if (Tracing())
        std::fprintf(stderr, "kccl: iwd connection on %s ended: %s, %d passphrase request(s)\n", m_Ifname.c_str(),
                     outcome.joined ? "joined" : result.name.c_str(), requests);

    // What iwd keeps of the attempt: the network it joined, noted as the utility's unless the user
    // knew it before; nothing of a failed one.
    if (!iwd.Read(objects)) return outcome;
    if (outcome.joined) {
        const auto it = objects.stationNetwork.find(station);
        const auto joined = objects.networks.find(it != objects.stationNetwork.end() ? it->second : target);
        const std::string known = joined != objects.networks.end() ? joined->second.known : std::string();
        const std::vector<std::string> own = OwnKnownNetworks();
        const bool ours = knownBefore.count(known) == 0 || std::find(own.begin(), own.end(), known) != own.end();
        ForgetOwn(iwd, objects, ours ? known : std::string());
        return outcome;
    }
    for (const auto& [path, known] : objects.known)
        if (knownBefore.count(path) == 0 && known.name == s.ssid) iwd.Forget(path);
    if (!before.empty() && before != target && !context.Stopping() && outcome.cause != KCOM_CAUSE_ADAPTER_GONE)
        outcome.restored = Restore(iwd, station, before, context);
    return outcome;
}

}  // namespace wavory::kccl
