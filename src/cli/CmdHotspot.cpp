// hotspot start|stop|status: the adapter's own access point, which phones and laptops join.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>

#include "cli/CliSession.h"
#include "cli/ProfileFields.h"
#include "cli/Commands.h"
#include "cli/Secrets.h"
#include "cli/StackCommands.h"
#include "profiles/HotspotProfile.h"
#include "profiles/ProfileMngr.h"
#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Hotspot.h"
#include "radio/SecretMemory.h"
#include "survey/Hotspot.h"

namespace wavory::cli {

namespace {

struct SHotspotArgs {
    std::optional<std::string> ssid;
    std::optional<std::string> passphraseFile;
    std::string band = "best";
    int channel = 0;
    std::optional<std::string> security;
    std::optional<std::string> profile;  // start the hotspot kept as this profile
    bool save = false;                   // with --profile: keep the settings given into it
    std::optional<std::string> saveAs;   // keep the settings as a new hotspot profile
    bool bandGiven = false, channelGiven = false;
};

// "2.4 GHz, channel 6 (2437 MHz)".
std::string HotspotChannelText(uint32_t freqMhz) {
    const kccl::EBand band = kccl::BandOfFrequency(static_cast<int>(freqMhz));
    return std::string(kccl::BandName(band)) + ", channel " +
           std::to_string(kccl::FrequencyToChannel(static_cast<int>(freqMhz))) + " (" +
           std::to_string(freqMhz) + " MHz)";
}

kccl::EBand BandOfHotspotBand(int band) {
    return band == KCOM_HOTSPOT_BAND_2G4  ? kccl::EBand::Band2G4
           : band == KCOM_HOTSPOT_BAND_5G ? kccl::EBand::Band5G
                                          : kccl::EBand::Band6G;
}

// The band of a frequency as the other commands name it ("5 GHz"); null for none.
json BandJson(uint32_t freqMhz) {
    const char* name = kccl::BandName(kccl::BandOfFrequency(static_cast<int>(freqMhz)));
    return *name ? json(name) : json(nullptr);
}

json HotspotBandList(uint8_t bands) {
    json out = json::array();
    for (int band = KCOM_HOTSPOT_BAND_2G4; band <= KCOM_HOTSPOT_BAND_6G; ++band)
        if (bands & (1u << band)) out.push_back(kccl::BandName(BandOfHotspotBand(band)));
    return out;
}

std::string HotspotBandsText(uint8_t bands) {
    std::string out;
    for (int band = KCOM_HOTSPOT_BAND_2G4; band <= KCOM_HOTSPOT_BAND_6G; ++band)
        if (bands & (1u << band))
            out += (out.empty() ? "" : ", ") + std::string(kccl::HotspotBandName(band)) + " GHz";
    return out.empty() ? "none" : out;
}

const char* kHotspotOpenNote =
    "The hotspot is open: anyone in range can join it and read what it carries unencrypted.\n";

SHotspotState ReadHotspotState(CCliSession& session) {
    std::string error;
    const auto state = ReadHotspot(&error);
    if (!state) {
        session.CheckAdapter("hotspot");
        Fail("the hotspot could not be read: " + error);
    }
    return *state;
}

// A profile name as a shell takes it in a command to copy: as it is where nothing in it is special.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '/' || c == ':' || c == '@';
    });
    if (plain) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The hotspot profile of that name, read whole; a usage error for none or a network's profile.
kccl::SHotspotRecord KeptHotspot(CProfileMngr& profiles, const std::string& name) {
    int error = REG_OK;
    const std::shared_ptr<CProfile> profile = profiles.LoadProfile(name, &error);
    if (error != REG_OK) FailStore(error, "the profile could not be read");
    if (!profile) Fail("there is no profile named \"" + Printable(name) + "\" (see: wavoryctl profiles list)");
    if (!IsHotspotProfile(*profile))
        UsageError("\"" + Printable(name) + "\" is the profile of a network to join, not a hotspot (wavoryctl connect " +
                   Printable(name) + ")");
    return HotspotRecordOf(*profile);
}

