// history: the connection history the window and `watch` record, as lines or JSON; --follow keeps
// printing new events until interrupted.
#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "cli/Commands.h"
#include "radio/Reasons.h"
#include "store/HistoryDb.h"

namespace wavory::cli {

namespace {

struct SHistoryArgs {
    std::optional<std::string> since;
    std::optional<std::string> network;
    int limit = 0;
    bool follow = false;
    bool record = false;
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "30m", "2h", "7d" back from now, or a local date and time "2026-12-10" / "2026-12-10T08:30[:00]".
int64_t ParseSince(const std::string& text) {
    const auto bad = [&text]() -> int64_t {
        UsageError("--since \"" + Printable(text) +
                   "\" is neither a time back from now (30m, 2h, 7d) nor a date and time (2026-12-10 or "
                   "2026-12-10T08:30)");
    };
    if (text.empty()) bad();
    const char unit = text.back();
    if (unit == 'm' || unit == 'h' || unit == 'd' || unit == 's') {
        const std::string digits = text.substr(0, text.size() - 1);
        if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
            bad();
        const int64_t n = std::stoll(digits);
        const int64_t scale = unit == 's' ? 1000 : unit == 'm' ? 60000 : unit == 'h' ? 3600000 : 86400000;
        return NowMs() - n * scale;
    }
    std::tm tm{};
    tm.tm_isdst = -1;
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &consumed);
    if (fields != 3) bad();
    std::string rest = text.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        int used = 0;
        if ((rest[0] != 'T' && rest[0] != ' ') ||
            std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &tm.tm_hour, &tm.tm_min, &used) != 2)
            bad();
        rest = rest.substr(static_cast<std::size_t>(used) + 1);
        if (!rest.empty() && (std::sscanf(rest.c_str(), ":%2d%n", &tm.tm_sec, &used) != 1 ||
                              static_cast<std::size_t>(used) != rest.size()))
            bad();
    }
    if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        bad();
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    const std::time_t when = std::mktime(&tm);
    if (when == static_cast<std::time_t>(-1)) bad();
    return static_cast<int64_t>(when) * 1000;
}

json EventJson(const SHistoryEvent& e) {
    json j;
    j["id"] = e.id;
    j["time"] = IsoTime(static_cast<std::time_t>(e.timeMs / 1000));
    j["time_ms"] = e.timeMs;
    j["kind"] = HistoryKindKey(e.kind);
    PutSsid(j, e.ssid);
    j["bssid"] = e.bssid.empty() ? json(nullptr) : json(e.bssid);
    j["frequency_mhz"] = e.freqMHz ? json(e.freqMHz) : json(nullptr);
    j["band"] = e.freqMHz ? json(BandOfFrequency(e.freqMHz)) : json(nullptr);
    j["signal_dbm"] = e.signalDbm ? json(e.signalDbm) : json(nullptr);
    j["security"] = e.security.empty() ? json(nullptr) : json(e.security);
    j["detail"] = Utf8Lossy(e.detail);
    switch (e.kind) {
        case SHistoryEvent::EKind::Join:
            j["outcome"] = e.outcome;
            j["cause"] = e.cause.empty() ? json(nullptr) : json(e.cause);
            j["duration_ms"] = e.durationMs;
            break;
        case SHistoryEvent::EKind::Roam:
            j["previous_bssid"] = e.prevBssid;
            j["previous_frequency_mhz"] = e.prevFreqMHz ? json(e.prevFreqMHz) : json(nullptr);
            j["previous_band"] = e.prevFreqMHz ? json(BandOfFrequency(e.prevFreqMHz)) : json(nullptr);
            j["previous_signal_dbm"] = e.prevSignalDbm ? json(e.prevSignalDbm) : json(nullptr);
            // Why it moved: "ap-request", "signal", "ap-gone" or "unknown".
            j["trigger"] = e.cause.empty() ? json("unknown") : json(e.cause);
            break;
        case SHistoryEvent::EKind::Disconnect:
            j["initiator"] = e.initiator;
            j["reason"] = e.reason ? json(e.reason) : json(nullptr);
            j["reason_name"] = e.reason ? json(kccl::ReasonName(static_cast<uint32_t>(e.reason))) : json(nullptr);
            break;
        case SHistoryEvent::EKind::Link:
            j["signal_min_dbm"] = e.signalMin;
            j["signal_mean_dbm"] = e.signalMean;
            j["signal_max_dbm"] = e.signalMax;
            j["tx_kbps"] = e.txKbps;
            j["rx_kbps"] = e.rxKbps;
            break;
        case SHistoryEvent::EKind::Connect:
            break;
    }
    return j;
}

