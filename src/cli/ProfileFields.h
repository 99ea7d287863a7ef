// The fields of a profile on the command line: the options that set them, the profile editor's
// validation (name, SSID, channel for the PHY mode and regulatory domain, WEP keys and the active
// key), and how a profile is shown.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/EapOptions.h"
#include "cli/NetOptions.h"
#include "driver/AirText.h"

namespace CLI {
class App;
}

namespace wavory {
class CProfile;
}

namespace wavory::cli {

// What the user asked to change; unset fields keep the profile's value.
struct SProfileEdits {
    std::optional<std::string> name;
    std::optional<std::string> ssid;            // --ssid, as given
    std::optional<std::string> ssidHex;         // --ssid-hex, the bytes as hexadecimal digits
    std::optional<std::string> mode;            // "infrastructure" | "adhoc"
    std::optional<std::string> phy;             // "a" | "bg" | "g"
    std::optional<int> channel;                 // channel number (2.4 or 5 GHz)
    std::optional<int> frequency;               // centre frequency in MHz (any band)
    std::optional<std::string> security;        // "none" | "wep" | "wpa2" | "wpa3" | "wpa2-enterprise" …
    std::optional<std::string> passphrase;      // WPA passphrase
    std::optional<std::string> passphraseFile;  // where to read it from ("-": standard input)
    std::optional<std::string> keyFile;         // the WEP key of the active slot, from a file
    std::array<std::optional<std::string>, 4> keys;  // hexadecimal digits, "" clears
    std::optional<int> activeKey;                    // 1..4, 0 = none
    std::optional<std::string> powerSave;            // "auto" | "1" | "2" | "3"
    std::optional<bool> autoSelect;
    SEapArgs eap;  // 802.1X
    SNetArgs net;  // hardware address, metered, fixed addresses
};

// Adds the field options to a command (with --name when `withName`).
void AddProfileEditOptions(CLI::App& command, SProfileEdits& edits, bool withName);

// Reads the secrets given as files into the edits (the key file into the slot --active-key names,
// else key 1), and asks on the terminal for one the profile needs and lacks: `base` is the profile
// the edits apply to (its security as stored), null for a new one. Throws a usage error.
void ResolveProfileSecrets(SProfileEdits& edits, const CProfile* base);

// A WEP key as the security page completes it: 10 or 26 hexadecimal digits (key `index` 0..3, for
// the message); throws a usage error.
void CheckWepKey(int index, const std::string& digits);
// A WPA passphrase: 8 to 63 printable ASCII characters or 64 hexadecimal digits; throws a usage error.
void CheckPassphrase(const std::string& passphrase);
// The security a profile uses, by name: "WPA2-Personal", "WPA3-Personal", else the security type's.
std::string SecurityName(const CProfile& p);

// Where the adapter may work: its regulatory domain and its channel list, each where it was read.
// Without them the profile editor's lists of old apply.
struct SAdapterRegion {
    std::optional<uint32_t> domain;
    std::optional<std::vector<SAdapterChannel>> channels;
};
// Reads both from the adapter (call only where one answers).
SAdapterRegion ReadAdapterRegion();

// Validates the edits against the profile and writes them into it; throws a usage error (and leaves
// the profile as it was) when a value is refused. The name is checked for form only and not written:
// renaming (and refusing a name another profile bears) is the profile manager's. The channel must be
// one of the editor's list for the region; `isNew` makes a profile without a channel take the first
// one of its list, as the editor does.
void ApplyProfileEdits(const SProfileEdits& edits, CProfile& profile, const SAdapterRegion& region,
                       bool isNew);
// The name rules of the editor (1 to 19 characters) plus what a listing needs (no control characters)
// and the names the profile manager reserves; throws a usage error.
void CheckProfileName(const std::string& name);

// A profile for --json; keys only when `showKeys`.
// The lowercase code of a profile's security ("open", "wep", "wpa2", ..., as scan and status give it).
std::string SecurityCode(const CProfile& p);
json ProfileJson(const CProfile& profile, bool showKeys);
// A profile as label/value lines.
std::string ProfileText(const CProfile& profile, bool showKeys);

}  // namespace wavory::cli
