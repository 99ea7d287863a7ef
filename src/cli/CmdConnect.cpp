// connect PROFILE: the Profiles page's Connect. connect --ssid: the Available Networks dialog's
// Connect, which also stores the network as an auto-selection profile.
#include <CLI/CLI.hpp>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "base/Locks.h"
#include "base/Registry.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/EapOptions.h"
#include "cli/NetOptions.h"
#include "cli/ProfileFields.h"
#include "cli/Secrets.h"
#include "cli/StackCommands.h"
#include "cli/StationView.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "kccl_oid.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/Poll.h"
#include "profiles/EapProfile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/WifiUri.h"
#include "shell/Tessal.h"
#include "store/HistoryDb.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"

namespace wavory::cli {

namespace {

constexpr const char* kProfileFailed = "Could not connect to profile. Verify profile parameters.";
// How long connect --ssid waits for a scan when the adapter's last list does not name the network.
constexpr auto kScanWait = std::chrono::seconds(15);
constexpr auto kMergePause = std::chrono::milliseconds(100);

struct SConnectArgs {
    std::string profile;
    std::optional<std::string> ssid;
    std::optional<std::string> ssidHex;
    std::optional<int> channel;
    std::optional<std::string> key;
    std::optional<int> keyIndex;  // 1..4
    std::optional<std::string> passphrase;
    std::optional<std::string> keyFile;
    std::optional<std::string> passphraseFile;
    std::optional<std::string> mode;      // "infrastructure" | "adhoc"
    SEapArgs eap;                         // 802.1X
    bool hidden = false;                  // a network that does not announce its name
    std::optional<std::string> security;  // its kind of security (with --hidden)
    std::optional<std::string> uri;       // a Wi-Fi URI ("-": standard input), as a QR code holds it
    std::optional<std::string> qr;        // an image ("-": standard input) whose QR code holds one
    SNetArgs net;                         // hardware address, metered, fixed addresses, access point choice
};

// Prompts that ask again after the network refused a typed key.
constexpr int kKeyTries = 3;

// The word a script reads for why a join failed.
std::string JoinReason(const SJoinResult& result) {
    if (result.cause != KCOM_CAUSE_NONE) {
        const std::string key = JoinCauseKey(result.cause);
        if (key != "failed") return key;
    }
    // The adapter gave no cause: a setting it refused says why, or another program held it.
    if (!result.refusal.empty()) return "not_permitted";
    if (theApp.m_nDriverResult == KCOM_RESULT_BUSY) return "adapter_busy";
    return "failed";
}

// A join that worked but left a setting of the profile unapplied (fixed addresses without
// NetworkManager) says so: "note" in the JSON, a line of its own in the text.
void PutJoinNote(SOutput& out, const SJoinResult& result) {
    if (result.detail.empty()) return;
    out.data["note"] = Utf8Lossy(result.detail);
    out.text += "Note: " + Printable(result.detail) + ".\n";
}

// Exit 1 with the attempt's message, its cause as "reason" and whether the previous connection is back.
[[noreturn]] void FailJoin(const CConnectAttempt& attempt) {
    const SJoinResult& result = attempt.Result();
    json extra = json::object();
    extra["restored"] = result.restored;
    PutSsid(extra, attempt.Network());
    if (!result.detail.empty()) extra["detail"] = Utf8Lossy(result.detail);
    throw CCliError(kExitFailed, result.failure, "join", JoinReason(result), extra);
}

// A signal that would end the command while the adapter joins (SIGINT, SIGTERM, SIGHUP) calls the
// join off instead: the adapter goes back to the connection there was, as the window's Cancel does,
// and the command ends with 128 + the signal's number. A second signal ends it at once.
volatile sig_atomic_t g_nJoinSignal = 0;

void OnJoinSignal(int sig) { g_nJoinSignal = sig; }

class CJoinInterrupt {
public:
    CJoinInterrupt() {
        g_nJoinSignal = 0;
        struct sigaction stop {};
        stop.sa_handler = OnJoinSignal;
        sigemptyset(&stop.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &stop, &m_Previous[i]);
    }
    ~CJoinInterrupt() { Release(); }
    CJoinInterrupt(const CJoinInterrupt&) = delete;
    CJoinInterrupt& operator=(const CJoinInterrupt&) = delete;

