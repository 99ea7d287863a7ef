// Enterprise networks on the command line: the 802.1X options, the server check that is never
// dropped silently, and passwords that come from files or the terminal, never the command line.
#include <fstream>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

// Quotes, a backslash, spaces and non-ASCII: handed over as they are.
constexpr const char* kPassword = "p \"w\" \\ d\xC3\xA9";

class EapCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const json campus = {{"ssid", "Campus"},
                             {"bssid", "00-1D-7E-11-22-66"},
                             {"channel", 11},
                             {"security", "wpa2-enterprise"},
                             {"signal_dbm", -50},
                             {"eap",
                              {{"methods", {"peap", "ttls"}},
                               {"identity", "bob"},
                               {"password", kPassword},
                               {"server_name", "aaa.campus.example"},
                               {"system_ca", true}}}};
        ASSERT_EQ(kccl_sim_put_network(campus.dump().c_str()), 0);
        m_Good = Secret("good", kPassword);
        m_Bad = Secret("bad", "guessed");
    }

    std::string Secret(const std::string& name, const std::string& text) {
        const std::string path = ScratchPath(name);
        std::ofstream(path) << text << "\n";
        return path;
    }

    std::string m_Good, m_Bad;
};

TEST_F(EapCliTest, AJoinWithAPasswordFileIsStoredAndTheSecretShownOnlyWhenAsked) {
    const json joined = RunJson({"connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob",
                                 "--system-ca", "--password-file", m_Good});
    EXPECT_EQ(joined["profile"], "Campus");
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"][0]["security_text"], "WPA2-Enterprise (PEAP)");

    const json shown = RunJson({"profiles", "show", "Campus"});
    EXPECT_EQ(shown["eap"]["identity"], "bob");
    EXPECT_EQ(shown["eap"]["password_set"], true);
    EXPECT_FALSE(shown["eap"].contains("password"));
    EXPECT_EQ(shown.dump().find("guessed"), std::string::npos);
    EXPECT_EQ(RunJson({"profiles", "show", "Campus", "--show-keys"})["eap"]["password"], kPassword);
    EXPECT_EQ(Run({"profiles", "show", "Campus"}).out.find("d\xC3\xA9"), std::string::npos);
}

TEST_F(EapCliTest, AJoinThatWouldNotCheckTheServerIsRefusedUnlessAskedFor) {
    ExpectRefused(
        {"connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob", "--password-file", m_Good}, 2,
        "collect the password");
    const json joined = RunJson({"connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob",
                                 "--password-file", m_Good, "--no-ca-check"});
    EXPECT_EQ(RunJson({"profiles", "show", joined["profile"]})["eap"]["ca_check"], false);

    // A check given later is made, whatever the profile chose before: the wrong server name is
    // refused, and the profile checks the server from then on.
    const SRun named = Run({"--json", "connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob",
                            "--domain", "campus.example.org", "--password-file", m_Good});
    EXPECT_EQ(named.code, 1) << named.out;
    EXPECT_NE(named.out.find("server_name"), std::string::npos) << named.out;
    RunJson({"connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob", "--system-ca",
             "--password-file", m_Good});
    EXPECT_EQ(RunJson({"profiles", "show", joined["profile"]})["eap"]["ca_check"], true);
}

TEST_F(EapCliTest, FailuresExitNonzeroWithTheirCauseAndStoreNothing) {
    struct SCase {
        std::vector<std::string> args;
        const char* reason;
    };
    const std::vector<SCase> cases = {
        {{"--eap", "peap", "--identity", "bob", "--system-ca", "--password-file", m_Bad}, "wrong_key"},
        {{"--eap", "peap", "--identity", "bob", "--domain", "campus.example.org", "--password-file", m_Good},
         "server_name"},
        {{"--eap", "pwd", "--identity", "bob", "--system-ca", "--password-file", m_Good}, "method_refused"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<std::string> args{"--json", "connect", "--ssid", "Campus"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 1) << run.err;
        const json error = json::parse(run.out.empty() ? run.err : run.out);
        EXPECT_EQ(error["reason"], c.reason);
    }
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 0u);
}

