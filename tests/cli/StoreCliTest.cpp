// wavoryctl when the settings store is damaged, read-only, held by a stopped program or on a full
// disk: each says so with its reason (exit 1, "store_damaged", "store_read_only", "store_busy",
// "store_full"), and no change is lost or claimed. And the store commands: check, backup, restore.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "store/SqliteRegistry.h"

#include "CliFixture.h"
#include "TestMain.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class StoreCliTest : public CliTest {
protected:
    // Runs wavoryctl with more environment; --json is added.
    SRun RunWith(const std::vector<std::string>& env, std::vector<std::string> args) {
        std::vector<std::string> argv{WAVORYCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.emplace_back("--json");
        SChild child = Start(argv, env);
        return Finish(child);
    }

    // The failure's reason word in the JSON object on standard output.
    static std::string Reason(const SRun& run) {
        try {
            return json::parse(run.out).value("reason", "");
        } catch (const std::exception&) {
            return "<no JSON: " + run.out + ">";
        }
    }

    std::vector<std::string> ProfileNames(const std::vector<std::string>& env = {}) {
        const SRun run = RunWith(env, {"profiles", "list"});
        EXPECT_EQ(run.code, 0) << run.err;
        std::vector<std::string> names;
        const json listed = json::parse(run.out);
        for (const json& p : listed["profiles"]) names.push_back(p["name"]);
        return names;
    }

    std::string Folder() const { return (std::filesystem::path(TempHome()) / "Wavory").string(); }

    static std::string ReadBytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // Spoils a page in the middle of the settings file; returns its bytes as they are now.
    std::string DamageSettings() {
        std::string bytes = ReadBytes(SettingsFile());
        EXPECT_GT(bytes.size(), 8192u);
        for (size_t i = 4096; i < 8192 && i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc) << bytes;
        return bytes;
    }

    // Every file under the settings folder, copies included.
    std::vector<std::string> SettingsFolderFiles() const {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(Folder()))
            if (e.is_regular_file()) files.push_back(e.path().string());
        return files;
    }

    // A file system of this test's own at `path`, for a full disk or a read-only mount; false when
    // this process may not mount one (it is not root).
    bool MountTmpfs(const std::string& path, const char* size) {
        std::filesystem::create_directories(path);
        if (::geteuid() != 0) return false;
        const std::string options = std::string("size=") + size + ",mode=0700";
        if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
        m_Mounts.push_back(path);
        return true;
    }

    void TearDown() override {
        for (const std::string& path : m_Mounts) ::umount2(path.c_str(), MNT_DETACH);
    }

    std::vector<std::string> m_Mounts;
};