    bool Stopped() const { return g_nJoinSignal != 0; }
    // The handlers there were before; once only.
    void Release() {
        if (m_bReleased) return;
        m_bReleased = true;
        for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &m_Previous[i], nullptr);
    }

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> m_Previous{};
    bool m_bReleased = false;
};

// This command's join goes into the connection history, as the window's joins do.
class CJoinHistory {
public:
    CJoinHistory() : m_pHistory(StartHistory([] { return std::make_shared<CHistoryDb>(); })) {}
    ~CJoinHistory() {
        StopHistory();
        if (m_pHistory)
            if (const std::string error = m_pHistory->TakeError(); !error.empty())
                std::fprintf(stderr, "wavoryctl: warning: %s\n", error.c_str());
    }
    CJoinHistory(const CJoinHistory&) = delete;
    CJoinHistory& operator=(const CJoinHistory&) = delete;

private:
    std::shared_ptr<CHistoryRecorder> m_pHistory;
};

// The attempt was called off by a signal: back to the connection there was (or off the network
// when there was none), then the command fails as cancelled.
[[noreturn]] void AbandonJoin(CJoinInterrupt& interrupt, const SConnectionBefore& before,
                              const std::string& network) {
    const int sig = g_nJoinSignal;
    interrupt.Release();
    bool restored = false;
    std::string failure;
    if (before.settings) {
        auto back = CConnectAttempt::ForRestore(before.settings, before.current, before.connected);
        restored = back->Wait() == CConnectAttempt::EStatus::Joined;
        if (!restored) failure = back->Result().failure;
    } else {
        restored = DisconnectAdapter(&failure);
    }
    std::string message = "the join of \"" + Printable(network) + "\" was interrupted";
    if (!before.settings)
        message += restored ? "; the adapter is not connected" : "; the adapter could not stop joining";
    else
        message += restored ? "; back on \"" + Printable(before.settings->NetName) + "\""
                            : "; going back to \"" + Printable(before.settings->NetName) + "\" failed";
    if (!failure.empty()) message += ": " + Printable(failure);
    json extra = json::object();
    extra["restored"] = restored;
    PutSsid(extra, network);
    throw CCliError(128 + sig, message, "join", "cancelled", extra);
}

// A secret given as a file replaces its option (given once only).
void ReadSecretFiles(SConnectArgs& args) {
    if (args.uri || args.qr) {
        // A Wi-Fi URI fills in the options a typed join gives, then goes through the same checks.
        const std::string text = args.qr            ? ReadQrImage(*args.qr)
                                 : *args.uri == "-" ? ReadSecretFile("-", "Wi-Fi URI")
                                                    : *args.uri;
        WifiUri uri;
        std::string error;
        if (args.qr && text.rfind("WIFI:", 0) != 0)
            UsageError("the QR code in " +
                       (*args.qr == "-" ? std::string("standard input") : "\"" + Printable(*args.qr) + "\"") +
                       " does not describe a Wi-Fi network (its text does not start with WIFI:)");
        if (!ParseWifiUri(text, &uri, &error))
            UsageError(std::string(args.qr ? "the Wi-Fi URI in the QR code" : "the Wi-Fi URI") +
                       " is refused: " + error);
        args.ssid = uri.ssid;
        args.hidden = uri.hidden;
        if (uri.type == "WEP") args.key = uri.passphrase;
        if (uri.type == "WPA" || uri.type == "SAE") args.passphrase = uri.passphrase;
        if (uri.hidden)
            args.security = uri.type == "WEP"   ? "wep"
                            : uri.type == "SAE" ? "wpa3"
                            : uri.type == "WPA" ? "wpa2"
                                                : "none";
    }
    if (args.passphraseFile) args.passphrase = ReadSecretFile(*args.passphraseFile, "passphrase");
    if (args.keyFile) args.key = ReadSecretFile(*args.keyFile, "WEP key");
}

// An ad-hoc cell that is not in range: joining it starts it on the given channel.
std::shared_ptr<CStation> NewAdHocCell(const std::string& ssid, int channel) {
    const CProfile defaults("", true);
    auto cell = std::make_shared<CStation>(defaults);
    cell->NetName = ssid;
    cell->NetMode = false;
    cell->PhyType = channel > 14 ? 0 : 2;
    cell->PhyChnl = channel;  // a station holds the channel number
    return cell;
}

json ConnectedJson(const CProfile& station, bool associated) {
    json j;
    PutSsid(j, station.NetName);
    j["mode"] = station.NetMode ? "infrastructure" : "adhoc";
    j["mode_text"] = station.NetMode ? "Infrastructure" : "Ad-Hoc";
    j["connected"] = associated;
    j["associated"] = associated;  // the old name
    return j;
}

SOutput RunConnectProfile(const std::string& name, SEapArgs eap, const SNetArgs& net) {
    if (net.Any())
        UsageError(
            "a profile keeps its network settings (hardware address, addresses, access point): change "
            "them with wavoryctl profiles edit");
    if (eap.method || eap.phase2 || eap.identity || eap.anonymousIdentity || eap.caCert || eap.systemCa ||
        eap.domain || eap.clientCert || eap.privateKey || eap.caCheck || eap.noStorePassword)
        UsageError(
            "a profile keeps its 802.1X settings: change them with wavoryctl profiles edit; connect "
            "PROFILE takes --password-file and --key-password-file only");
    ReadEapSecretFiles(eap);
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    CProfileMngr& profiles = session.Profiles();
    std::shared_ptr<CProfile> profile;
    if (name != CProfileMngr::kConnectedStation && name != CProfileMngr::kEditStation)
        profile = profiles.GetProfile(name);
    if (!profile)
        Fail("there is no profile named \"" + Printable(name) + "\" (see: wavoryctl profiles list)");
    if (profile->Hotspot)
        UsageError("\"" + Printable(name) + "\" is a hotspot profile, not a network to join: start it with "
                   "wavoryctl hotspot start --profile NAME");
    CStationMngr& stations = session.Stations();
    // Secrets the profile lacks are asked for this join only; the profile stays as stored.
    CConnectAttempt::SJoinSecrets secrets;
    {
        CProfile settings(*profile);
        if (eap.password) settings.EapPassword = *eap.password;
        if (eap.keyPassword) settings.EapKeyPassword = *eap.keyPassword;
        CompleteEapForJoin(settings, settings.NetName);
        secrets.eapPassword = settings.EapPassword;
        secrets.eapKeyPassword = settings.EapKeyPassword;
    }
    // The adapter joins in its own time: waited for, within the attempt's bound.
    const SConnectionBefore before = ConnectionNow();
    CJoinHistory history;
    CJoinInterrupt interrupt;
    auto attempt = CConnectAttempt::ForProfile(profile, secrets);
    attempt->Wait(CConnectAttempt::kWaitPause, [&interrupt] { return interrupt.Stopped(); });
    if (!attempt->Ended()) AbandonJoin(interrupt, before, attempt->Network());
    interrupt.Release();
    if (attempt->Status() != CConnectAttempt::EStatus::Joined) FailJoin(*attempt);
    std::shared_ptr<CStation> station = stations.GetCurrent();
    if (!station) Fail(kProfileFailed);

    SOutput out;
    const bool associated = stations.IsConnected();
    out.data = ConnectedJson(*station, associated);
    out.data["profile"] = Utf8Lossy(profile->ProfName);
    out.text = (associated ? "Connected to profile \"" : "Applied profile \"") +
               Printable(profile->ProfName) + "\" (" + Printable(station->NetName) + ")" +
               (associated ? "" : "; the adapter has not joined the network yet") + ".\n";
    PutJoinNote(out, attempt->Result());
    return out;
}

// The network the dialog's row names: by SSID the strongest station of that name (network view);
// with a channel the access point on that channel.
CStationMngr::StationPtr FindNetwork(CCliSession& session, const std::string& ssid,
                                     std::optional<int> channel) {
    const EView view = channel ? EView::AccessPoint : EView::Network;
    const std::string key = channel ? ssid + ";" + std::to_string(*channel) : ssid;
    CStationMngr& stations = session.Stations();
    bool scanning = MergeForView(session, view);
    auto station = FindStation(stations, view, key);
    // Not in the adapter's last list: wait for the scan the station manager started.
    const auto deadline = std::chrono::steady_clock::now() + kScanWait;
    while (!station && scanning && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kMergePause);
        scanning = MergeForView(session, view);
        station = FindStation(stations, view, key);
    }
    return station;
}

