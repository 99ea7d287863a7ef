#include "cli/EapOptions.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>

#include "cli/Secrets.h"
#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"

namespace wavory::cli {

namespace {

int MethodOf(const std::string& name) {
    return name == "peap"   ? KCOM_EAP_PEAP
           : name == "ttls" ? KCOM_EAP_TTLS
           : name == "tls"  ? KCOM_EAP_TLS
           : name == "pwd"  ? KCOM_EAP_PWD
                            : KCOM_EAP_NONE;
}

int Phase2Of(const std::string& name) {
    return name == "mschapv2" ? KCOM_PHASE2_MSCHAPV2
           : name == "pap"    ? KCOM_PHASE2_PAP
           : name == "gtc"    ? KCOM_PHASE2_GTC
           : name == "chap"   ? KCOM_PHASE2_CHAP
                              : KCOM_PHASE2_NONE;
}

// A file the join will need: it must be readable now; stored as an absolute path, since the
// supplicant does not run in this folder.
std::string ReadablePath(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) UsageError(std::string("cannot read the ") + what + " \"" + Printable(path) + "\"");
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string SecretPrompt(const char* what, const CProfile& p, const std::string& network) {
    return std::string(what) + " for " + Printable(p.EapIdentity) + " on \"" + Printable(network) + "\": ";
}

}  // namespace

bool SEapArgs::Any() const {
    return method || phase2 || identity || anonymousIdentity || caCert || systemCa || domain || clientCert ||
           privateKey || passwordFile || keyPasswordFile || caCheck;
}

void AddEapOptions(CLI::App& command, SEapArgs& args, bool connect) {
    command
        .add_option_function<std::string>(
            "--eap", [&args](const std::string& v) { args.method = v; },
            "802.1X method of an enterprise network: peap, ttls, tls (client certificate) or pwd")
        ->check(CLI::IsMember({"peap", "ttls", "tls", "pwd"}));
    command
        .add_option_function<std::string>(
            "--phase2", [&args](const std::string& v) { args.phase2 = v; },
            "Inner method: mschapv2 (the default) or gtc for PEAP; mschapv2, pap, chap or gtc for TTLS")
        ->check(CLI::IsMember({"mschapv2", "pap", "gtc", "chap"}));
    command.add_option_function<std::string>(
        "--identity", [&args](const std::string& v) { args.identity = v; }, "802.1X identity (user name)");
    command.add_option_function<std::string>(
        "--anonymous-identity", [&args](const std::string& v) { args.anonymousIdentity = v; },
        "Outer identity PEAP and TTLS show before the tunnel is up (e.g. anonymous@example.org)");
    CLI::Option* ca = command.add_option_function<std::string>(
        "--ca-cert", [&args](const std::string& v) { args.caCert = v; },
        "CA certificate FILE that the network's server must be signed by");
    command.add_flag("--system-ca", args.systemCa, "Check the server against the system's CA store")
        ->excludes(ca);
    command.add_option_function<std::string>(
        "--domain", [&args](const std::string& v) { args.domain = v; },
        "Server name to match: the server's certificate must name SUFFIX or a name ending in .SUFFIX");
    command.add_option_function<std::string>(
        "--client-cert", [&args](const std::string& v) { args.clientCert = v; },
        "Client certificate FILE (TLS)");
    command.add_option_function<std::string>(
        "--private-key", [&args](const std::string& v) { args.privateKey = v; },
        "The client certificate's private key FILE (TLS)");
    command.add_option_function<std::string>(
        "--password-file", [&args](const std::string& v) { args.passwordFile = v; },
        "Read the 802.1X password from FILE (\"-\": standard input); without it, a join asks on the "
        "terminal");
    command.add_option_function<std::string>(
        "--key-password-file", [&args](const std::string& v) { args.keyPasswordFile = v; },
        "Read the password of an encrypted private key from FILE (\"-\": standard input)");
    CLI::Option* noCaCheck = command.add_flag_callback(
        "--no-ca-check", [&args] { args.caCheck = false; },
        "Join without checking the server (no CA certificate, no server name): anyone nearby can pose "
        "as the network and collect the password. A CA or server name given is checked all the same");
    command
        .add_flag_callback(
            "--ca-check", [&args] { args.caCheck = true; }, "Check the server again")
        ->excludes(noCaCheck);
    if (connect)
        command.add_flag("--no-store-password", args.noStorePassword,
                         "Do not keep the 802.1X password in the profile the join saves; it is asked for "
                         "again next time");
}

void ReadEapSecretFiles(SEapArgs& args) {
    if (args.passwordFile && args.keyPasswordFile && *args.passwordFile == "-" &&
        *args.keyPasswordFile == "-")
        UsageError(
            "standard input holds one secret: give --password-file or --key-password-file as \"-\", not "
            "both");
    if (args.passwordFile) args.password = ReadSecretFile(*args.passwordFile, "password");
    if (args.keyPasswordFile) args.keyPassword = ReadSecretFile(*args.keyPasswordFile, "key password");
}

void ApplyEapArgs(const SEapArgs& args, CProfile& profile) {
    CProfile p(profile);
    if (args.method && !IsEnterpriseProfile(p)) {
        p.WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
        p.SecType = 0;
        p.WpaPassphrase.clear();
    }
    if (args.Any() && !IsEnterpriseProfile(p))
        UsageError("802.1X options need an enterprise network: give --eap (or --security wpa2-enterprise)");
    if (args.method) p.EapMethod = MethodOf(*args.method);
    if (args.phase2) p.EapPhase2 = Phase2Of(*args.phase2);
    if (args.method && !args.phase2 && !kccl::EapPhase2Fits(p.EapMethod, p.EapPhase2)) p.EapPhase2 = 0;
    if (!kccl::EapPhase2Fits(p.EapMethod, p.EapPhase2))
        UsageError(
            StrFormat("%s does not take --phase2 %s; PEAP takes mschapv2 or gtc, TTLS also pap and chap",
                      *kccl::EapMethodName(p.EapMethod) ? kccl::EapMethodName(p.EapMethod) : "this method",
                      args.phase2.value_or(kccl::EapPhase2Name(p.EapPhase2)).c_str()));
    if (args.identity) p.EapIdentity = *args.identity;
    if (args.anonymousIdentity) p.EapAnonIdentity = *args.anonymousIdentity;
    if (args.caCert) {
        p.EapCaCert = ReadablePath(*args.caCert, "CA certificate");
        p.EapSystemCa = false;
    }
    if (args.systemCa) {
        p.EapSystemCa = true;
        p.EapCaCert.clear();
    }
    if (args.domain) p.EapDomain = *args.domain;
    if (args.clientCert) p.EapClientCert = ReadablePath(*args.clientCert, "client certificate");
    if (args.privateKey) p.EapPrivateKey = ReadablePath(*args.privateKey, "private key");
    if (args.caCheck)
        p.EapNoCaCheck = !*args.caCheck;
    else if (args.caCert || args.systemCa || args.domain)
        p.EapNoCaCheck = false;  // a check given now replaces the earlier choice to go without one
    if (args.password) p.EapPassword = *args.password;
    if (args.keyPassword) p.EapKeyPassword = *args.keyPassword;
    if (IsEnterpriseProfile(p)) {
        if (p.EapMethod == KCOM_EAP_NONE)
            UsageError("an enterprise network needs its 802.1X method: --eap peap, ttls, tls or pwd");
        if (p.EapIdentity.empty()) UsageError("an enterprise network needs an identity: --identity NAME");
        if (p.EapMethod == KCOM_EAP_TLS && (p.EapClientCert.empty() || p.EapPrivateKey.empty()))
            UsageError("TLS needs a client certificate and its key: --client-cert FILE --private-key FILE");
        if (std::string problem = CheckEapLimits(p); !problem.empty())
            UsageError("invalid 802.1X setting: " + problem);
    }
    profile.WpaMode = p.WpaMode;
    profile.SecType = p.SecType;
    profile.WpaPassphrase = p.WpaPassphrase;
    CopyEapSettings(p, profile);
}

void CompleteEapForJoin(CProfile& p, const std::string& network) {
    if (!IsEnterpriseProfile(p)) return;
    if (p.EapMethod == KCOM_EAP_NONE || p.EapIdentity.empty())
        UsageError("\"" + Printable(network) +
                   "\" is an enterprise network (802.1X): give --eap peap|ttls|tls and --identity NAME");
    if (std::string problem = EapJoinProblem(p); !problem.empty()) {
        if (problem == kServerCheckRisk)
            UsageError(std::string(kServerCheckRisk) +
                       " (--ca-cert FILE, --system-ca, --domain SUFFIX, or --no-ca-check)");
        UsageError("invalid 802.1X setting: " + problem);
    }
    for (EEapSecret missing = EapMissingSecret(p); missing != EEapSecret::None;
         missing = EapMissingSecret(p)) {
        const bool password = missing == EEapSecret::Password;
        const char* what = password ? "Password" : "Private key password";
        if (!CanPrompt())
            UsageError(std::string(password ? "the 802.1X password" : "the private key's password") +
                       " is missing: give " +
                       (password ? "--password-file FILE" : "--key-password-file FILE") +
                       " (\"-\": standard input)");
        auto typed = PromptSecret(SecretPrompt(what, p, network));
        if (!typed || typed->empty()) UsageError(std::string(what) + " not given");
        (password ? p.EapPassword : p.EapKeyPassword) = *typed;
    }
}

void PutEapJson(json& j, const CProfile& p, bool showKeys) {
    if (!IsEnterpriseProfile(p)) return;
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    };
    json eap;
    eap["method"] =
        *kccl::EapMethodName(p.EapMethod) ? json(lower(kccl::EapMethodName(p.EapMethod))) : json(nullptr);
    eap["phase2"] =
        *kccl::EapPhase2Name(p.EapPhase2) ? json(lower(kccl::EapPhase2Name(p.EapPhase2))) : json(nullptr);
    eap["identity"] = Utf8Lossy(p.EapIdentity);
    eap["anonymous_identity"] = Utf8Lossy(p.EapAnonIdentity);
    eap["ca_cert"] = p.EapCaCert.empty() ? json(nullptr) : json(Utf8Lossy(p.EapCaCert));
    eap["system_ca"] = p.EapSystemCa;
    eap["domain"] = p.EapDomain.empty() ? json(nullptr) : json(p.EapDomain);
    eap["ca_check"] = !p.EapNoCaCheck;
    eap["client_cert"] = p.EapClientCert.empty() ? json(nullptr) : json(Utf8Lossy(p.EapClientCert));
    eap["private_key"] = p.EapPrivateKey.empty() ? json(nullptr) : json(Utf8Lossy(p.EapPrivateKey));
    eap["password_set"] = !p.EapPassword.empty();
    eap["key_password_set"] = !p.EapKeyPassword.empty();
    if (showKeys) {
        eap["password"] = Utf8Lossy(p.EapPassword);
        eap["key_password"] = Utf8Lossy(p.EapKeyPassword);
    }
    j["eap"] = eap;
}

