#include "cli/ProfileFields.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "cli/Commands.h"
#include "cli/Secrets.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "profiles/ChannelList.h"
#include "profiles/EapProfile.h"
#include "profiles/HotspotProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "radio/Bands.h"
#include "radio/Security.h"

namespace wavory::cli {

namespace {

constexpr std::size_t kMaxNameChars = 19;
constexpr int kShortKeyDigits = 10;  // 64-bit key, length choice 0
constexpr int kLongKeyDigits = 26;   // 128-bit key, length choice 1
constexpr const char* kPhyOptionNames[] = {"a", "bg", "g"};
constexpr const char* kPhyTexts[] = {"802.11a", "802.11b/g", "802.11g"};

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsKeyComplete(const CProfile& p, int i) {
    const auto k = static_cast<std::size_t>(i);
    const int len = p.SecKeyLen[k];
    if (len != 0 && len != 1) return false;
    return p.SecKey[k].size() == static_cast<std::size_t>(len == 0 ? kShortKeyDigits : kLongKeyDigits);
}

int PhyFromOption(const std::string& name) {
    for (int i = 0; i < 3; ++i)
        if (name == kPhyOptionNames[i]) return i;
    return 1;
}

std::string ChannelText(const CProfile& p) { return ChannelLabel(p.ChannelNumber(), p.PhyFreq); }

std::string ResolveSsid(const SProfileEdits& edits, const std::string& current) {
    if (edits.ssid && edits.ssidHex) UsageError("give the SSID once: --ssid or --ssid-hex");
    if (edits.ssid) return *edits.ssid;
    if (edits.ssidHex) {
        auto bytes = BytesFromHex(*edits.ssidHex);
        if (!bytes) UsageError("--ssid-hex needs pairs of hexadecimal digits");
        return *bytes;
    }
    return current;
}

// One key typed into the security page: checked, stored with its length, and the active key
// follows as it does there (a completed key becomes active when none is; an active key that is no
// longer complete stops being active).
void SetKey(CProfile& p, int i, const std::string& digits) {
    const auto k = static_cast<std::size_t>(i);
    if (!digits.empty()) {
        CheckWepKey(i, digits);
        p.SecKeyLen[k] = digits.size() == kShortKeyDigits ? 0 : 1;
    }
    p.SecKey[k] = digits;
    if (p.ActiveSecKey == i && !IsKeyComplete(p, i)) p.ActiveSecKey = -1;
    if (p.ActiveSecKey < 0 && IsKeyComplete(p, i)) p.ActiveSecKey = i;
}

const char* PhyText(int phy) { return phy >= 0 && phy <= 2 ? kPhyTexts[phy] : "this PHY mode"; }

bool IsSixGhz(const SChannelEntry& e) { return kccl::BandOfFrequency(e.mhz) == kccl::EBand::Band6G; }

// The PHY mode a channel given by its frequency takes: 802.11a for 5 and 6 GHz; for 2.4 GHz the
// profile's b/g or g (802.11g where it was 802.11a). A --phy that names another band is refused.
int PhyForFrequency(const SProfileEdits& edits, const CProfile& profile, int mhz) {
    const kccl::EBand band = kccl::BandOfFrequency(mhz);
    if (band == kccl::EBand::Unknown || kccl::FrequencyToChannel(mhz) == 0)
        UsageError(StrFormat("%d MHz is not the centre frequency of a 2.4, 5 or 6 GHz channel", mhz));
    if (!edits.phy) return ProfilePhyType(profile.PhyType, mhz);
    const int phy = PhyFromOption(*edits.phy);
    if ((phy == 0) == (band == kccl::EBand::Band2G4))
        UsageError(StrFormat("%d MHz is a %s channel, which %s does not use; leave out --phy", mhz,
                             kccl::BandName(band), PhyText(phy)));
    return phy;
}

// Frequencies as runs of even steps: "5180 to 5320 MHz every 20 MHz, 5500 MHz, 5520 MHz".
std::string FrequencyRuns(std::vector<int> mhz) {
    std::sort(mhz.begin(), mhz.end());
    mhz.erase(std::unique(mhz.begin(), mhz.end()), mhz.end());
    std::string text;
    for (std::size_t i = 0; i < mhz.size();) {
        std::size_t end = i + 1;
        if (i + 2 < mhz.size()) {
            const int step = mhz[i + 1] - mhz[i];
            while (end + 1 < mhz.size() && mhz[end + 1] - mhz[end] == step) ++end;
        }
        if (!text.empty()) text += ", ";
        if (end - i >= 2) {
            text += StrFormat("%d to %d MHz every %d MHz", mhz[i], mhz[end], mhz[i + 1] - mhz[i]);
            i = end + 1;
        } else {
            text += StrFormat("%d MHz", mhz[i]);
            i = end;
        }
    }
    return text;
}

const SChannelEntry& EntryOfFrequency(const std::vector<SChannelEntry>& entries, int phy, int mhz) {
    for (const SChannelEntry& e : entries)
        if (e.mhz == mhz) return e;
    std::vector<int> offered;
    for (const SChannelEntry& e : entries) offered.push_back(e.mhz);
    UsageError(StrFormat("%d MHz (channel %d) is not available for %s here; choose one of %s", mhz,
                         kccl::FrequencyToChannel(mhz), PhyText(phy), FrequencyRuns(offered).c_str()));
}

// A channel number names a 2.4 or 5 GHz channel: 6 GHz numbers repeat those and take --frequency.
const SChannelEntry& EntryOfChannel(const std::vector<SChannelEntry>& entries, int phy, int channel) {
    std::string list, sixGhz;
    for (const SChannelEntry& e : entries) {
        if (IsSixGhz(e)) {
            if (e.channel == channel)
                sixGhz = StrFormat(" (6 GHz channel %d: --frequency %d)", channel, e.mhz);
            continue;
        }
        if (e.channel == channel) return e;
        list += (list.empty() ? "" : ", ") + std::to_string(e.channel);
    }
    UsageError(StrFormat("channel %d is not available for %s here; choose one of %s%s", channel, PhyText(phy),
                         list.empty() ? "none" : list.c_str(), sixGhz.c_str()));
}
}  // namespace

void CheckWepKey(int index, const std::string& digits) {
    if (!std::all_of(digits.begin(), digits.end(), IsHexDigit))
        UsageError(StrFormat("WEP key %d must hold hexadecimal digits only (0-9, A-F)", index + 1));
    if (digits.size() != kShortKeyDigits && digits.size() != kLongKeyDigits)
        UsageError(StrFormat("WEP key %d must have 10 hexadecimal digits (64 bits) or 26 (128 bits), not %zu",
                             index + 1, digits.size()));
}

void AddProfileEditOptions(CLI::App& command, SProfileEdits& edits, bool withName) {
    if (withName)
        command.add_option_function<std::string>(
            "--name", [&edits](const std::string& v) { edits.name = v; },
            "Profile name (1 to 19 characters)");
    command.add_option_function<std::string>(
        "--ssid", [&edits](const std::string& v) { edits.ssid = v; }, "Network name (1 to 32 bytes)");
    command.add_option_function<std::string>(
        "--ssid-hex", [&edits](const std::string& v) { edits.ssidHex = v; },
        "Network name as hexadecimal bytes, for names that are not text");
    command
        .add_option_function<std::string>(
            "--mode", [&edits](const std::string& v) { edits.mode = v; },
            "Network mode (a new profile starts in ad-hoc mode, as in the editor)")
        ->check(CLI::IsMember({"infrastructure", "adhoc"}));
    command
        .add_option_function<std::string>(
            "--phy", [&edits](const std::string& v) { edits.phy = v; }, "PHY mode: 802.11a, b/g or g")
        ->check(CLI::IsMember({"a", "bg", "g"}));
    CLI::Option* channel = command.add_option_function<int>(
        "--channel", [&edits](const int& v) { edits.channel = v; },
        "Channel number (used in ad-hoc mode); allowed ones depend on the PHY mode and the regulatory "
        "domain");
    command
        .add_option_function<int>(
            "--frequency", [&edits](const int& v) { edits.frequency = v; },
            "Channel by its centre frequency (used in ad-hoc mode), as 6 GHz channels need: their numbers "
            "repeat those of 2.4 GHz (6 GHz channel 5 is 5975 MHz); one the adapter offers in its "
            "regulatory domain. 5 and 6 GHz take the PHY mode 802.11a")
        ->excludes(channel)
        ->option_text("MHZ");
    command
        .add_option_function<std::string>(
            "--security", [&edits](const std::string& v) { edits.security = v; },
            "Security: none, WEP, Enhanced Open (owe), WPA2-, WPA3- or WPA2/WPA3-Personal (wpa2, wpa3, "
            "wpa2-wpa3; with --passphrase), or WPA2- or WPA3-Enterprise (wpa2-enterprise, wpa3-enterprise; "
            "with --eap)")
        ->check(CLI::IsMember(
            {"none", "wep", "owe", "wpa2", "wpa3", "wpa2-wpa3", "wpa2-enterprise", "wpa3-enterprise"}));
    CLI::Option* passphrase = command.add_option_function<std::string>(
        "--passphrase", [&edits](const std::string& v) { edits.passphrase = v; },
        std::string("WPA passphrase: 8 to 63 characters, or 64 hexadecimal digits") + kVisibleSecretNote);
    command
        .add_option_function<std::string>(
            "--passphrase-file", [&edits](const std::string& v) { edits.passphraseFile = v; },
            "Read the WPA passphrase from FILE (\"-\": standard input; one line end at its end is "
            "dropped); without it, a WPA profile that has none asks on the terminal")
        ->excludes(passphrase);
    command.add_option_function<std::string>(
        "--key-file", [&edits](const std::string& v) { edits.keyFile = v; },
        "Read the WEP key of the slot --active-key names (else key 1) from FILE (\"-\": standard "
        "input)");
    for (int i = 0; i < 4; ++i) {
        command.add_option_function<std::string>(
            StrFormat("--key%d", i + 1),
            [&edits, i](const std::string& v) { edits.keys[static_cast<std::size_t>(i)] = v; },
            StrFormat("WEP key %d: 10 or 26 hexadecimal digits (\"\" clears it)", i + 1) +
                kVisibleSecretNote);
    }
    command
        .add_option_function<int>(
            "--active-key", [&edits](const int& v) { edits.activeKey = v; },
            "The WEP key in use, 1 to 4 (0: none)")
        ->check(WholeNumber(0, 4));
    command
        .add_option_function<std::string>(
            "--power-save", [&edits](const std::string& v) { edits.powerSave = v; },
            "auto (follow the preference) or 1 (max. performance) to 3 (max. power save)")
        ->check(CLI::IsMember({"auto", "1", "2", "3"}));
    CLI::Option* autoSelect = command.add_flag_callback(
        "--auto-select", [&edits] { edits.autoSelect = true; },
        "Make the profile a member of the auto-selection list");
    command
        .add_flag_callback(
            "--no-auto-select", [&edits] { edits.autoSelect = false; },
            "Take the profile out of the auto-selection list")
        ->excludes(autoSelect);
    AddEapOptions(command, edits.eap, false);
    AddNetOptions(command, edits.net);
}

SAdapterRegion ReadAdapterRegion() { return {ReadRegDomain(), ReadChannelList()}; }

void CheckProfileName(const std::string& name) {
    if (name.empty() || !IsUtf8(name) || CharCount(name) > kMaxNameChars)
        UsageError("invalid profile name \"" + Printable(name) + "\": use 1 to 19 characters");
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        UsageError("invalid profile name \"" + Printable(name) + "\": control characters are not allowed");
    if (name == CProfileMngr::kConnectedStation || name == CProfileMngr::kEditStation)
        UsageError("the profile name \"" + name + "\" is reserved; choose another one");
}

void ApplyProfileEdits(const SProfileEdits& edits, CProfile& profile, const SAdapterRegion& region,
                       bool isNew) {
    // Work on a copy, so that a refused value leaves the profile untouched.
    CProfile p(profile);

    // The name is only checked here: a new name reaches the profile through the manager's rename.
    CheckProfileName(edits.name.value_or(profile.ProfName));
    p.NetName = ResolveSsid(edits, profile.NetName);
    if (p.NetName.empty() || p.NetName.size() > static_cast<std::size_t>(kMaxSsidBytes))
        UsageError(StrFormat("invalid network name (SSID): use 1 to 32 bytes, not %zu", p.NetName.size()));
    if (p.NetName.find('\0') != std::string::npos)
        UsageError("a network name (SSID) cannot hold a zero byte");
    if (edits.mode) p.NetMode = *edits.mode == "infrastructure";

    const int phy = edits.frequency ? PhyForFrequency(edits, profile, *edits.frequency)
                    : edits.phy     ? PhyFromOption(*edits.phy)
                                    : profile.PhyType;
    const std::vector<SChannelEntry> entries = ChannelEntries(phy, region.domain, region.channels);
    const SChannelEntry* chosen = nullptr;
    if (edits.frequency)
        chosen = &EntryOfFrequency(entries, phy, *edits.frequency);
    else if (edits.channel)
        chosen = &EntryOfChannel(entries, phy, *edits.channel);
    else if ((isNew || phy != profile.PhyType) && !entries.empty())
        chosen = &entries.front();  // a new list selects its first entry
    // Stored as the editor stores its list's entry, so that the window shows the same channel.
    if (chosen) {
        p.PhyChnl = chosen->index;
        p.PhyFreq = chosen->freqMHz;
    }
    p.PhyType = phy;

    if (edits.powerSave) p.PSType = *edits.powerSave == "auto" ? 0 : std::stoi(*edits.powerSave);
    if (edits.autoSelect) p.AutoSelect = *edits.autoSelect;
    if (edits.security) {
        p.SecType = *edits.security == "wep" ? 1 : 0;
        p.WpaMode = *edits.security == "wpa2"              ? KCOM_SECURITY_MODE_WPA2_PERSONAL
                    : *edits.security == "wpa3"            ? KCOM_SECURITY_MODE_WPA3_PERSONAL
                    : *edits.security == "wpa2-wpa3"       ? KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL
                    : *edits.security == "owe"             ? KCOM_SECURITY_MODE_OWE
                    : *edits.security == "wpa2-enterprise" ? KCOM_SECURITY_MODE_WPA2_ENTERPRISE
                    : *edits.security == "wpa3-enterprise" ? KCOM_SECURITY_MODE_WPA3_ENTERPRISE
                                                           : 0;
        // Enhanced Open has no passphrase; one kept from before would only linger in the store.
        if (!ModeTakesPassphrase(p.WpaMode) && !edits.passphrase) p.WpaPassphrase.clear();
    }
    if (edits.passphrase) {
        CheckPassphrase(*edits.passphrase);
        p.WpaPassphrase = *edits.passphrase;
    }
    if (ModeTakesPassphrase(p.WpaMode) && p.WpaPassphrase.empty())
        UsageError(
            "a WPA profile needs its passphrase: --passphrase-file FILE|- (8 to 63 characters, or 64 "
            "hexadecimal digits; -: standard input)");
    if (p.WpaMode == KCOM_SECURITY_MODE_OWE && edits.passphrase)
        UsageError("Enhanced Open (owe) takes no passphrase");
    if ((p.WpaMode == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
         p.WpaMode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL) &&
        p.WpaPassphrase.size() == 64)
        UsageError("WPA3 takes the passphrase itself, not 64 hexadecimal digits");
    ApplyEapArgs(edits.eap, p);
    ApplyNetArgs(edits.net, p);
    if (IsEnterpriseProfile(p)) {
        // 802.1X runs between a station and an access point: an enterprise profile is one of infrastructure.
        if (edits.mode && *edits.mode == "adhoc")
            UsageError("an enterprise network has no ad-hoc form; leave out --mode adhoc");
        p.NetMode = true;
    }
    for (int i = 0; i < 4; ++i)
        if (const auto& key = edits.keys[static_cast<std::size_t>(i)]) SetKey(p, i, *key);
    if (edits.activeKey) {
        const int i = *edits.activeKey - 1;
        if (i >= 0 && !IsKeyComplete(p, i))
            UsageError(StrFormat("WEP key %d is not complete; give it with --key%d first", i + 1, i + 1));
        p.ActiveSecKey = i;
    }
    if (p.SecType == 1 && !p.Use802_1 &&
        (p.ActiveSecKey < 0 || p.ActiveSecKey > 3 || !IsKeyComplete(p, p.ActiveSecKey)))
        UsageError("Please define at least one complete security key (--key1 … --key4, --active-key).");

    profile.NetName = p.NetName;
    profile.NetMode = p.NetMode;
    profile.PhyType = p.PhyType;
    profile.PhyChnl = p.PhyChnl;
    profile.PhyFreq = p.PhyFreq;
    profile.PSType = p.PSType;
    profile.AutoSelect = p.AutoSelect;
    profile.SecType = p.SecType;
    profile.ActiveSecKey = p.ActiveSecKey;
    profile.SecKey = p.SecKey;
    profile.SecKeyLen = p.SecKeyLen;
    profile.WpaMode = p.WpaMode;
    profile.WpaPassphrase = p.WpaPassphrase;
    CopyEapSettings(p, profile);
    CopyNetSettings(p, profile);
}

void ResolveProfileSecrets(SProfileEdits& edits, const CProfile* base) {
    ReadEapSecretFiles(edits.eap);
    if (edits.passphraseFile) edits.passphrase = ReadSecretFile(*edits.passphraseFile, "passphrase");
    const int slot = edits.activeKey && *edits.activeKey > 0 ? *edits.activeKey - 1 : 0;
    auto& key = edits.keys[static_cast<std::size_t>(slot)];
    if (edits.keyFile) {
        if (edits.activeKey && *edits.activeKey == 0)
            UsageError("--key-file needs a WEP key slot: --active-key 1 to 4");
        if (key) UsageError(StrFormat("give WEP key %d once: --key%d or --key-file", slot + 1, slot + 1));
        key = ReadSecretFile(*edits.keyFile, "WEP key");
        CheckWepKey(slot, *key);
    }
    if (!CanPrompt()) return;

    // What the profile will use once the edits are in: ask for a secret it needs and lacks.
    const CProfile defaults("", false);
    const CProfile& from = base ? *base : defaults;
    const std::string security =
        edits.security.value_or(from.WpaMode == KCOM_SECURITY_MODE_WPA2_PERSONAL   ? "wpa2"
                                : from.WpaMode == KCOM_SECURITY_MODE_WPA3_PERSONAL ? "wpa3"
                                : from.SecType == 1                                ? "wep"
                                                                                   : "none");
    if (security == "wpa2" || security == "wpa3") {
        if (edits.passphrase || (base && !base->WpaPassphrase.empty())) return;
        if (auto typed = PromptChecked("Passphrase: ", CheckPassphrase)) edits.passphrase = *typed;
        return;
    }
    if (security != "wep" || from.Use802_1) return;
    const int active = edits.activeKey ? *edits.activeKey - 1 : from.ActiveSecKey;
    const int wanted = active >= 0 && active < CProfile::kKeyCount ? active : 0;
    const auto& given = edits.keys[static_cast<std::size_t>(wanted)];
    CProfile check(from);
    if (given) SetKey(check, wanted, *given);
    if (IsKeyComplete(check, wanted)) return;
    if (auto typed = PromptChecked(StrFormat("WEP key %d (10 or 26 hexadecimal digits): ", wanted + 1),
                                   [wanted](const std::string& k) { CheckWepKey(wanted, k); })) {
        edits.keys[static_cast<std::size_t>(wanted)] = *typed;
        if (active < 0) edits.activeKey = wanted + 1;
    }
}

void CheckPassphrase(const std::string& passphrase) {
    if (!IsValidPassphrase(passphrase))
        UsageError(StrFormat(
            "invalid passphrase: use 8 to 63 printable characters (ASCII), or 64 hexadecimal digits, "
            "not %zu characters",
            passphrase.size()));
}

std::string SecurityName(const CProfile& p) {
    if (WpaModeName(p.WpaMode)) return ProfileSecurityText(p);
    return NameAt(SECURITY_NAMES, p.SecType);
}

std::string SecurityCode(const CProfile& p) {
    const int mode = p.WpaMode != 0 ? p.WpaMode : p.SecType != 0 ? 1 : 0;
    return kccl::SecurityKindId(SecurityKindOfMode(mode));
}

json ProfileJson(const CProfile& p, bool showKeys) {
    json j;
    j["name"] = Utf8Lossy(p.ProfName);
    j["kind"] = p.Hotspot ? "hotspot" : "network";
    PutSsid(j, p.NetName);
    if (p.Hotspot)
        j["hotspot"] = {{"band", kccl::HotspotBandName(p.HotspotBand)},
                        {"channel", p.HotspotChannel > 0 ? json(p.HotspotChannel) : json(nullptr)}};
    j["mode"] = p.NetMode ? "infrastructure" : "adhoc";
    j["mode_text"] = NameAt(MODE_NAMES, p.NetMode ? 1 : 0);
    j["power_save"] = p.PSType == 0 ? json("auto") : json(p.PSType);
    // The profile's PHY mode setting (not the standard a link runs: that is "generation" elsewhere).
    j["phy_mode"] = p.PhyType >= 0 && p.PhyType <= 2 ? json(kPhyTexts[p.PhyType]) : json(nullptr);
    j["phy"] = j["phy_mode"];  // the old name
    j["channel_index"] = p.PhyChnl;
    j["channel"] = p.ChannelNumber();
    j["frequency_mhz"] = kccl::ChannelFrequency(p.ChannelNumber(), p.PhyFreq);
    const std::string code = SecurityCode(p);
    j["security"] = code.empty() ? json(nullptr) : json(code);
    j["security_text"] = SecurityName(p);
    j["passphrase_set"] = !p.WpaPassphrase.empty();
    if (showKeys) j["passphrase"] = p.WpaPassphrase;
    j["active_key"] = p.ActiveSecKey >= 0 && p.ActiveSecKey <= 3 ? json(p.ActiveSecKey + 1) : json(nullptr);
    j["keys"] = json::array();
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        json key{
            {"index", i + 1}, {"bits", p.SecKeyLen[k] == 1 ? 128 : 64}, {"complete", IsKeyComplete(p, i)}};
        if (showKeys) key["key"] = Utf8Lossy(p.SecKey[k]);
        j["keys"].push_back(key);
    }
    PutEapJson(j, p, showKeys);
    PutNetJson(j, p);
    j["auto_select"] = p.AutoSelect;
    j["priority"] = p.AutoSelect && p.Priority >= 0 ? json(p.Priority) : json(nullptr);
    j["use_802_1x"] = p.Use802_1;
    j["advanced"] = {{"max_fragment", p.MaxFragment},
                     {"rts_threshold", p.RTSThreshold},
                     {"use_fragmentation", p.UseFragmentation},
                     {"use_rts", p.UseRTS},
                     {"short_preamble", p.ShortPreamble},
                     {"max_tx_power", p.MaxTxPower},
                     {"max_net_rate", p.MaxNetRate},
                     // The stored value counts 2 bit/s: 27000000 is 54 Mbit/s.
                     {"max_rate_bps", static_cast<long long>(p.MaxNetRate) * 2},
                     {"wireless_mode", p.WrLessMode}};
    return j;
}

