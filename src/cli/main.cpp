// wavoryctl: the utility on the command line, on the same core, settings and adapter as the window.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "radio/SecretMemory.h"
#include "wavory_version.h"

using namespace wavory::cli;

namespace {

bool g_bJson = false;
// A stream of one-line objects has begun on standard output.
bool g_bStreaming = false;
// The command words of the command line ("profiles", "new"), for building only that command's
// parser; empty: every command is built.
std::vector<std::string> g_CommandWords;

void PrintError(const std::string& message) {
    std::string line = message;
    // One line, always: a message with line breaks of its own is joined.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "wavoryctl: %s\n", line.c_str());
}

// The subcommand chain the user chose, down to the command that runs.
const CLI::App* ChosenCommand(const CLI::App& app) {
    const CLI::App* command = &app;
    for (;;) {
        const auto chosen = command->get_subcommands();
        if (chosen.empty()) return command;
        command = chosen.front();
    }
}

// With --json a failure is also an object on standard output, so that a script reading it learns
// what failed and why instead of finding nothing.
int Failed(const CLI::App* app, int code, const std::string& message, const std::string& failed = {},
           const std::string& reason = {}, const json& extra = json::object()) {
    PrintError(message);
    if (g_bJson && app) {
        std::string command;
        for (const CLI::App* c = app; !c->get_subcommands().empty();) {
            c = c->get_subcommands().front();
            command += (command.empty() ? "" : " ") + c->get_name();
        }
        json j = extra.is_object() ? extra : json::object();
        j["error"] = message;
        j["command"] = command;
        j["failed"] = failed.empty() ? command : failed;
        j["reason"] = !reason.empty() ? reason : code == kExitUsage ? "usage" : "failed";
        j["exit_code"] = code;
        std::fputs((j.dump(g_bStreaming ? -1 : 2, ' ', false, json::error_handler_t::replace) + "\n").c_str(),
                   stdout);
        std::fflush(stdout);
    }
    return code;
}

int Print(const SOutput& output) {
    if (output.streamed) return kExitOk;
    std::string text =
        g_bJson ? output.data.dump(2, ' ', false, json::error_handler_t::replace) + "\n" : output.text;
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        PrintError(std::string("could not write the output: ") + std::strerror(errno));
        return kExitFailed;
    }
    if (!g_bJson && !output.notes.empty()) {
        std::fputs(output.notes.c_str(), stderr);
        std::fflush(stderr);
    }
    return kExitOk;
}

// Whether --json is on the command line: a line the parser refused still gets its error object.
bool JsonWordGiven(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--json") return true;
    }
    return false;
}

// What the parser refused, said as a person would look for it: an option nobody knows by its
// name, else the parser's own words.
std::string UsageMessage(const CLI::App& app, const CLI::ParseError& e) {
    const CLI::App* chosen = ChosenCommand(app);
    // A word a command did not take may be left with the command above it.
    auto left = chosen->remaining();
    if (left.empty()) left = app.remaining(true);
    for (const std::string& word : left)
        if (word.size() > 1 && word.front() == '-')
            return "unknown option \"" + Printable(word) + "\"" +
                   (chosen == &app ? std::string() : " for \"" + chosen->get_name() + "\"") + " (see --help)";
    // A mistyped command reads as a word left over where a command was required.
    if (!chosen->get_subcommands({}).empty() && !left.empty())
        return "unknown command \"" + Printable(left.front()) + "\" (see --help)";
    return std::string(e.what()) + " (see --help)";
}

// The first two words of the command line that are neither options nor the global --adapter's value:
// the command and, for a group, its subcommand. A word taken wrongly only costs a second parse.
std::vector<std::string> CommandWords(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc && words.size() < 2; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--adapter") {
            ++i;
        } else if (!arg.starts_with("-")) {
            words.emplace_back(arg);
        }
    }
    return words;
}

// The commands each function adds, so that the parser is built only for the group that runs: the
// options of all the others cost more than a status itself. A command missing here is still found,
// by the whole tree.
struct SCommandGroup {
    std::vector<std::string_view> names;
    void (*add)(CLI::App&, wavory::cli::CCommandTable&);
};

void AddProfilesGroup(CLI::App& app, wavory::cli::CCommandTable& table) {
    CLI::App* profiles =
        app.add_subcommand("profiles", "List, change, export and import connection profiles");
    profiles->require_subcommand(1);
    wavory::cli::AddProfileCommands(*profiles, table);
    wavory::cli::AddProfileFileCommands(*profiles, table);
}

