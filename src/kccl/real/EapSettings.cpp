#include "EapSettings.h"

#include "WpaCtrl.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

// NMSettingSecretFlags NONE: NetworkManager keeps the secret itself; no agent owns or asks for it.
constexpr uint32_t kSecretOwnedByNm = 0;
constexpr uint32_t kSecretNotRequired = 4;  // NM_SETTING_SECRET_FLAG_NOT_REQUIRED
// NetworkManager's pmf setting: required.
constexpr uint32_t kNmPmfRequired = 3;

bool UsableRecord(const SEapRecord& eap) {
    if (eap.method < KCOM_EAP_PEAP || eap.method > KCOM_EAP_PWD) return false;
    if (eap.Get(KCOM_EAP_IDENTITY).empty() || !EapPhase2Fits(eap.method, eap.phase2)) return false;
    if (eap.method == KCOM_EAP_TLS &&
        (eap.Get(KCOM_EAP_CLIENT_CERT).empty() || eap.Get(KCOM_EAP_PRIVATE_KEY).empty()))
        return false;
    return true;
}

// The supplicant's phase2 value: auth= for the plain inner methods, autheap= for GTC inside TTLS.
std::string WpaPhase2(int method, int phase2) {
    const int inner = EapEffectivePhase2(method, phase2);
    switch (inner) {
        case KCOM_PHASE2_MSCHAPV2:
            return "auth=MSCHAPV2";
        case KCOM_PHASE2_PAP:
            return "auth=PAP";
        case KCOM_PHASE2_CHAP:
            return "auth=CHAP";
        case KCOM_PHASE2_GTC:
            return method == KCOM_EAP_TTLS ? "autheap=GTC" : "auth=GTC";
        default:
            return {};
    }
}

std::string NmPhase2(int phase2) {
    switch (phase2) {
        case KCOM_PHASE2_MSCHAPV2:
            return "mschapv2";
        case KCOM_PHASE2_PAP:
            return "pap";
        case KCOM_PHASE2_CHAP:
            return "chap";
        case KCOM_PHASE2_GTC:
            return "gtc";
        default:
            return {};
    }
}

// NetworkManager's form of a certificate or key file: the path as a "file://" URI with its
// terminating zero byte, the path itself unescaped.
std::vector<uint8_t> NmFile(const std::string& path) {
    const std::string uri = "file://" + path;
    std::vector<uint8_t> bytes(uri.begin(), uri.end());
    bytes.push_back(0);
    return bytes;
}

// The quoted value of key='value' in an event line, empty when absent.
std::string Field(const std::string& line, const std::string& key) {
    const size_t at = line.find(key + "='");
    if (at == std::string::npos) return {};
    const size_t begin = at + key.size() + 2;
    const size_t end = line.find('\'', begin);
    return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string Word(const std::string& line, const std::string& key) {
    const size_t at = line.find(key + "=");
    if (at == std::string::npos) return {};
    const size_t begin = at + key.size() + 1;
    return line.substr(begin, line.find(' ', begin) - begin);
}

}  // namespace

std::vector<std::string> WpaEapSettings(const SEapRecord& eap, bool wpa3) {
    if (!UsableRecord(eap)) return {};
    std::vector<std::string> s;
    s.push_back(wpa3 ? "key_mgmt WPA-EAP-SHA256" : "key_mgmt WPA-EAP WPA-EAP-SHA256");
    if (wpa3) s.push_back("ieee80211w 2");  // WPA3 requires protected management frames
    s.push_back(std::string("eap ") + EapMethodName(eap.method));
    s.push_back("identity " + HexValue(eap.Get(KCOM_EAP_IDENTITY)));
    if (!eap.Get(KCOM_EAP_ANONYMOUS_IDENTITY).empty() && eap.method != KCOM_EAP_TLS)
        s.push_back("anonymous_identity " + HexValue(eap.Get(KCOM_EAP_ANONYMOUS_IDENTITY)));
    const std::string phase2 = WpaPhase2(eap.method, eap.phase2);
    if (!phase2.empty()) s.push_back("phase2 " + QuotedValue(phase2));
    // Joining without a check is allowed, never a reason to drop a check that was given.
    if (!eap.Get(KCOM_EAP_CA_CERT).empty())
        s.push_back("ca_cert " + HexValue(eap.Get(KCOM_EAP_CA_CERT)));
    else if (eap.flags & KCOM_EAP_FLAG_SYSTEM_CA)
        s.push_back("ca_path " + QuotedValue(kSystemCaPath));
    if (!eap.Get(KCOM_EAP_DOMAIN).empty())
        s.push_back("domain_suffix_match " + HexValue(eap.Get(KCOM_EAP_DOMAIN)));
    if (eap.method == KCOM_EAP_TLS) {
        s.push_back("client_cert " + HexValue(eap.Get(KCOM_EAP_CLIENT_CERT)));
        s.push_back("private_key " + HexValue(eap.Get(KCOM_EAP_PRIVATE_KEY)));
        if (!eap.Get(KCOM_EAP_KEY_PASSWORD).empty())
            s.push_back("private_key_passwd " + HexValue(eap.Get(KCOM_EAP_KEY_PASSWORD)));
    } else if (!eap.Get(KCOM_EAP_PASSWORD).empty()) {
        s.push_back("password " + HexValue(eap.Get(KCOM_EAP_PASSWORD)));
    }
    return s;
}

