// What a person reads: messages that name the real problem, notes kept off standard output, tables
// aligned for wide characters, help without parser leftovers, and a prompt that asks again.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "CliFixture.h"
#include "kccl_sim.h"

extern char** environ;

namespace wavory::test {
namespace {

using nlohmann::json;

class MessagesCliTest : public CliTest {};

// Terminal columns of the UTF-8 text in these tests: CJK and emoji take two, the rest one.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        for (std::size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        columns += (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x1F300 && c <= 0x1FAFF) ? 2 : 1;
        i += len;
    }
    return columns;
}

TEST_F(MessagesCliTest, NotesGoToStandardErrorAndTheListToStandardOutput) {
    // A fresh adapter is still on its first scan: the note says so, apart from the list.
    const SRun early = Run({"scan", "--no-wait"});
    EXPECT_EQ(early.code, 0) << early.err;
    EXPECT_EQ(early.out.find("still running"), std::string::npos) << early.out;
    EXPECT_NE(early.err.find("The scan is still running"), std::string::npos) << early.err;

    // Connected: the legend of the mark is a note too; every line on standard output is a row.
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ASSERT_EQ(Run({"connect", "Light"}).code, 0);
    const SRun scan = Run({"scan", "--view", "ap"});
    EXPECT_EQ(scan.code, 0);
    EXPECT_NE(scan.err.find("* connected"), std::string::npos) << scan.err;
    std::size_t lines = 0;
    for (char c : scan.out) lines += c == '\n';
    EXPECT_EQ(lines, 15u) << scan.out;  // the header and 14 access points
    const SRun list = Run({"profiles", "list"});
    EXPECT_EQ(list.out.find("* the adapter"), std::string::npos) << list.out;
    EXPECT_NE(list.err.find("* the adapter is connected"), std::string::npos) << list.err;
    const SRun adapters = Run({"adapters"});
    EXPECT_EQ(adapters.out.find("in use"), std::string::npos) << adapters.out;
    // With --json nothing but the object.
    EXPECT_EQ(Run({"scan", "--no-wait", "--json"}).err, "");
}

TEST_F(MessagesCliTest, MessagesNameTheRealProblem) {
    const std::string folder = ScratchPath("folder");
    std::filesystem::create_directories(folder);
    ExpectRefused({"profiles", "new", "--name", "W", "--ssid", "Marina", "--security", "wpa2",
                   "--passphrase-file", folder},
                  2, "is a folder");
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    for (const bool force : {false, true}) {
        std::vector<std::string> args{"profiles", "export", "--all", folder};
        if (force) args.emplace_back("--force");
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("is a folder"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("--force"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Access is denied"), std::string::npos) << run.err;
    }
    for (const bool force : {false, true}) {
        std::vector<std::string> args{"profiles", "export", "--all", "/dev/full"};
        if (force) args.emplace_back("--force");
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    }
    ExpectRefused({"--bogus"}, 2, "unknown option \"--bogus\"");
    ExpectRefused({"status", "--bogus"}, 2, "unknown option \"--bogus\"");
    ExpectRefused({"scan", "--timeout", "abc"}, 2, "\"abc\" is not a whole number");
    ExpectRefused({"scan", "--timeout", "999"}, 2, "999 is out of range: use 1 to 300");
    ExpectRefused({"stats", "--seconds", "1.5"}, 2, "not a whole number");
}

TEST_F(MessagesCliTest, WithoutATerminalTheSecretFileIsSuggested) {
    // Standard input is /dev/null: no prompt, and the advice is the option that keeps the secret
    // off the command line.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"profiles", "new", "--name", "W", "--ssid", "Marina", "--security",
                                   "wpa2"},
          {"connect", "--ssid", "Marina"}}) {
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 2) << run.err;
        EXPECT_NE(run.err.find("--passphrase-file FILE|-"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("--passphrase "), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("--passphrase ("), std::string::npos) << run.err;
    }
}

TEST_F(MessagesCliTest, WideNamesKeepTheColumnsInLineAndAHiddenNameShows) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "港口咖啡", "bssid": "00-11-22-33-44-01", "channel": 4,
                                      "phy": 2, "mode": "infrastructure", "signal_dbm": -61})"),
              0);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Boat 🚤 Club", "bssid": "00-11-22-33-44-02", "channel": 4,
                                      "phy": 2, "mode": "infrastructure", "signal_dbm": -62})"),
              0);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Secret Dock", "bssid": "00-11-22-33-44-03", "channel": 4,
                                      "phy": 2, "mode": "infrastructure", "signal_dbm": -63, "hidden": true})"),
              0);
    const SRun run = Run({"scan", "--view", "ap"});
    ASSERT_EQ(run.code, 0) << run.err;
    // The mode column starts at the same terminal column on every row.
    std::set<std::size_t> starts;
    bool hiddenShown = false;
    std::size_t start = 0;
    for (std::size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = run.out.substr(start, end - start);
        std::size_t at = line.find("Infrastructure");
        if (at == std::string::npos) at = line.find("Ad-Hoc");
        if (at == std::string::npos) at = line.find("Mode");
        ASSERT_NE(at, std::string::npos) << line;
        starts.insert(Columns(line.substr(0, at)));
        if (line.find("00-11-22-33-44-03") != std::string::npos) {
            // The name cell of a hidden network reads "--", as nmcli shows it.
            const std::size_t name = line.find('%') + 1;
            EXPECT_EQ(line.substr(line.find_first_not_of(' ', name), 2), "--") << line;
            hiddenShown = true;
        }
    }
    EXPECT_EQ(starts.size(), 1u) << run.out;
    EXPECT_TRUE(hiddenShown) << run.out;
}

