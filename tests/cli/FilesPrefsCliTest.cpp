// profiles export|import through files, and prefs get|set.
#include <filesystem>
#include <fstream>
#include <set>

#include "CliFixture.h"
#include "store/SqliteRegistry.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class FilesCliTest : public CliTest {
protected:
    void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    json Show(const std::string& name) { return RunJson({"profiles", "show", name, "--show-keys"}); }
};

TEST_F(FilesCliTest, ExportDeleteAndImportBringProfilesBack) {
    NewProfile({"--name", "Harb", "--ssid", "Harbour", "--mode", "infrastructure", "--security", "wep",
                "--key1", "1A2B3C4D5E", "--auto-select"});
    NewProfile({"--name", "Deck", "--ssid", "Deckhands", "--mode", "adhoc", "--channel", "10"});
    const std::string one = ScratchPath("harb.reg"), all = ScratchPath("all.reg");
    EXPECT_EQ(RunJson({"profiles", "export", one, "--profile", "Harb"})["profiles"], json::array({"Harb"}));
    EXPECT_EQ(RunJson({"profiles", "export", all, "--all"})["profiles"].size(), 2u);
    // Regedit text in UTF-16 with its byte-order mark.
    std::ifstream in(one, std::ios::binary);
    char bom[2] = {};
    in.read(bom, 2);
    EXPECT_EQ(std::string(bom, 2), "\xFF\xFE");

    RunJson({"profiles", "rm", "Harb"});
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 1u);

    // A profile comes back under a new name, outside the auto-selection list, with its settings.
    const json imported = RunJson({"profiles", "import", one});
    ASSERT_EQ(imported["profiles"].size(), 1u);
    const json harb = Show(imported["profiles"][0].get<std::string>());
    EXPECT_EQ(harb["ssid"], "Harbour");
    EXPECT_EQ(harb["security_text"], "WEP");
    EXPECT_EQ(harb["keys"][0]["key"], "1A2B3C4D5E");
    EXPECT_EQ(harb["auto_select"], false);
    EXPECT_EQ(RunJson({"connect", imported["profiles"][0].get<std::string>()})["associated"], true);

    // A file of all profiles adds each of them next to the ones there.
    const json both = RunJson({"profiles", "import", all});
    ASSERT_EQ(both["profiles"].size(), 2u);
    std::set<std::string> ssids;
    for (const auto& name : both["profiles"]) ssids.insert(Show(name.get<std::string>())["ssid"]);
    EXPECT_EQ(ssids, (std::set<std::string>{"Harbour", "Deckhands"}));
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 4u);
    EXPECT_EQ(Show("Deck")["channel"], 10);
}

TEST_F(FilesCliTest, ExportKeepsAnExistingFileUnlessForced) {
    NewProfile({"--name", "Harb", "--ssid", "Harbour"});
    const std::string file = ScratchPath("harb.reg");
    WriteFile(file, "keep me");
    ExpectRefused({"profiles", "export", file, "--profile", "Harb"}, 1, "--force");
    ExpectRefused({"profiles", "export", file, "--profile", "Nobody"}, 1, "no profile named");
    ExpectRefused({"profiles", "export", file}, 2, "--all");
    std::ifstream kept(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
    EXPECT_EQ(Run({"profiles", "export", file, "--profile", "Harb", "--force"}).code, 0);
    EXPECT_GT(std::filesystem::file_size(file), 100u);
}

TEST_F(FilesCliTest, BadFilesAreRefusedWithoutChanges) {
    NewProfile({"--name", "Harb", "--ssid", "Harbour"});
    const std::string garbage = ScratchPath("garbage.reg"), empty = ScratchPath("empty.reg"),
                      hive = ScratchPath("cut.reg"), unquoted = ScratchPath("unquoted.reg");
    WriteFile(garbage, "this is not a profile file\n");
    WriteFile(empty, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n");
    WriteFile(hive, std::string("regf") + std::string(60, '\0'));
    WriteFile(unquoted, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"NetName\"=Harbour\r\n");
    ExpectRefused({"profiles", "import", ScratchPath("missing.reg")}, 1, "cannot import");
    ExpectRefused({"profiles", "import", garbage}, 1, "cannot import");
    ExpectRefused({"profiles", "import", empty}, 1, "holds no profile");
    ExpectRefused({"profiles", "import", hive}, 1, "cannot import");
    ExpectRefused({"profiles", "import", unquoted}, 1, "cannot import");
    ExpectRefused({"profiles", "import"}, 2, "file");
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 1u);
}

class PrefsCliTest : public CliTest {};

TEST_F(PrefsCliTest, DefaultsAndChanges) {
    const json defaults = RunJson({"prefs", "get"});
    EXPECT_EQ(defaults, json({{"interval", 10},
                              {"units", "percent"},
                              {"active_scan", false},
                              {"scan_band", 0},
                              {"power_save", 0},
                              {"view", "ap"},
                              {"mac_address", "device"}}));

    const json set = RunJson({"prefs", "set", "--interval", "100", "--units", "dbm", "--scan-band", "3",
                              "--power-save", "2", "--active-scan", "on"});
    EXPECT_EQ(set["interval"], 100);
    EXPECT_EQ(set["units"], "dbm");
    EXPECT_EQ(set["scan_band"], 3);
    EXPECT_EQ(set["power_save"], 2);
    EXPECT_EQ(set["active_scan"], true);
    // Stored as the window stores it: milliseconds.
    EXPECT_EQ(CSqliteRegistry(SettingsFile()).GetProfileInt("", "Polling Interval", 0), 100000);
    EXPECT_EQ(Run({"prefs", "get", "interval"}).out, "100\n");
    RunJson({"prefs", "set", "--interval", "5"});
    EXPECT_EQ(RunJson({"prefs", "get", "interval", "units"}), json({{"interval", 5}, {"units", "dbm"}}));

    // The dialog's Defaults: 10 s, percent, passive, band 0, power save 0.
    const json reset = RunJson({"prefs", "set", "--defaults"});
    EXPECT_EQ(reset, defaults);
}

TEST_F(PrefsCliTest, InvalidValuesAreRefusedAndNothingIsStored) {
    RunJson({"prefs", "set", "--interval", "30"});
    for (const char* interval : {"4", "101", "0", "-5", "abc", "5.5", ""})
        ExpectRefused({"prefs", "set", "--interval", interval, "--units", "dbm"}, 2, "--interval");
    ExpectRefused({"prefs", "set", "--interval", "4"}, 2, "between 5 and 100");
    ExpectRefused({"prefs", "set", "--units", "kelvin"}, 2, "--units");
    ExpectRefused({"prefs", "set", "--scan-band", "4"}, 2, "--scan-band");
    ExpectRefused({"prefs", "set", "--power-save", "3"}, 2, "--power-save");
    ExpectRefused({"prefs", "set"}, 2, "nothing to set");
    ExpectRefused({"prefs", "get", "colour"}, 2, "name");
    EXPECT_EQ(RunJson({"prefs", "get"})["interval"], 30);
    EXPECT_EQ(RunJson({"prefs", "get"})["units"], "percent");
}

}  // namespace
}  // namespace wavory::test
