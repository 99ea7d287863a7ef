// scan: start a scan, wait for it, and list the networks per network name or per access point.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/StationView.h"
#include "driver/CommVar.h"
#include "shell/Tessal.h"
#include "survey/AirView.h"
#include "survey/Station.h"

namespace wavory::cli {

namespace {

// How often the scan status is looked at while waiting: one small request each time.
constexpr auto kStatusPause = std::chrono::milliseconds(100);

struct SScanOptions {
    std::string view;  // empty: the stored preference
    std::string sort = "link-quality";
    bool reverse = false;
    bool noWait = false;
    bool channels = false;  // the view of the air instead of the list
    bool watch = false;     // a scan every `interval` seconds, each a line of a stream
    int interval = 5;
    int count = 0;  // rounds of a watch (0: until stopped)
    int timeout = 30;
};

// SIGINT or SIGTERM ends a watch after its round.
volatile sig_atomic_t g_nScanStop = 0;
void OnScanStop(int) { g_nScanStop = 1; }

// scan --channels: per band, each channel with access points on it, who shares it, and the
// connection's channel marked.
SOutput AirOutput(CStationMngr& stations, const std::vector<CStationMngr::StationPtr>& rows, bool scanning) {
    std::vector<SAirEntry> entries;
    for (const auto& station : rows) {
        if (!station->NetMode) continue;  // ad-hoc cells have no channel plan of their own here
        SAirEntry e;
        e.ssid = station->NetName;
        e.bssid = station->m_strBssid;
        e.channel = station->PhyChnl;
        e.freqMHz = station->FrequencyMHz();
        e.widthMHz = station->m_nWidthMHz;
        e.signalDbm = station->m_nRssi;
        e.current = IsCurrentStation(stations, *station);
        entries.push_back(std::move(e));
    }
    SOutput out;
    out.data["scanning"] = scanning;
    out.data["bands"] = json::array();
    for (const SAirBand& band : BuildAirView(entries)) {
        json b;
        b["band"] = band.band;
        b["channels"] = json::array();
        out.text += band.band + "\n";
        for (const SAirChannel& channel : band.channels) {
            json c;
            c["channel"] = channel.channel;
            c["frequency_mhz"] = channel.freqMHz;
            c["sharing"] = channel.sharing;
            c["own"] = channel.own;
            c["networks"] = json::array();
            out.text += "  " + std::string(channel.own ? "* " : "  ") + "channel " + std::to_string(channel.channel) +
                        " (" + std::to_string(channel.freqMHz) + " MHz): " + std::to_string(channel.networks.size()) +
                        (channel.networks.size() == 1 ? " access point" : " access points") + " on it, " +
                        std::to_string(channel.sharing) + " sharing it\n";
            for (const SAirEntry& e : channel.networks) {
                json n;
                PutSsid(n, e.ssid);
                n["bssid"] = e.bssid;
                n["width_mhz"] = e.widthMHz ? json(e.widthMHz) : json(nullptr);
                n["signal_dbm"] = e.signalDbm ? json(e.signalDbm) : json(nullptr);
                n["connected"] = e.current;
                c["networks"].push_back(std::move(n));
                out.text += "        " + (e.signalDbm ? std::to_string(e.signalDbm) + " dBm" : std::string("  ?    ")) +
                            "  " + (e.widthMHz ? std::to_string(e.widthMHz) : std::string("?")) + " MHz  " +
                            e.bssid + "  " + NameCell(e.ssid) + (e.current ? "  (connected)" : "") + "\n";
            }
            b["channels"].push_back(std::move(c));
        }
        out.data["bands"].push_back(std::move(b));
    }
    if (entries.empty()) out.notes += "No networks found.\n";
    if (scanning) out.notes += "The scan is still running; this is the previous list.\n";
    return out;
}

int ColumnByName(const std::string& name) {
    for (int c = 0; c < COL_COUNT; ++c)
        if (name == ColumnName(c)) return c;
    return -1;
}

// scan --watch: one scan after another, each round a line (JSON: the access points with their
// signal, the connection's marked), so that a script or a person sees each signal over time.
SOutput RunScanWatch(const SScanOptions& options) {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    CStationMngr& stations = session.Stations(false, CProfileMngr::ELoad::Names);
    struct sigaction stop {}, previous[2]{}, ignore{};
    stop.sa_handler = OnScanStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &previous[0]);
    sigaction(SIGTERM, &stop, &previous[1]);
    ignore.sa_handler = SIG_IGN;
    struct sigaction pipePrevious {};
    sigaction(SIGPIPE, &ignore, &pipePrevious);
    g_nScanStop = 0;
    StreamStarted();
    long long sequence = 0;
    bool ok = true;
    // Sleeps in small steps, so that a signal ends the wait.
    auto pause = [](std::chrono::steady_clock::time_point until) {
        while (!g_nScanStop && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(kStatusPause);
    };
    while (ok && !g_nScanStop && (options.count == 0 || sequence < options.count)) {
        const auto next = std::chrono::steady_clock::now() + std::chrono::seconds(options.interval);
        TakeDriverRefusal();
        if (stations.StartScan() == 2) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout);
            while (!g_nScanStop && std::chrono::steady_clock::now() < deadline) {
                const CStationMngr::EScanState state = stations.ReadScanState();
                if (state == CStationMngr::EScanState::Unread) session.FailAdapter("scan");
                if (state == CStationMngr::EScanState::Complete) break;
                std::this_thread::sleep_for(kStatusPause);
            }
        }
        const bool scanning = MergeForView(session, EView::AccessPoint);
        if (!stations.LastMergeRead()) session.FailAdapter("scan list read");
        json line;
        line["sequence"] = ++sequence;
        line["time"] = IsoTime(std::time(nullptr));
        line["scanning"] = scanning;
        line["stations"] = json::array();
        std::string text;
        for (const auto& station : SortedStations(stations, EView::AccessPoint, COL_SSID, true)) {
            json s;
            PutSsid(s, station->NetName);
            s["bssid"] = station->m_strBssid;
            s["channel"] = station->PhyChnl;
            s["frequency_mhz"] = station->FrequencyMHz();
            s["signal_dbm"] = station->m_nRssi;
            s["connected"] = IsCurrentStation(stations, *station);
            line["stations"].push_back(std::move(s));
            text += line["time"].get<std::string>() + "  " + std::to_string(station->m_nRssi) + " dBm  " +
                    station->m_strBssid + "  " + NameCell(station->NetName) +
                    (IsCurrentStation(stations, *station) ? "  (connected)" : "") + "\n";
        }
        const std::string out =
            JsonRequested() ? line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n" : text + "\n";
        ok = std::fputs(out.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
        if (options.count == 0 || sequence < options.count) pause(next);
    }
    sigaction(SIGINT, &previous[0], nullptr);
    sigaction(SIGTERM, &previous[1], nullptr);
    sigaction(SIGPIPE, &pipePrevious, nullptr);
    SOutput out;
    out.streamed = true;
    return out;
}

SOutput RunScan(const SScanOptions& options) {
    if (options.watch) return RunScanWatch(options);
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    // The view of the air is one of access points.
    const EView view = options.channels            ? EView::AccessPoint
                       : options.view.empty()      ? StoredView()
                       : options.view == "network" ? EView::Network
                                                   : EView::AccessPoint;
    const int column = ColumnByName(options.sort);
    if (column >= ColumnCount(view))
        UsageError("the column \"" + options.sort + "\" is shown in the access-point view only (--view ap)");

    // While a scan runs the driver answers the previous list, marked as still scanning. Its status
    // is watched without merging; the list is merged once, when the scan is complete.
    TakeDriverRefusal();
    CStationMngr& stations = session.Stations(false, CProfileMngr::ELoad::Names);
    if (stations.StartScan() != 2) {
        // A change the user has no right to make says which right is missing.
        const std::string refusal = TakeDriverRefusal();
        if (!refusal.empty()) throw CCliError(kExitFailed, refusal, "scan start", "not_permitted");
        session.CheckAdapter("scan start");
        if (!options.noWait)
            throw CCliError(kExitFailed, "the adapter did not start a scan", "scan start", "adapter_failed");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout);
    while (!options.noWait) {
        const CStationMngr::EScanState state = stations.ReadScanState();
        if (state == CStationMngr::EScanState::Unread) session.FailAdapter("scan");
        if (state == CStationMngr::EScanState::Complete) break;
        if (std::chrono::steady_clock::now() >= deadline)
            throw CCliError(kExitFailed,
                            "the scan did not finish within " + std::to_string(options.timeout) + " seconds",
                            "scan", "timeout");
        std::this_thread::sleep_for(kStatusPause);
    }
    const bool scanning = MergeForView(session, view);
    if (!stations.LastMergeRead()) session.FailAdapter("scan list read");

    const auto rows = SortedStations(stations, view, column, !options.reverse);
    if (options.channels) return AirOutput(stations, rows, scanning);
    SOutput out;
    out.data["view"] = ViewName(view);
    out.data["sort"] = ColumnName(column);
    out.data["ascending"] = !options.reverse;
    out.data["scanning"] = scanning;
    out.data["stations"] = json::array();

    // The connected station is marked, as the dialog colours its row.
    std::vector<std::string> header;
    for (int c = 0; c < ColumnCount(view); ++c) header.push_back(ColumnHeader(c));
    std::vector<std::vector<std::string>> table;
    std::vector<bool> current;
    for (const auto& station : rows) {
        out.data["stations"].push_back(StationJson(stations, *station));
        current.push_back(IsCurrentStation(stations, *station));
        std::vector<std::string> cells;
        for (int c = 0; c < ColumnCount(view); ++c)
            cells.push_back(c == COL_SSID ? NameCell(station->NetName) : Printable(ColumnText(*station, c)));
        table.push_back(std::move(cells));
    }
    const bool anyCurrent = std::find(current.begin(), current.end(), true) != current.end();
    out.text = FormatMarkedTable(header, table, current);
    if (rows.empty()) out.notes += "No networks found.\n";
    if (anyCurrent) out.notes += "* connected\n";
    if (scanning) out.notes += "The scan is still running; this is the previous list.\n";
    return out;
}

}  // namespace

