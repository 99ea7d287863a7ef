#include "SimEap.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "SimScenario.h"
#include "kccl_oid.h"
#include "radio/Eap.h"

namespace wavory::kccl {

namespace {

constexpr std::size_t kMaxFileBytes = 1 << 20;  // larger than any certificate or key

void CopyText(char* out, std::size_t size, const std::string& text) {
    std::memset(out, 0, size);
    std::memcpy(out, text.data(), std::min(text.size(), size - 1));
}

std::string HexOf(const uint8_t* bytes, std::size_t len) {
    std::string out;
    char pair[3];
    for (std::size_t i = 0; i < len; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        out += pair;
    }
    return out;
}

bool ParseSha(const std::string& text, uint8_t out[32]) {
    if (text.size() != 64) return false;
    for (std::size_t i = 0; i < 32; ++i) {
        unsigned v = 0;
        if (std::sscanf(text.c_str() + 2 * i, "%2x", &v) != 1) return false;
        out[i] = static_cast<uint8_t>(v);
    }
    return HexOf(out, 32) == [&] {
        std::string lower = text;
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lower;
    }();
}

// The server name matches the suffix: the same name, or one that ends in "." and the suffix.
bool NameMatches(const std::string& name, const std::string& suffix) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    };
    const std::string n = lower(name), s = lower(suffix);
    if (n == s) return true;
    return n.size() > s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0 &&
           n[n.size() - s.size() - 1] == '.';
}

std::string Text(const SimEapSettings& eap, int which) { return eap.text[which]; }

}  // namespace

bool Sha256OfFile(const std::string& path, uint8_t out[32]) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes(kMaxFileBytes + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (n == 0 || n > kMaxFileBytes) return false;
    Sha256(bytes.data(), n, out);
    return true;
}

uint32_t SetEapSettings(SimEapSettings& eap, const uint8_t* payload) {
    SEapRecord record;
    if (!DecodeEapRecord(payload, KCOM_PAYLOAD_SIZE, record)) return kStatusInvalidData;
    if (record.method > KCOM_EAP_PWD || !EapPhase2Fits(record.method, record.phase2))
        return kStatusInvalidData;
    eap = SimEapSettings{};
    eap.method = record.method;
    eap.phase2 = record.phase2;
    eap.flags = static_cast<uint16_t>(record.flags & (KCOM_EAP_FLAG_SYSTEM_CA | KCOM_EAP_FLAG_NO_CA_CHECK));
    for (int i = 0; i < KCOM_EAP_STRING_COUNT; ++i) CopyText(eap.text[i], sizeof eap.text[i], record.Get(i));
    // The files are read now, as a supplicant reads them when it is configured.
    if (!record.Get(KCOM_EAP_CA_CERT).empty())
        eap.caRead = Sha256OfFile(record.Get(KCOM_EAP_CA_CERT), eap.caSha256) ? 1 : 0;
    if (!record.Get(KCOM_EAP_CLIENT_CERT).empty())
        eap.clientRead = Sha256OfFile(record.Get(KCOM_EAP_CLIENT_CERT), eap.clientSha256) ? 1 : 0;
    if (!record.Get(KCOM_EAP_PRIVATE_KEY).empty()) {
        uint8_t ignored[32];
        eap.keyRead = Sha256OfFile(record.Get(KCOM_EAP_PRIVATE_KEY), ignored) ? 1 : 0;
    }
    return kStatusSuccess;
}

uint32_t QueryEapSettings(const SimEapSettings& eap, uint8_t* payload) {
    SEapRecord record;
    record.method = eap.method;
    record.phase2 = eap.phase2;
    record.flags = eap.flags;
    for (int i = 0; i < KCOM_EAP_STRING_COUNT; ++i) record.Get(i) = eap.text[i];
    if (!record.Get(KCOM_EAP_PASSWORD).empty()) record.flags |= KCOM_EAP_FLAG_HAS_PASSWORD;
    if (!record.Get(KCOM_EAP_KEY_PASSWORD).empty()) record.flags |= KCOM_EAP_FLAG_HAS_KEY_PASSWORD;
    record.Get(KCOM_EAP_PASSWORD).clear();
    record.Get(KCOM_EAP_KEY_PASSWORD).clear();
    std::memset(payload, 0, KCOM_PAYLOAD_SIZE);
    return EncodeEapRecord(record, payload, KCOM_PAYLOAD_SIZE) ? kStatusSuccess : kStatusInvalidData;
}