SOutput RunConnectStation(SConnectArgs args) {
    ReadSecretFiles(args);
    ReadEapSecretFiles(args.eap);
    if (args.ssid && args.ssidHex) UsageError("give the network once: --ssid or --ssid-hex");
    std::string ssid = args.ssid.value_or("");
    if (args.ssidHex) {
        auto bytes = BytesFromHex(*args.ssidHex);
        if (!bytes) UsageError("--ssid-hex needs pairs of hexadecimal digits");
        ssid = *bytes;
    }
    if (ssid.empty() || ssid.size() > 32) UsageError("the network name (SSID) must have 1 to 32 bytes");
    if (args.keyIndex && !args.key) UsageError("--key-index needs --key or --key-file");
    // A key is checked as the security page checks it, before anything is touched.
    const int keyIndex = args.keyIndex.value_or(1) - 1;
    if (args.key) CheckWepKey(keyIndex, *args.key);
    if (args.passphrase) CheckPassphrase(*args.passphrase);
    if (args.passphrase && args.key) UsageError("give a WEP key or a WPA passphrase, not both");
    const bool adHoc = args.mode && *args.mode == "adhoc";
    if (adHoc && !args.channel) UsageError("an ad-hoc network is joined on a channel: give --channel N");
    const auto validChannel = [](int c) { return (c >= 1 && c <= 14) || (c >= 34 && c <= 196); };
    if (adHoc && !validChannel(*args.channel)) UsageError(StrFormat("there is no channel %d", *args.channel));

    if (args.security && !args.hidden)
        UsageError("--security goes with --hidden (a scanned network tells its own)");
    if (args.hidden && args.eap.Any())
        UsageError(
            "--hidden joins personal and open networks only; an enterprise (802.1X) network is "
            "joined once a scan finds it");
    if (args.hidden && (adHoc || args.channel))
        UsageError("--hidden joins an access point by name: leave out --channel and --mode adhoc");
    // The network settings are refused as profiles new refuses them, before the adapter is asked
    // anything. A pin and a channel would each choose the access point.
    CheckNetArgs(args.net);
    if (args.channel && args.net.pin && !args.net.pin->empty())
        UsageError("--pin-bssid and --channel both choose the access point: give one of them");
    EHiddenSecurity hiddenSecurity = args.key          ? EHiddenSecurity::Wep
                                     : args.passphrase ? EHiddenSecurity::Wpa2
                                                       : EHiddenSecurity::None;
    if (args.security && !ParseHiddenSecurity(*args.security, &hiddenSecurity))
        UsageError("--security takes none, wep, wpa2, wpa3, wpa2-wpa3 or owe");

    // Joining stores the network as a profile, once the scan and the connection are done.
    CCliSession session(EAccess::Join);
    session.RequireAdapter();
    CProfileMngr& profiles = session.Profiles();
    TakeDriverRefusal();  // only a refusal of this command's scan is reported below
    CStationMngr& stations = session.Stations();
    // A hidden network is in no scan list by name: it is joined as described, asking for it by name.
    auto station =
        args.hidden ? HiddenNetwork(ssid, hiddenSecurity) : FindNetwork(session, ssid, args.channel);
    // A scan refused for want of a right finds nothing: say which right rather than "not in range".
    const std::string scanRefusal = TakeDriverRefusal();
    if (!station && !scanRefusal.empty())
        throw CCliError(kExitFailed, scanRefusal, "scan start", "not_permitted");
    // With a mode the network must be of that mode; a cell not in range is started.
    if (station && args.mode && station->NetMode != (*args.mode == "infrastructure")) station = nullptr;
    if (!station && adHoc) {
        station = NewAdHocCell(ssid, *args.channel);
        if (args.key) station->SecType = 1;  // started with the key given
    }
    if (!station)
        Fail("no network \"" + Printable(ssid) + "\"" +
             (args.channel ? " on channel " + std::to_string(*args.channel) : std::string()) +
             " is in range (see: wavoryctl scan)");

    SOutput out;
    // The dialog's Connect is disabled on the connected row: nothing to do, unless settings were
    // given to join it with (another key or password, other 802.1X or network settings), which are
    // tried then.
    const bool settingsGiven = args.key || args.passphrase || args.eap.Any() || args.net.Any();
    if (!settingsGiven && IsCurrentStation(stations, *station)) {
        out.data = ConnectedJson(*station, true);
        out.data["profile"] = nullptr;
        out.data["changed"] = false;
        out.text = "Already connected to \"" + Printable(ssid) + "\".\n";
        return out;
    }
    // A stored profile for the network lends its keys; a key is needed only when none fits. With a
    // channel the access point found there is the one joined (the dialog's access-point view).
    SJoin join = PrepareJoin(station, args.channel.has_value() && !adHoc);
    CStation& settings = *join.settings;
    // The network settings given add to those of a stored profile, and are sent with the join as
    // the profile's are; the profile keeps them once the join has worked.
    if (args.net.Any()) {
        ApplyNetArgs(args.net, settings);
        join.netEntered = true;
    }
    const std::string shownSsid = "\"" + Printable(ssid) + "\"";
    bool prompted = false;
    const bool enterprise = IsEnterpriseProfile(settings);
    if (enterprise) {
        if (args.key || args.passphrase)
            UsageError(
                "the network \"" + Printable(ssid) + "\" uses " + WpaModeName(settings.WpaMode) +
                " (802.1X): leave out the key and passphrase; give --eap, --identity and --password-file");
        // The network's kind of security stays; the options add to what a stored profile holds.
        ApplyEapArgs(args.eap, settings);
        const bool hadPassword = !settings.EapPassword.empty();
        CompleteEapForJoin(settings, ssid);
        prompted = !hadPassword && !settings.EapPassword.empty() && !args.eap.password;
        join.keyEntered = true;
        join.keepSecrets = !args.eap.noStorePassword;
    } else if (args.eap.Any()) {
        UsageError("the network \"" + Printable(ssid) +
                   "\" is not an enterprise network; leave out the 802.1X options");
    }
    // Where no key of the network is at hand, one is asked for on the terminal (without echo).
    if (!enterprise && !args.key && !args.passphrase && JoinNeedsKey(settings) && CanPrompt()) {
        const bool wpa = settings.WpaMode != 0;
        const std::string asked = wpa ? "Passphrase for " + shownSsid + ": "
                                      : "WEP key for " + shownSsid + " (10 or 26 hexadecimal digits): ";
        const auto check = [wpa, keyIndex](const std::string& typed) {
            if (wpa)
                CheckPassphrase(typed);
            else
                CheckWepKey(keyIndex, typed);
        };
        if (auto typed = PromptChecked(asked, check)) {
            (wpa ? args.passphrase : args.key) = *typed;
            prompted = true;
        }
    }
    if (args.key) {
        if (settings.SecType != 1 || settings.WpaMode != 0)
            UsageError("the network \"" + Printable(ssid) + "\" is not secured with WEP; leave out --key");
        const auto k = static_cast<std::size_t>(keyIndex);
        settings.SecKey[k] = *args.key;
        settings.SecKeyLen[k] = args.key->size() == 26 ? 1 : 0;
        settings.ActiveSecKey = keyIndex;
        settings.Use802_1 = false;
    } else if (settings.WpaMode == 0 && JoinNeedsKey(settings)) {
        // Where the dialog asks for the key ("Enter Security Parameters").
        UsageError("the network \"" + Printable(ssid) +
                   "\" uses WEP: give its key with --key-file FILE|- (10 or 26 "
                   "hexadecimal digits; -: standard input) and, if it is not key 1, --key-index N");
    }
    if (settings.WpaMode != 0) {
        if (args.passphrase && !ModeTakesPassphrase(settings.WpaMode)) {
            UsageError("the network \"" + Printable(ssid) + "\" uses " + WpaModeName(settings.WpaMode) +
                       ", which takes no passphrase; leave out --passphrase");
        } else if (args.passphrase) {
            if ((settings.WpaMode == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
                 settings.WpaMode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL) &&
                args.passphrase->size() == 64)
                UsageError("WPA3 takes the passphrase itself, not 64 hexadecimal digits");
            settings.WpaPassphrase = *args.passphrase;
        } else if (JoinNeedsKey(settings)) {
            UsageError("the network \"" + Printable(ssid) + "\" uses " + WpaModeName(settings.WpaMode) +
                       ": give its passphrase with --passphrase-file FILE|- (-: standard input)");
        }
    } else if (args.passphrase) {
        UsageError("the network \"" + Printable(ssid) + "\" is not secured with WPA; leave out --passphrase");
    }
    // The change of the store begins once the network is joined: no write lock while the adapter joins.
    join.beforeSave = [&session] { session.BeginChange(); };
    // A key given for this join is stored once it has worked.
    join.keyEntered = join.keyEntered || args.key || args.passphrase;

    CLockGuard mainLock(CS_MAIN);
    SJoinResult joined;
    const SConnectionBefore before = ConnectionNow();
    CJoinHistory history;
    for (int tries = 1;; ++tries) {
        CJoinInterrupt interrupt;
        auto attempt = CConnectAttempt::ForStation(join);
        attempt->Wait(CConnectAttempt::kWaitPause, [&interrupt] { return interrupt.Stopped(); });
        if (!attempt->Ended()) AbandonJoin(interrupt, before, attempt->Network());
        interrupt.Release();
        joined = attempt->Result();
        if (joined.ok) break;
        // A typed key that the network refused is asked for again, a few times.
        if (!prompted || !attempt->WrongKey() || tries >= kKeyTries) FailJoin(*attempt);
        std::fprintf(
            stderr, "%s\n",
            JoinCauseLine(ssid, joined.cause, joined.detail, settings.WpaMode, joined.restored).c_str());
        const bool wpa = settings.WpaMode != 0;
        const auto typed = PromptChecked(
            enterprise ? "Password for " + Printable(settings.EapIdentity) + " on " + shownSsid + ": "
            : wpa      ? "Passphrase for " + shownSsid + ": "
                       : "WEP key for " + shownSsid + ": ",
            [enterprise, wpa, keyIndex](const std::string& answer) {
                if (enterprise) return;
                if (wpa)
                    CheckPassphrase(answer);
                else
                    CheckWepKey(keyIndex, answer);
            });
        if (!typed) FailJoin(*attempt);
        if (enterprise) {
            settings.EapPassword = *typed;
        } else if (wpa) {
            settings.WpaPassphrase = *typed;
        } else {
            const auto k = static_cast<std::size_t>(keyIndex);
            settings.SecKey[k] = *typed;
            settings.SecKeyLen[k] = typed->size() == 26 ? 1 : 0;
        }
    }
    if (!joined.saved)
        FailStore(theApp.m_pRegistry->LastError(), "connected, but the profile could not be stored");
    int priority = -1;
    if (auto profile = profiles.GetProfile(joined.profileName)) {
        auto lock = profiles.Lock();
        priority = profile->Priority;
    }

    out.data = ConnectedJson(*station, stations.IsConnected());
    out.data["bssid"] = station->m_strBssid;
    out.data["channel"] = station->PhyChnl;
    out.data["profile"] = Utf8Lossy(joined.profileName);
    out.data["created"] = joined.created;
    out.data["priority"] = priority;
    out.data["changed"] = true;
    out.text = "Connected to \"" + Printable(ssid) + "\" (" + station->m_strBssid + ", channel " +
               std::to_string(station->PhyChnl) + "); " +
               (joined.created ? "saved as profile \"" : "using profile \"") + Printable(joined.profileName) +
               "\".\n";
    PutJoinNote(out, joined);
    return out;
}

