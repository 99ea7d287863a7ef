// The simulated adapter's enterprise networks: the 802.1X record, and the server's verdicts with
// the causes a supplicant reports.
#include <fstream>
#include <functional>

#include "SimFixture.h"
#include "TestMain.h"
#include "kccl_oid.h"

namespace wavory::test {

namespace {

// "Campus" runs PEAP and TTLS for bob; it trusts the CA file whose SHA-256 is that of "campus-ca\n".
// "Lab" is open, to have a network to go back to.
constexpr const char* kCampus =
    R"({"ssid": "Campus", "bssid": "00-1D-7E-11-22-66", "channel": 11, "security": "wpa2-enterprise",
        "signal_dbm": -55, "eap": {"methods": ["peap", "ttls"], "identity": "bob", "password": "p\"w \\d",
        "server_name": "aaa.campus.example", "subject": "CN=aaa.campus.example",
        "fingerprint": "SHA256:AA:BB", "system_ca": false,
        "ca_sha256": "51b96117e9106436f68e6a15b722ca1f8d5c6663e597955315bafb2b229f96e4"}})";
constexpr const char* kLab =
    R"({"ssid": "Lab", "bssid": "00-1D-7E-11-22-77", "channel": 1, "signal_dbm": -50})";

struct SEap {
    uint8_t method = KCOM_EAP_PEAP;
    uint8_t phase2 = 0;
    uint16_t flags = 0;
    std::string strings[KCOM_EAP_STRING_COUNT];
};

// The record built byte by byte, as the layout in the request codes describes it.
std::unique_ptr<KCOM_REQUEST> EapBlock(const SEap& eap) {
    auto block = std::make_unique<KCOM_REQUEST>();
    std::memset(block.get(), 0, sizeof(KCOM_REQUEST));
    block->code = OID_EAP_SETTINGS_SET;
    uint8_t* p = block->payload;
    p[0] = eap.method;
    p[1] = eap.phase2;
    p[2] = static_cast<uint8_t>(eap.flags);
    p[3] = static_cast<uint8_t>(eap.flags >> 8);
    size_t pos = KCOM_EAP_STRINGS;
    for (const std::string& s : eap.strings) {
        p[pos] = static_cast<uint8_t>(s.size());
        p[pos + 1] = static_cast<uint8_t>(s.size() >> 8);
        std::memcpy(p + pos + 2, s.data(), s.size());
        pos += 2 + s.size();
    }
    return block;
}

}  // namespace

class EapJoinTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        ASSERT_EQ(kccl_sim_put_network(kCampus), 0);
        ASSERT_EQ(kccl_sim_put_network(kLab), 0);
        // In this process's own folder: the tests run in parallel processes, and one rewriting a
        // shared file while another reads it fails the other.
        m_CaFile = TempHome() + "/campus-ca.pem";
        std::ofstream(m_CaFile) << "campus-ca\n";
        m_OtherCa = TempHome() + "/other-ca.pem";
        std::ofstream(m_OtherCa) << "other-ca\n";
    }

    // The credentials the server takes, checked against the right CA.
    SEap Good() const {
        SEap eap;
        eap.strings[KCOM_EAP_IDENTITY] = "bob";
        eap.strings[KCOM_EAP_PASSWORD] = "p\"w \\d";
        eap.strings[KCOM_EAP_CA_CERT] = m_CaFile;
        return eap;
    }

    static SJoin Join(const SEap& eap) {
        SetU32(0x220, 1);
        EXPECT_EQ(SetSsid("Campus"), 2u);
        auto block = EapBlock(eap);
        EXPECT_EQ(Exec(*block), 2u);
        SetU32(0x430, KCOM_SECURITY_MODE_WPA2_ENTERPRISE);
        return JoinState();
    }

    std::string m_CaFile, m_OtherCa;
};

TEST_F(EapJoinTest, TheRightCredentialsAndCaJoinAndTheLinkTellsTheMethod) {
    const SJoin join = Join(Good());
    ASSERT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_JOINED)) << join.detail;
    EXPECT_TRUE(Associated());
    EXPECT_EQ(Query(OID_LINK_INFO)->payload[KCOM_LINK_EAP_METHOD], KCOM_EAP_PEAP);
}