// Settings given for the network the adapter is on are tried, not ignored: a wrong password is a
// failure that goes back to the connection, and other 802.1X settings take it over.
TEST_F(EapCliTest, SettingsGivenForTheCurrentNetworkAreTried) {
    const std::vector<std::string> peap = {"connect",    "--ssid", "Campus",      "--eap",          "peap",
                                           "--identity", "bob",    "--system-ca", "--password-file"};
    auto with = [](std::vector<std::string> args, const std::string& file) {
        args.push_back(file);
        return args;
    };
    EXPECT_EQ(RunJson(with(peap, m_Good))["associated"], true);
    ExpectRefused(with(peap, m_Bad), 1, "not accepted");
    EXPECT_EQ(RunJson({"status"})["ssid"], "Campus");
    const json ttls = RunJson({"connect", "--ssid", "Campus", "--eap", "ttls", "--phase2", "pap",
                               "--identity", "bob", "--system-ca", "--password-file", m_Good});
    EXPECT_EQ(ttls["changed"], true);
    EXPECT_EQ(RunJson({"status"})["security_text"], "WPA2-Enterprise (TTLS)");
    // Without settings, Connect on the connected network does nothing.
    EXPECT_EQ(RunJson({"connect", "--ssid", "Campus"})["changed"], false);
}

TEST_F(EapCliTest, APasswordNotStoredIsAskedForAgainAtTheProfilesNextJoin) {
    // Standard input is empty: refused, nothing stored.
    ExpectRefused({"connect", "--ssid", "Campus", "--eap", "ttls", "--identity", "bob", "--system-ca",
                   "--password-file", "-"},
                  2, "is empty");
    const SRun stdinRun =
        Run({"connect", "--ssid", "Campus", "--eap", "ttls", "--phase2", "pap", "--identity", "bob",
             "--system-ca", "--password-file", "-", "--no-store-password"},
            m_Good);
    EXPECT_EQ(stdinRun.code, 0) << stdinRun.err;
    const json shown = RunJson({"profiles", "show", "Campus"});
    EXPECT_EQ(shown["eap"]["password_set"], false);
    EXPECT_EQ(shown["eap"]["phase2"], "pap");
    RunJson({"disconnect"});
    ExpectRefused({"connect", "Campus"}, 2, "--password-file");
    EXPECT_EQ(Run({"connect", "Campus", "--password-file", m_Good}).code, 0);
    EXPECT_EQ(RunJson({"profiles", "show", "Campus"})["eap"]["password_set"], false);
}

TEST_F(EapCliTest, ProfileOptionsAreCheckedAndPathsStoredWhole) {
    const std::string ca = Secret("ca.pem", "-----BEGIN CERTIFICATE-----");
    NewProfile({"--name", "Uni", "--ssid", "Campus", "--eap", "peap", "--identity", "bob",
                "--anonymous-identity", "anon@campus.example", "--ca-cert", ca, "--domain",
                "campus.example"});
    const json shown = RunJson({"profiles", "show", "Uni"});
    EXPECT_EQ(shown["eap"]["ca_cert"], ca);
    EXPECT_EQ(shown["eap"]["anonymous_identity"], "anon@campus.example");
    EXPECT_EQ(shown["security_text"], "WPA2-Enterprise (PEAP)");
    EXPECT_EQ(shown["mode"], "infrastructure");

    ExpectRefused({"profiles", "edit", "Uni", "--phase2", "pap"}, 2, "does not take --phase2 pap");
    ExpectRefused({"profiles", "edit", "Uni", "--ca-cert", ScratchPath("missing.pem")}, 2, "cannot read");
    ExpectRefused({"profiles", "new", "--name", "T", "--ssid", "Campus", "--eap", "tls", "--identity", "bob"},
                  2, "--client-cert");
    ExpectRefused({"profiles", "new", "--name", "W", "--ssid", "Campus", "--security", "wpa2-enterprise"}, 2,
                  "--eap");
    ExpectRefused({"profiles", "new", "--name", "P", "--ssid", "Home", "--security", "wpa2", "--passphrase",
                   "12345678", "--identity", "bob"},
                  2, "enterprise");
}

}  // namespace
}  // namespace wavory::test