// One line for a person: the time, then what happened (the network shown literally).
std::string EventLine(const SHistoryEvent& e) {
    char when[32] = "";
    const std::time_t t = static_cast<std::time_t>(e.timeMs / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(when) + "  " + HistorySentence(e) + "\n";
}

volatile sig_atomic_t g_nFollowStop = 0;
void OnFollowStop(int) { g_nFollowStop = 1; }

SOutput RunHistory(const SHistoryArgs& args) {
    if (args.record) {
        if (args.since || args.network || args.limit || args.follow)
            UsageError("--record takes no other option: it records until it is stopped");
        return RunHistoryRecord();
    }
    SHistoryQuery query;
    if (args.since) query.sinceMs = ParseSince(*args.since);
    query.ssid = args.network;
    query.limit = args.limit;
    const std::string path = CHistoryDb::DefaultPath();
    CHistoryDb db(path);
    if (!db.Ok()) throw CCliError(kExitFailed, db.Error(), "history read", "history_unreadable");
    if (!db.Notice().empty()) std::fprintf(stderr, "wavoryctl: warning: %s\n", db.Notice().c_str());
    std::vector<SHistoryEvent> events = db.Query(query);
    if (!db.Error().empty() && db.Error() != db.Notice())
        throw CCliError(kExitFailed, db.Error(), "history read", "history_unreadable");

    if (!args.follow) {
        SOutput out;
        out.data["path"] = path;
        out.data["events"] = json::array();
        for (const SHistoryEvent& e : events) {
            out.data["events"].push_back(EventJson(e));
            out.text += EventLine(e);
        }
        if (events.empty()) out.notes = "No events recorded" + std::string(args.network || args.since ? " that match" : "") + ".\n";
        return out;
    }

    // Following: what there is, then each new event as it comes, one line (or object) each.
    struct sigaction stop {}, previous[2]{};
    stop.sa_handler = OnFollowStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &previous[0]);
    sigaction(SIGTERM, &stop, &previous[1]);
    g_nFollowStop = 0;
    StreamStarted();
    bool ok = true;
    auto print = [&](const std::vector<SHistoryEvent>& batch) {
        for (const SHistoryEvent& e : batch) {
            const std::string text = JsonRequested()
                                         ? EventJson(e).dump(-1, ' ', false, json::error_handler_t::replace) + "\n"
                                         : EventLine(e);
            ok = ok && std::fputs(text.c_str(), stdout) >= 0;
            query.afterId = std::max(query.afterId, e.id);
        }
        ok = ok && std::fflush(stdout) == 0;
    };
    print(events);
    query.limit = 0;
    query.sinceMs = 0;
    while (ok && !g_nFollowStop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        print(db.Query(query));
    }
    sigaction(SIGINT, &previous[0], nullptr);
    sigaction(SIGTERM, &previous[1], nullptr);
    SOutput out;
    out.streamed = true;
    return out;
}

}  // namespace

void AddHistoryCommand(CLI::App& app, CCommandTable& table) {
    auto args = std::make_shared<SHistoryArgs>();
    CLI::App* history = AddCommand(app, "history",
                                   "The connection history: joins, connections, roams, disconnects with their "
                                   "reasons, and each minute's signal");
    history->add_option("--since", args->since, "Events since a time back from now (30m, 2h, 7d) or a date (2026-12-10T08:30)");
    history->add_option("--network", args->network, "Events of this network (SSID) only");
    history->add_option("--limit", args->limit, "The newest N events only")->check(WholeNumber(1, 1000000));
    history->add_flag("--follow", args->follow, "Keep printing new events until interrupted");
    history->add_flag("--record", args->record,
                      "Record the history until stopped, without the window (the wavory-history user service)");
    table.Add(history, [args] { return RunHistory(*args); });
}

}  // namespace wavory::cli