TEST_F(StoreCliTest, ADamagedStoreIsToldKeptAsideAndTheLastCopyRestored) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    ASSERT_EQ(Run({"store", "backup"}).code, 0);
    NewProfile({"--name", "After", "--ssid", "Harbour"});
    std::string bytes;
    {
        std::ifstream in(SettingsFile(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(bytes.size(), 8192u);
    for (size_t i = 4096; i < 8192; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc) << bytes;

    const SRun damaged = RunWith({}, {"profiles", "list"});
    EXPECT_EQ(damaged.code, 1);
    EXPECT_EQ(Reason(damaged), "store_damaged");
    EXPECT_TRUE(IsOneLine(damaged.err)) << damaged.err;
    EXPECT_NE(damaged.err.find("settings.db.damaged-"), std::string::npos) << damaged.err;
    bool kept = false;
    for (const auto& e : std::filesystem::directory_iterator(Folder()))
        kept = kept || e.path().filename().string().starts_with("settings.db.damaged-");
    EXPECT_TRUE(kept);
    // The next command runs on the copy: what was stored after it is gone, and said so above.
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
}

// Read-only: every command that only reads runs; a change is refused up front and changes no mode.
TEST_F(StoreCliTest, AReadOnlyStoreShowsEverythingAndRefusesChanges) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    std::vector<std::string> env;
    if (::geteuid() == 0) {
        const std::string mount = ScratchPath("ro");
        if (!MountTmpfs(mount, "4m")) GTEST_SKIP() << "cannot mount a file system here";
        std::filesystem::copy(Folder(), mount + "/Wavory", std::filesystem::copy_options::recursive);
        ASSERT_EQ(::mount(nullptr, mount.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        env.push_back("XDG_CONFIG_HOME=" + mount);
    } else {
        std::filesystem::permissions(Folder(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    EXPECT_EQ(RunWith(env, {"status"}).code, 0);
    EXPECT_EQ(ProfileNames(env), std::vector<std::string>{"Home"});
    const SRun refused = RunWith(env, {"profiles", "new", "--name", "Work", "--ssid", "Harbour"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(Reason(refused), "store_read_only");
    EXPECT_NE(refused.err.find("read-only"), std::string::npos) << refused.err;
    EXPECT_EQ(ProfileNames(env), std::vector<std::string>{"Home"});
    if (::geteuid() != 0) {
        EXPECT_EQ(std::filesystem::status(Folder()).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        std::filesystem::permissions(Folder(), std::filesystem::perms::owner_all);
    }
}

// A program stopped while it holds the store's write lock: the others start and read; a change
// waits for it and fails as busy, storing nothing; the stopped one's change never lands.
TEST_F(StoreCliTest, AStoppedWriterMakesChangesBusyButNothingElse) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    SChild holder = Start({WAVORYCTL_PATH, "profiles", "new", "--name", "Held", "--ssid", "Held"},
                          {"WAVORY_STORE_STOP_AT=1"});
    int status = 0;
    ASSERT_EQ(::waitpid(holder.pid, &status, WUNTRACED), holder.pid);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the writer ended instead of stopping";

    const std::vector<std::string> shortWait{"WAVORY_STORE_BUSY_MS=300"};
    EXPECT_EQ(RunWith(shortWait, {"status"}).code, 0);
    EXPECT_EQ(ProfileNames(shortWait), std::vector<std::string>{"Home"});
    const SRun busy = RunWith(shortWait, {"profiles", "new", "--name", "Work", "--ssid", "Harbour"});
    EXPECT_EQ(busy.code, 1);
    EXPECT_EQ(Reason(busy), "store_busy");

    ::kill(holder.pid, SIGKILL);
    Finish(holder);
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
    NewProfile({"--name", "Work", "--ssid", "Harbour"});
}

// A full disk: the change is refused as such, and what was stored stays readable and whole.
TEST_F(StoreCliTest, AFullDiskRefusesTheChangeAndKeepsTheStore) {
    const std::string mount = ScratchPath("full");
    if (!MountTmpfs(mount, "2m")) GTEST_SKIP() << "a small file system needs root to mount";
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + mount};
    ASSERT_EQ(RunWith(env, {"profiles", "new", "--name", "Home", "--ssid", "Lighthouse"}).code, 0);
    {
        std::ofstream filler(mount + "/filler", std::ios::binary);
        const std::string block(65536, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
        }
    }
    const SRun full = RunWith(env, {"profiles", "new", "--name", "Work", "--ssid", std::string(30, 'w')});
    EXPECT_EQ(full.code, 1) << full.out;
    EXPECT_EQ(Reason(full), "store_full") << full.err;
    EXPECT_EQ(ProfileNames(env), std::vector<std::string>{"Home"});
    std::filesystem::remove(mount + "/filler");
    EXPECT_EQ(RunWith(env, {"profiles", "new", "--name", "Work", "--ssid", "Harbour"}).code, 0);
}

// The earlier version's INI file moves into the store the first time the command-line tool opens
// it, read by the module that knows the file's format, without Qt in the tool itself.
TEST_F(StoreCliTest, TheEarlierVersionsSettingsMoveInThroughTheCommandLine) {
    std::filesystem::create_directories(Folder());
    const std::string ini = Folder() + "/Wavory Utility.conf";
    {
        std::ofstream out(ini);
        // As QSettings writes them: the application key under [General], groups percent-escaped,
        // text with a comma or a leading space quoted, quotes and backslashes escaped.
        out << "[General]\nNumOfProfiles=1\nPolling%20Interval=20000\n\n"
               "[Profile%200]\nNetName=\"Quay, \\\"North\\\" \\\\ \xc3\xa9\"\nPhyChnl=5\nPriority=0\n"
               "ProfName=Home\nAutoSelect=1\n";
    }
    const SRun listed = RunWith({}, {"profiles", "show", "Home"});
    ASSERT_EQ(listed.code, 0) << listed.err << listed.out;
    const json profile = json::parse(listed.out);
    EXPECT_EQ(profile["ssid"], "Quay, \"North\" \\ \xc3\xa9");
    EXPECT_FALSE(std::filesystem::exists(ini));
    EXPECT_TRUE(std::filesystem::exists(ini + ".moved-to-settings.db"));
}

// A copy of the program that runs with raised rights (here set-group-ID, which the kernel treats as
// it treats a capability: secure execution) does not load the INI reader from beside its build,
// where its user could have put any code; it leaves the file where it is and says why.
TEST_F(StoreCliTest, AProgramWithRaisedRightsLoadsNoModuleFromTheBuildFolder) {
    namespace fs = std::filesystem;
    const fs::path built = fs::path(WAVORYCTL_PATH).parent_path();
    const fs::path module = built / ".." / "lib" / "wavory" / "libwavory_ini.so";
    if (::geteuid() != 0) GTEST_SKIP() << "making a set-group-ID program of another group needs root";
    if (!fs::exists(module)) GTEST_SKIP() << "no INI module built at " << module;
    // The build's layout, copied: bin/wavoryctl and lib/wavory/libwavory_ini.so.
    const fs::path root = ScratchPath("raised");
    fs::create_directories(root / "bin");
    fs::create_directories(root / "lib" / "wavory");
    fs::copy_file(WAVORYCTL_PATH, root / "bin" / "wavoryctl");
    fs::copy_file(module, root / "lib" / "wavory" / "libwavory_ini.so");
    const std::string program = (root / "bin" / "wavoryctl").string();
    const gid_t other = ::getgid() == 65534 ? 65533 : 65534;
    ASSERT_EQ(::chown(program.c_str(), 0, other), 0);
    ASSERT_EQ(::chmod(program.c_str(), 02755), 0);
    struct statvfs fsInfo {};
    if (::statvfs(program.c_str(), &fsInfo) == 0 && (fsInfo.f_flag & ST_NOSUID))
        GTEST_SKIP() << "the scratch folder is on a file system mounted nosuid";

    fs::create_directories(Folder());
    const std::string ini = Folder() + "/Wavory Utility.conf";
    std::ofstream(ini) << "[General]\nNumOfProfiles=1\n\n[Profile%200]\nNetName=Quay\nProfName=Home\n";
    SChild child = Start({program, "profiles", "list", "--json"});
    const SRun run = Finish(child);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(fs::exists(ini)) << "the file was read with a module from the build folder";
    EXPECT_NE(run.err.find("runs with raised rights"), std::string::npos) << run.err;

    // The same copy without the set-group-ID bit reads it.
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    SChild plain = Start({program, "profiles", "list", "--json"});
    EXPECT_EQ(Finish(plain).code, 0);
    EXPECT_FALSE(fs::exists(ini));
}

TEST_F(StoreCliTest, CheckBackupAndRestore) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    const json checked = RunJson({"store", "check"});
    EXPECT_EQ(checked["sound"], true);
    EXPECT_EQ(checked["layout"], 1);
    const std::string file = ScratchPath("before.db");
    EXPECT_EQ(RunJson({"store", "backup", file})["file"], file);
    NewProfile({"--name", "Work", "--ssid", "Harbour"});

    const json restored = RunJson({"store", "restore", file});
    EXPECT_EQ(restored["file"], file);
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
    // What was there before the restore is kept, and can be had back.
    ASSERT_TRUE(restored.contains("previous"));
    RunJson({"store", "restore", restored["previous"].get<std::string>()});
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"Home", "Work"}));

    const std::string garbage = ScratchPath("garbage.db");
    std::ofstream(garbage) << std::string(5000, 'g');
    ExpectRefused({"store", "restore", garbage}, 1, "cannot restore");
}

// Export without secrets, and an import that names what it skipped.
TEST_F(StoreCliTest, ExportWithoutSecretsAndImportThatNamesWhatItSkipped) {
    NewProfile(
        {"--name", "Home", "--ssid", "Lighthouse", "--security", "wpa2", "--passphrase", "secret-pass-1"});
    const std::string file = ScratchPath("public.reg");
    const json exported = RunJson({"profiles", "export", "--all", "--no-secrets", file});
    EXPECT_EQ(exported["secrets"], false);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(bytes.find("s\0e\0c\0r\0e\0t\0", 0, 12), std::string::npos);

    const std::string mixed = ScratchPath("mixed.reg");
    std::ofstream(mixed, std::ios::binary)
        << "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory "
           "Utility]\r\n\"NumOfProfiles\"=dword:2\r\n"
           "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 0]\r\n\"NetName\"=\"\"\r\n"
           "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 1]\r\n\"NetName\"=\"Good\"\r\n";
    const json imported = RunJson({"profiles", "import", mixed});
    EXPECT_EQ(imported["profiles"], json::array({"Profile 1"}));
    ASSERT_EQ(imported["skipped"].size(), 1u);
    EXPECT_EQ(imported["skipped"][0]["profile"], "Profile 0");
    EXPECT_NE(imported["skipped"][0]["reason"].get<std::string>().find("NetName"), std::string::npos);
}

// Three programs open a damaged store at once (bash completion does so while the window starts):
// one moves it aside and restores the copy, the others wait for it and use the restored store. The
// damaged bytes are kept exactly once, and the message names the file that holds them.
TEST_F(StoreCliTest, ProgramsOpeningADamagedStoreAtOnceKeepItOnce) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    ASSERT_EQ(Run({"store", "backup"}).code, 0);
    NewProfile({"--name", "After", "--ssid", "Harbour"});
    const std::string damaged = DamageSettings();

    // The recovering program waits a while before the move, so that the others find the store
    // damaged too and meet it there.
    std::vector<SChild> children;
    for (int i = 0; i < 3; ++i)
        children.push_back(
            Start({WAVORYCTL_PATH, "profiles", "list", "--json"}, {"WAVORY_STORE_RECOVERY_PAUSE_MS=400"}));
    int told = 0;
    for (SChild& child : children) {
        const SRun run = Finish(child);
        if (run.code == 0) continue;
        EXPECT_EQ(Reason(run), "store_damaged") << run.err;
        ++told;
        const std::string lead = "It was kept as ";
        const size_t at = run.err.find(lead);
        ASSERT_NE(at, std::string::npos) << run.err;
        const size_t end = run.err.find(". ", at + lead.size());
        const std::string kept = run.err.substr(at + lead.size(), end - at - lead.size());
        EXPECT_EQ(ReadBytes(kept), damaged) << kept;
    }
    EXPECT_EQ(told, 1);
    int keptFiles = 0;
    for (const std::string& file : SettingsFolderFiles()) {
        if (file.find("settings.db.damaged-") == std::string::npos) continue;
        ++keptFiles;
        EXPECT_EQ(ReadBytes(file), damaged) << file;
    }
    EXPECT_EQ(keptFiles, 1);
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
}

TEST_F(StoreCliTest, BackupReplacesAFileOnlyWithForce) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    const std::string file = ScratchPath("notes.txt");
    std::ofstream(file) << "my notes\n";
    ExpectRefused({"store", "backup", file}, 1, "Use --force");
    EXPECT_EQ(ReadBytes(file), "my notes\n");
    const std::string folder = ScratchPath("a-folder");
    std::filesystem::create_directories(folder);
    ExpectRefused({"store", "backup", folder, "--force"}, 1, "cannot write the copy");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    EXPECT_EQ(RunJson({"store", "backup", file, "--force"})["file"], file);
    EXPECT_EQ(ReadBytes(file).rfind("SQLite format 3", 0), 0u);
    RunJson({"store", "restore", file});
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
}

// An import keeps a copy of the settings as they were, in copies/; when that copy cannot be made,
// nothing is imported.
TEST_F(StoreCliTest, ImportKeepsACopyOfTheSettingsBefore) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    const std::string file = ScratchPath("one.reg");
    RunJson({"profiles", "export", "--profile", "Home", file});
    const std::string copies = Folder() + "/copies";
    std::filesystem::remove_all(copies);

    RunJson({"profiles", "import", file});
    EXPECT_EQ(ProfileNames().size(), 2u);
    std::string importCopy;
    const json checked = RunJson({"store", "check"});
    for (const json& copy : checked["copies"])
        if (copy["reason"] == "import") importCopy = copy["file"].get<std::string>();
    ASSERT_FALSE(importCopy.empty()) << "no import copy in " << checked.dump();
    RunJson({"store", "restore", importCopy});
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});

    // No place for the copy (a file where its folder belongs): refused, the store as it was.
    std::filesystem::remove_all(copies);
    std::ofstream(copies) << "in the way";
    const std::string before = SettingsBytes();
    const SRun refused = Run({"profiles", "import", file});
    EXPECT_EQ(refused.code, 1) << refused.out;
    EXPECT_NE(refused.err.find("could not be made"), std::string::npos) << refused.err;
    EXPECT_EQ(SettingsBytes(), before);
}