// Keeps the record as the hotspot profile `name`: a new one, or (`replace`) the one of that name.
void KeepHotspot(CProfileMngr& profiles, const std::string& name, const kccl::SHotspotRecord& record,
                 bool replace) {
    std::string why;
    const int error = KeepHotspotProfile(profiles, name, record, replace, why);
    if (error == REG_OK) return;
    if (error == -1 || error == REG_ERROR_FILE_EXISTS)
        Fail("the hotspot runs, but its settings were not kept: " + Printable(why));
    FailStore(error, "the hotspot runs, but its profile could not be stored");
}

SOutput RunHotspotStart(SHotspotArgs& args) {
    if (args.save && !args.profile) UsageError("--save keeps the settings into the profile --profile names");
    if (args.saveAs) CheckProfileName(*args.saveAs);
    // The profiles are read before the start and written after it: the store is not held while the
    // hotspot starts (seconds through NetworkManager), so the window's writes go on meanwhile.
    kccl::SHotspotRecord kept;
    if (args.profile || args.saveAs) {
        CCliSession peek(EAccess::ReadOnly);
        CProfileMngr& profiles = peek.Profiles(CProfileMngr::ELoad::Names);
        auto lock = profiles.Lock();
        if (args.profile) kept = KeptHotspot(profiles, *args.profile);
        if (args.saveAs && profiles.HasName(*args.saveAs))
            UsageError("a profile named \"" + Printable(*args.saveAs) +
                       "\" already exists; choose another name, or change a kept hotspot with --profile NAME "
                       "--save");
    }

    kccl::SHotspotRecord record;
    int band = args.profile && !args.bandGiven ? kept.band : kccl::HotspotBandByName(args.band);
    if (band < 0) UsageError("--band takes 2.4, 5 or 6");
    record.band = static_cast<uint8_t>(band);
    if (args.channel < 0 || args.channel > 233) UsageError("--channel takes a channel number of the band");
    // A kept channel belongs to the kept band: another band given takes any channel of its own.
    record.channel = static_cast<uint16_t>(args.channelGiven ? args.channel
                                           : args.profile && !args.bandGiven ? kept.channel
                                                                             : 0);
    // WPA2 reaches every client; 6 GHz admits WPA3 alone.
    int security = band == KCOM_HOTSPOT_BAND_6G ? KCOM_HOTSPOT_WPA3 : KCOM_HOTSPOT_WPA2;
    if (args.profile) security = kept.security;
    if (args.security) {
        security = kccl::HotspotSecurityByName(*args.security);
        if (security < 0) UsageError("--security takes wpa2, wpa3, wpa2-wpa3 or open");
    }
    record.security = static_cast<uint8_t>(security);
    record.ssid = args.ssid ? *args.ssid : args.profile ? kept.ssid : DefaultHotspotName();
    bool generated = false;
    if (security == KCOM_HOTSPOT_OPEN) {
        if (args.passphraseFile)
            UsageError("an open hotspot takes no passphrase: leave out --passphrase-file");
    } else if (args.passphraseFile) {
        record.passphrase = ReadSecretFile(*args.passphraseFile, "passphrase");
    } else if (args.profile && !kept.passphrase.empty()) {
        record.passphrase = kept.passphrase;
    } else {
        record.passphrase = NewHotspotPassphrase();
        if (record.passphrase.empty())
            Fail("no passphrase could be made: the kernel's random source gave nothing");
        generated = true;
    }
    if (const std::string problem = kccl::CheckHotspotRecord(record); !problem.empty()) UsageError(problem);

    std::optional<CCliSession> started(std::in_place, EAccess::ReadOnly);
    CCliSession& session = *started;
    session.RequireAdapter();
    const SHotspotState before = ReadHotspotState(session);
    if (before.running && before.ours) Fail("a hotspot runs already: stop it first (wavoryctl hotspot stop)");
    if (!before.canAp) Fail(before.note.empty() ? "the radio cannot run an access point" : before.note);
    if (!before.canControl) Fail("no hotspot can start here: " + before.note);
    const SHotspotResult result = StartHotspot(record);
    if (!result.ok) {
        session.CheckAdapter("hotspot start");
        Fail("the hotspot did not start: " +
             (result.text.empty() ? std::string("the adapter refused it") : result.text));
    }
    const SHotspotState now = ReadHotspotState(session);
    started.reset();
    if (args.saveAs || args.save) {
        // Checked again against the store as it is now: another program may have taken the name, or
        // removed the profile, while the hotspot started.
        CCliSession change(EAccess::Profiles);
        CProfileMngr& profiles = change.Profiles(CProfileMngr::ELoad::Names);
        KeepHotspot(profiles, args.saveAs ? *args.saveAs : *args.profile, record, args.save);
    }

    SOutput out;
    PutSsid(out.data, record.ssid);
    out.data["security"] = kccl::HotspotSecurityName(record.security);
    out.data["security_text"] = kccl::HotspotSecurityText(record.security);
    out.data["band"] = BandJson(now.freqMhz);
    out.data["frequency_mhz"] = now.freqMhz ? json(now.freqMhz) : json(nullptr);
    out.data["channel"] =
        now.freqMhz ? json(kccl::FrequencyToChannel(static_cast<int>(now.freqMhz))) : json(nullptr);
    out.data["managed_by"] = HotspotControlName(now.control);
    // The generated passphrase is shown this once: only a profile the start keeps holds it.
    out.data["passphrase"] = generated ? json(record.passphrase) : json(nullptr);
    const std::optional<std::string>& kept_as = args.saveAs ? args.saveAs : args.profile;
    out.data["profile"] = kept_as ? json(Utf8Lossy(*kept_as)) : json(nullptr);
    out.data["note"] = result.text.empty() ? json(nullptr) : json(result.text);
    out.text = "Started the hotspot \"" + Printable(record.ssid) + "\" (" +
               kccl::HotspotSecurityText(record.security) +
               (now.freqMhz ? ", " + HotspotChannelText(now.freqMhz) : std::string()) + ").\n";
    if (generated) {
        out.text += QrText(HotspotUri(record));
        out.text += "Passphrase: " + record.passphrase +
                    (args.saveAs || args.save ? " (kept with the profile)\n" : " (shown once)\n");
    }
    if (args.saveAs)
        out.text += "Kept as the hotspot profile \"" + Printable(*args.saveAs) +
                    "\": start it again with wavoryctl hotspot start --profile " + ShellWord(*args.saveAs) + "\n";
    else if (args.save)
        out.text += "Kept the settings in the hotspot profile \"" + Printable(*args.profile) + "\".\n";
    if (!result.text.empty()) out.notes += Printable(result.text) + "\n";
    if (record.security == KCOM_HOTSPOT_OPEN) out.notes += kHotspotOpenNote;
    return out;
}

