// The commands of wavoryctl. Each group adds its subcommands to the parser and the function that
// runs each one to the table; main runs the one the user chose and prints its output.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "cli/CliSupport.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace wavory::cli {

using CommandFn = std::function<SOutput()>;

class CCommandTable {
public:
    void Add(const CLI::App* command, CommandFn run) { m_Commands[command] = std::move(run); }
    const CommandFn* Find(const CLI::App* command) const {
        auto it = m_Commands.find(command);
        return it == m_Commands.end() ? nullptr : &it->second;
    }

private:
    std::map<const CLI::App*, CommandFn> m_Commands;
};

// Whether the command `name` under `parent` is to be built: wavoryctl builds the parser of the
// command it runs only (help and mistakes get every command).
bool Wanted(const CLI::App& parent, std::string_view name);
// A subcommand of `parent` that takes --json like every command.
CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& description);
// A check of an integer option: "abc" is not a whole number, 7000 is out of range, each said so.
CLI::Validator WholeNumber(long long lo, long long hi);
// Whether --json was given, anywhere on the command line.
bool JsonRequested();
// A command began a stream of one-line objects: an error after it is one line too.
void StreamStarted();

// status, stats, about
void AddMonitorCommands(CLI::App& app, CCommandTable& table);
// scan
void AddScanCommand(CLI::App& app, CCommandTable& table);
// connect PROFILE | connect --ssid
void AddConnectCommand(CLI::App& app, CCommandTable& table);
// profiles list|show|new|edit|dup|rm|auto|up|down
void AddProfileCommands(CLI::App& profiles, CCommandTable& table);
// profiles export|import
void AddProfileFileCommands(CLI::App& profiles, CCommandTable& table);
// prefs get|set
void AddPrefsCommands(CLI::App& app, CCommandTable& table);
// history
void AddHistoryCommand(CLI::App& app, CCommandTable& table);
// history --record: records the connection history until SIGINT or SIGTERM (a user service runs it).
SOutput RunHistoryRecord();
// adapters
void AddAdaptersCommand(CLI::App& app, CCommandTable& table);
// complete profiles|ssids (hidden: the shell completion's helper)
void AddCompleteCommand(CLI::App& app, CCommandTable& table);
// store check|backup|restore
void AddStoreCommands(CLI::App& app, CCommandTable& table);
// hotspot start|stop|status
void AddHotspotCommands(CLI::App& app, CCommandTable& table);

}  // namespace wavory::cli
