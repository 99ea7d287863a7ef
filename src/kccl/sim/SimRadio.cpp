#include "SimRadio.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SimChannels.h"
#include "SimEap.h"
#include "radio/ApChoice.h"
#include "radio/Bands.h"
#include "radio/Eap.h"
#include "radio/NetSettings.h"

namespace wavory::kccl {

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
// An ad-hoc cell with nobody else in it still sends beacons.
constexpr uint32_t kOwnCellTxBytesPerS = 800;

// Small deterministic wobble (within +-5 %) of the traffic rate, varying from second to second.
double RateFactor(int64_t nowNs, uint32_t salt) {
    uint64_t x = static_cast<uint64_t>(nowNs / kNsPerSecond) * 0x9E3779B97F4A7C15ULL + salt;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 29;
    return 0.95 + static_cast<double>(x % 1001) / 10000.0;
}

bool HasPin(const SimNetSettings& net) {
    static const uint8_t zero[6] = {};
    return std::memcmp(net.pin, zero, 6) != 0;
}

bool SameSsid(const SimNetwork& net, const SimSettings& settings) {
    return net.ssidLen == settings.ssidLen && std::memcmp(net.ssid, settings.ssid, net.ssidLen) == 0;
}

bool SamePassphrase(const SimNetwork& net, const SimSettings& settings) {
    return net.passLen == settings.passLen &&
           std::memcmp(net.passphrase, settings.passphrase, net.passLen) == 0;
}

bool SameKey(const SimNetwork& net, const SimWepKey& key) {
    return net.wepLen > 0 && net.wepLen == key.len && std::memcmp(net.wepKey, key.bytes, key.len) == 0;
}

// The security modes that join a network of a mode: a transition network takes WPA2, WPA3 or the
// transition setting; a WPA2- or WPA3-only network also takes the transition setting, which joins
// whichever of the two the network offers. An enterprise network takes its own mode, and its server
// then decides on the 802.1X settings.
bool ModeJoins(uint32_t settings, uint8_t network) {
    switch (network) {
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
            return settings == network || settings == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL:
            return settings == KCOM_SECURITY_MODE_WPA2_PERSONAL ||
                   settings == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
                   settings == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
        case KCOM_SECURITY_MODE_OWE:
        case KCOM_SECURITY_MODE_WPA2_ENTERPRISE:
        case KCOM_SECURITY_MODE_WPA3_ENTERPRISE:
            return settings == network;
        default:
            return false;
    }
}

bool TakesPassphrase(uint8_t network) {
    return network == KCOM_SECURITY_MODE_WPA2_PERSONAL || network == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
           network == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
}

}  // namespace

int64_t CSimRadio::Now(const SimState& state) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec + state.clockOffsetNs;
}

void CSimRadio::Load(const SimScenario& scenario) {
    SimState& s = m_state;
    if (s.present && !scenario.present) ++s.plugGeneration;
    s.present = scenario.present ? 1 : 0;
    s.info = scenario.info;
    s.scanDurationMs = scenario.scanDurationMs;
    s.networkCount = static_cast<uint32_t>(scenario.networks.size());
    std::memset(s.networks, 0, sizeof s.networks);
    std::copy(scenario.networks.begin(), scenario.networks.end(), s.networks);

    s.settings = SimSettings{};
    s.settings.mode = 1;
    s.settings.channel = 1;
    s.settings.freqMHz = static_cast<uint16_t>(ChannelToFrequency(1, EBand::Band2G4));
    s.settings.phy = 2;
    s.active = s.settings;
    s.link = SimLink{};
    s.address = SimAddress{};
    s.joinDelayMs = scenario.joinDelayMs;
    s.join = SimJoin{};
    s.drop = SimDrop{};
    s.roam = SimRoam{};
    s.traffic = SimTraffic{};
    s.traffic.lastNs = m_nowNs;
    s.scan = SimScan{};
    s.hotspot = SimHotspot{};
    s.hotspotClientCount = static_cast<uint32_t>(scenario.hotspotClients.size());
    std::memset(s.hotspotClients, 0, sizeof s.hotspotClients);
    std::copy(scenario.hotspotClients.begin(), scenario.hotspotClients.end(), s.hotspotClients);
    s.faultCount = 0;
    std::memset(s.faults, 0, sizeof s.faults);
    s.logNext = 0;
    s.logCount = 0;
    std::memset(s.log, 0, sizeof s.log);
}

