// The JSON of every command against its schema in docs/schema, one vocabulary across commands,
// units in the key names, error objects for refused command lines, and the watch stream.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CliFixture.h"
#include "JsonSchema.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class OutputCliTest : public CliTest {
protected:
    // Runs a command with --json and checks its output against the schema file.
    json Checked(const std::vector<std::string>& args, const std::string& schema) {
        const json out = RunJson(args);
        ExpectFits(out, schema, args);
        return out;
    }
    void ExpectFits(const json& out, const std::string& schema, const std::vector<std::string>& args) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        for (const std::string& error : m_Schemas.Check(out, schema))
            ADD_FAILURE() << shown << "against " << schema << ": " << error << "\n" << out.dump(2);
    }
    // A refusal with --json: the exit code, one line on standard error, the error object on standard output.
    json Refused(const std::vector<std::string>& args, int code) {
        std::vector<std::string> withJson = args;
        withJson.emplace_back("--json");
        const SRun run = Run(withJson);
        EXPECT_EQ(run.code, code) << run.err;
        EXPECT_TRUE(IsOneLine(run.err)) << run.err;
        json error;
        try {
            error = json::parse(run.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "no error object for " << withJson.front() << ": " << e.what() << "\n"
                          << run.out;
            return error;
        }
        ExpectFits(error, "error.schema.json", withJson);
        EXPECT_EQ(error.value("exit_code", 0), code);
        return error;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The complete lines written so far.
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    CSchemaSet m_Schemas{WAVORY_SCHEMA_DIR};
};

TEST_F(OutputCliTest, EveryCommandsOutputFitsItsSchema) {
    // Idle, then with profiles of several kinds, connected, and through every change.
    Checked({"status"}, "status.schema.json");
    Checked({"stats", "--seconds", "1"}, "stats.schema.json");
    Checked({"about"}, "about.schema.json");
    Checked({"adapters"}, "adapters.schema.json");
    Checked({"scan", "--view", "ap"}, "scan.schema.json");
    Checked({"scan", "--view", "network", "--sort", "ssid", "--reverse"}, "scan.schema.json");
    Checked({"profiles", "new", "--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure",
             "--auto-select"},
            "profiles-change.schema.json");
    const std::string secret = ScratchPath("secret.txt");
    std::ofstream(secret) << "harbour-lights-9\n";
    Checked({"profiles", "new", "--name", "Quay", "--ssid", "Quayside-5G", "--mode", "infrastructure",
             "--security", "wpa2", "--passphrase-file", secret, "--auto-select"},
            "profiles-change.schema.json");
    Checked({"profiles", "new", "--name", "Cell", "--ssid", "Deckhands", "--mode", "adhoc", "--channel", "10",
             "--security", "wep", "--key1", "1A2B3C4D5E"},
            "profiles-change.schema.json");
    Checked({"profiles", "new", "--name", "Corp", "--ssid", "Port Authority", "--security", "wpa2-enterprise",
             "--eap", "peap", "--identity", "ann", "--password-file", secret, "--system-ca", "--domain",
             "example.org"},
            "profiles-change.schema.json");
    for (const char* name : {"Light", "Quay", "Cell", "Corp"}) {
        Checked({"profiles", "show", name}, "profiles-show.schema.json");
        Checked({"profiles", "show", name, "--show-keys"}, "profiles-show.schema.json");
    }
    Checked({"profiles", "edit", "Light", "--power-save", "2"}, "profiles-change.schema.json");
    Checked({"profiles", "dup", "Light", "--name", "Light2"}, "profiles-change.schema.json");
    Checked({"profiles", "up", "Light2"}, "profiles-change.schema.json");
    Checked({"profiles", "down", "Light2"}, "profiles-change.schema.json");
    Checked({"profiles", "auto", "Light2"}, "profiles-change.schema.json");
    Checked({"profiles", "rm", "Light2"}, "profiles-change.schema.json");
    Checked({"connect", "Light"}, "connect.schema.json");
    Checked({"connect", "--ssid", "Lighthouse"}, "connect.schema.json");
    Checked({"scan", "--view", "ap"}, "scan.schema.json");
    Checked({"status"}, "status.schema.json");
    Checked({"stats", "--seconds", "1"}, "stats.schema.json");
    Checked({"profiles", "list"}, "profiles-list.schema.json");
    const std::string exported = ScratchPath("all.reg");
    Checked({"profiles", "export", "--all", exported}, "profiles-files.schema.json");
    Checked({"profiles", "export", "--profile", "Quay", ScratchPath("one.reg"), "--no-secrets"},
            "profiles-files.schema.json");
    Checked({"profiles", "import", exported}, "profiles-files.schema.json");
    const std::string conf = ScratchPath("wpa.conf");
    Checked({"profiles", "export", "--to", "wpa-supplicant", conf}, "profiles-files.schema.json");
    Checked({"profiles", "export", "--to", "iwd", "--dir", ScratchPath("iwd")}, "profiles-files.schema.json");
    Checked({"profiles", "import", "--from", "wpa-supplicant", conf}, "profiles-files.schema.json");
    Checked({"prefs", "get"}, "prefs.schema.json");
    Checked({"prefs", "get", "units"}, "prefs.schema.json");
    Checked({"prefs", "set", "--units", "dbm"}, "prefs.schema.json");
    Checked({"scan", "--view", "network"}, "scan.schema.json");
    Checked({"store", "backup"}, "store.schema.json");
    Checked({"store", "check"}, "store.schema.json");
    Checked({"store", "restore"}, "store.schema.json");
    Checked({"complete", "profiles"}, "complete.schema.json");
    Checked({"disconnect"}, "disconnect.schema.json");
    Checked({"status"}, "status.schema.json");

    // The checker itself finds what does not fit: a key gone, a value outside the vocabulary, an
    // unknown key, a wrong type.
    const json status = RunJson({"status"});
    json broken = status;
    broken.erase("rx_frames");
    EXPECT_FALSE(m_Schemas.Check(broken, "status.schema.json").empty());
    broken = status;
    broken["security"] = "WPA2-Personal";
    EXPECT_FALSE(m_Schemas.Check(broken, "status.schema.json").empty());
    broken = status;
    broken["receive_rate"] = 1;
    EXPECT_FALSE(m_Schemas.Check(broken, "status.schema.json").empty());
    broken = status;
    broken["connected"] = "yes";
    EXPECT_FALSE(m_Schemas.Check(broken, "status.schema.json").empty());
    EXPECT_FALSE(m_Schemas.Check(json::array(), "adapters.schema.json").empty());
}

TEST_F(OutputCliTest, OneThingHasOneNameAndValueInEveryCommand) {
    const std::string secret = ScratchPath("secret.txt");
    std::ofstream(secret) << "moorings-at-high-tide\n";
    NewProfile({"--name", "Quay", "--ssid", "Marina", "--mode", "infrastructure", "--security", "wpa2",
                "--passphrase-file", secret});
    const json connected = RunJson({"connect", "Quay"});
    ASSERT_EQ(connected["connected"], true);
    EXPECT_EQ(connected["associated"], true);  // the old name, for one release
    ASSERT_EQ(Run({"scan"}).code, 0);

    const json status = RunJson({"status"});
    const json scan = RunJson({"scan", "--view", "ap"});
    json station;
    for (const auto& s : scan["stations"])
        if (s["connected"] == true) station = s;
    ASSERT_TRUE(station.is_object()) << scan.dump(2);
    json listed;
    const json list = RunJson({"profiles", "list"});
    for (const auto& p : list["profiles"])
        if (p["name"] == "Quay") listed = p;
    const json shown = RunJson({"profiles", "show", "Quay"});

    // Security: one code everywhere, and one text for people.
    EXPECT_EQ(status["security"], "wpa2");
    for (const json* j : std::initializer_list<const json*>{&station, &listed, &shown})
        EXPECT_EQ((*j)["security"], status["security"]);
    EXPECT_EQ(station["security_text"], "WPA2-Personal");
    EXPECT_EQ(listed["security_text"], shown["security_text"]);
    EXPECT_EQ(shown["security_text"], station["security_text"]);
    // Mode: the code and its text.
    for (const json* j : std::initializer_list<const json*>{&status, &station, &shown, &connected}) {
        EXPECT_EQ((*j)["mode"], "infrastructure");
        EXPECT_EQ((*j)["mode_text"], "Infrastructure");
    }
    // Connected, in every command that knows it.
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(station["connected"], true);
    EXPECT_EQ(listed["connected"], true);
    // The signal and the link quality in the same words; the network rate under one key.
    EXPECT_EQ(status["signal_dbm"], station["signal_dbm"]);
    EXPECT_EQ(status["link_quality_percent"], station["link_quality_percent"]);
    EXPECT_EQ(status["link_quality_text"], station["link_quality_text"]);
    EXPECT_EQ(status["link_quality_percent"], status["signal_percent"]);
    EXPECT_EQ(status["tx_rate_mbps"], status["network_rate_mbps"]);
    EXPECT_TRUE(status["tx_rate_mbps"].is_number());
    EXPECT_TRUE(station["max_rate_mbps"].is_number());
    // The standard in status and scan is generation/standard; a profile's setting is phy_mode.
    EXPECT_EQ(status["generation"], station["generation"]);
    EXPECT_EQ(status["standard"], station["standard"]);
    EXPECT_FALSE(shown.contains("generation"));
    EXPECT_EQ(shown["phy_mode"], shown["phy"]);
    // An open network is "None" for people in every command.
    const json open = RunJson({"connect", "--ssid", "Lighthouse"});
    ASSERT_EQ(open["connected"], true);
    EXPECT_EQ(RunJson({"status"})["security"], "open");
    EXPECT_EQ(RunJson({"status"})["security_text"], "None");
    EXPECT_EQ(RunJson({"profiles", "show", open["profile"].get<std::string>()})["security_text"], "None");
    // The top of every output is an object, the adapters' too, with the address about reads.
    const json adapters = RunJson({"adapters"});
    ASSERT_TRUE(adapters.is_object());
    EXPECT_EQ(adapters["adapters"].back()["mac"], RunJson({"about"})["mac"]);
}

TEST_F(OutputCliTest, UnitsAreInTheKeyNames) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ASSERT_EQ(RunJson({"connect", "Light"})["connected"], true);
    ASSERT_EQ(Run({"scan"}).code, 0);

    // Frame counters: whole numbers that only grow; the old names hold the same counts.
    const json first = RunJson({"status"});
    ASSERT_TRUE(first["rx_frames"].is_number_unsigned());
    ASSERT_TRUE(first["tx_frames"].is_number_unsigned());
    EXPECT_EQ(first["received"], first["rx_frames"]);
    EXPECT_EQ(first["sent"], first["tx_frames"]);
    const json later = RunJson({"status"});
    EXPECT_GE(later["rx_frames"].get<unsigned long long>(), first["rx_frames"].get<unsigned long long>());
    EXPECT_GE(later["tx_frames"].get<unsigned long long>(), first["tx_frames"].get<unsigned long long>());
    const SRun text = Run({"status"});
    EXPECT_NE(text.out.find(" frames\n"), std::string::npos) << text.out;

    // Traffic in bytes per second; the old keys are the same sample in whole kilobytes per second.
    const json stats = RunJson({"stats", "--seconds", "1"});
    ASSERT_TRUE(stats["rx_bytes_per_s"].is_number_unsigned());
    ASSERT_TRUE(stats["tx_bytes_per_s"].is_number_unsigned());
    EXPECT_GT(stats["rx_bytes_per_s"].get<unsigned long long>(), 0u);
    EXPECT_EQ(stats["receive_kbps"].get<unsigned long long>(),
              stats["rx_bytes_per_s"].get<unsigned long long>() / 1000);
    EXPECT_EQ(stats["send_kbps"].get<unsigned long long>(),
              stats["tx_bytes_per_s"].get<unsigned long long>() / 1000);
    EXPECT_EQ(stats["link_quality_percent"], stats["signal_percent"]);
    EXPECT_EQ(stats["link_quality_text"], stats["signal"]);

    // A profile's highest rate in bit/s: 54 Mbit/s unless changed, twice the stored figure.
    const json advanced = RunJson({"profiles", "show", "Light"})["advanced"];
    EXPECT_EQ(advanced["max_rate_bps"], 54000000);
    EXPECT_EQ(advanced["max_rate_bps"].get<long long>(), 2 * advanced["max_net_rate"].get<long long>());

    // The copies' times with their zone.
    ASSERT_EQ(Run({"store", "backup"}).code, 0);
    const json copies = RunJson({"store", "check"})["copies"];
    ASSERT_FALSE(copies.empty());
    for (const auto& copy : copies) {
        const std::string time = copy["time"];
        EXPECT_EQ(time.size(), 25u) << time;  // 2026-03-01T14:05:09+01:00
        EXPECT_EQ(time[10], 'T') << time;
        EXPECT_EQ(time[22], ':') << time;
        EXPECT_EQ(time.substr(0, 16), std::string(copy["time_text"]).replace(10, 1, "T")) << time;
    }
}