void AddScanCommand(CLI::App& app, CCommandTable& table) {
    auto options = std::make_shared<SScanOptions>();
    CLI::App* scan =
        AddCommand(app, "scan", "Scan for networks and list them (the Available Networks dialog)");
    scan->add_option("--view", options->view,
                     "One row per network name, or per access point (default: the window's last view)")
        ->check(CLI::IsMember({"network", "ap"}));
    std::vector<std::string> columns;
    for (int c = 0; c < COL_COUNT; ++c) columns.emplace_back(ColumnName(c));
    scan->add_option("--sort", options->sort,
                     "Column to sort by: link quality strongest first, channel by frequency, rate by speed, "
                     "the others by their text")
        ->check(CLI::IsMember(columns))
        ->capture_default_str();
    scan->add_flag("--reverse", options->reverse, "Sort in descending order");
    scan->add_flag("--channels", options->channels,
                   "Show the air per band: each channel's access points with width and signal, how many "
                   "share it, the connection's channel marked (*)");
    scan->add_flag("--watch", options->watch,
                   "Scan again and again and print each round's access points with their signal (with "
                   "--json one object per line), until stopped");
    scan->add_option("--interval", options->interval, "Seconds from one round of --watch to the next (2 to 3600)")
        ->check(WholeNumber(2, 3600))
        ->capture_default_str();
    scan->add_option("--count", options->count, "Rounds of --watch (default 0: until SIGINT or SIGTERM)")
        ->check(WholeNumber(0, 1000000));
    scan->add_flag("--no-wait", options->noWait,
                   "Do not wait for the scan: list what the adapter last found");
    scan->add_option("--timeout", options->timeout, "Seconds to wait for the scan (1 to 300)")
        ->check(WholeNumber(1, 300))
        ->capture_default_str();
    table.Add(scan, [options] { return RunScan(*options); });
}

}  // namespace wavory::cli