void CSimRadio::Update() {
    CountTraffic();
    if (m_state.scan.scanning && m_nowNs >= m_state.scan.endNs) CompleteScan();
    if (m_state.join.state == KCOM_JOIN_JOINING && m_nowNs >= m_state.join.endNs) FinishJoin();
}

void CSimRadio::CountTraffic() {
    SimTraffic& t = m_state.traffic;
    if (m_nowNs <= t.lastNs) return;
    if (m_state.link.associated) {
        const double seconds = static_cast<double>(m_nowNs - t.lastNs) / kNsPerSecond;
        const SimNetwork& bss = m_state.link.bss;
        const double rx = bss.rxBytesPerS * seconds * RateFactor(m_nowNs, 1) + t.rxCarry;
        const double tx = bss.txBytesPerS * seconds * RateFactor(m_nowNs, 2) + t.txCarry;
        const double rxWhole = std::floor(rx);
        const double txWhole = std::floor(tx);
        t.rxBytes += static_cast<uint64_t>(rxWhole);
        t.txBytes += static_cast<uint64_t>(txWhole);
        t.rxCarry = rx - rxWhole;
        t.txCarry = tx - txWhole;
    }
    t.lastNs = m_nowNs;
}

void CSimRadio::ResetCounters() {
    SimTraffic& t = m_state.traffic;
    t.rxBytes = t.txBytes = 0;
    t.rxCarry = t.txCarry = 0;
    t.lastNs = m_nowNs;
}

void CSimRadio::StartScan() {
    // A scan already running goes on; asking again is no error.
    if (m_state.scan.scanning) return;
    m_state.scan.scanning = 1;
    m_state.scan.endNs = m_nowNs + static_cast<int64_t>(m_state.scanDurationMs) * 1000000;
    Update();
}

void CSimRadio::CompleteScan() {
    // The list is what is in range when the scan ends: every change of the environment runs
    // Update first, so nothing can have changed between the end time and now.
    SimScan& scan = m_state.scan;
    scan.scanning = 0;
    scan.infraCount = scan.adhocCount = 0;
    std::memset(scan.infra, 0, sizeof scan.infra);
    std::memset(scan.adhoc, 0, sizeof scan.adhoc);
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (!InRange(net)) continue;
        if (net.adhoc)
            scan.adhoc[scan.adhocCount++] = net;
        else
            scan.infra[scan.infraCount++] = net;
    }
    if (m_state.link.associated && m_state.link.ownCell && scan.adhocCount <= kMaxNetworks) {
        scan.adhoc[scan.adhocCount++] = m_state.link.bss;
    }
}

bool CSimRadio::IsCandidate(const SimNetwork& net) const {
    const SimSettings& st = m_state.active;
    if (!InRange(net) || !SameSsid(net, st)) return false;
    // An access point chosen by its BSSID is the only one of the network joined.
    // A pinned one likewise, whatever else of the network is heard.
    if (st.mode == 1)
        return !net.adhoc && (!st.bssidSet || std::memcmp(net.bssid, st.bssid, 6) == 0) &&
               (!HasPin(st.net) || std::memcmp(net.bssid, st.net.pin, 6) == 0);
    if (st.mode == 2) return net.adhoc && st.channelSet && net.freqMHz == st.freqMHz;
    return false;
}