// After profiles rm, the removed profile's passphrase is in no file of the settings folder: not in
// the log another program's open connection keeps, not in the automatic copies. Another profile's
// key stays in them.
TEST_F(StoreCliTest, ARemovedProfilesKeyLeavesTheLogAndTheCopies) {
    std::filesystem::create_directories(Folder());
    // Held open by this process all along, the store keeps its write-ahead log between commands.
    CSqliteRegistry holder(SettingsFile());
    ASSERT_TRUE(holder.IsOpen()) << holder.Error();
    const std::string gone = "scrub-me-0123456789";
    const std::string kept = "keep-me-9876543210";
    NewProfile({"--name", "Home", "--ssid", "Lighthouse", "--security", "wpa2", "--passphrase", gone});
    NewProfile({"--name", "Work", "--ssid", "Harbour", "--security", "wpa2", "--passphrase", kept});
    ASSERT_EQ(Run({"store", "backup"}).code, 0);
    std::string everything;
    for (const std::string& file : SettingsFolderFiles()) everything += ReadBytes(file);
    ASSERT_NE(everything.find(gone), std::string::npos) << "the search would find nothing";

    ASSERT_EQ(Run({"profiles", "rm", "Home"}).code, 0);
    bool keptSomewhere = false;
    for (const std::string& file : SettingsFolderFiles()) {
        const std::string bytes = ReadBytes(file);
        EXPECT_EQ(bytes.find(gone), std::string::npos) << file;
        keptSomewhere = keptSomewhere ||
                        (file.find("/copies/") != std::string::npos && bytes.find(kept) != std::string::npos);
    }
    EXPECT_TRUE(keptSomewhere);
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Work"});
    // A copy still restores what it held but the removed key.
    std::string backup;
    const json checked = RunJson({"store", "check"});
    for (const json& copy : checked["copies"])
        if (copy["reason"] == "backup") backup = copy["file"].get<std::string>();
    ASSERT_FALSE(backup.empty()) << checked.dump();
    RunJson({"store", "restore", backup});
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"Home", "Work"}));
    EXPECT_EQ(RunJson({"profiles", "show", "Work", "--show-keys"})["passphrase"], kept);
}

