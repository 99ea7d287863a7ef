// status, stats and about: the fields of the General, CurrentStatistics and About pages.
#include <CLI/CLI.hpp>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <thread>

#include "base/Locks.h"
#include "base/StringTable.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/StationView.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/Poll.h"
#include "monitor/Signal.h"
#include "radio/Bands.h"
#include "radio/Rates.h"
#include "radio/Security.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "store/HistoryDb.h"
#include "survey/Connect.h"
#include "survey/LastDisconnect.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "wavory_version.h"

namespace wavory::cli {

namespace {

constexpr const char* kDeviceName = "Wavory Utility";
constexpr const char* kVersion = WAVORY_VERSION;
constexpr const char* kViewPreference = "View AP or NET";

// Byte totals of the link statistics counters, as the polling thread sums them.
void ByteTotals(const uint8_t* block, uint32_t* rx, uint32_t* tx) {
    *tx = PayloadU32(block, 20) + PayloadU32(block, 28) + PayloadU32(block, 36);
    *rx = PayloadU32(block, 44) + PayloadU32(block, 52) + PayloadU32(block, 60);
}

json TextOrNull(bool read, const std::string& text) { return read ? json(text) : json(nullptr); }

// The station the adapter is connected to, found as the window's main tick finds it: merge the
// adapter's last scan list and match the current BSSID and channel. Every station is kept for this
// (the per-network preference could drop the current one). No scan is started: without a finished
// list there is no station, and the fields it gives stay empty.
CStationMngr::StationPtr CurrentStation(CCliSession& session) {
    session.Registry().OverrideInt(kViewPreference, 0);
    CStationMngr& stations = session.Stations(false, CProfileMngr::ELoad::Names);
    stations.MergeScan();
    session.Registry().ClearOverride(kViewPreference);
    if (!stations.LastMergeRead()) session.CheckAdapter("scan list read");
    return stations.GetCurrent();
}

void PutSignal(json& j, const CStation& station, std::string* text) {
    const int percent = FormatSignal(station.m_nRssi, text);
    j["signal_dbm"] = station.m_nRssi;
    j["signal_percent"] = percent;
    j["link_quality_percent"] = percent;
    j["link_quality_text"] = *text;
}

// The network rate for --json: the rate the link sends at (tx_rate_mbps), the old name beside it.
void PutNetworkRate(json& j, const json& mbps) {
    j["tx_rate_mbps"] = mbps;
    j["network_rate_mbps"] = mbps;
}

int NetworkRateMbps(const CStation& station) { return station.PhyType == 1 ? 11 : 54; }

// The link's details where the adapter reports them; nothing without a link.
std::optional<SLinkInfo> LiveLink() {
    auto link = ReadLinkInfo();
    if (!link || link->freqMHz == 0) return std::nullopt;
    return link;
}

// ---- status ----

// The last connection that ended, as an object for --json (null when none has ended) and as the
// text line after "Last disconnect:" (empty when none has).
std::string PutLastDisconnect(json& j) {
    j["last_disconnect"] = nullptr;
    const std::optional<SLastDisconnect> drop = ReadLastDisconnect();
    if (!drop) return {};
    json d;
    d["reason"] = drop->reason;
    d["reason_name"] = drop->reason != 0 ? json(kccl::ReasonName(drop->reason)) : json(nullptr);
    d["sentence"] = drop->Sentence();
    d["initiator"] = kccl::InitiatorKey(drop->initiator);
    PutSsid(d, drop->ssid);
    d["bssid"] = drop->bssid;
    const std::time_t when = static_cast<std::time_t>(drop->timeMs / 1000);
    d["time"] = drop->timeMs > 0 ? json(IsoTime(when)) : json(nullptr);
    j["last_disconnect"] = d;
    std::string text = "\"" + Printable(drop->ssid) + "\"";
    if (drop->timeMs > 0) text += " at " + IsoTime(when);
    return text + ": " + drop->Sentence();
}

SOutput StatusOf(CCliSession& session);

SOutput RunStatus() {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    return StatusOf(session);
}

SOutput StatusOf(CCliSession& session) {
    SOutput out;
    json& j = out.data;
    CStationMngr& stations = session.Stations(false, CProfileMngr::ELoad::Names);
    const bool connected = stations.IsConnected();
    session.CheckAdapter("connection status read");
    j["connected"] = connected;
    // Every field is present, null while unknown, so that scripts see one shape.
    for (const char* key : {"ssid",
                            "ssid_hex",
                            "network_mode",
                            "mode",
                            "mode_text",
                            "channel",
                            "frequency_mhz",
                            "band",
                            "generation",
                            "standard",
                            "channel_width_mhz",
                            "phy",
                            "channel_text",
                            "max_rate",
                            "max_rate_text",
                            "max_rate_mbps",
                            "security",
                            "security_text",
                            "power_save",
                            "power_save_text",
                            "radio_status",
                            "link_quality",
                            "link_quality_percent",
                            "link_quality_text",
                            "signal_dbm",
                            "signal_percent",
                            "network_rate_mbps",
                            "tx_rate_mbps",
                            "rx_rate_mbps",
                            "bssid",
                            "received",
                            "sent",
                            "rx_frames",
                            "tx_frames",
                            "mac_address",
                            "mac_random",
                            "access_point_choice"})
        j[key] = nullptr;
    const std::string lastDrop = PutLastDisconnect(j);
    // The hardware address in use, where the adapter tells it (a random one shows as such).
    const std::optional<SAddressInfo> address = ReadAddressInfo();
    if (address) {
        j["mac_address"] = address->inUse;
        j["mac_random"] = address->random;
    }

    if (!connected) {
        // The page's not-connected state: only the radio status is read.
        std::string radio;
        CCommVarList list;
        list.AddVarExt(OID_HW_STATUS, 0, ConvRadioStatus, &radio);
        const bool read = list.RefreshAll(false, false);
        if (!read) session.CheckAdapter("radio status read");
        j["radio_status"] = TextOrNull(read, radio);
        std::vector<std::pair<std::string, std::string>> fields = {
            {"Connected to (SSID):", LoadStringId(IDS_NOT_CONNECTED)}, {"Radio Status:", read ? radio : ""}};
        if (!lastDrop.empty()) fields.emplace_back("Last disconnect:", lastDrop);
        if (address) fields.emplace_back("Hardware Address:", AddressInfoText(*address));
        out.text = FormatFields(fields);
        return out;
    }

    std::string linkQuality, netRate;
    const CStationMngr::StationPtr current = CurrentStation(session);
    if (current) {
        auto lock = stations.Lock();
        PutSignal(j, *current, &linkQuality);
        j["link_quality"] = linkQuality;
        PutNetworkRate(j, NetworkRateMbps(*current));
        j["bssid"] = current->m_strBssid;
        netRate = StrFormat("%d Mbps", NetworkRateMbps(*current));
    }

    // The page's bindings, in its order; the read stops at the first failing variable.
    static const SCodePair channelCodes[] = {{OID_CHANNEL_QUERY, OID_CHANNEL_SET},
                                             {OID_PHY_QUERY, OID_PHY_SET}};
    std::string ssid, mode, maxRate, security, powerSave, received, sent, radio;
    CCommVarList list;
    list.AddVarExt(OID_SSID_QUERY, 0, ConvSsid, &ssid);
    list.AddVarExt(OID_NET_MODE_QUERY, 0, ConvNetMode, &mode);
    list.AddVarMulti(0, channelCodes, 2, ConvChannel);
    list.AddVarExt(OID_PHY_QUERY, 0, ConvMaxRate, &maxRate);
    list.AddVarExt(OID_SECURITY_QUERY, 0, ConvSecurity, &security);
    list.AddVarExt(OID_POWER_SAVE_QUERY, 0, ConvPowerSave, &powerSave);
    list.AddVarExt(OID_STATISTICS, 0, ConvReceived, &received);
    list.AddVarExt(OID_STATISTICS, 0, ConvSent, &sent);
    list.AddVarExt(OID_HW_STATUS, 0, ConvRadioStatus, &radio);
    if (!list.RefreshAll(false, false)) session.CheckAdapter("status read");
    // A variable after the failing one was never asked: its field stays empty.
    bool ok[9];
    for (int i = 0; i < 9; ++i) ok[i] = list.GetVar(i)->m_bSuccess && (i == 0 || ok[i - 1]);

    // The connection's own figures (rates, width, security as joined) where the adapter tells them.
    const std::optional<SLinkInfo> link = LiveLink();
    if (link && link->txRate100k != 0) {
        netRate = kccl::FormatRate100k(link->txRate100k);
        PutNetworkRate(j, Mbps100k(link->txRate100k));
    }
    if (link && link->rxRate100k != 0) j["rx_rate_mbps"] = Mbps100k(link->rxRate100k);
    if (ok[3] && link && link->maxRate100k != 0) maxRate = kccl::FormatRate100k(link->maxRate100k);
    if (ok[4]) {
        const int kind =
            link && link->securityKind != 0
                ? link->securityKind
                : SecurityKindOfMode(static_cast<int>(PayloadU32(list.GetVar(4)->GetBlock(0), 0)));
        if (kind != KCOM_SECURITY_UNKNOWN) security = LinkSecurityText(kind, link ? link->eapMethod : 0);
        j["security"] = *kccl::SecurityKindId(kind) ? json(kccl::SecurityKindId(kind)) : json(nullptr);
        // The page says "Disabled" for an open network; scan and profiles say "None", as here.
        j["security_text"] = kind == KCOM_SECURITY_OPEN ? std::string(SecurityKindText(kind)) : security;
    }

    if (ok[0]) {
        PutSsid(j, ssid);
    } else {
        j["ssid"] = j["ssid_hex"] = nullptr;
    }
    // How the profile in use chose the access point. Without a scan list that holds the station,
    // the network is known by the name the adapter gives. Every profile is needed for it.
    std::string apChoice;
    if (current) {
        session.Profiles();
        apChoice = AccessPointChoiceInUse(*current);
    } else if (ok[0]) {
        session.Profiles();
        CProfile named("", false);
        named.NetName = ssid;
        apChoice = AccessPointChoiceInUse(CStation(named));
    }
    if (!apChoice.empty()) j["access_point_choice"] = Utf8Lossy(apChoice);
    j["network_mode"] = TextOrNull(ok[1], mode);
    if (ok[1]) {
        const uint32_t code = PayloadU32(list.GetVar(1)->GetBlock(0), 0);
        if (code == 1 || code == 2) {
            j["mode"] = code == 1 ? "infrastructure" : "adhoc";
            j["mode_text"] = mode;
        }
    }
    std::string channelText;
    if (ok[2]) {
        CCommVar* var = list.GetVar(2);
        const int channel = Payload(var->GetBlock(0))[KCOM_CHANNEL_NUMBER];
        const auto phy = static_cast<int>(PayloadU32(var->GetBlock(1), 0));
        const int freq = kccl::ChannelFrequency(
            channel, static_cast<int>(PayloadU32(var->GetBlock(0), KCOM_CHANNEL_FREQ)));
        const int width = link && link->widthMHz
                              ? static_cast<int>(link->widthMHz)
                              : static_cast<int>(PayloadU32(var->GetBlock(0), KCOM_CHANNEL_WIDTH));
        channelText = var->Text();
        j["channel"] = channel;
        PutRadio(j, phy, freq, width);
        j["phy"] = *kccl::PhyStandard(phy) ? json(kccl::PhyStandard(phy)) : json(nullptr);
        j["channel_text"] = channelText;
    }
    j["max_rate"] = j["max_rate_text"] = TextOrNull(ok[3], maxRate);
    if (ok[3] && link && link->maxRate100k != 0) j["max_rate_mbps"] = Mbps100k(link->maxRate100k);
    j["power_save"] = j["power_save_text"] = TextOrNull(ok[5], powerSave);
    j["received"] = j["rx_frames"] =
        ok[6] ? json(std::strtoul(received.c_str(), nullptr, 10)) : json(nullptr);
    j["sent"] = j["tx_frames"] = ok[7] ? json(std::strtoul(sent.c_str(), nullptr, 10)) : json(nullptr);
    j["radio_status"] = TextOrNull(ok[8], radio);

    auto shown = [&ok](int i, const std::string& text) { return ok[i] ? text : std::string(); };
    std::vector<std::pair<std::string, std::string>> fields = {
                            {"Connected to (SSID):", shown(0, Printable(ssid))},
                             {"Network Mode:", shown(1, mode)},
                             {"Channel / Frequency:", shown(2, channelText)},
                             {"Max. Network Rate:", shown(3, maxRate)},
                             {"Security:", shown(4, security)},
                             {"Power Save:", shown(5, powerSave)},
                             {"Radio Status:", shown(8, radio)},
                             {"Link Quality:", linkQuality},
                             {"Network Rate:", netRate},
                             {"Received:", shown(6, received + " frames")},
                             {"Sent:", shown(7, sent + " frames")}};
    if (!apChoice.empty()) fields.emplace_back("Access Point:", Printable(apChoice));
    if (address) fields.emplace_back("Hardware Address:", AddressInfoText(*address));
    if (!lastDrop.empty()) fields.emplace_back("Last disconnect:", lastDrop);
    out.text = FormatFields(fields);
    return out;
}

// ---- stats ----

SOutput RunStats(int seconds) {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    SOutput out;
    json& j = out.data;
    CStationMngr& stations = session.Stations(false, CProfileMngr::ELoad::Names);
    const bool connected = stations.IsConnected();
    session.CheckAdapter("connection status read");
    j["connected"] = connected;
    j["seconds"] = seconds;

    std::string signal = "N/A", snr, rate;
    j["signal"] = signal;
    j["signal_dbm"] = j["signal_percent"] = j["snr_db"] = j["network_rate_mbps"] = nullptr;
    j["link_quality_percent"] = j["link_quality_text"] = nullptr;
    j["tx_rate_mbps"] = j["rx_rate_mbps"] = nullptr;
    if (connected) {
        signal.clear();
        if (auto current = CurrentStation(session)) {
            auto lock = stations.Lock();
            PutSignal(j, *current, &signal);
            PutNetworkRate(j, NetworkRateMbps(*current));
            rate = StrFormat("%d Mbps", NetworkRateMbps(*current));
            // The rate the link sends at, where the adapter reports it.
            if (auto link = LiveLink(); link && link->txRate100k != 0) {
                PutNetworkRate(j, Mbps100k(link->txRate100k));
                rate = kccl::FormatRate100k(link->txRate100k);
                if (link->rxRate100k != 0) j["rx_rate_mbps"] = Mbps100k(link->rxRate100k);
            }
            CCommVarList list;
            list.AddVarExt(OID_SNR, OID_SNR, ConvNumber, &snr);
            if (list.RefreshAll(false, false)) {
                j["snr_db"] = PayloadI32(list.GetVar(0)->GetBlock(0), 0);
            } else {
                session.CheckAdapter("SNR read");
                snr.clear();
            }
        }
        j["signal"] = signal.empty() ? json(nullptr) : json(signal);
    }

    // Activity over the sample, as the polling thread computes it: bytes per millisecond are KB/s.
    auto sample = [](uint32_t* rx, uint32_t* tx) {
        CCommVarList list;
        list.AddVarExt(OID_STATISTICS, 0, nullptr, nullptr);
        if (!list.RefreshAll(false, false)) return false;
        ByteTotals(list.GetVar(0)->GetBlock(0), rx, tx);
        return true;
    };
    uint32_t rx0 = 0, tx0 = 0, rx1 = 0, tx1 = 0;
    const auto start = std::chrono::steady_clock::now();
    // Rates are the point of the command: a sample that could not be taken fails it.
    if (!sample(&rx0, &tx0)) session.FailAdapter("traffic sample");
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    // An unplug in between fails this one too, even when the adapter is back: its link is gone.
    if (!sample(&rx1, &tx1)) session.FailAdapter("traffic sample");
    const auto elapsedMs = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
               .count());
    // The counters are 32 bits wide: the difference is taken modulo 2^32, as they wrap.
    const auto ms = static_cast<unsigned long long>(elapsedMs);
    const unsigned long long rxBytes = static_cast<uint32_t>(rx1 - rx0),
                             txBytes = static_cast<uint32_t>(tx1 - tx0);
    const auto rxRate = static_cast<uint32_t>(rxBytes / ms);
    const auto txRate = static_cast<uint32_t>(txBytes / ms);
    j["rx_bytes_per_s"] = rxBytes * 1000 / ms;
    j["tx_bytes_per_s"] = txBytes * 1000 / ms;
    // The old names: kilobytes (1000 bytes) per second, whole.
    j["receive_kbps"] = rxRate;
    j["send_kbps"] = txRate;
    const std::string rxText = StrFormat("%u KB/s", rxRate);
    const std::string txText = StrFormat("%u KB/s", txRate);
    j["snr"] = snr.empty() ? json(nullptr) : json(snr);
    out.text = FormatFields({{"Signal Strength:", signal},
                             {"SNR:", snr},
                             {"Network Rate:", rate},
                             {"Receiving:", rxText},
                             {"Sending:", txText}});
    return out;
}

// ---- about ----

SOutput RunAbout() {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    SOutput out;
    json& j = out.data;
    // The page's bindings in its order; the first failure ends the read and later fields stay empty,
    // the driver version showing "Not Connected" as before any read.
    std::string driver, firmware, nvm, mac, domain;
    CCommVarList list;
    list.AddVarExt(OID_DEVICE_INFO, 0, ConvDriverVersion, &driver);
    list.AddVarExt(OID_DEVICE_INFO, 0, ConvFirmwareVersion, &firmware);
    list.AddVarExt(OID_DEVICE_INFO, 0, ConvNvmVersion, &nvm);
    list.AddVarExt(OID_MAC_QUERY, OID_MAC_SET, ConvMac, &mac);
    list.AddVarExt(OID_REG_DOMAIN, OID_REG_DOMAIN, ConvRegDomain, &domain);
    if (!list.RefreshAll(false, false)) session.CheckAdapter("about read");
    bool good = true;
    auto field = [&](int i) { return good = good && list.GetVar(i)->m_bSuccess; };
    const bool readDriver = field(0), readFirmware = field(1), readNvm = field(2), readMac = field(3),
               readDomain = field(4);
    if (!readDriver) driver = LoadStringId(IDS_NOT_CONNECTED);
    if (!readFirmware) firmware.clear();
    if (!readNvm) nvm.clear();
    if (!readMac) mac.clear();
    if (!readDomain) domain.clear();

    j["device_name"] = kDeviceName;
    j["regulatory_domain"] = TextOrNull(readDomain, domain);
    j["regulatory_domain_code"] =
        readDomain ? json(PayloadU32(list.GetVar(4)->GetBlock(0), 0)) : json(nullptr);
    j["driver_version"] = TextOrNull(readDriver, driver);
    j["firmware_version"] = TextOrNull(readFirmware, firmware);
    j["nvm_version"] = TextOrNull(readNvm, nvm);
    j["mac"] = TextOrNull(readMac, mac);
    j["version"] = kVersion;
    out.text = FormatFields({{"Device Name:", kDeviceName},
                             {"Regulatory Domain:", domain},
                             {"Driver Version:", driver},
                             {"Firmware Version:", firmware},
                             {"NVM Version:", nvm},
                             {"MAC Address:", mac},
                             {"Version:", kVersion}});
    return out;
}

// ---- watch ----

// SIGINT or SIGTERM asked a watch to end; it then stops as the window does at shutdown.
volatile sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int sig) { g_nStopSignal = sig; }