bool CSimRadio::SecurityMatches(const SimNetwork& net) const {
    const SimSettings& st = m_state.active;
    switch (st.security) {
        case 0:
            return net.wepLen == 0 && net.wpa == 0;
        case 1:
            return SameKey(net, st.keys[st.activeKey % kWepKeySlots]);
        case 2:
            return false;  // no network of this environment offers TKIP
        default:
            if (!ModeJoins(st.security, net.wpa)) return false;
            if (IsEnterprise(net)) return CheckEap(net.eap, st.eap).cause == KCOM_CAUSE_NONE;
            return !TakesPassphrase(net.wpa) || SamePassphrase(net, st);
    }
}

bool CSimRadio::SameKindOfSecurity(const SimNetwork& net) const {
    const uint32_t security = m_state.active.security;
    if (security == 0) return net.wepLen == 0 && net.wpa == 0;
    if (security == 1) return net.wepLen > 0;
    return ModeJoins(security, net.wpa);
}

bool CSimRadio::BuildOwnCell(SimNetwork& cell) const {
    // An ad-hoc join on a channel where no cell of that name is heard starts one; a cell that is
    // heard but refuses our security is not replaced by an own one.
    const SimSettings& st = m_state.active;
    if (st.mode != 2 || st.ssidLen == 0 || !st.channelSet) return false;
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        if (IsCandidate(m_state.networks[i])) return false;
    }
    const SimWepKey& key = st.keys[st.activeKey % kWepKeySlots];
    if (st.security > 1 || (st.security == 1 && key.len == 0)) return false;  // no WPA in ad hoc
    // Where the domain allows no own transmission (radar, 6 GHz …) a cell is only ever joined.
    if (ChannelFlags(m_state.info.regDomain, st.freqMHz) != 0) return false;

    cell = SimNetwork{};
    std::memcpy(cell.bssid, m_state.info.mac, 6);
    cell.bssid[0] = static_cast<uint8_t>((cell.bssid[0] | 0x02) & ~0x01);  // locally administered
    cell.ssidLen = st.ssidLen;
    std::memcpy(cell.ssid, st.ssid, st.ssidLen);
    cell.channel = st.channel;
    cell.freqMHz = st.freqMHz;
    cell.widthMHz = 20;
    cell.streams = 1;
    cell.phy = BandOfFrequency(st.freqMHz) == EBand::Band2G4 ? 2 : 0;
    cell.adhoc = 1;
    if (st.security == 1) {
        cell.wepLen = key.len;
        std::memcpy(cell.wepKey, key.bytes, key.len);
    }
    cell.signalDbm = kOwnCellSignalDbm;
    cell.txBytesPerS = kOwnCellTxBytesPerS;
    cell.joinDelayMs = -1;
    return true;
}

void CSimRadio::Associate() {
    SimLink& link = m_state.link;
    link = SimLink{};
    if (StationBlocked()) return;
    const SimSettings& st = m_state.active;
    if (st.ssidLen == 0 || (st.mode != 1 && st.mode != 2)) return;

    // The strongest access point that takes the settings; with the band preference a 5 or 6 GHz
    // one heard strongly enough before it (the same choice a real adapter hands its supplicant).
    std::vector<const SimNetwork*> fits;
    std::vector<SApSeen> seen;
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (!IsCandidate(net) || !SecurityMatches(net)) continue;
        fits.push_back(&net);
        SApSeen ap;
        std::memcpy(ap.bssid.data(), net.bssid, 6);
        ap.freqMhz = static_cast<int>(net.freqMHz);
        ap.signalDbm = net.signalDbm;
        seen.push_back(ap);
    }
    SNetRecord record;
    record.preferHighBand = st.net.preferHighBand != 0;
    record.bandFloorDbm = st.net.bandFloorDbm;
    const SApChoice choice = ChooseAccessPoint(seen, record);
    const SimNetwork* best = choice.index >= 0 ? fits[static_cast<std::size_t>(choice.index)] : nullptr;
    for (const SimNetwork* net : fits)
        if (choice.index < 0 && (best == nullptr || net->signalDbm > best->signalDbm)) best = net;
    if (best != nullptr) {
        link.associated = 1;
        link.bss = *best;
    } else if (BuildOwnCell(link.bss)) {
        link.associated = 1;
        link.ownCell = 1;
    }
}