TEST_F(MessagesCliTest, HelpShowsNoParserLeftovers) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"profiles", "new", "--help"},
                                                 {"profiles", "edit", "--help"},
                                                 {"connect", "--help"},
                                                 {"prefs", "set", "--help"},
                                                 {"watch", "--help"},
                                                 {"scan", "--help"}}) {
        const SRun help = Run(args);
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.out.find("{false}"), std::string::npos) << help.out;
        EXPECT_EQ(help.out.find(",!"), std::string::npos) << help.out;
        EXPECT_EQ(help.out.find("--no-ca-check,--ca-check"), std::string::npos) << help.out;
        EXPECT_EQ(help.out.find("--interval TEXT"), std::string::npos) << help.out;
    }
    EXPECT_NE(Run({"prefs", "set", "--help"}).out.find("--interval SECONDS"), std::string::npos);
    // The two spellings of a switch are two options; both at once is refused.
    ExpectRefused({"profiles", "new", "--name", "A", "--ssid", "A", "--auto-select", "--no-auto-select"}, 2,
                  "excludes");
    NewProfile({"--name", "A", "--ssid", "A", "--auto-select"});
    EXPECT_EQ(RunJson({"profiles", "edit", "A", "--no-auto-select"})["profile"]["auto_select"], false);
}

// A program on a terminal of its own: its standard input and error are the terminal, so that it
// prompts; standard output goes to a file.
class CTerminalRun {
public:
    CTerminalRun(const std::vector<std::string>& argv, const std::string& outFile) {
        EXPECT_EQ(::openpty(&m_nMaster, &m_nSlave, nullptr, nullptr, nullptr), 0);
        std::vector<std::string> args = argv;
        std::vector<char*> cargs;
        for (auto& a : args) cargs.push_back(a.data());
        cargs.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, m_nSlave, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, m_nSlave, 2);
        posix_spawn_file_actions_addclose(&actions, m_nMaster);
        EXPECT_EQ(posix_spawn(&m_Pid, cargs[0], &actions, nullptr, cargs.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(m_nSlave);
    }
    ~CTerminalRun() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, nullptr, 0);
        }
        ::close(m_nMaster);
    }
    // Reads the terminal until `text` has appeared `count` times in all it showed (20 s at most).
    bool WaitFor(const std::string& text, int count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Count(text) < count && std::chrono::steady_clock::now() < deadline)
            if (!ReadSome()) break;
        return Count(text) >= count;
    }
    void Type(const std::string& line) {
        EXPECT_EQ(::write(m_nMaster, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    int Wait() {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (::waitpid(m_Pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) return -1;
            if (!ReadSome()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& Shown() const { return m_strShown; }

private:
    // What the terminal shows within a tenth of a second; false once it is closed.
    bool ReadSome() {
        pollfd p{m_nMaster, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) return true;
        char buf[512];
        const ssize_t n = ::read(m_nMaster, buf, sizeof buf);
        if (n <= 0) return false;
        m_strShown.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (std::size_t at = m_strShown.find(text); at != std::string::npos;
             at = m_strShown.find(text, at + 1))
            ++n;
        return n;
    }
    int m_nMaster = -1, m_nSlave = -1;
    pid_t m_Pid = -1;
    std::string m_strShown;
};

TEST_F(MessagesCliTest, ATooShortPassphraseAtThePromptIsAskedAgain) {
    CTerminalRun run(
        {WAVORYCTL_PATH, "profiles", "new", "--name", "Moor", "--ssid", "Marina", "--security", "wpa2"},
        ScratchPath("out.txt"));
    ASSERT_TRUE(run.WaitFor("Passphrase: ", 1)) << run.Shown();
    run.Type("short\n");
    ASSERT_TRUE(run.WaitFor("Passphrase: ", 2)) << run.Shown();
    EXPECT_NE(run.Shown().find("not 5 characters; try again"), std::string::npos) << run.Shown();
    run.Type("moorings-at-high-tide\n");
    EXPECT_EQ(run.Wait(), 0) << run.Shown();
    EXPECT_EQ(run.Shown().find("moorings"), std::string::npos) << "the passphrase was echoed";
    const json shown = RunJson({"profiles", "show", "Moor", "--show-keys"});
    EXPECT_EQ(shown["passphrase"], "moorings-at-high-tide");
}

}  // namespace
}  // namespace wavory::test