const SCommandGroup kGroups[] = {
    {{"status", "stats", "about", "watch"}, wavory::cli::AddMonitorCommands},
    {{"scan"}, wavory::cli::AddScanCommand},
    {{"connect", "disconnect"}, wavory::cli::AddConnectCommand},
    {{"profiles"}, AddProfilesGroup},
    {{"prefs"}, wavory::cli::AddPrefsCommands},
    {{"adapters"}, wavory::cli::AddAdaptersCommand},
    {{"history"}, wavory::cli::AddHistoryCommand},
    {{"complete"}, wavory::cli::AddCompleteCommand},
    {{"store"}, wavory::cli::AddStoreCommands},
    {{"hotspot"}, wavory::cli::AddHotspotCommands},
};

// The parser with the global options and the commands: all of them, or with g_CommandWords only the
// group of the first word (none when no group has it: the parse then fails and the whole tree is built).
std::unique_ptr<CLI::App> BuildParser(wavory::cli::CCommandTable& table, std::string& adapter) {
    auto app = std::make_unique<CLI::App>(
        "Configures and monitors the wireless adapter from the command line, on the settings and\n"
        "the adapter of the Wavory Utility window.",
        "wavoryctl");
    app->add_flag("--json", g_bJson, "Print stable machine-readable JSON");
    app->add_option("--adapter", adapter,
                    "Adapter to use: \"sim\" or an interface name such as wlan0 (default: $WAVORY_ADAPTER, "
                    "else the first wireless interface, else the simulated adapter)");
    app->set_version_flag("--version", "wavoryctl (Wavory Utility) " WAVORY_VERSION,
                          "Print the version and exit");
    app->require_subcommand(1);
    // Global options may also follow the command ("wavoryctl status --adapter wlan0").
    app->fallthrough();
    app->footer("Exit status: 0 success, 1 failure, 2 bad arguments.");
    for (const SCommandGroup& group : kGroups) {
        const bool wanted = g_CommandWords.empty() || std::find(group.names.begin(), group.names.end(),
                                                                g_CommandWords.front()) != group.names.end();
        if (wanted) group.add(*app, table);
    }
    return app;
}

}  // namespace

namespace wavory::cli {

bool JsonRequested() { return g_bJson; }

void StreamStarted() { g_bStreaming = true; }

bool Wanted(const CLI::App& parent, std::string_view name) {
    std::size_t depth = 0;
    for (const CLI::App* p = parent.get_parent(); p; p = p->get_parent()) ++depth;
    return depth >= g_CommandWords.size() || g_CommandWords[depth] == name;
}

CLI::Validator WholeNumber(long long lo, long long hi) {
    const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
    return CLI::Validator(
        [lo, hi, range](std::string& value) -> std::string {
            std::size_t used = 0;
            long long n = 0;
            try {
                n = std::stoll(value, &used, 10);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || used != value.size() || value.front() == ' ')
                return "\"" + Printable(value) + "\" is not a whole number (" + range + ")";
            if (n < lo || n > hi) return value + " is out of range: use " + range;
            return {};
        },
        "INT in [" + std::to_string(lo) + " - " + std::to_string(hi) + "]");
}

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& description) {
    CLI::App* command = parent.add_subcommand(name, description);
    command->add_flag("--json", g_bJson, "Print stable machine-readable JSON");
    return command;
}

}  // namespace wavory::cli

int main(int argc, char** argv) {
    // Passphrases pass through this program: a crash leaves no core file with them.
    wavory::kccl::KeepSecretsOutOfCoreDumps();
    // Numbers and texts are formatted the same whatever the user's locale is.
    std::setlocale(LC_ALL, "C");

    g_CommandWords = CommandWords(argc, argv);
    std::unique_ptr<CLI::App> app;
    CCommandTable table;
    std::string adapter;
    try {
        for (;;) {
            table = CCommandTable();
            app = BuildParser(table, adapter);
            try {
                app->parse(argc, argv);
                break;
            } catch (const CLI::ParseError& e) {
                // Help and every mistake are answered by the whole tree, as if it had been built at once.
                if (!g_CommandWords.empty()) {
                    g_CommandWords.clear();
                    g_bJson = false;
                    adapter.clear();
                    continue;
                }
                if (e.get_exit_code() == 0) return app->exit(e);  // --help
                g_bJson = JsonWordGiven(argc, argv);
                return Failed(app.get(), kExitUsage, UsageMessage(*app, e), {}, "usage");
            }
        }

        // The driver library reads the choice when the link is opened.
        if (!adapter.empty()) ::setenv("WAVORY_ADAPTER", adapter.c_str(), 1);

        const CommandFn* run = table.Find(ChosenCommand(*app));
        if (!run) return Failed(app.get(), kExitUsage, "choose a command (see --help)", {}, "usage");
        return Print((*run)());
    } catch (const CCliError& e) {
        return Failed(app.get(), e.Code(), e.what(), e.Failed(), e.Reason(), e.Extra());
    } catch (const std::exception& e) {
        return Failed(app.get(), kExitFailed, e.what());
    } catch (...) {
        return Failed(app.get(), kExitFailed, "unexpected error");
    }
}