void CSimRadio::ApplyAddress() {
    SimAddress& address = m_state.address;
    const SimSettings& st = m_state.active;
    address.mode = st.net.macMode;
    MacAddress own;
    std::memcpy(own.data(), m_state.info.mac, 6);
    MacAddress next{};
    switch (st.net.macMode) {
        case KCOM_MAC_STABLE:
            next = StableAddress(std::vector<uint8_t>(own.begin(), own.end()),
                                 std::string(reinterpret_cast<const char*>(st.ssid), st.ssidLen));
            break;
        case KCOM_MAC_RANDOM:
            next = RandomAddress();
            break;
        default:
            break;  // the device's own, or not told: all zero, the adapter's own
    }
    std::memcpy(address.inUse, next.data(), 6);
}

void CSimRadio::Reassociate() {
    if (m_state.join.state == KCOM_JOIN_JOINING) return;
    const SimLink before = m_state.link;
    Associate();
    // The network went away or out of range: to the adapter, its beacons stopped.
    if (!m_state.link.associated) RecordDrop(before, 0, KCOM_DISCONNECT_BY_SIGNAL_LOST);
    const SimLink& now = m_state.link;
    if (before.associated && !before.ownCell && now.associated && !now.ownCell &&
        std::memcmp(before.bss.bssid, now.bss.bssid, 6) != 0) {
        // Another access point of the network: the one it was on is gone or out of range, or is
        // heard worse than this one now.
        const int index = FindNetwork(before.bss.bssid);
        const bool gone = index < 0 || !InRange(m_state.networks[index]);
        RecordRoam(before, gone ? KCOM_ROAM_BY_AP_GONE : KCOM_ROAM_BY_SIGNAL);
    }
}

bool CSimRadio::Steer(const uint8_t bssid[6]) {
    SimLink& link = m_state.link;
    if (!link.associated || link.ownCell || link.bss.adhoc || std::memcmp(link.bss.bssid, bssid, 6) == 0)
        return false;
    const int index = FindNetwork(bssid);
    if (index < 0) return false;
    const SimNetwork& target = m_state.networks[index];
    if (!IsCandidate(target) || !SecurityMatches(target)) return false;
    const SimLink before = link;
    link.bss = target;
    RecordRoam(before, KCOM_ROAM_BY_AP_REQUEST);
    return true;
}

void CSimRadio::RecordRoam(const SimLink& before, uint32_t by) {
    SimRoam& roam = m_state.roam;
    ++roam.count;
    roam.by = by;
    std::memcpy(roam.fromBssid, before.bss.bssid, 6);
    std::memcpy(roam.toBssid, m_state.link.bss.bssid, 6);
    const int index = FindNetwork(before.bss.bssid);
    roam.fromSignalDbm = index >= 0 && InRange(m_state.networks[index]) ? m_state.networks[index].signalDbm
                                                                        : before.bss.signalDbm;
    roam.timeMs = WallMs();
}

uint64_t CSimRadio::WallMs() const {
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const int64_t ms = static_cast<int64_t>(wall.tv_sec) * 1000 + wall.tv_nsec / 1000000 +
                       m_state.clockOffsetNs / 1000000;
    return static_cast<uint64_t>(ms);
}

int64_t CSimRadio::JoinDelayNs() const {
    // The strongest network of the name sets the pace; one not in range takes the default time
    // the adapter spends looking for it.
    const SimNetwork* best = nullptr;
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (IsCandidate(net) && (best == nullptr || net.signalDbm > best->signalDbm)) best = &net;
    }
    const int64_t ms = best != nullptr && best->joinDelayMs >= 0 ? best->joinDelayMs : m_state.joinDelayMs;
    return ms * 1000000;
}