// SIGINT and SIGTERM end a watch cleanly for its lifetime; with a stream, a reader that went away
// (SIGPIPE) is seen as a failed write instead of killing the program before the core has stopped.
class CWatchSignals {
public:
    explicit CWatchSignals(bool stream) : m_bStream(stream) {
        g_nStopSignal = 0;
        struct sigaction stop {};
        stop.sa_handler = OnStopSignal;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGINT, &stop, &m_Previous[0]);
        sigaction(SIGTERM, &stop, &m_Previous[1]);
        if (m_bStream) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, &m_Previous[2]);
        }
    }
    ~CWatchSignals() {
        sigaction(SIGINT, &m_Previous[0], nullptr);
        sigaction(SIGTERM, &m_Previous[1], nullptr);
        if (m_bStream) sigaction(SIGPIPE, &m_Previous[2], nullptr);
    }
    CWatchSignals(const CWatchSignals&) = delete;
    CWatchSignals& operator=(const CWatchSignals&) = delete;

private:
    bool m_bStream;
    struct sigaction m_Previous[3]{};
};

// The window as far as the core needs one, without a display: its main timer ticks, and nothing
// is shown. It runs for the given time (0: until a stop signal) or until `onTick` says to stop.
class CHeadlessWindow final : public IMainWindow {
public:
    CHeadlessWindow(int seconds, std::function<bool()> onTick)
        : m_Duration(std::chrono::seconds(seconds)), m_OnTick(std::move(onTick)) {}
    int Run() override {
        const auto end = std::chrono::steady_clock::now() + m_Duration;
        while (g_nStopSignal == 0 && (m_Duration == std::chrono::steady_clock::duration::zero() ||
                                      std::chrono::steady_clock::now() < end)) {
            std::this_thread::sleep_for(kMainTick);
            if (g_nStopSignal != 0) break;
            theApp.OnMainTick();
            if (m_OnTick && !m_OnTick()) break;
        }
        return 0;
    }
    void RefreshPages(bool, bool) override {}
    bool IsSiteVisible() override { return false; }
    void RefreshSiteList() override {}
    void SetTrayTip(const std::string&) override {}

private:
    static constexpr auto kMainTick = std::chrono::milliseconds(500);
    std::chrono::steady_clock::duration m_Duration;
    std::function<bool()> m_OnTick;
};

