// prefs get|set: the values of the Preferences dialog (and the Available Networks view), with the
// dialog's validation. The window reads them at every use, so they may change while it runs.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <memory>
#include <tuple>

#include "base/StringTable.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "driver/Format.h"
#include "kccl_oid.h"
#include "monitor/Poll.h"
#include "profiles/NetProfile.h"
#include "profiles/RegistryUpdate.h"
#include "radio/NetSettings.h"
#include "shell/Tessal.h"

namespace wavory::cli {

namespace {

constexpr int kMinInterval = 5;
constexpr int kMaxInterval = 100;
constexpr const char* kScanBands[] = {"(802.11) a/b/g", "(802.11) a", "(802.11) b/g", "(802.11) b"};
constexpr const char* kPowerSaves[] = {"Max. Performance", "Good Performance", "Max. Power Save"};
constexpr const char* kPrefNames[] = {"interval",   "units", "active-scan", "scan-band",
                                      "power-save", "view",  "mac-address"};

struct SPrefs {
    int interval = CPoll::kDefaultIntervalMs / 1000;  // seconds
    bool dBm = false;
    bool activeScan = false;
    int scanBand = 0;
    int powerSave = 0;
    bool networkView = false;
    int macAddress = KCOM_MAC_DEVICE;  // the hardware address of profiles that leave it to the preferences
};

SPrefs ReadPrefs() {
    SPrefs p;
    // As the dialog reads it: milliseconds, divided without sign.
    p.interval = static_cast<int>(
        static_cast<unsigned>(theApp.GetProfileInt("", "Polling Interval", CPoll::kDefaultIntervalMs)) /
        1000u);
    p.dBm = theApp.GetProfileInt("", "dBm-Percent", 0) != 0;
    p.activeScan = theApp.GetProfileInt("", "Active", 0) != 0;
    p.scanBand = theApp.GetProfileInt("", "Scan-Band", 0);
    p.powerSave = theApp.GetProfileInt("", "Power-Save", 0);
    p.networkView = theApp.GetProfileInt("", "View AP or NET", 0) != 0;
    p.macAddress = DefaultMacMode();
    return p;
}

std::string NameOf(const char* const* table, int count, int index) {
    return index >= 0 && index < count ? table[index] : "";
}

// JSON keys are the names with '_' for '-', as every key of the program's JSON.
std::string JsonKey(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

SOutput PrefsOutput(const SPrefs& p, const std::vector<std::string>& only) {
    const std::vector<std::tuple<std::string, json, std::string>> values{
        {"interval", p.interval, StrFormat("%d", p.interval)},
        {"units", p.dBm ? "dbm" : "percent", p.dBm ? "dbm" : "percent"},
        {"active-scan", p.activeScan, p.activeScan ? "on" : "off"},
        {"scan-band", p.scanBand,
         StrFormat("%d = %s", p.scanBand, NameOf(kScanBands, 4, p.scanBand).c_str())},
        {"power-save", p.powerSave,
         StrFormat("%d = %s", p.powerSave, NameOf(kPowerSaves, 3, p.powerSave).c_str())},
        {"view", p.networkView ? "network" : "ap", p.networkView ? "network" : "ap"},
        {"mac-address", kccl::MacModeName(p.macAddress), kccl::MacModeName(p.macAddress)}};

    SOutput out;
    std::vector<std::pair<std::string, std::string>> shown;
    for (const auto& [name, value, text] : values) {
        if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
        out.data[JsonKey(name)] = value;
        shown.emplace_back(name, text);
    }
    // One value alone is printed bare, for scripts: `wavoryctl prefs get interval`.
    if (only.size() == 1 && shown.size() == 1)
        out.text = shown.front().second.substr(0, shown.front().second.find(' ')) + "\n";
    else
        out.text = FormatFields(shown);
    return out;
}

SOutput RunGet(const std::vector<std::string>& names) {
    CCliSession session(EAccess::ReadOnly);
    return PrefsOutput(ReadPrefs(), names);
}

struct SSetArgs {
    std::optional<std::string> interval;
    std::optional<std::string> units;
    std::optional<std::string> activeScan;
    std::optional<int> scanBand;
    std::optional<int> powerSave;
    std::optional<std::string> view;
    std::optional<std::string> macAddress;
    bool defaults = false;
};

// The dialog's check of the interval field: an integer from 5 to 100, or its message.
int ParseInterval(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        UsageError("--interval (seconds): " + LoadStringId(IDS_PARSE_INT));
    if (value < kMinInterval || value > kMaxInterval)
        UsageError("--interval (seconds): " +
                   StrFormat(LoadStringId(IDS_PARSE_INT_RANGE).c_str(), kMinInterval, kMaxInterval));
    return value;
}

SOutput RunSet(const SSetArgs& args) {
    const bool any = args.interval || args.units || args.activeScan || args.scanBand || args.powerSave ||
                     args.view || args.macAddress;
    if (!any && !args.defaults) UsageError("nothing to set (see: wavoryctl prefs set --help)");
    // Every value is checked before the first one is stored.
    const std::optional<int> interval =
        args.interval ? std::optional(ParseInterval(*args.interval)) : std::nullopt;

    CCliSession session(EAccess::Settings);
    SPrefs p = args.defaults ? SPrefs{} : ReadPrefs();
    if (args.defaults) p.networkView = ReadPrefs().networkView;  // not one of the dialog's values
    if (interval) p.interval = *interval;
    if (args.units) p.dBm = *args.units == "dbm";
    if (args.activeScan) p.activeScan = *args.activeScan == "on";
    if (args.scanBand) p.scanBand = *args.scanBand;
    if (args.powerSave) p.powerSave = *args.powerSave;
    if (args.view) p.networkView = *args.view == "network";
    if (args.macAddress) p.macAddress = kccl::MacModeByName(*args.macAddress);

    // In the dialog's order, as one write of the settings file.
    CRegistryUpdate group(theApp.m_pRegistry);
    bool ok = true;
    if (interval || args.defaults)
        ok = theApp.WriteProfileInt("", "Polling Interval", p.interval * 1000) && ok;
    if (args.activeScan || args.defaults)
        ok = theApp.WriteProfileInt("", "Active", p.activeScan ? 1 : 0) && ok;
    if (args.powerSave || args.defaults) ok = theApp.WriteProfileInt("", "Power-Save", p.powerSave) && ok;
    if (args.scanBand || args.defaults) ok = theApp.WriteProfileInt("", "Scan-Band", p.scanBand) && ok;
    if (args.units || args.defaults) ok = theApp.WriteProfileInt("", "dBm-Percent", p.dBm ? 1 : 0) && ok;
    if (args.view) ok = theApp.WriteProfileInt("", "View AP or NET", p.networkView ? 1 : 0) && ok;
    if (args.macAddress || args.defaults) ok = theApp.WriteProfileInt("", "Mac-Address", p.macAddress) && ok;
    ok = group.End() && ok;
    if (!ok) FailStore(theApp.m_pRegistry->LastError(), "the preferences could not be stored");
    return PrefsOutput(ReadPrefs(), {});
}

}  // namespace

void AddPrefsCommands(CLI::App& app, CCommandTable& table) {
    CLI::App* prefs = app.add_subcommand("prefs", "Show or change the preferences");
    prefs->require_subcommand(1);

    auto names = std::make_shared<std::vector<std::string>>();
    CLI::App* get = AddCommand(*prefs, "get", "Show the preferences, or the ones named");
    get->add_option("name", *names, "interval, units, active-scan, scan-band, power-save, view, mac-address")
        ->check(CLI::IsMember(std::vector<std::string>(std::begin(kPrefNames), std::end(kPrefNames))));
    table.Add(get, [names] { return RunGet(*names); });

    auto args = std::make_shared<SSetArgs>();
    CLI::App* set = AddCommand(*prefs, "set", "Change preferences; values not given stay");
    set->add_option_function<std::string>(
           "--interval", [args](const std::string& v) { args->interval = v; },
           "Statistics update interval in seconds (5 to 100)")
        ->type_name("SECONDS");
    set->add_option_function<std::string>(
           "--units", [args](const std::string& v) { args->units = v; }, "Signal strength in dBm or percent")
        ->check(CLI::IsMember({"dbm", "percent"}));
    set->add_option_function<std::string>(
           "--active-scan", [args](const std::string& v) { args->activeScan = v; }, "Active scanning")
        ->check(CLI::IsMember({"on", "off"}));
    set->add_option_function<int>(
           "--scan-band", [args](const int& v) { args->scanBand = v; },
           "Scan bands: 0 (802.11) a/b/g, 1 a, 2 b/g, 3 b")
        ->check(WholeNumber(0, 3));
    set->add_option_function<int>(
           "--power-save", [args](const int& v) { args->powerSave = v; },
           "Power save on battery: 0 max. performance, 1 good performance, 2 max. power save")
        ->check(WholeNumber(0, 2));
    set->add_option_function<std::string>(
           "--view", [args](const std::string& v) { args->view = v; },
           "Available Networks view: one row per network or per access point")
        ->check(CLI::IsMember({"network", "ap"}));
    set->add_option_function<std::string>(
           "--mac-address", [args](const std::string& v) { args->macAddress = v; },
           "Hardware address of profiles that leave it to the preferences: device (the adapter's "
           "own), stable (random, the same each time per network), random (new at each join)")
        ->check(CLI::IsMember({"device", "stable", "random"}));
    set->add_flag("--defaults", args->defaults,
                  "Start from the dialog's defaults (10 s, percent, passive, 0, 0)");
    table.Add(set, [args] { return RunSet(*args); });
}

}  // namespace wavory::cli
