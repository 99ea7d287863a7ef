// wavoryctl hotspot on the simulated adapter: a start that needs no options makes and shows a
// passphrase once, status lists the clients that joined, the stop brings the earlier network back,
// hostile values are refused before the adapter is asked, and each output fits its schema.
#include <fstream>
#include <set>

#include "CliFixture.h"
#include "JsonSchema.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

constexpr const char* kScenario = R"({
  "networks": [{"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "signal_dbm": -60}],
  "hotspot_clients": [
    {"mac": "02-00-00-00-03-01", "signal_dbm": -45, "join_after_ms": 1000},
    {"mac": "02-00-00-00-03-02", "security": "wpa3", "join_after_ms": 0}
  ]})";

class HotspotCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_EQ(kccl_sim_reset(kScenario), 0);
        ASSERT_EQ(kccl_sim_set_join_delay(0), 0);
    }
    json Checked(const std::vector<std::string>& args, const std::string& schema) {
        const json out = RunJson(args);
        for (const std::string& error : m_Schemas.Check(out, schema))
            ADD_FAILURE() << args.front() << " " << args[1] << " against " << schema << ": " << error << "\n"
                          << out.dump(2);
        return out;
    }
    std::string SecretFile(const std::string& text) {
        const std::string path = ScratchPath("passphrase.txt");
        std::ofstream(path) << text << "\n";
        return path;
    }

    CSchemaSet m_Schemas{WAVORY_SCHEMA_DIR};
};

TEST_F(HotspotCliTest, AStartWithoutOptionsShowsItsPassphraseOnceAndTheClientsComeInStatus) {
    const json idle = Checked({"hotspot", "status"}, "hotspot-status.schema.json");
    EXPECT_EQ(idle["running"], false);
    EXPECT_EQ(idle["abilities"]["can_start"], true);
    EXPECT_EQ(idle["abilities"]["bands"], json::array({"2.4 GHz", "5 GHz"}));

    const json started = Checked({"hotspot", "start"}, "hotspot-start.schema.json");
    EXPECT_EQ(started["security"], "wpa2");
    EXPECT_EQ(started["band"], "5 GHz");
    EXPECT_EQ(started["managed_by"], "simulation");
    const std::string passphrase = started["passphrase"];
    ASSERT_EQ(passphrase.size(), 12u);
    // No characters one mistakes for another when reading it off a screen.
    EXPECT_EQ(passphrase.find_first_of("0O1lI"), std::string::npos) << passphrase;
    EXPECT_FALSE(started["ssid"].get<std::string>().empty());

    // The WPA3-only client never joins a WPA2 hotspot; the other joins after its second.
    ASSERT_EQ(kccl_sim_advance(1200), 0);
    const json running = Checked({"hotspot", "status"}, "hotspot-status.schema.json");
    EXPECT_EQ(running["running"], true);
    EXPECT_EQ(running["ours"], true);
    EXPECT_EQ(running["ssid"], started["ssid"]);
    ASSERT_EQ(running["clients"].size(), 1u);
    EXPECT_EQ(running["clients"][0]["address"], "02:00:00:00:03:01");
    EXPECT_EQ(running["clients"][0]["signal_dbm"], -45);
    const SRun text = Run({"hotspot", "status"});
    EXPECT_NE(text.out.find("02:00:00:00:03:01"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find(passphrase), std::string::npos) << "the passphrase is shown at the start only";

    Checked({"hotspot", "stop"}, "hotspot-stop.schema.json");
    EXPECT_EQ(RunJson({"hotspot", "status"})["running"], false);
    ExpectRefused({"hotspot", "stop"}, 1, "no hotspot runs");
}

TEST_F(HotspotCliTest, EachStartMakesAnotherPassphraseAndAFileGivesItsOwn) {
    std::set<std::string> seen;
    for (int i = 0; i < 3; ++i) {
        seen.insert(RunJson({"hotspot", "start"})["passphrase"].get<std::string>());
        RunJson({"hotspot", "stop"});
    }
    EXPECT_EQ(seen.size(), 3u);

    const json given = RunJson({"hotspot", "start", "--ssid", "Deck Party", "--passphrase-file",
                                SecretFile("mooring-lines"), "--band", "2.4", "--channel", "11"});
    EXPECT_EQ(given["passphrase"], nullptr);
    EXPECT_EQ(given["ssid"], "Deck Party");
    EXPECT_EQ(given["frequency_mhz"], 2462);
    EXPECT_EQ(given["channel"], 11);
    const SRun again = Run({"hotspot", "start"});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("runs already"), std::string::npos) << again.err;

    // From standard input, as a script hands it over; the code a phone reads holds it.
    RunJson({"hotspot", "stop"});
    const SRun piped = Run({"hotspot", "start", "--passphrase-file", "-"}, SecretFile("harbour-lights-9"));
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out.find("Passphrase:"), std::string::npos) << "a passphrase given is not shown again";
    EXPECT_EQ(piped.out.find("harbour-lights-9"), std::string::npos);
}