bool AddNmEapSettings(NmSettings& settings, const SEapRecord& eap, bool wpa3) {
    if (!UsableRecord(eap)) return false;
    auto& sec = settings["802-11-wireless-security"];
    sec["key-mgmt"] = std::string("wpa-eap");
    if (wpa3) sec["pmf"] = kNmPmfRequired;
    auto& x = settings["802-1x"];
    std::string method = EapMethodName(eap.method);
    for (char& c : method) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    x["eap"] = std::vector<std::string>{method};
    x["identity"] = eap.Get(KCOM_EAP_IDENTITY);
    if (!eap.Get(KCOM_EAP_ANONYMOUS_IDENTITY).empty() && eap.method != KCOM_EAP_TLS)
        x["anonymous-identity"] = eap.Get(KCOM_EAP_ANONYMOUS_IDENTITY);
    const int inner = EapEffectivePhase2(eap.method, eap.phase2);
    if (inner != KCOM_PHASE2_NONE) {
        // TTLS runs GTC as an EAP method inside the tunnel; the others as plain inner methods.
        x[eap.method == KCOM_EAP_TTLS && inner == KCOM_PHASE2_GTC ? "phase2-autheap" : "phase2-auth"] =
            NmPhase2(inner);
    }
    if (!eap.Get(KCOM_EAP_CA_CERT).empty())
        x["ca-cert"] = NmFile(eap.Get(KCOM_EAP_CA_CERT));
    else if (eap.flags & KCOM_EAP_FLAG_SYSTEM_CA)
        x["system-ca-certs"] = true;
    if (!eap.Get(KCOM_EAP_DOMAIN).empty()) x["domain-suffix-match"] = eap.Get(KCOM_EAP_DOMAIN);
    if (eap.method == KCOM_EAP_TLS) {
        x["client-cert"] = NmFile(eap.Get(KCOM_EAP_CLIENT_CERT));
        x["private-key"] = NmFile(eap.Get(KCOM_EAP_PRIVATE_KEY));
        // A key without a password has none to give: an empty one makes the supplicant refuse the
        // whole network, and without "not required" NetworkManager asks the desktop for one.
        if (!eap.Get(KCOM_EAP_KEY_PASSWORD).empty()) {
            x["private-key-password"] = eap.Get(KCOM_EAP_KEY_PASSWORD);
            x["private-key-password-flags"] = kSecretOwnedByNm;
        } else {
            x["private-key-password-flags"] = kSecretNotRequired;
        }
    } else {
        x["password"] = eap.Get(KCOM_EAP_PASSWORD);
        x["password-flags"] = kSecretOwnedByNm;
    }
    return true;
}

bool CWpaEapWatch::Feed(const std::string& line) {
    if (line.find("CTRL-EVENT-EAP-PEER-CERT") != std::string::npos && Word(line, "depth") == "0") {
        // The server's own certificate; the supplicant tells it twice, with its hash and then (to
        // those who ask for it) with its whole content.
        if (const std::string subject = Field(line, "subject"); !subject.empty()) m_Subject = subject;
        if (const std::string hash = Word(line, "hash"); !hash.empty()) m_Hash = hash;
        return false;
    }
    if (line.find("CTRL-EVENT-EAP-METHOD") != std::string::npos &&
        line.find("selected") != std::string::npos) {
        m_bMethodAgreed = true;
        return false;
    }
    if (line.find("CTRL-EVENT-EAP-TLS-CERT-ERROR") != std::string::npos) {
        const std::string err = Field(line, "err");
        const std::string subject = Field(line, "subject");
        // Reason 8 and the "Domain … mismatch" texts: the certificate is trusted, its name is not ours.
        if (err.find("omain") != std::string::npos || err.find("mismatch") != std::string::npos) {
            m_nCause = KCOM_CAUSE_SERVER_NAME;
            m_Detail =
                "the server's certificate names " + (subject.empty() ? m_Subject : subject) + ": " + err;
        } else {
            // The server's certificate is the one the user can compare; the error may be about
            // the CA above it.
            m_nCause = KCOM_CAUSE_CERT_UNTRUSTED;
            const std::string server = m_Subject.empty() ? subject : m_Subject;
            m_Detail =
                "subject " + server + ", SHA-256 " + (m_Hash.empty() ? "not told" : m_Hash) + ": " + err;
            if (!subject.empty() && subject != server) m_Detail += " (" + subject + ")";
        }
        return true;
    }
    if (line.find("CTRL-EVENT-EAP-FAILURE") != std::string::npos) {
        // Refused before any method was agreed: the server does not run ours.
        m_nCause = m_bMethodAgreed ? KCOM_CAUSE_WRONG_KEY : KCOM_CAUSE_METHOD_REFUSED;
        m_Detail = m_bMethodAgreed ? "the server refused the identity, password or certificate"
                                   : "the server did not agree to the 802.1X method";
        return true;
    }
    return false;
}

}  // namespace wavory::kccl
