// The 802.1X options of connect --ssid and profiles new|edit: the method, the identities, how the
// server is checked, the TLS files, and the two secrets (from files or the terminal, never the
// command line itself).
#pragma once

#include <optional>
#include <string>

#include "cli/CliSupport.h"

namespace CLI {
class App;
}

namespace wavory {
class CProfile;
}

namespace wavory::cli {

struct SEapArgs {
    std::optional<std::string> method;  // "peap" | "ttls" | "tls" | "pwd"
    std::optional<std::string> phase2;  // "mschapv2" | "pap" | "gtc" | "chap"
    std::optional<std::string> identity;
    std::optional<std::string> anonymousIdentity;
    std::optional<std::string> caCert;
    bool systemCa = false;
    std::optional<std::string> domain;
    std::optional<std::string> clientCert;
    std::optional<std::string> privateKey;
    std::optional<std::string> passwordFile;
    std::optional<std::string> keyPasswordFile;
    std::optional<bool> caCheck;  // false: --no-ca-check, true: --ca-check
    // The secrets, once ReadEapSecretFiles has read their files.
    std::optional<std::string> password;
    std::optional<std::string> keyPassword;
    bool noStorePassword = false;
    // Any 802.1X option given.
    bool Any() const;
};

// Adds the options; `connect` adds --no-store-password as well (profiles keep what they are given).
void AddEapOptions(CLI::App& command, SEapArgs& args, bool connect);

// Reads the secrets named by --password-file and --key-password-file (once: standard input can be
// read only once); throws a usage error.
void ReadEapSecretFiles(SEapArgs& args);

// Writes the non-secret options into the profile (making it WPA2-Enterprise where it is not yet
// enterprise) and reads the secrets given as files; throws a usage error and leaves the profile
// untouched when a value is refused.
void ApplyEapArgs(const SEapArgs& args, CProfile& profile);

// For a join: refuses settings that would not check the server (unless --no-ca-check), and asks on
// the terminal for a secret the profile still lacks, naming the network and the identity. Throws a
// usage error when a secret is missing and no terminal can ask for it.
void CompleteEapForJoin(CProfile& profile, const std::string& network);

// A profile's 802.1X values for --json (secrets only with `showKeys`) and as label/value lines.
void PutEapJson(json& j, const CProfile& profile, bool showKeys);
void AddEapFields(std::vector<std::pair<std::string, std::string>>& fields, const CProfile& profile,
                  bool showKeys);

}  // namespace wavory::cli
