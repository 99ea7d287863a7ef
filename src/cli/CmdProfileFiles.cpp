// profiles export|import: profile files, through the profile manager's registry operations, and
// (with --to and --from) the files of the other Wi-Fi stacks.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>

#include "base/RegTree.h"
#include "base/Registry.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/StackCommands.h"
#include "profiles/ProfileMngr.h"
#include "store/RegFile.h"

namespace wavory::cli {

namespace {

struct SFileArgs {
    std::string file;
    std::string profile;
    bool all = false;
    bool force = false;
    bool noSecrets = false;
    bool install = false;
    std::string stack;  // --to / --from
    std::string dir;
    std::string as;
    std::vector<std::string> args;  // export: the file, and with --to the profiles' names
};

SOutput RunExport(SFileArgs args) {
    if (!args.stack.empty()) {
        if (args.all || !args.profile.empty() || args.noSecrets)
            UsageError(
                "--to writes the profiles named after it (all without names); --all, --profile and "
                "--no-secrets belong to .reg files");
        return RunStackExport(args.stack, args.dir, args.args, args.force, args.install);
    }
    if (!args.dir.empty()) UsageError("--dir goes with --to");
    if (args.install) UsageError("--install goes with --to networkmanager");
    if (args.all == !args.profile.empty()) UsageError("choose what to export: --profile NAME or --all");
    if (args.args.size() != 1) UsageError("name one file to write");
    args.file = args.args.front();
    // Exporting reads the store; the manager's bookkeeping writes on the way are not kept.
    CCliSession session(EAccess::ReadOnly);
    CProfileMngr& profiles = session.Profiles();
    std::optional<std::string> name;
    if (!args.all) {
        if (!profiles.GetProfile(args.profile) || args.profile == CProfileMngr::kConnectedStation ||
            args.profile == CProfileMngr::kEditStation)
            Fail("there is no profile named \"" + Printable(args.profile) +
                 "\" (see: wavoryctl profiles list)");
        name = args.profile;
    }
    // Only a regular file is written (or replaced): say so before "it exists" could suggest --force.
    std::error_code ec;
    const auto target = std::filesystem::status(args.file, ec);
    if (std::filesystem::is_directory(target))
        Fail("cannot export to " + Printable(args.file) + ": it is a folder; name a file in it, such as " +
             Printable(args.file) + "/profiles.reg");
    if (std::filesystem::exists(target) && !std::filesystem::is_regular_file(target))
        Fail("cannot export to " + Printable(args.file) +
             ": it is not a regular file (a device or a pipe); name a file");
    const int op = args.all ? CProfileMngr::REG_OP_EXPORT_ALL : CProfileMngr::REG_OP_EXPORT_ONE;
    if (!profiles.RegistryOp(op, args.file, name, args.force, !args.noSecrets)) {
        std::string why = session.LastMessageOr("the settings could not be read");
        if (why == SystemErrorText(REG_ERROR_FILE_EXISTS)) why += " Use --force to replace it.";
        Fail("cannot export to " + Printable(args.file) + ": " + why);
    }
    SOutput out;
    out.data["action"] = "exported";
    out.data["file"] = Utf8Lossy(args.file);
    out.data["secrets"] = !args.noSecrets;
    out.data["profiles"] = json::array();
    for (const auto& p : profiles.Snapshot())
        if (args.all || p->ProfName == args.profile) out.data["profiles"].push_back(Utf8Lossy(p->ProfName));
    out.text = "Exported " +
               (args.all ? std::string("all profiles") : "profile \"" + Printable(args.profile) + "\"") +
               " to " + Printable(args.file) + (args.noSecrets ? ", without keys and passphrases" : "") +
               ".\n";
    return out;
}

SOutput RunImport(const SFileArgs& args) {
    if (!args.stack.empty()) return RunStackImport(args.stack, args.file, args.as);
    if (!args.as.empty()) UsageError("--as goes with --from");
    if (args.file.empty()) UsageError("name the file to import, or the stack to import from: --from STACK");
    // The file is read and checked whole before the command takes the store for its change.
    SRegKey top;
    if (const int rc = ReadRegFile(args.file, top); rc != REG_OK) {
        const std::string why = rc == REG_ERROR_FILE_TOO_LARGE
                                    ? "it is larger than an export of " +
                                          std::to_string(CProfileMngr::kMaxImportProfiles) +
                                          " profiles, the most the utility holds"
                                    : SystemErrorText(rc);
        throw CCliError(kExitFailed, "cannot import " + Printable(args.file) + ": " + why, "import",
                        rc == REG_ERROR_FILE_TOO_LARGE ? "file_too_large" : "file_unreadable");
    }
    CCliSession session(EAccess::Profiles);
    CProfileMngr& profiles = session.Profiles();
    const CProfileMngr::SImportResult result = profiles.ImportTree(top);
    if (result.error > 0) FailStore(result.error, "cannot import " + Printable(args.file));
    if (result.error != REG_OK)
        throw CCliError(kExitFailed, "cannot import " + Printable(args.file) + ": " + result.refusal,
                        "import", "import_refused");

    SOutput out;
    out.data["action"] = "imported";
    out.data["file"] = Utf8Lossy(args.file);
    out.data["profiles"] = json::array();
    out.data["skipped"] = json::array();
    std::string names;
    for (const std::string& name : result.added) {
        out.data["profiles"].push_back(Utf8Lossy(name));
        names += (names.empty() ? "\"" : ", \"") + Printable(name) + "\"";
    }
    out.text = "Imported " + std::to_string(result.added.size()) + " profile" +
               (result.added.size() == 1 ? "" : "s") + " from " + Printable(args.file) +
               (result.added.size() <= 20 ? ": " + names : std::string()) + ".\n";
    for (const auto& [where, why] : result.skipped) {
        out.data["skipped"].push_back({{"profile", Utf8Lossy(where)}, {"reason", why}});
        out.notes += "Not imported: " + Printable(where) + ": " + why + ".\n";
    }
    return out;
}

}  // namespace

void AddProfileFileCommands(CLI::App& parent, CCommandTable& table) {
    auto exportArgs = std::make_shared<SFileArgs>();
    CLI::App* exportCmd =
        AddCommand(parent, "export",
                   "Write one profile or all of them to a .reg file, or profiles for another Wi-Fi stack");
    exportCmd->add_option("file", exportArgs->args,
                          "File to write; with --to, then the profiles to write (all without names)");
    exportCmd->add_option("--to", exportArgs->stack, "Write for wpa-supplicant, networkmanager or iwd")
        ->check(CLI::IsMember(kStackNames));
    exportCmd->add_option("--dir", exportArgs->dir, "With --to: the folder to write the files in");
    CLI::Option* one = exportCmd->add_option("--profile", exportArgs->profile, "The profile to export");
    exportCmd->add_flag("--all", exportArgs->all, "Export every profile and the preferences")->excludes(one);
    exportCmd->add_flag("--no-secrets", exportArgs->noSecrets, "Leave the WEP keys and passphrases out");
    exportCmd->add_flag("--force", exportArgs->force,
                        "Replace files that exist (with --install: NetworkManager connections of the same name)");
    exportCmd->add_flag("--install", exportArgs->install,
                        "With --to networkmanager: add the profiles to the running NetworkManager");
    table.Add(exportCmd, [exportArgs] { return RunExport(*exportArgs); });

    auto importArgs = std::make_shared<SFileArgs>();
    CLI::App* importCmd = AddCommand(
        parent, "import",
        "Add the profiles of a .reg file (regedit text or registry hive), or another Wi-Fi stack's networks");
    importCmd->add_option("file", importArgs->file,
                          "File to read; with --from also a folder, or - for standard input");
    importCmd->add_option("--from", importArgs->stack, "Read wpa-supplicant, networkmanager or iwd networks")
        ->check(CLI::IsMember(kStackNames));
    importCmd->add_option("--as", importArgs->as,
                          "With --from and -: the file name standard input stands for");
    table.Add(importCmd, [importArgs] { return RunImport(*importArgs); });
}

}  // namespace wavory::cli
