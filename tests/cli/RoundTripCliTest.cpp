// The program's own export of every kind of profile imports back whole: each profile as the program
// makes it (joined by name or hidden, enterprise, ad hoc, every security and band, a name with a NUL
// byte or markup) comes back into an empty store with every stored value.
#include <algorithm>
#include <fstream>

#include "CliFixture.h"
#include "TestMain.h"
#include "base/RegTree.h"
#include "kccl_sim.h"
#include "store/RegFile.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class RoundTripCliTest : public CliTest {
protected:
    std::string Secret(const std::string& name, const std::string& text) {
        const std::string path = ScratchPath(name);
        std::ofstream(path) << text << "\n";
        return path;
    }

    void Put(const json& network) { ASSERT_EQ(kccl_sim_put_network(network.dump().c_str()), 0) << network; }

    void Expect(const std::vector<std::string>& args) {
        const SRun run = Run(args);
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(run.code, 0) << shown << "\n" << run.err;
    }

    // The profile keys of an export, each without the values an import sets anew (its name and its
    // place in the auto-selection order) and without the key's own name.
    static std::vector<SRegKey> ProfilesOf(const std::string& file) {
        SRegKey top;
        EXPECT_EQ(ReadRegFile(file, top), REG_OK) << file;
        std::vector<SRegKey> profiles;
        for (SRegKey key : top.subkeys) {
            if (!key.name.starts_with("Profile ")) continue;
            key.name.clear();
            std::erase_if(key.values, [](const SRegNamedValue& v) {
                return RegNameEqual(v.name, "ProfName") || RegNameEqual(v.name, "AutoSelect") ||
                       RegNameEqual(v.name, "Priority");
            });
            profiles.push_back(std::move(key));
        }
        return profiles;
    }
};

TEST_F(RoundTripCliTest, AnExportOfEveryKindOfProfileImportsBackWhole) {
    Put({{"ssid", "Attic"},
         {"bssid", "00-1D-7E-00-00-01"},
         {"channel", 6},
         {"hidden", true},
         {"security", "wpa2"},
         {"passphrase", "up-the-ladder"}});
    Put({{"ssid", "Cellar"}, {"bssid", "00-1D-7E-00-00-02"}, {"channel", 36}, {"hidden", true}});
    Put({{"ssid_hex", "4e554c0042797465"}, {"bssid", "00-1D-7E-00-00-03"}, {"channel", 11}});
    Put({{"ssid", "Sixth"},
         {"bssid", "00-1D-7E-00-00-04"},
         {"frequency_mhz", 5975},
         {"security", "wpa3"},
         {"passphrase", "six-gigahertz"}});
    Put({{"ssid", "<b>Bold</b> & \"q\""},
         {"bssid", "00-1D-7E-00-00-05"},
         {"channel", 1},
         {"security", "owe"}});
    Put({{"ssid", "Campus"},
         {"bssid", "00-1D-7E-00-00-06"},
         {"channel", 149},
         {"security", "wpa2-enterprise"},
         {"eap",
          {{"methods", {"peap", "ttls"}},
           {"identity", "bob"},
           {"password", "campus-pass"},
           {"server_name", "aaa.campus.example"},
           {"system_ca", true}}}});

    // Profiles made by joining, hidden networks among them.
    Expect({"connect", "--ssid", "Attic", "--hidden", "--security", "wpa2", "--passphrase-file",
            Secret("attic", "up-the-ladder")});
    Expect({"connect", "--ssid", "Cellar", "--hidden"});
    Expect({"connect", "--ssid-hex", "4e554c0042797465"});
    Expect({"connect", "--ssid", "Sixth", "--passphrase-file", Secret("sixth", "six-gigahertz")});
    Expect({"connect", "--ssid", "<b>Bold</b> & \"q\""});
    Expect({"connect", "--ssid", "Campus", "--eap", "peap", "--identity", "bob", "--system-ca", "--domain",
            "aaa.campus.example", "--password-file", Secret("campus", "campus-pass")});
    // And by hand: ad hoc and infrastructure, every security, 2.4 and 5 GHz.
    Expect({"profiles", "new", "--name", "Loft", "--ssid", "Loft", "--mode", "adhoc", "--channel", "3",
            "--security", "wep", "--key1", "1A2B3C4D5E", "--key3", "0102030405060708090A0B0C0D",
            "--active-key", "3"});
    Expect({"profiles", "new", "--name", "Lab", "--ssid", "Lab", "--mode", "adhoc", "--phy", "a",
            "--frequency", "5180"});
    Expect({"profiles", "new", "--name", "Porch", "--ssid", "Porch", "--mode", "infrastructure", "--security",
            "none", "--auto-select"});
    Expect({"profiles", "new", "--name", "<i>markup</i>", "--ssid", "<script>x</script>", "--mode",
            "infrastructure", "--security", "wpa2-wpa3", "--passphrase-file", Secret("markup", "marked-up!"),
            "--auto-select"});
    Expect({"profiles", "new", "--name", "Open air", "--ssid", "Open air", "--mode", "infrastructure",
            "--security", "owe"});
    Expect({"profiles", "new", "--name", "TTLS", "--ssid", "Campus", "--mode", "infrastructure", "--security",
            "wpa3-enterprise", "--eap", "ttls", "--identity", "carol", "--anonymous-identity", "anon",
            "--password-file", Secret("ttls", "ttls-pass"), "--no-ca-check"});

    const std::string all = ScratchPath("all.reg");
    Expect({"profiles", "export", "--all", all});
    const std::vector<SRegKey> exported = ProfilesOf(all);
    ASSERT_EQ(exported.size(), 12u);

    // Into an empty store: every profile comes in, none is skipped.
    const std::vector<std::string> empty{"XDG_CONFIG_HOME=" + ScratchPath("empty-config")};
    SChild import = Start({WAVORYCTL_PATH, "profiles", "import", all, "--json"}, empty);
    const SRun imported = Finish(import);
    ASSERT_EQ(imported.code, 0) << imported.err << imported.out;
    const json result = json::parse(imported.out);
    EXPECT_EQ(result["profiles"].size(), 12u) << result;
    EXPECT_EQ(result.value("skipped", json::array()).size(), 0u) << result;

    const std::string again = ScratchPath("again.reg");
    SChild exportAgain = Start({WAVORYCTL_PATH, "profiles", "export", "--all", again}, empty);
    ASSERT_EQ(Finish(exportAgain).code, 0);
    std::vector<SRegKey> back = ProfilesOf(again);
    ASSERT_EQ(back.size(), exported.size());
    // Each profile of the first store has its twin, value for value.
    for (const SRegKey& profile : exported) {
        const auto twin = std::find(back.begin(), back.end(), profile);
        if (twin == back.end()) {
            std::string values;
            for (const SRegNamedValue& v : profile.values)
                values += v.name + "=" +
                          (v.value.type == ERegType::Dword ? std::to_string(v.value.dword) : v.value.text) +
                          " ";
            ADD_FAILURE() << "no imported twin of: " << values;
            continue;
        }
        back.erase(twin);
    }
}

}  // namespace
}  // namespace wavory::test