SOutput RunHotspotStop() {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    const SHotspotResult result = StopHotspot();
    if (!result.ok) {
        session.CheckAdapter("hotspot stop");
        Fail(result.status == KCOM_STATUS_SUCCESS || result.text.empty() ? "the hotspot did not stop"
                                                                         : result.text);
    }
    SOutput out;
    out.data["running"] = false;
    out.data["note"] = result.text.empty() ? json(nullptr) : json(result.text);
    out.text = "Stopped the hotspot.\n";
    if (!result.text.empty()) out.notes = Printable(result.text) + "\n";
    return out;
}

SOutput RunHotspotStatus() {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    const SHotspotState s = ReadHotspotState(session);
    SOutput out;
    json& d = out.data;
    d["running"] = s.running;
    d["ours"] = s.running ? json(s.ours) : json(nullptr);
    if (s.running) {
        PutSsid(d, s.ssid);
    } else {
        d["ssid"] = nullptr;
        d["ssid_hex"] = nullptr;
    }
    d["security"] = s.security >= 0 ? json(kccl::HotspotSecurityName(s.security)) : json(nullptr);
    d["security_text"] = s.security >= 0 ? json(kccl::HotspotSecurityText(s.security)) : json(nullptr);
    d["band"] = s.running ? BandJson(s.freqMhz) : json(nullptr);
    d["frequency_mhz"] = s.running && s.freqMhz ? json(s.freqMhz) : json(nullptr);
    d["channel"] =
        s.running && s.freqMhz ? json(kccl::FrequencyToChannel(static_cast<int>(s.freqMhz))) : json(nullptr);
    d["managed_by"] = HotspotControlName(s.control);
    d["abilities"] = {{"access_point", s.canAp},
                      {"with_station", s.apWithStation},
                      {"wpa3", s.sae},
                      {"can_start", s.CanStart()},
                      {"bands", HotspotBandList(s.bands)}};
    d["note"] = s.note.empty() ? json(nullptr) : json(s.note);
    d["clients"] = json::array();
    std::vector<std::vector<std::string>> rows;
    for (const SHotspotClient& c : s.clients) {
        const std::time_t since = static_cast<std::time_t>(c.sinceMs / 1000);
        d["clients"].push_back({{"address", c.mac},
                                {"signal_dbm", c.hasSignal ? json(c.signalDbm) : json(nullptr)},
                                {"since", c.sinceMs > 0 ? json(IsoTime(since)) : json(nullptr)}});
        rows.push_back({c.mac, c.hasSignal ? std::to_string(c.signalDbm) + " dBm" : "-",
                        c.sinceMs > 0 ? IsoTime(since) : "-"});
    }
    if (!s.running) {
        out.text = "No hotspot runs.\n";
        out.text += s.CanStart()
                        ? "A hotspot can start on: " + HotspotBandsText(s.bands) +
                              (s.apWithStation ? "" : " (the network in use is left while it runs)") + "\n"
                        : "No hotspot can start here" +
                              (s.note.empty() ? std::string(".") : ": " + Printable(s.note)) + "\n";
        return out;
    }
    std::vector<std::pair<std::string, std::string>> fields = {
        {"Hotspot", Printable(s.ssid) + (s.ours ? "" : " (not started by this utility)")},
        {"Security", s.security >= 0 ? kccl::HotspotSecurityText(s.security) : "unknown"},
        {"Channel", s.freqMhz ? HotspotChannelText(s.freqMhz) : "unknown"},
        {"Run by", HotspotControlName(s.control)},
        {"Clients", std::to_string(s.clients.size())},
    };
    out.text = FormatFields(fields);
    if (!rows.empty()) out.text += FormatTable({"Address", "Signal", "Connected since"}, rows);
    if (!s.note.empty() && s.ours) out.notes = Printable(s.note) + "\n";
    return out;
}

}  // namespace