uint32_t EapStartProblem(const SimEapSettings& eap, std::string& detail) {
    if (eap.method == KCOM_EAP_NONE || Text(eap, KCOM_EAP_IDENTITY).empty()) {
        detail = "an enterprise network (WPA-Enterprise, 802.1X)";
        return KCOM_CAUSE_NEEDS_8021X;
    }
    const bool checks = (eap.flags & KCOM_EAP_FLAG_SYSTEM_CA) || eap.text[KCOM_EAP_CA_CERT][0] ||
                        eap.text[KCOM_EAP_DOMAIN][0];
    if (!checks && !(eap.flags & KCOM_EAP_FLAG_NO_CA_CHECK)) {
        detail = "no CA certificate and no server name: the server cannot be checked";
        return KCOM_CAUSE_CERT_UNTRUSTED;
    }
    if (eap.text[KCOM_EAP_CA_CERT][0] && !eap.caRead) {
        detail = "the CA certificate " + Text(eap, KCOM_EAP_CA_CERT) + " cannot be read";
        return KCOM_CAUSE_CERT_UNTRUSTED;
    }
    if (eap.method == KCOM_EAP_TLS && (!eap.clientRead || !eap.keyRead)) {
        detail = "the client certificate or its private key cannot be read";
        return KCOM_CAUSE_WRONG_KEY;
    }
    return KCOM_CAUSE_NONE;
}

SEapVerdict CheckEap(const SimEapServer& server, const SimEapSettings& eap) {
    SEapVerdict v;
    if (!(server.methods & (1u << eap.method))) {
        std::string offered;
        for (int m = KCOM_EAP_PEAP; m <= KCOM_EAP_PWD; ++m)
            if (server.methods & (1u << m))
                offered += std::string(offered.empty() ? "" : ", ") + EapMethodName(m);
        v.cause = KCOM_CAUSE_METHOD_REFUSED;
        v.detail = std::string(EapMethodName(eap.method)) + " refused; the server offers " +
                   (offered.empty() ? std::string("none") : offered);
        return v;
    }
    // A join allowed without a check still checks the CA or server name it was given.
    const bool caGiven = eap.text[KCOM_EAP_CA_CERT][0] != 0;
    const bool systemGiven = (eap.flags & KCOM_EAP_FLAG_SYSTEM_CA) != 0;
    const bool trusted = (caGiven && server.caSet && std::memcmp(eap.caSha256, server.caSha256, 32) == 0) ||
                         (systemGiven && server.systemCa);
    if ((caGiven || systemGiven) && !trusted) {
        v.cause = KCOM_CAUSE_CERT_UNTRUSTED;
        v.detail = std::string("subject ") + server.subject + ", fingerprint " + server.fingerprint;
        return v;
    }
    const std::string domain = Text(eap, KCOM_EAP_DOMAIN);
    if (!domain.empty() && !NameMatches(server.serverName, domain)) {
        v.cause = KCOM_CAUSE_SERVER_NAME;
        v.detail = std::string("the server is ") + server.serverName + ", not in " + domain;
        return v;
    }
    const bool identityOk = Text(eap, KCOM_EAP_IDENTITY) == server.identity;
    bool credentialOk = false;
    if (eap.method == KCOM_EAP_TLS)
        credentialOk = server.clientSet && std::memcmp(eap.clientSha256, server.clientSha256, 32) == 0;
    else
        credentialOk = Text(eap, KCOM_EAP_PASSWORD) == server.password && server.password[0] != 0;
    if (!identityOk || !credentialOk) {
        v.cause = KCOM_CAUSE_WRONG_KEY;
        v.detail = eap.method == KCOM_EAP_TLS ? "the server did not accept the client certificate"
                                              : "the server did not accept the identity or password";
    }
    return v;
}