void AddEapFields(std::vector<std::pair<std::string, std::string>>& f, const CProfile& p, bool showKeys) {
    if (!IsEnterpriseProfile(p)) return;
    auto secret = [showKeys](const std::string& s) {
        return s.empty()  ? std::string("none (asked for when joining)")
               : showKeys ? Printable(s)
                          : std::string("set");
    };
    f.emplace_back("802.1X Method:", std::string(kccl::EapMethodName(p.EapMethod)) +
                                         (*kccl::EapPhase2Name(p.EapPhase2)
                                              ? std::string(" / ") + kccl::EapPhase2Name(p.EapPhase2)
                                              : std::string()));
    f.emplace_back("Identity:", Printable(p.EapIdentity));
    if (!p.EapAnonIdentity.empty()) f.emplace_back("Anonymous Identity:", Printable(p.EapAnonIdentity));
    f.emplace_back("CA Certificate:", p.EapSystemCa         ? std::string("the system's CA store")
                                      : p.EapCaCert.empty() ? std::string("none")
                                                            : Printable(p.EapCaCert));
    f.emplace_back("Server Name:", p.EapDomain.empty() ? std::string("any") : Printable(p.EapDomain));
    if (p.EapNoCaCheck) f.emplace_back("Server Check:", "off (chosen explicitly)");
    if (p.EapMethod == KCOM_EAP_TLS) {
        f.emplace_back("Client Certificate:", Printable(p.EapClientCert));
        f.emplace_back("Private Key:", Printable(p.EapPrivateKey));
        f.emplace_back("Key Password:", secret(p.EapKeyPassword));
    } else {
        f.emplace_back("Password:", secret(p.EapPassword));
    }
}

}  // namespace wavory::cli