// The polling thread of a watch, stopped under the main lock as at the window's shutdown.
class CWatchPoll {
public:
    explicit CWatchPoll(bool recordOnly = false) {
        theApp.m_pPoll = new CPoll();
        theApp.m_pPoll->SetRecordOnly(recordOnly);
        // A recorder has no start-up to wait for: it looks from the first second on.
        if (recordOnly)
            theApp.m_pPoll->SetTiming(std::chrono::milliseconds(100), std::chrono::seconds(1),
                                      std::chrono::milliseconds(0));
        // A watch records the connection history, as the window does.
        m_pHistory = StartHistory([] { return std::make_shared<CHistoryDb>(); });
        theApp.m_pPoll->SetHistory(m_pHistory);
        if (!theApp.m_pPoll->Start()) {
            delete theApp.m_pPoll;
            theApp.m_pPoll = nullptr;
            Fail("the polling thread could not be started");
        }
    }
    ~CWatchPoll() {
        theApp.m_pMainWnd = nullptr;
        while (!TryEnter(CS_MAIN)) std::this_thread::yield();
        theApp.m_pPoll->Stop();
        delete theApp.m_pPoll;
        theApp.m_pPoll = nullptr;
        Leave(CS_MAIN);
        StopHistory();
        if (m_pHistory)
            if (const std::string error = m_pHistory->TakeError(); !error.empty())
                std::fprintf(stderr, "wavoryctl: warning: %s\n", error.c_str());
    }
    CWatchPoll(const CWatchPoll&) = delete;
    CWatchPoll& operator=(const CWatchPoll&) = delete;

private:
    std::shared_ptr<CHistoryRecorder> m_pHistory;
};

