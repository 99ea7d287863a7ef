#include "profiles/EapProfile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"

namespace wavory {

namespace {

// Enough of a key file to see its PEM header lines.
constexpr std::size_t kKeyHeadBytes = 4096;

bool HasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string CheckText(const char* name, const std::string& text, std::size_t max) {
    if (text.size() > max) return StrFormat("\"%s\" is %zu bytes long; at most %zu", name, text.size(), max);
    if (HasControl(text)) return StrFormat("\"%s\" holds a control character", name);
    return {};
}

std::string CheckPath(const char* name, const std::string& path) {
    if (path.empty()) return {};
    if (std::string problem = CheckText(name, path, kMaxEapPathBytes); !problem.empty()) return problem;
    if (path.front() != '/') return StrFormat("\"%s\" is not an absolute path (it must begin with /)", name);
    return {};
}

// A server name: letters, digits, dots and hyphens, as in a certificate's DNS name.
bool IsServerName(const std::string& name) {
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-';
    });
}

bool TakesPassword(int method) {
    return method == KCOM_EAP_PEAP || method == KCOM_EAP_TTLS || method == KCOM_EAP_PWD;
}

}  // namespace

void CopyEapSettings(const CProfile& from, CProfile& to) {
    to.EapMethod = from.EapMethod;
    to.EapPhase2 = from.EapPhase2;
    to.EapIdentity = from.EapIdentity;
    to.EapAnonIdentity = from.EapAnonIdentity;
    to.EapCaCert = from.EapCaCert;
    to.EapSystemCa = from.EapSystemCa;
    to.EapDomain = from.EapDomain;
    to.EapNoCaCheck = from.EapNoCaCheck;
    to.EapClientCert = from.EapClientCert;
    to.EapPrivateKey = from.EapPrivateKey;
    to.EapPassword = from.EapPassword;
    to.EapKeyPassword = from.EapKeyPassword;
}

bool IsEnterpriseProfile(const CProfile& profile) {
    return kccl::IsEnterpriseMode(static_cast<uint32_t>(profile.WpaMode));
}

std::string CheckEapLimits(const CProfile& p) {
    if (!IsEnterpriseProfile(p)) return {};
    if (p.EapMethod < KCOM_EAP_PEAP || p.EapMethod > KCOM_EAP_PWD)
        return StrFormat(
            "\"EapMethod\" is %d; an enterprise profile needs 1 (PEAP), 2 (TTLS), 3 (TLS) or 4 (PWD)",
            p.EapMethod);
    if (!kccl::EapPhase2Fits(p.EapMethod, p.EapPhase2))
        return StrFormat("\"EapPhase2\" is %d, which %s does not take (%s)", p.EapPhase2,
                         kccl::EapMethodName(p.EapMethod),
                         p.EapMethod == KCOM_EAP_PEAP   ? "0, 1 MSCHAPv2 or 3 GTC"
                         : p.EapMethod == KCOM_EAP_TTLS ? "0, 1 MSCHAPv2, 2 PAP, 3 GTC or 4 CHAP"
                                                        : "0");
    if (p.EapIdentity.empty()) return "\"EapIdentity\" is empty; an enterprise profile needs an identity";
    for (const auto& [name, text] : {std::pair<const char*, const std::string&>{"EapIdentity", p.EapIdentity},
                                     {"EapAnonIdentity", p.EapAnonIdentity}}) {
        if (std::string problem = CheckText(name, text, kMaxEapIdentityBytes); !problem.empty())
            return problem;
    }
    if (p.EapDomain.size() > kMaxEapIdentityBytes || !IsServerName(p.EapDomain))
        return "\"EapDomain\" is not a server name (letters, digits, dots and hyphens; at most 253)";
    for (const auto& [name, path] : {std::pair<const char*, const std::string&>{"EapCaCert", p.EapCaCert},
                                     {"EapClientCert", p.EapClientCert},
                                     {"EapPrivateKey", p.EapPrivateKey}}) {
        if (std::string problem = CheckPath(name, path); !problem.empty()) return problem;
    }
    for (const auto& [name, text] : {std::pair<const char*, const std::string&>{"EapPassword", p.EapPassword},
                                     {"EapKeyPassword", p.EapKeyPassword}}) {
        if (std::string problem = CheckText(name, text, kMaxEapPasswordBytes); !problem.empty())
            return problem;
    }
    if (p.EapMethod == KCOM_EAP_TLS && (p.EapClientCert.empty() || p.EapPrivateKey.empty()))
        return "TLS needs a client certificate and its private key (\"EapClientCert\", \"EapPrivateKey\")";
    return {};
}

std::string EapJoinProblem(const CProfile& p) {
    if (!IsEnterpriseProfile(p)) return {};
    if (std::string problem = CheckEapLimits(p); !problem.empty()) return problem;
    if (!p.EapNoCaCheck && !EapRecordOf(p).ChecksServer()) return kServerCheckRisk;
    return {};
}

EEapSecret EapMissingSecret(const CProfile& p) {
    if (!IsEnterpriseProfile(p)) return EEapSecret::None;
    if (TakesPassword(p.EapMethod) && p.EapPassword.empty()) return EEapSecret::Password;
    if (p.EapMethod == KCOM_EAP_TLS && p.EapKeyPassword.empty() && PrivateKeyIsEncrypted(p.EapPrivateKey))
        return EEapSecret::KeyPassword;
    return EEapSecret::None;
}

bool PrivateKeyIsEncrypted(const std::string& path) {
    if (path.empty()) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string head(kKeyHeadBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    // PKCS#8 ("BEGIN ENCRYPTED PRIVATE KEY") and the older "Proc-Type: 4,ENCRYPTED" header.
    return head.find("ENCRYPTED") != std::string::npos;
}

kccl::SEapRecord EapRecordOf(const CProfile& p) {
    kccl::SEapRecord record;
    if (!IsEnterpriseProfile(p)) return record;
    record.method = static_cast<uint8_t>(p.EapMethod);
    record.phase2 = static_cast<uint8_t>(kccl::EapPhase2Fits(p.EapMethod, p.EapPhase2) ? p.EapPhase2 : 0);
    if (p.EapSystemCa) record.flags |= KCOM_EAP_FLAG_SYSTEM_CA;
    if (p.EapNoCaCheck) record.flags |= KCOM_EAP_FLAG_NO_CA_CHECK;
    record.Get(KCOM_EAP_IDENTITY) = p.EapIdentity;
    record.Get(KCOM_EAP_ANONYMOUS_IDENTITY) = p.EapAnonIdentity;
    record.Get(KCOM_EAP_CA_CERT) = p.EapCaCert;
    record.Get(KCOM_EAP_DOMAIN) = p.EapDomain;
    if (p.EapMethod == KCOM_EAP_TLS) {
        record.Get(KCOM_EAP_CLIENT_CERT) = p.EapClientCert;
        record.Get(KCOM_EAP_PRIVATE_KEY) = p.EapPrivateKey;
        record.Get(KCOM_EAP_KEY_PASSWORD) = p.EapKeyPassword;
    } else {
        record.Get(KCOM_EAP_PASSWORD) = p.EapPassword;
    }
    return record;
}

}  // namespace wavory