// disconnect: the adapter leaves its network; auto-selection (in a running window) may join
// another one afterwards, as it would after any loss of the link.
SOutput RunDisconnect() {
    CCliSession session(EAccess::ReadOnly);
    session.RequireAdapter();
    CCommVarList list;
    list.AddVarExt(OID_DISCONNECT, 0, nullptr, nullptr);
    TakeDriverRefusal();
    if (!list.RefreshAll(false, false)) FailWithRefusal("Could not disconnect the adapter.");
    session.Stations().SetCurrent(nullptr);
    session.Profiles().SetConnected(nullptr, true);
    SOutput out;
    out.data["connected"] = session.Stations().IsConnected();
    out.text = "Disconnected.\n";
    return out;
}

}  // namespace

void AddConnectCommand(CLI::App& app, CCommandTable& table) {
    CLI::App* disconnect = AddCommand(app, "disconnect", "Leave the network the adapter is on");
    table.Add(disconnect, [] { return RunDisconnect(); });

    auto args = std::make_shared<SConnectArgs>();
    CLI::App* connect =
        AddCommand(app, "connect",
                   "Connect to a stored profile, or to a network in range (--ssid), which is then "
                   "saved as an auto-selection profile");
    CLI::Option* profile = connect->add_option("profile", args->profile, "Profile to connect to");
    CLI::Option* ssid = connect->add_option_function<std::string>(
        "--ssid", [args](const std::string& v) { args->ssid = v; }, "Network name to join");
    CLI::Option* ssidHex = connect->add_option_function<std::string>(
        "--ssid-hex", [args](const std::string& v) { args->ssidHex = v; },
        "Network name as hexadecimal bytes, for names that are not text");
    CLI::Option* channel = connect->add_option_function<int>(
        "--channel", [args](const int& v) { args->channel = v; },
        "Join the access point on this channel, and no other of the network's");
    CLI::Option* key = connect->add_option_function<std::string>(
        "--key", [args](const std::string& v) { args->key = v; },
        std::string("WEP key: 10 or 26 hexadecimal digits") + kVisibleSecretNote);
    CLI::Option* keyFile = connect->add_option_function<std::string>(
        "--key-file", [args](const std::string& v) { args->keyFile = v; },
        "Read the WEP key from FILE (\"-\": standard input; one line end at its end is dropped)");
    keyFile->excludes(key);
    CLI::Option* keyIndex = connect
                                ->add_option_function<int>(
                                    "--key-index", [args](const int& v) { args->keyIndex = v; },
                                    "Which WEP key slot (1 to 4, default 1)")
                                ->check(WholeNumber(1, 4));
    CLI::Option* passphrase = connect->add_option_function<std::string>(
        "--passphrase", [args](const std::string& v) { args->passphrase = v; },
        std::string("WPA2/WPA3 passphrase: 8 to 63 characters, or 64 hexadecimal digits") +
            kVisibleSecretNote);
    CLI::Option* passphraseFile = connect->add_option_function<std::string>(
        "--passphrase-file", [args](const std::string& v) { args->passphraseFile = v; },
        "Read the WPA passphrase from FILE (\"-\": standard input; one line end at its end is dropped). "
        "Without a key or passphrase, one is asked for on the terminal when needed");
    passphraseFile->excludes(passphrase);
    CLI::Option* mode =
        connect
            ->add_option_function<std::string>(
                "--mode", [args](const std::string& v) { args->mode = v; },
                "Join only a network of this mode; an ad-hoc network not in range is started on "
                "--channel")
            ->check(CLI::IsMember({"infrastructure", "adhoc"}));
    CLI::Option* hidden = connect->add_flag_function(
        "--hidden", [args](std::int64_t count) { args->hidden = count > 0; },
        "The network does not announce its name: join it by --ssid without finding it in a scan");
    CLI::Option* security =
        connect
            ->add_option_function<std::string>(
                "--security", [args](const std::string& v) { args->security = v; },
                "With --hidden, the network's security: none, wep, wpa2, wpa3, wpa2-wpa3 or owe "
                "(default: wep with a key, wpa2 with a passphrase, else none)")
            ->check(CLI::IsMember({"none", "wep", "wpa2", "wpa3", "wpa2-wpa3", "owe"}));
    CLI::Option* uri = connect->add_option_function<std::string>(
        "--uri", [args](const std::string& v) { args->uri = v; },
        "Join the network a Wi-Fi URI (WIFI:T:WPA;S:name;P:secret;;) describes; \"-\" reads it from "
        "standard input, which keeps its passphrase off the process list");
    CLI::Option* qr = connect->add_option_function<std::string>(
        "--qr", [args](const std::string& v) { args->qr = v; },
        "Join the network the QR code in a PNG image describes (a Wi-Fi URI, as phones share it); "
        "\"-\" reads the image from standard input");
    qr->excludes(uri);
    for (CLI::Option* option : {ssid, ssidHex, key, keyFile, passphrase, passphraseFile, hidden, security}) {
        option->excludes(uri);
        option->excludes(qr);
    }
    for (CLI::Option* option : {ssid, ssidHex, channel, key, keyFile, keyIndex, passphrase, passphraseFile,
                                mode, hidden, security, uri, qr})
        option->excludes(profile);
    AddEapOptions(*connect, args->eap, true);
    AddNetOptions(*connect, args->net);
    table.Add(connect, [args, profile, ssid, ssidHex, uri, qr] {
        if (profile->count() == 0 && ssid->count() == 0 && ssidHex->count() == 0 && uri->count() == 0 &&
            qr->count() == 0)
            UsageError("name a profile, or a network with --ssid, --uri or --qr");
        return profile->count() ? RunConnectProfile(args->profile, args->eap, args->net)
                                : RunConnectStation(*args);
    });
}

}  // namespace wavory::cli