uint32_t CSimRadio::StartJoin() {
    SimJoin& join = m_state.join;
    // A newer attempt cancels a running one; what a failure goes back to stays the network the
    // adapter was on before the first of them.
    if (join.state != KCOM_JOIN_JOINING) {
        join.hasPrevious = m_state.link.associated;
        join.previous = m_state.active;
    }
    ++join.attempt;
    join.state = KCOM_JOIN_JOINING;
    join.cause = KCOM_CAUSE_NONE;
    join.flags = 0;
    join.ssidLen = m_state.settings.ssidLen;
    std::memcpy(join.ssid, m_state.settings.ssid, sizeof join.ssid);
    std::memset(join.detail, 0, sizeof join.detail);
    m_state.active = m_state.settings;
    m_state.link = SimLink{};  // the adapter leaves its network to join the new one
    ApplyAddress();
    if (StationBlocked()) {
        FailJoin(KCOM_CAUSE_HOTSPOT,
                 "the radio runs a hotspot and cannot join a network beside it: stop the hotspot first");
        return kStatusJoinNotStarted;
    }

    // What the adapter knows without trying: WPA has no ad-hoc form here, and an enterprise
    // network in range needs 802.1X credentials that no request can give.
    const SimSettings& st = m_state.active;
    if (st.mode == 2 && st.security >= KCOM_SECURITY_MODE_WPA2_PERSONAL) {
        FailJoin(KCOM_CAUSE_UNSUPPORTED, "the simulated adapter joins ad-hoc cells open or with WEP only");
        return kStatusJoinNotStarted;
    }
    bool personal = false;
    bool enterprise = false;
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (!IsCandidate(net)) continue;
        (IsEnterprise(net) ? enterprise : personal) = true;
    }
    if (IsEnterpriseMode(st.security)) {
        // 802.1X settings that cannot work, or would not check the server, end the attempt at once.
        std::string detail;
        if (const uint32_t cause = EapStartProblem(st.eap, detail)) {
            FailJoin(cause, detail);
            return kStatusJoinNotStarted;
        }
    } else if (enterprise && !personal) {
        FailJoin(KCOM_CAUSE_NEEDS_8021X, "an enterprise network (WPA-Enterprise, 802.1X)");
        return kStatusJoinNotStarted;
    }
    join.endNs = m_nowNs + JoinDelayNs();
    if (m_nowNs >= join.endNs) FinishJoin();
    return kStatusSuccess;
}

void CSimRadio::FinishJoin() {
    SimJoin& join = m_state.join;
    Associate();
    if (m_state.link.associated) {
        join.state = KCOM_JOIN_JOINED;
        join.hasPrevious = 0;
        return;
    }
    // Why not: nothing of that name in range, the same kind of security with another key, an
    // enterprise network, or another kind of security altogether.
    bool any = false;
    bool sameKind = false;
    bool enterprise = false;
    const SimNetwork* server = nullptr;  // an enterprise network of the mode: its server refused
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (!IsCandidate(net)) continue;
        any = true;
        if (IsEnterprise(net)) {
            enterprise = true;
            if (ModeJoins(m_state.active.security, net.wpa) &&
                (server == nullptr || net.signalDbm > server->signalDbm))
                server = &net;
        } else if (SameKindOfSecurity(net)) {
            sameKind = true;
        }
    }
    if (server != nullptr) {
        const SEapVerdict verdict = CheckEap(server->eap, m_state.active.eap);
        FailJoin(verdict.cause != KCOM_CAUSE_NONE ? verdict.cause : static_cast<uint32_t>(KCOM_CAUSE_REFUSED),
                 verdict.detail);
    } else if (!any)
        FailJoin(KCOM_CAUSE_NOT_FOUND, PinNotHeard());
    else if (sameKind)
        FailJoin(KCOM_CAUSE_WRONG_KEY, "");
    else if (enterprise)
        FailJoin(KCOM_CAUSE_NEEDS_8021X, "an enterprise network (WPA-Enterprise, 802.1X)");
    else
        FailJoin(KCOM_CAUSE_REFUSED, "it uses another kind of security");
}