void AddHotspotCommands(CLI::App& app, CCommandTable& table) {
    CLI::App* hotspot =
        app.add_subcommand("hotspot", "Run an access point of the adapter's own that others join");
    hotspot->require_subcommand(1);
    if (Wanted(*hotspot, "start")) {
        auto args = std::make_shared<SHotspotArgs>();
        CLI::App* start = AddCommand(*hotspot, "start", "Start the hotspot (the network in use may be left)");
        start->add_option("--ssid", args->ssid, "The hotspot's name (default: the host name)");
        start->add_option(
            "--passphrase-file", args->passphraseFile,
            "Read the passphrase from a file (\"-\": standard input); default: a new one, shown once");
        start->add_option("--band", args->band, "2.4, 5 or 6 (GHz); default: the best the radio may use")
            ->check(CLI::IsMember({"best", "2.4", "5", "6"}))
            ->each([args](const std::string&) { args->bandGiven = true; });
        start->add_option("--channel", args->channel, "A channel of the band (default: any)")
            ->check(WholeNumber(1, 233))
            ->each([args](const std::string&) { args->channelGiven = true; });
        start->add_option("--security", args->security, "wpa2 (default), wpa3, wpa2-wpa3 or open")
            ->check(CLI::IsMember({"wpa2", "wpa3", "wpa2-wpa3", "open"}));
        CLI::Option* profile = start->add_option(
            "--profile", args->profile,
            "Start the hotspot kept as this profile (the options given change this start; with --save, "
            "the profile too)");
        start->add_flag("--save", args->save, "Keep the options given in the profile --profile names");
        start->add_option("--save-as", args->saveAs,
                          "Keep this hotspot as a new profile of this name, to start again with --profile")
            ->excludes(profile);
        table.Add(start, [args] {
            SOutput out = RunHotspotStart(*args);
            return out;
        });
    }
    if (Wanted(*hotspot, "stop")) {
        CLI::App* stop =
            AddCommand(*hotspot, "stop", "Stop the hotspot and go back to the network used before");
        table.Add(stop, [] { return RunHotspotStop(); });
    }
    if (Wanted(*hotspot, "status")) {
        CLI::App* status =
            AddCommand(*hotspot, "status", "Show the hotspot, its clients and what the radio can do");
        table.Add(status, [] { return RunHotspotStatus(); });
    }
}

}  // namespace wavory::cli