// The window's core without the window: start-up in its order (polling thread, profiles,
// stations and their first scan), main ticks and auto-selection for the given time, then the
// status as `status` shows it. With --json the status is a stream instead: one object per line
// every `interval` seconds, each flushed, with its time and sequence number. Nothing is written to
// the settings.
SOutput RunWatch(int seconds, int interval) {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    const bool stream = JsonRequested();
    CWatchSignals signals(stream);
    long long sequence = 0;
    auto next = std::chrono::steady_clock::now();
    // One line of the stream when it is due; false once nobody reads it any more.
    auto tick = [&]() -> bool {
        if (!stream || std::chrono::steady_clock::now() < next) return true;
        json line;
        {
            CLockGuard lock(CS_MAIN);
            if (!lock.Owned()) return true;  // the core is busy: the next tick writes it
            line = StatusOf(session).data;
        }
        next += std::chrono::seconds(interval);
        line["sequence"] = ++sequence;
        line["time"] = IsoTime(std::time(nullptr));
        StreamStarted();
        const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
        return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    };
    {
        CWatchPoll poll;
        session.Stations();
        CHeadlessWindow window(seconds, tick);
        theApp.m_pMainWnd = &window;
        window.Run();
    }
    if (stream) {
        SOutput out;
        out.streamed = true;
        return out;
    }
    return StatusOf(session);
}

}  // namespace