TEST_F(EapJoinTest, EachRefusalNamesItsCause) {
    struct SCase {
        const char* what;
        std::function<void(SEap&)> change;
        uint32_t cause;
        const char* detail;
    };
    const std::string other = m_OtherCa;
    const std::vector<SCase> cases = {
        {"wrong password", [](SEap& e) { e.strings[KCOM_EAP_PASSWORD] = "p\"w \\D"; }, KCOM_CAUSE_WRONG_KEY,
         ""},
        {"wrong identity", [](SEap& e) { e.strings[KCOM_EAP_IDENTITY] = "mallory"; }, KCOM_CAUSE_WRONG_KEY,
         ""},
        {"another CA", [other](SEap& e) { e.strings[KCOM_EAP_CA_CERT] = other; }, KCOM_CAUSE_CERT_UNTRUSTED,
         "CN=aaa.campus.example"},
        {"the system store, which the server is not in",
         [](SEap& e) {
             e.strings[KCOM_EAP_CA_CERT].clear();
             e.flags = KCOM_EAP_FLAG_SYSTEM_CA;
         },
         KCOM_CAUSE_CERT_UNTRUSTED, "SHA256:AA:BB"},
        {"a server name it does not have", [](SEap& e) { e.strings[KCOM_EAP_DOMAIN] = "campus.example.org"; },
         KCOM_CAUSE_SERVER_NAME, "aaa.campus.example"},
        {"a name that only ends in the same letters",
         [](SEap& e) { e.strings[KCOM_EAP_DOMAIN] = "a.campus.example"; }, KCOM_CAUSE_SERVER_NAME, ""},
        {"a method it does not run", [](SEap& e) { e.method = KCOM_EAP_PWD; }, KCOM_CAUSE_METHOD_REFUSED,
         "PEAP, TTLS"},
        {"no check of the server at all", [](SEap& e) { e.strings[KCOM_EAP_CA_CERT].clear(); },
         KCOM_CAUSE_CERT_UNTRUSTED, "cannot be checked"},
        {"a CA file that is not there", [](SEap& e) { e.strings[KCOM_EAP_CA_CERT] = "/nonexistent/ca.pem"; },
         KCOM_CAUSE_CERT_UNTRUSTED, "cannot be read"},
        {"no method", [](SEap& e) { e.method = KCOM_EAP_NONE; }, KCOM_CAUSE_NEEDS_8021X, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        // On the open network first: a failed attempt goes back to it.
        JoinInfra("Lab");
        ASSERT_TRUE(Associated());
        SEap eap = Good();
        c.change(eap);
        const SJoin join = Join(eap);
        EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
        EXPECT_EQ(join.cause, c.cause);
        EXPECT_NE(join.detail.find(c.detail), std::string::npos) << join.detail;
        EXPECT_NE(join.flags & KCOM_JOIN_FLAG_RESTORED, 0u);
        EXPECT_TRUE(Associated());
    }
}

TEST_F(EapJoinTest, ASuffixOfTheServerNameAndAnExplicitNoCheckBothJoin) {
    SEap eap = Good();
    eap.strings[KCOM_EAP_DOMAIN] = "campus.example";
    EXPECT_EQ(Join(eap).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    eap = Good();
    eap.strings[KCOM_EAP_CA_CERT].clear();
    eap.flags = KCOM_EAP_FLAG_NO_CA_CHECK;
    EXPECT_EQ(Join(eap).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    // Allowed without a check is no reason to skip one that is given.
    eap.strings[KCOM_EAP_DOMAIN] = "elsewhere.example";
    const SJoin named = Join(eap);
    EXPECT_EQ(named.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(named.cause, static_cast<uint32_t>(KCOM_CAUSE_SERVER_NAME));
}

TEST_F(EapJoinTest, SecretsAreNeverReadBackNorLogged) {
    SEap eap = Good();
    eap.strings[KCOM_EAP_IDENTITY] = "b";  // short, so that the password would stand in the log's head
    Join(eap);
    auto query = Query(OID_EAP_SETTINGS_QUERY);
    const uint8_t* p = query->payload;
    EXPECT_EQ(p[0], KCOM_EAP_PEAP);
    EXPECT_NE(U32(p, 0) >> 16 & KCOM_EAP_FLAG_HAS_PASSWORD, 0u);
    const std::string bytes(reinterpret_cast<const char*>(p), 512);
    EXPECT_EQ(bytes.find("p\"w"), std::string::npos);
    EXPECT_NE(bytes.find(m_CaFile), std::string::npos);  // paths are no secret

    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    for (int i = 0; i < n; ++i) {
        const std::string head(reinterpret_cast<const char*>(log[i].head), sizeof log[i].head);
        EXPECT_EQ(head.find("p\"w"), std::string::npos) << "request 0x" << std::hex << log[i].code;
    }
}

TEST_F(EapJoinTest, AMalformedRecordIsRefused) {
    auto block = EapBlock(Good());
    // A length that runs past the payload.
    block->payload[KCOM_EAP_STRINGS] = 0xFF;
    block->payload[KCOM_EAP_STRINGS + 1] = 0xFF;
    EXPECT_NE(Exec(*block), 2u);
    // A phase 2 the method does not take.
    SEap eap = Good();
    eap.phase2 = KCOM_PHASE2_PAP;
    block = EapBlock(eap);
    EXPECT_NE(Exec(*block), 2u);
    // A zero byte inside a string.
    eap = Good();
    eap.strings[KCOM_EAP_IDENTITY] = std::string("bo\0b", 4);
    block = EapBlock(eap);
    EXPECT_NE(Exec(*block), 2u);
}

TEST_F(EapJoinTest, TheScenarioRefusesAServerOnAPersonalNetworkAndBadHashes) {
    EXPECT_NE(kccl_sim_put_network(R"({"ssid": "X", "bssid": "00-1D-7E-11-22-88", "channel": 1,
        "security": "wpa2", "passphrase": "12345678", "eap": {}})"),
              0);
    EXPECT_NE(kccl_sim_put_network(R"({"ssid": "X", "bssid": "00-1D-7E-11-22-88", "channel": 1,
        "security": "wpa2-enterprise", "eap": {"ca_sha256": "1234"}})"),
              0);
    EXPECT_NE(kccl_sim_put_network(R"({"ssid": "X", "bssid": "00-1D-7E-11-22-88", "channel": 1,
        "security": "wpa2-enterprise", "eap": {"methods": ["leap"]}})"),
              0);
}

}  // namespace wavory::test