std::string ProfileText(const CProfile& p, bool showKeys) {
    std::vector<std::pair<std::string, std::string>> f;
    f.emplace_back("Profile Name:", Printable(p.ProfName));
    f.emplace_back("Network Name (SSID):", Printable(p.NetName));
    if (p.Hotspot) {
        // The user's own access point: what it starts with, not a network's join settings.
        const kccl::SHotspotRecord record = HotspotRecordOf(p);
        f.emplace_back("Kind:", HotspotProfileText(p));
        if (record.security != KCOM_HOTSPOT_OPEN)
            f.emplace_back("Passphrase:", showKeys ? Printable(p.WpaPassphrase) : std::string("set"));
        f.emplace_back("Band:", record.band == KCOM_HOTSPOT_BAND_BEST
                                    ? std::string("the best the radio may use")
                                    : std::string(kccl::HotspotBandName(record.band)) + " GHz");
        f.emplace_back("Channel:", record.channel ? std::to_string(record.channel) : std::string("any"));
        return FormatFields(f);
    }
    f.emplace_back("Network Mode:", NameAt(MODE_NAMES, p.NetMode ? 1 : 0));
    f.emplace_back("Power Save:", p.PSType == 0 ? std::string("Auto") : StrFormat("%d of 3", p.PSType));
    f.emplace_back("PHY Mode:", p.PhyType >= 0 && p.PhyType <= 2 ? kPhyTexts[p.PhyType] : "");
    f.emplace_back("Channel:", ChannelText(p));
    f.emplace_back("Security:", SecurityName(p));
    if (ModeTakesPassphrase(p.WpaMode))
        f.emplace_back("Passphrase:", p.WpaPassphrase.empty() ? std::string("none")
                                      : showKeys              ? Printable(p.WpaPassphrase)
                                                              : std::string("set"));
    AddEapFields(f, p, showKeys);
    AddNetFields(f, p);
    f.emplace_back("Active Key:", p.ActiveSecKey >= 0 && p.ActiveSecKey <= 3
                                      ? StrFormat("Key%d", p.ActiveSecKey + 1)
                                      : std::string("none"));
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        std::string text = p.SecKeyLen[k] == 1 ? "128 bits" : "64 bits";
        if (p.SecKey[k].empty())
            text += ", empty";
        else
            text += showKeys ? ", " + Printable(p.SecKey[k]) : IsKeyComplete(p, i) ? ", set" : ", incomplete";
        f.emplace_back(StrFormat("Key%d:", i + 1), text);
    }
    f.emplace_back("Auto-Selection:", p.AutoSelect && p.Priority >= 0
                                          ? StrFormat("yes, position %d", p.Priority + 1)
                                          : std::string("no"));
    return FormatFields(f);
}

}  // namespace wavory::cli