std::string CSimRadio::PinNotHeard() const {
    const SimSettings& st = m_state.active;
    if (st.mode != 1 || !HasPin(st.net)) return {};
    std::vector<SApSeen> seen;
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        const SimNetwork& net = m_state.networks[i];
        if (net.adhoc || !InRange(net) || !SameSsid(net, st)) continue;
        SApSeen ap;
        std::memcpy(ap.bssid.data(), net.bssid, 6);
        seen.push_back(ap);
    }
    SNetRecord record;
    std::memcpy(record.pin.data(), st.net.pin, 6);
    return ChooseAccessPoint(seen, record).detail;
}

void CSimRadio::FailJoin(uint32_t cause, const std::string& detail) {
    SimJoin& join = m_state.join;
    join.state = KCOM_JOIN_FAILED;
    join.cause = cause;
    std::memset(join.detail, 0, sizeof join.detail);
    std::memcpy(join.detail, detail.data(), std::min(detail.size(), sizeof join.detail - 1));
    m_state.link = SimLink{};
    if (join.hasPrevious) {
        // Back to the network it was on, with the settings it was on it with.
        m_state.settings = join.previous;
        m_state.active = join.previous;
        ApplyAddress();
        Associate();
        if (m_state.link.associated) join.flags |= KCOM_JOIN_FLAG_RESTORED;
    } else {
        m_state.active.ssidLen = 0;  // nothing to go back to: the adapter stops trying
    }
    join.hasPrevious = 0;
}

void CSimRadio::CancelJoin(uint32_t cause, const char* detail) {
    SimJoin& join = m_state.join;
    if (join.state != KCOM_JOIN_JOINING) return;
    join.hasPrevious = 0;
    join.state = KCOM_JOIN_FAILED;
    join.cause = cause;
    std::snprintf(join.detail, sizeof join.detail, "%s", detail);
}

void CSimRadio::Disconnect() {
    CancelJoin(KCOM_CAUSE_CANCELLED, "the adapter was told to leave the network");
    // The adapter deauthenticates as a station leaving the network.
    RecordDrop(m_state.link, 3, KCOM_DISCONNECT_BY_USER);
    m_state.settings.ssidLen = 0;
    m_state.active.ssidLen = 0;
    m_state.link = SimLink{};
    // The utility's connection has ended: the adapter's own address is back.
    std::memset(m_state.address.inUse, 0, 6);
}

bool CSimRadio::Deauthenticate(uint32_t reason) {
    if (!m_state.link.associated || m_state.link.ownCell || m_state.link.bss.adhoc) return false;
    RecordDrop(m_state.link, reason, KCOM_DISCONNECT_BY_AP);
    m_state.active.ssidLen = 0;
    m_state.link = SimLink{};
    return true;
}

void CSimRadio::RecordDrop(const SimLink& link, uint32_t reason, uint32_t by) {
    if (!link.associated) return;
    SimDrop& drop = m_state.drop;
    ++drop.count;
    drop.reason = reason;
    drop.by = by;
    std::memcpy(drop.bssid, link.bss.bssid, 6);
    drop.ssidLen = link.bss.ssidLen;
    std::memcpy(drop.ssid, link.bss.ssid, sizeof drop.ssid);
    drop.timeMs = WallMs();
}

int CSimRadio::FindNetwork(const uint8_t bssid[6]) const {
    for (uint32_t i = 0; i < m_state.networkCount; ++i) {
        if (std::memcmp(m_state.networks[i].bssid, bssid, 6) == 0) return static_cast<int>(i);
    }
    return -1;
}

bool CSimRadio::PutNetwork(const SimNetwork& network) {
    const int index = FindNetwork(network.bssid);
    if (index >= 0) {
        m_state.networks[index] = network;
    } else if (m_state.networkCount < kMaxNetworks) {
        m_state.networks[m_state.networkCount++] = network;
    } else {
        return false;
    }
    Reassociate();
    return true;
}