TEST_F(OutputCliTest, RefusedCommandLinesGiveTheErrorObject) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"scan", "--sort", "foo"},
                                                 {"bogus"},
                                                 {"scan", "bogus"},
                                                 {"status", "--loud"},
                                                 {"scan", "--timeout", "abc"},
                                                 {"profiles"},
                                                 {}}) {
        const json error = Refused(args, 2);
        EXPECT_EQ(error.value("reason", ""), "usage") << error.dump();
    }
    EXPECT_EQ(Refused({"scan", "--sort", "foo"}, 2)["command"], "scan");
    // --json first, and a failure after parsing, give the object too.
    const SRun first = Run({"--json", "bogus"});
    EXPECT_EQ(first.code, 2);
    EXPECT_EQ(json::parse(first.out).value("reason", ""), "usage");
    EXPECT_EQ(Refused({"profiles", "show", "Nobody"}, 1).value("reason", ""), "failed");
}

TEST_F(OutputCliTest, WatchStreamsOneObjectPerLineUntilStopped) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SChild child = Start({WAVORYCTL_PATH, "watch", "--json", "--seconds", "0", "--interval", "1"});
        // Wait for two lines, generously; each is whole, flushed as it is written.
        std::vector<std::string> lines;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (lines.size() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            lines = Lines(ReadFile(child.outFile));
        }
        ::kill(child.pid, sig);
        const SRun run = Finish(child, std::chrono::seconds(30));
        ASSERT_GE(lines.size(), 2u) << run.out << run.err;
        EXPECT_EQ(run.code, 0) << "signal " << sig << ": " << run.err;
        EXPECT_EQ(run.err, "");
        ASSERT_FALSE(run.out.empty());
        EXPECT_EQ(run.out.back(), '\n');
        long long sequence = 0;
        for (const std::string& line : Lines(run.out)) {
            const json j = json::parse(line);
            ExpectFits(j, "watch.schema.json", {"watch"});
            EXPECT_EQ(j["sequence"].get<long long>(), ++sequence);
        }
    }
}

TEST_F(OutputCliTest, WatchEndsQuietlyWhenItsReaderGoesAway) {
    const std::string command = std::string("set -o pipefail; '") + WAVORYCTL_PATH +
                                "' watch --json --seconds 0 --interval 1 | head -n 1";
    SChild child = Start({"/bin/bash", "-c", command});
    const SRun run = Finish(child, std::chrono::seconds(40));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(Lines(run.out).size(), 1u) << run.out;
    EXPECT_EQ(json::parse(run.out)["sequence"], 1);
}

}  // namespace
}  // namespace wavory::test
