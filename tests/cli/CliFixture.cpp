#include "CliFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestMain.h"
#include "kccl_sim.h"
#include "store/RegTextWriter.h"
#include "store/SqliteRegistry.h"

extern char** environ;

namespace wavory::test {

namespace {

constexpr auto kRunTimeout = std::chrono::seconds(60);
// Short scans and joins keep the whole program quick; the commands wait for them as for real ones.
constexpr int kScanMs = 150;
constexpr int kJoinMs = 50;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool IsOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

void CliTest::SetUp() {
    ASSERT_EQ(kccl_sim_reset(nullptr), 0);
    ASSERT_EQ(kccl_sim_set_scan_duration(kScanMs), 0);
    ASSERT_EQ(kccl_sim_set_join_delay(kJoinMs), 0);
    std::filesystem::remove_all(std::filesystem::path(TempHome()) / "Wavory");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strScratch =
        (std::filesystem::path(TempHome()) / "scratch" / info->test_suite_name() / info->name()).string();
    std::filesystem::remove_all(m_strScratch);
    std::filesystem::create_directories(m_strScratch);
}

std::string CliTest::ScratchPath(const std::string& name) const {
    return (std::filesystem::path(m_strScratch) / name).string();
}

std::string CliTest::SettingsFile() const {
    return (std::filesystem::path(TempHome()) / "Wavory" / "settings.db").string();
}

// What the store holds, every key and value with its kind, as an export writes it: the database
// file's own bytes also move when nothing changed (its log is folded in when the last user closes).
std::string CliTest::SettingsBytes() const {
    CSqliteRegistry store(SettingsFile());
    SRegKey tree;
    if (!store.IsOpen() || store.ReadTree("", tree) != REG_OK) return "unreadable: " + store.Error();
    return FormatRegText(tree, "Settings");
}

SChild CliTest::Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                      const std::string& input) {
    SChild child;
    const std::string n = std::to_string(++m_nChildren);
    child.outFile = ScratchPath("stdout-" + n + ".txt");
    child.errFile = ScratchPath("stderr-" + n + ".txt");
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, child.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, child.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int spawned = posix_spawn(&child.pid, cargs[0], &actions, nullptr, cargs.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        child.pid = -1;
    }
    return child;
}

SRun CliTest::Finish(SChild& child, std::chrono::seconds timeout) {
    SRun run;
    if (child.pid <= 0) return run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::waitpid(child.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, &status, 0);
            ADD_FAILURE() << "a program did not end in time";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.pid = -1;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadAll(child.outFile);
    run.err = ReadAll(child.errFile);
    return run;
}

SRun CliTest::Run(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv{WAVORYCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    SChild child = Start(argv, {}, input);
    return Finish(child, kRunTimeout);
}

nlohmann::json CliTest::RunJson(std::vector<std::string> args) {
    args.emplace_back("--json");
    const SRun run = Run(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(run.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << run.out;
    }
    return parsed;
}

void CliTest::ExpectRefused(const std::vector<std::string>& args, int code, const std::string& needle) {
    const std::string before = SettingsBytes();
    const SRun run = Run(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(run.code, code) << shown << "\n" << run.err;
    EXPECT_TRUE(IsOneLine(run.err)) << shown << "\n" << run.err;
    EXPECT_EQ(run.err.rfind("wavoryctl: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(needle), std::string::npos) << shown << "\n" << run.err;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(SettingsBytes(), before) << shown << ": the settings file changed";
}

void CliTest::NewProfile(const std::vector<std::string>& options) {
    std::vector<std::string> args{"profiles", "new"};
    args.insert(args.end(), options.begin(), options.end());
    const SRun run = Run(args);
    ASSERT_EQ(run.code, 0) << run.err;
}

}  // namespace wavory::test
