// What wpa_supplicant and NetworkManager are told for an 802.1X network (user text can neither
// change a value nor add a setting) and what the supplicant's EAP events mean.
#include <gtest/gtest.h>

#include <map>

#include "EapSettings.h"
#include "NmSettings.h"
#include "WpaCtrl.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

// Quotes, backslashes, spaces, a line end that tries to start another setting, and non-ASCII.
const std::string kHostile = "bob\" \\\"x\nkey_mgmt NONE\n\xC3\xA9";

SEapRecord Peap() {
    SEapRecord r;
    r.method = KCOM_EAP_PEAP;
    r.Get(KCOM_EAP_IDENTITY) = "bob";
    r.Get(KCOM_EAP_PASSWORD) = "secret";
    r.Get(KCOM_EAP_CA_CERT) = "/etc/ssl/campus ca.pem";
    r.Get(KCOM_EAP_DOMAIN) = "radius.campus.example";
    return r;
}

// "name value" settings by name; a setting given twice fails the test.
std::map<std::string, std::string> ByName(const std::vector<std::string>& settings) {
    std::map<std::string, std::string> out;
    for (const std::string& s : settings) {
        EXPECT_EQ(s.find('\n'), std::string::npos) << s;
        const size_t space = s.find(' ');
        EXPECT_NE(space, std::string::npos) << s;
        EXPECT_TRUE(out.emplace(s.substr(0, space), s.substr(space + 1)).second) << "twice: " << s;
    }
    return out;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

TEST(EapSettingsTest, UserTextReachesTheSupplicantWholeAndCannotAddSettings) {
    SEapRecord r = Peap();
    r.Get(KCOM_EAP_IDENTITY) = kHostile;
    r.Get(KCOM_EAP_ANONYMOUS_IDENTITY) = kHostile + "anon";
    r.Get(KCOM_EAP_PASSWORD) = kHostile + "pw";
    r.Get(KCOM_EAP_CA_CERT) = "/tmp/" + kHostile;
    const auto s = ByName(WpaEapSettings(r, false));
    EXPECT_EQ(s.at("key_mgmt"), "WPA-EAP WPA-EAP-SHA256");
    EXPECT_EQ(s.at("eap"), "PEAP");
    EXPECT_EQ(s.at("phase2"), "\"auth=MSCHAPV2\"");
    for (const auto& [name, expected] :
         std::map<std::string, std::string>{{"identity", kHostile},
                                            {"anonymous_identity", kHostile + "anon"},
                                            {"password", kHostile + "pw"},
                                            {"ca_cert", "/tmp/" + kHostile},
                                            {"domain_suffix_match", "radius.campus.example"}}) {
        SCOPED_TRACE(name);
        const std::string& value = s.at(name);
        EXPECT_EQ(value.find_first_not_of("0123456789abcdef"), std::string::npos) << value;
        EXPECT_EQ(FromHex(value), expected);
    }
}

TEST(EapSettingsTest, TheServerCheckAndTheMethodsShapeTheEntry) {
    SEapRecord r = Peap();
    r.flags = KCOM_EAP_FLAG_NO_CA_CHECK;  // allowed without a check, but one is given: it is made
    auto s = ByName(WpaEapSettings(r, true));
    EXPECT_EQ(s.count("ca_cert") + s.count("domain_suffix_match"), 2u);
    r.Get(KCOM_EAP_CA_CERT).clear();  // chosen explicitly: neither CA nor name is given
    r.Get(KCOM_EAP_DOMAIN).clear();
    s = ByName(WpaEapSettings(r, true));
    EXPECT_EQ(s.count("ca_cert") + s.count("domain_suffix_match") + s.count("ca_path"), 0u);
    EXPECT_EQ(s.at("key_mgmt"), "WPA-EAP-SHA256");
    EXPECT_EQ(s.at("ieee80211w"), "2");

    r = Peap();
    r.Get(KCOM_EAP_CA_CERT).clear();
    r.flags = KCOM_EAP_FLAG_SYSTEM_CA;
    s = ByName(WpaEapSettings(r, false));
    EXPECT_EQ(s.at("ca_path"), "\"/etc/ssl/certs\"");

    r = Peap();
    r.method = KCOM_EAP_TTLS;
    r.phase2 = KCOM_PHASE2_GTC;
    EXPECT_EQ(ByName(WpaEapSettings(r, false)).at("phase2"), "\"autheap=GTC\"");
    r.phase2 = KCOM_PHASE2_PAP;
    EXPECT_EQ(ByName(WpaEapSettings(r, false)).at("phase2"), "\"auth=PAP\"");

    r = Peap();
    r.method = KCOM_EAP_TLS;
    EXPECT_TRUE(WpaEapSettings(r, false).empty()) << "TLS without its files";
    r.Get(KCOM_EAP_CLIENT_CERT) = "/c.pem";
    r.Get(KCOM_EAP_PRIVATE_KEY) = "/k.pem";
    r.Get(KCOM_EAP_KEY_PASSWORD) = "kp";
    s = ByName(WpaEapSettings(r, false));
    EXPECT_EQ(FromHex(s.at("private_key_passwd")), "kp");
    EXPECT_EQ(s.count("password"), 0u);
    EXPECT_EQ(s.count("phase2"), 0u);

    r = Peap();
    r.phase2 = KCOM_PHASE2_PAP;  // PEAP does not take it
    EXPECT_TRUE(WpaEapSettings(r, false).empty());
    r = Peap();
    r.Get(KCOM_EAP_IDENTITY).clear();
    EXPECT_TRUE(WpaEapSettings(r, false).empty());
}

TEST(EapSettingsTest, TheSupplicantEntryOfAnEnterpriseNetwork) {
    SWpaEntry entry;
    entry.ssid = "Campus";
    entry.security = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    entry.eap = Peap();
    const auto s = ByName(WpaEntrySettings(entry));
    EXPECT_EQ(s.at("eap"), "PEAP");
    EXPECT_EQ(s.count("psk"), 0u);
    entry.adHoc = true;
    entry.frequencyMhz = 2437;
    EXPECT_TRUE(WpaEntrySettings(entry).empty()) << "802.1X has no ad-hoc form";
}

TEST(EapSettingsTest, NetworkManagerGetsAnInline8021xSettingNoAgentIsAskedFor) {
    SNmRequest r;
    r.interfaceName = "wlan1";
    r.uuid = "0b1f3c1e-6a36-4d5e-9a43-2c6f0d0c7f11";
    r.ssid = "Campus";
    r.user = "wavory";
    r.security = KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
    r.eap = Peap();
    r.eap.Get(KCOM_EAP_PASSWORD) = kHostile;
    const NmSettings s = BuildConnectionSettings(r);
    ASSERT_FALSE(s.empty());
    const auto& sec = s.at("802-11-wireless-security");
    EXPECT_EQ(std::get<std::string>(sec.at("key-mgmt")), "wpa-eap");
    EXPECT_EQ(std::get<uint32_t>(sec.at("pmf")), 3u);
    const auto& x = s.at("802-1x");
    EXPECT_EQ(std::get<std::vector<std::string>>(x.at("eap")), std::vector<std::string>{"peap"});
    EXPECT_EQ(std::get<std::string>(x.at("identity")), "bob");
    EXPECT_EQ(std::get<std::string>(x.at("password")), kHostile);  // a D-Bus string: no quoting to get wrong
    EXPECT_EQ(std::get<uint32_t>(x.at("password-flags")), 0u);
    EXPECT_EQ(std::get<std::string>(x.at("phase2-auth")), "mschapv2");
    EXPECT_EQ(std::get<std::string>(x.at("domain-suffix-match")), "radius.campus.example");
    const auto ca = std::get<std::vector<uint8_t>>(x.at("ca-cert"));
    EXPECT_EQ(std::string(ca.begin(), ca.end()), std::string("file:///etc/ssl/campus ca.pem\0", 30));

    r.eap.method = KCOM_EAP_TLS;
    EXPECT_TRUE(BuildConnectionSettings(r).empty()) << "TLS without its files";
    r.eap.Get(KCOM_EAP_CLIENT_CERT) = "/c.pem";
    r.eap.Get(KCOM_EAP_PRIVATE_KEY) = "/k.pem";
    const NmSettings tls = BuildConnectionSettings(r);
    ASSERT_FALSE(tls.empty());
    EXPECT_EQ(tls.at("802-1x").count("password"), 0u);
    // An unencrypted key: no empty password (the supplicant refuses the network over it), and
    // none to ask the desktop for.
    EXPECT_EQ(tls.at("802-1x").count("private-key-password"), 0u);
    EXPECT_EQ(std::get<uint32_t>(tls.at("802-1x").at("private-key-password-flags")), 4u);
    r.eap.Get(KCOM_EAP_KEY_PASSWORD) = kHostile;
    const NmSettings encrypted = BuildConnectionSettings(r);
    EXPECT_EQ(std::get<std::string>(encrypted.at("802-1x").at("private-key-password")), kHostile);
    EXPECT_EQ(std::get<uint32_t>(encrypted.at("802-1x").at("private-key-password-flags")), 0u);
}

TEST(EapSettingsTest, EapEventsNameTheCause) {
    struct SCase {
        const char* what;
        std::vector<std::string> lines;
        uint32_t cause;
        const char* detail;
    };
    const std::vector<SCase> cases = {
        {"wrong password",
         {"<3>CTRL-EVENT-EAP-STARTED EAP authentication started",
          "<3>CTRL-EVENT-EAP-METHOD EAP vendor 0 method 25 (PEAP) selected",
          "<3>CTRL-EVENT-EAP-FAILURE EAP authentication failed"},
         KCOM_CAUSE_WRONG_KEY,
         ""},
        {"method refused",
         {"<3>CTRL-EVENT-EAP-STARTED EAP authentication started",
          "<3>CTRL-EVENT-EAP-PROPOSED-METHOD vendor=0 method=21",
          "<3>CTRL-EVENT-EAP-FAILURE EAP authentication failed"},
         KCOM_CAUSE_METHOD_REFUSED,
         ""},
        {"untrusted certificate",
         {"<3>CTRL-EVENT-EAP-METHOD EAP vendor 0 method 25 (PEAP) selected",
          "<3>CTRL-EVENT-EAP-PEER-CERT depth=0 subject='/CN=radius.campus.example' hash=ab12cd",
          "<3>CTRL-EVENT-EAP-PEER-CERT depth=0 subject='/CN=radius.campus.example' cert=308203",
          "<3>CTRL-EVENT-EAP-TLS-CERT-ERROR reason=1 depth=1 subject='/CN=Campus CA' err='self-signed "
          "certificate in "
          "certificate chain'"},
         KCOM_CAUSE_CERT_UNTRUSTED,
         "subject /CN=radius.campus.example, SHA-256 ab12cd: self-signed certificate in certificate chain "
         "(/CN=Campus CA)"},
        {"server name",
         {"<3>CTRL-EVENT-EAP-PEER-CERT depth=0 subject='/CN=radius.evil.example' hash=ff",
          "<3>CTRL-EVENT-EAP-TLS-CERT-ERROR reason=8 depth=0 subject='/CN=radius.evil.example' err='Domain "
          "suffix "
          "mismatch'"},
         KCOM_CAUSE_SERVER_NAME,
         "radius.evil.example"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        CWpaEapWatch watch;
        bool ended = false;
        for (const std::string& line : c.lines) ended = watch.Feed(line);
        EXPECT_TRUE(ended);
        EXPECT_EQ(watch.Cause(), c.cause);
        EXPECT_NE(watch.Detail().find(c.detail), std::string::npos) << watch.Detail();
    }
    CWpaEapWatch quiet;
    EXPECT_FALSE(quiet.Feed("<3>CTRL-EVENT-CONNECTED - Connection to 00:11:22:33:44:55 completed"));
}

}  // namespace
}  // namespace wavory::kccl