// A store whose file (0400) and folder (0500) are both read-only is listed as it stands, and a change
// is refused as read-only. Run as root, the program goes without the rights that pass over modes.
TEST_F(StoreCliTest, AReadOnlyFileInAReadOnlyFolderIsStillListed) {
    NewProfile({"--name", "Home", "--ssid", "Lighthouse"});
    std::vector<std::string> argv{WAVORYCTL_PATH};
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
        argv = {"/usr/bin/setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--",
                WAVORYCTL_PATH};
    }
    auto run = [&](std::vector<std::string> args) {
        std::vector<std::string> all = argv;
        all.insert(all.end(), args.begin(), args.end());
        all.emplace_back("--json");
        SChild child = Start(all);
        return Finish(child);
    };
    namespace fs = std::filesystem;
    fs::permissions(SettingsFile(), fs::perms::owner_read);
    fs::permissions(Folder(), fs::perms::owner_read | fs::perms::owner_exec);

    const SRun listed = run({"profiles", "list"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    if (listed.code == 0) {
        EXPECT_EQ(json::parse(listed.out)["profiles"][0]["name"], "Home");
    }
    const SRun refused = run({"profiles", "new", "--name", "Work", "--ssid", "Harbour"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(Reason(refused), "store_read_only") << refused.err;
    EXPECT_NE(refused.err.find("read-only"), std::string::npos) << refused.err;

    fs::permissions(Folder(), fs::perms::owner_all);
    fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ProfileNames(), std::vector<std::string>{"Home"});
}

}  // namespace
}  // namespace wavory::test