bool CSimRadio::RemoveNetwork(const uint8_t bssid[6]) {
    const int index = FindNetwork(bssid);
    if (index < 0) return false;
    for (uint32_t i = static_cast<uint32_t>(index); i + 1 < m_state.networkCount; ++i) {
        m_state.networks[i] = m_state.networks[i + 1];
    }
    m_state.networks[--m_state.networkCount] = SimNetwork{};
    Reassociate();
    return true;
}

bool CSimRadio::SetSignal(const uint8_t bssid[6], int32_t dbm) {
    const int index = FindNetwork(bssid);
    if (index < 0) return false;
    m_state.networks[index].signalDbm = dbm;
    Reassociate();
    return true;
}

uint32_t CSimRadio::StartHotspot(const SHotspotRecord& record, uint32_t freqMHz, std::string& text) {
    SimHotspot& h = m_state.hotspot;
    if (h.running) {
        text = "a hotspot runs already";
        return kStatusNotAssociated;
    }
    const SimLink left = m_state.link;
    const bool joining = m_state.join.state == KCOM_JOIN_JOINING;
    h = SimHotspot{};
    if (!m_state.info.apWithStation && (left.associated || joining)) {
        // One radio, one role: the station's network goes while the access point runs.
        CancelJoin(KCOM_CAUSE_CANCELLED, "a hotspot was started");
        RecordDrop(left, 3, KCOM_DISCONNECT_BY_USER);
        h.stationLeft = 1;
        h.before = m_state.active;
        m_state.active.ssidLen = 0;
        m_state.link = SimLink{};
        if (left.associated)
            text = "the radio cannot run an access point and a station at once: " +
                   std::string(reinterpret_cast<const char*>(left.bss.ssid), left.bss.ssidLen) +
                   " was left while the hotspot runs";
    }
    h.running = 1;
    h.security = record.security;
    h.ssidLen = static_cast<uint8_t>(record.ssid.size());
    std::memcpy(h.ssid, record.ssid.data(), record.ssid.size());
    h.passLen = static_cast<uint8_t>(record.passphrase.size());
    std::memcpy(h.passphrase, record.passphrase.data(), record.passphrase.size());
    h.freqMHz = freqMHz;
    h.startNs = m_nowNs;
    h.startWallMs = WallMs();
    return kStatusSuccess;
}

uint32_t CSimRadio::StopHotspot(std::string& text) {
    SimHotspot& h = m_state.hotspot;
    if (!h.running) {
        text = "no hotspot runs";
        return kStatusNotAssociated;
    }
    const bool back = h.stationLeft;
    const SimSettings before = h.before;
    std::memset(h.passphrase, 0, sizeof h.passphrase);
    h = SimHotspot{};
    if (back) {
        m_state.active = before;
        Associate();
        if (!m_state.link.associated) text = "the network the adapter was on before is not in range any more";
    }
    return kStatusSuccess;
}

bool CSimRadio::ClientJoined(const SimHotspotClient& c) const {
    const SimHotspot& h = m_state.hotspot;
    if (!h.running || m_nowNs < h.startNs + static_cast<int64_t>(c.joinAfterMs) * 1000000) return false;
    if (c.signalDbm <= kOutOfRangeDbm) return false;
    const auto speaks = [&](int security) {
        return c.security == security || (c.security == KCOM_HOTSPOT_WPA2_WPA3 &&
                                          (security == KCOM_HOTSPOT_WPA2 || security == KCOM_HOTSPOT_WPA3));
    };
    const bool security = h.security == KCOM_HOTSPOT_WPA2_WPA3
                              ? speaks(KCOM_HOTSPOT_WPA2) || speaks(KCOM_HOTSPOT_WPA3)
                              : speaks(h.security);
    if (!security) return false;
    if (h.security == KCOM_HOTSPOT_OPEN || c.passLen == 0) return true;
    return c.passLen == h.passLen && std::memcmp(c.passphrase, h.passphrase, h.passLen) == 0;
}

}  // namespace wavory::kccl