// The polling thread and the history's recorder alone, until SIGINT or SIGTERM: no main ticks and
// no automatic selection, so it never acts on the interface the window or another command uses.
// Events the window records as well are stored once.
SOutput RunHistoryRecord() {
    if (!HistoryWanted()) Fail("the connection history is switched off (WAVORY_HISTORY=off): nothing to record");
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    CWatchSignals signals(false);
    // The stop signals are held back from every thread (the polling thread inherits the mask) and
    // taken here only, while waiting: the one wake-up a second is the polling thread's.
    sigset_t stop, previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, &previous);
    {
        CWatchPoll poll(true);
        sigset_t waiting = previous;
        sigdelset(&waiting, SIGINT);
        sigdelset(&waiting, SIGTERM);
        while (g_nStopSignal == 0) sigsuspend(&waiting);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    SOutput out;
    out.data["action"] = "recorded";
    out.data["history"] = CHistoryDb::DefaultPath();
    out.text = "Stopped recording the connection history.\n";
    return out;
}

void AddMonitorCommands(CLI::App& app, CCommandTable& table) {
    CLI::App* status = AddCommand(app, "status", "Show the current connection (the General page)");
    table.Add(status, [] { return RunStatus(); });

    auto seconds = std::make_shared<int>(2);
    CLI::App* stats = AddCommand(app, "stats", "Show signal, SNR, rate and traffic over a short sample");
    stats->add_option("--seconds", *seconds, "Length of the traffic sample in seconds (1 to 60)")
        ->check(WholeNumber(1, 60))
        ->capture_default_str();
    table.Add(stats, [seconds] { return RunStats(*seconds); });

    CLI::App* about = AddCommand(app, "about", "Show the adapter's versions, MAC address and domain");
    table.Add(about, [] { return RunAbout(); });

    auto watchSeconds = std::make_shared<int>(10);
    auto watchInterval = std::make_shared<int>(1);
    CLI::App* watch = AddCommand(app, "watch",
                                 "Run the window's core without the window (polling, main ticks, automatic "
                                 "selection) for a while, then show the status; with --json, a status "
                                 "object per line as it goes");
    watch
        ->add_option("--seconds", *watchSeconds,
                     "How long to run, in seconds (0 to 3600; 0: until interrupted)")
        ->check(WholeNumber(0, 3600))
        ->capture_default_str();
    watch
        ->add_option("--interval", *watchInterval, "Seconds between two lines of the --json stream (1 to 60)")
        ->check(WholeNumber(1, 60))
        ->capture_default_str();
    table.Add(watch, [watchSeconds, watchInterval] { return RunWatch(*watchSeconds, *watchInterval); });
}

}  // namespace wavory::cli