TEST_F(HotspotCliTest, TheNetworkInUseIsLeftWhileItRunsAndBackAtTheStop) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    const SRun start = Run({"hotspot", "start", "--security", "wpa2-wpa3"});
    ASSERT_EQ(start.code, 0) << start.err;
    EXPECT_NE(start.err.find("Lighthouse was left"), std::string::npos) << start.err;
    EXPECT_EQ(RunJson({"status"})["connected"], false);
    ASSERT_EQ(kccl_sim_advance(1200), 0);
    EXPECT_EQ(RunJson({"hotspot", "status"})["clients"].size(), 2u) << "both kinds join a transition hotspot";
    // A join meanwhile would end the hotspot: it is refused with its own reason, and the hotspot runs on.
    const SRun join = Run({"connect", "--ssid", "Lighthouse", "--json"});
    EXPECT_EQ(join.code, 1) << join.out;
    EXPECT_EQ(json::parse(join.out, nullptr, false).value("reason", ""), "hotspot_running") << join.out;
    EXPECT_EQ(RunJson({"hotspot", "status"})["running"], true);
    RunJson({"hotspot", "stop"});
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["ssid"], "Lighthouse");
}

// A hotspot kept as a profile starts again from its name with what it was kept with; options given
// change that start only, or the profile too with --save. It is no network: connect, the automatic
// selection and the network edits refuse it, and a .reg export of it imports back as a hotspot.
TEST_F(HotspotCliTest, AKeptHotspotStartsAgainFromItsProfileAndIsNoNetworkToJoin) {
    const json kept = Checked({"hotspot", "start", "--ssid", "Deck Party", "--band", "2.4", "--channel", "11",
                               "--save-as", "Deck"},
                              "hotspot-start.schema.json");
    EXPECT_EQ(kept["profile"], "Deck");
    const std::string passphrase = kept["passphrase"];
    ASSERT_EQ(passphrase.size(), 12u) << "a made passphrase is shown, and kept with the profile";
    RunJson({"hotspot", "stop"});

    const json show = RunJson({"profiles", "show", "Deck", "--show-keys"});
    EXPECT_EQ(show["kind"], "hotspot");
    EXPECT_EQ(show["passphrase"], passphrase);
    EXPECT_EQ(show["hotspot"], json({{"band", "2.4"}, {"channel", 11}}));
    EXPECT_EQ(show["auto_select"], false);
    for (const std::string& error : m_Schemas.Check(show, "profiles-show.schema.json")) ADD_FAILURE() << error;

    const json again = Checked({"hotspot", "start", "--profile", "Deck"}, "hotspot-start.schema.json");
    EXPECT_EQ(again["ssid"], "Deck Party");
    EXPECT_EQ(again["channel"], 11);
    EXPECT_EQ(again["passphrase"], nullptr) << "the kept passphrase is not shown again";
    RunJson({"hotspot", "stop"});
    // Another band for this start only; then kept with --save (the kept channel was 2.4 GHz's).
    EXPECT_EQ(RunJson({"hotspot", "start", "--profile", "Deck", "--band", "5"})["band"], "5 GHz");
    RunJson({"hotspot", "stop"});
    EXPECT_EQ(RunJson({"profiles", "show", "Deck"})["hotspot"]["band"], "2.4");
    RunJson({"hotspot", "start", "--profile", "Deck", "--band", "5", "--save"});
    RunJson({"hotspot", "stop"});
    EXPECT_EQ(RunJson({"profiles", "show", "Deck"})["hotspot"], json({{"band", "5"}, {"channel", nullptr}}));

    ExpectRefused({"connect", "Deck"}, 2, "hotspot start --profile");
    ExpectRefused({"profiles", "auto", "Deck"}, 2, "starts no hotspot");
    ExpectRefused({"profiles", "edit", "Deck", "--channel", "6"}, 2, "hotspot profile");
    ExpectRefused({"profiles", "dup", "Deck", "--name", "Deck 2", "--mode", "adhoc"}, 2, "hotspot profile");
    EXPECT_EQ(RunJson({"profiles", "dup", "Deck", "--name", "Deck copy"})["profile"]["kind"], "hotspot");
    RunJson({"profiles", "rm", "Deck copy"});
    ExpectRefused({"profiles", "edit", "Deck", "--security", "wep", "--key1", "0102030405"}, 2, "hotspot");
    ExpectRefused({"hotspot", "start", "--save-as", "Deck"}, 2, "already exists");
    ExpectRefused({"hotspot", "start", "--save"}, 2, "--profile");
    RunJson({"profiles", "new", "--name", "Lighthouse", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ExpectRefused({"hotspot", "start", "--profile", "Lighthouse"}, 2, "not a hotspot");
    const json edited = RunJson({"profiles", "edit", "Deck", "--security", "wpa3", "--ssid", "Deck 2"});
    EXPECT_EQ(edited["profile"]["security"], "wpa3");

    // The lists say what it is, and a join of the network of the same name does not take it.
    const json list = RunJson({"profiles", "list"});
    for (const json& p : list["profiles"])
        EXPECT_EQ(p["kind"], p["name"] == "Deck" ? "hotspot" : "network") << p.dump();
    for (const std::string& error : m_Schemas.Check(list, "profiles-list.schema.json")) ADD_FAILURE() << error;

    const std::string reg = ScratchPath("deck.reg");
    RunJson({"profiles", "export", reg, "--profile", "Deck"});
    RunJson({"profiles", "rm", "Deck"});
    RunJson({"profiles", "import", reg});
    const json back = RunJson({"profiles", "show", "Deck"});
    EXPECT_EQ(back["kind"], "hotspot");
    EXPECT_EQ(back["ssid"], "Deck 2");
    EXPECT_EQ(back["security"], "wpa3");
}

TEST_F(HotspotCliTest, HostileValuesAreRefusedBeforeTheAdapterIsAsked) {
    ExpectRefused({"hotspot", "start", "--ssid", std::string(33, 'n')}, 2, "33 bytes");
    ExpectRefused({"hotspot", "start", "--passphrase-file", SecretFile("short")}, 2, "8 to 63");
    ExpectRefused({"hotspot", "start", "--passphrase-file", SecretFile("caf\xc3\xa9-au-lait")}, 2,
                  "not printable ASCII");
    ExpectRefused({"hotspot", "start", "--band", "5", "--channel", "6"}, 2,
                  "not a channel of the 5 GHz band");
    ExpectRefused({"hotspot", "start", "--band", "6", "--security", "wpa2"}, 2, "needs wpa3");
    ExpectRefused(
        {"hotspot", "start", "--security", "open", "--passphrase-file", SecretFile("mooring-lines")}, 2,
        "no passphrase");
    ExpectRefused({"hotspot", "start", "--band", "3"}, 2, "--band");
    // Valid settings the radio may not run: refused by the adapter, with its reason.
    ExpectRefused({"hotspot", "start", "--channel", "52"}, 1, "channel 52");
    EXPECT_EQ(RunJson({"hotspot", "status"})["running"], false);
}

TEST_F(HotspotCliTest, AnOpenHotspotIsSaidToBeOpen) {
    const SRun run = Run({"hotspot", "start", "--security", "open"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("open: anyone in range"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Passphrase"), std::string::npos) << run.out;
}

TEST_F(HotspotCliTest, ARadioWithoutAccessPointsSaysSo) {
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"access_point": false}})"), 0);
    const json status = RunJson({"hotspot", "status"});
    EXPECT_EQ(status["abilities"]["can_start"], false);
    EXPECT_NE(status["note"].get<std::string>().find("cannot run an access point"), std::string::npos);
    ExpectRefused({"hotspot", "start"}, 1, "cannot run an access point");
}

}  // namespace
}  // namespace wavory::test