void DefaultEapServer(SimEapServer& out) {
    out = SimEapServer{};
    out.methods = (1u << KCOM_EAP_PEAP) | (1u << KCOM_EAP_TTLS);
    CopyText(out.identity, sizeof out.identity, "alice");
    CopyText(out.password, sizeof out.password, "wonderland-2026");
    out.systemCa = 1;
    CopyText(out.serverName, sizeof out.serverName, "radius.example.org");
    CopyText(out.subject, sizeof out.subject, "CN=radius.example.org");
    CopyText(out.fingerprint, sizeof out.fingerprint, "SHA256:5E:0F:9A:3C:77:21:B4:D8");
}

void ParseEapServer(const nlohmann::json& j, const std::string& where, SimEapServer& out) {
    DefaultEapServer(out);
    auto fail = [&](const std::string& field, const std::string& what) {
        throw CSimScenarioError(where + "." + field + ": " + what);
    };
    if (!j.is_object()) fail("eap", "expected an object");
    static const char* const kKeys[] = {"methods",     "identity",  "password",  "server_name",  "subject",
                                        "fingerprint", "system_ca", "ca_sha256", "client_sha256"};
    for (const auto& item : j.items())
        if (std::find(std::begin(kKeys), std::end(kKeys), item.key()) == std::end(kKeys))
            fail("eap", "unknown key \"" + item.key() + "\"");
    auto text = [&](const char* name, char* dest, std::size_t size) {
        if (!j.contains(name)) return;
        if (!j[name].is_string()) fail(std::string("eap.") + name, "expected a string");
        const std::string value = j[name].get<std::string>();
        if (value.size() >= size) fail(std::string("eap.") + name, "too long");
        CopyText(dest, size, value);
    };
    if (j.contains("methods")) {
        if (!j["methods"].is_array()) fail("eap.methods", "expected a list such as [\"peap\", \"ttls\"]");
        out.methods = 0;
        for (const auto& m : j["methods"]) {
            const std::string name = m.is_string() ? m.get<std::string>() : "";
            const int method = name == "peap"   ? KCOM_EAP_PEAP
                               : name == "ttls" ? KCOM_EAP_TTLS
                               : name == "tls"  ? KCOM_EAP_TLS
                               : name == "pwd"  ? KCOM_EAP_PWD
                                                : 0;
            if (!method)
                fail("eap.methods", "expected \"peap\", \"ttls\", \"tls\" or \"pwd\", got \"" + name + "\"");
            out.methods = static_cast<uint8_t>(out.methods | (1u << method));
        }
    }
    text("identity", out.identity, sizeof out.identity);
    text("password", out.password, sizeof out.password);
    text("server_name", out.serverName, sizeof out.serverName);
    text("subject", out.subject, sizeof out.subject);
    text("fingerprint", out.fingerprint, sizeof out.fingerprint);
    if (j.contains("system_ca")) {
        if (!j["system_ca"].is_boolean()) fail("eap.system_ca", "expected true or false");
        out.systemCa = j["system_ca"].get<bool>() ? 1 : 0;
    }
    for (const auto& [name, set, sha] :
         {std::tuple<const char*, uint8_t*, uint8_t*>{"ca_sha256", &out.caSet, out.caSha256},
          {"client_sha256", &out.clientSet, out.clientSha256}}) {
        if (!j.contains(name)) continue;
        const std::string hex = j[name].is_string() ? j[name].get<std::string>() : "";
        if (!ParseSha(hex, sha))
            fail(std::string("eap.") + name, "expected 64 hexadecimal digits (the file's SHA-256)");
        *set = 1;
    }
}

nlohmann::json EapServerToJson(const SimEapServer& s) {
    nlohmann::json j;
    j["methods"] = nlohmann::json::array();
    for (int m = KCOM_EAP_PEAP; m <= KCOM_EAP_PWD; ++m)
        if (s.methods & (1u << m)) {
            std::string name = EapMethodName(m);
            for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            j["methods"].push_back(name);
        }
    j["identity"] = s.identity;
    j["password"] = s.password;
    j["server_name"] = s.serverName;
    j["subject"] = s.subject;
    j["fingerprint"] = s.fingerprint;
    j["system_ca"] = s.systemCa != 0;
    if (s.caSet) j["ca_sha256"] = HexOf(s.caSha256, 32);
    if (s.clientSet) j["client_sha256"] = HexOf(s.clientSha256, 32);
    return j;
}

}  // namespace wavory::kccl
