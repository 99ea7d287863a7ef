// profiles export|import: profile files, through the profile manager's registry operations.
#include <CLI/CLI.hpp>

#include <memory>
#include <set>

#include "base/Registry.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "platform/RegFile.h"
#include "platform/RegTree.h"
#include "profiles/ProfileMngr.h"

namespace wavory::cli {

namespace {

struct SFileArgs {
    std::string file;
    std::string profile;
    bool all = false;
    bool force = false;
};

std::set<std::string> ProfileNames(CProfileMngr& profiles) {
    std::set<std::string> names;
    for (const auto& p : profiles.Snapshot()) names.insert(p->ProfName);
    return names;
}

SOutput RunExport(const SFileArgs& args) {
    if (args.all == !args.profile.empty()) UsageError("choose what to export: --profile NAME or --all");
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
    const int op = args.all ? CProfileMngr::REG_OP_EXPORT_ALL : CProfileMngr::REG_OP_EXPORT_ONE;
    if (!profiles.RegistryOp(op, args.file, name, args.force)) {
        std::string why = session.LastMessageOr("the settings could not be read");
        if (why == SystemErrorText(REG_ERROR_FILE_EXISTS)) why += " Use --force to replace it.";
        Fail("cannot export to " + Printable(args.file) + ": " + why);
    }
    SOutput out;
    out.data["action"] = "exported";
    out.data["file"] = Utf8Lossy(args.file);
    out.data["profiles"] = json::array();
    for (const auto& p : profiles.Snapshot())
        if (args.all || p->ProfName == args.profile) out.data["profiles"].push_back(Utf8Lossy(p->ProfName));
    out.text = "Exported " +
               (args.all ? std::string("all profiles") : "profile \"" + Printable(args.profile) + "\"") +
               " to " + Printable(args.file) + ".\n";
    return out;
}

// A file is read completely before anything changes: one that is no profile file (or holds no
// profile) is refused with the settings untouched, also the staging key of imports.
void CheckImportFile(const std::string& file) {
    SRegKey top;
    int rc = ReadRegFile(file, top);
    if (rc == REG_OK) rc = ConformToSchema(top);
    if (rc != REG_OK) Fail("cannot import " + Printable(file) + ": " + SystemErrorText(rc));
    const SRegValue* count = top.FindValue("NumOfProfiles");
    const bool allProfiles = count && count->type == ERegType::Dword && count->dword != 0;
    const bool oneProfile = top.FindValue("ProfName") || top.FindValue("NetName");
    if (!allProfiles && !oneProfile) Fail("cannot import " + Printable(file) + ": it holds no profile");
}

SOutput RunImport(const SFileArgs& args) {
    CCliSession session(EAccess::Profiles);
    CheckImportFile(args.file);
    CProfileMngr& profiles = session.Profiles();
    const std::set<std::string> before = ProfileNames(profiles);
    if (!profiles.RegistryOp(CProfileMngr::REG_OP_IMPORT, args.file, std::nullopt))
        Fail("cannot import " + Printable(args.file) + ": " +
             session.LastMessageOr("the file could not be read"));
    // Imported profiles are stored with the next save of all profiles: now.
    if (!profiles.SaveAll()) Fail("the imported profiles could not be saved to the settings file");

    SOutput out;
    out.data["action"] = "imported";
    out.data["file"] = Utf8Lossy(args.file);
    out.data["profiles"] = json::array();
    std::string names;
    for (const std::string& name : ProfileNames(profiles)) {
        if (before.count(name)) continue;
        out.data["profiles"].push_back(Utf8Lossy(name));
        names += (names.empty() ? "\"" : ", \"") + Printable(name) + "\"";
    }
    out.text = "Imported " + (names.empty() ? std::string("no profile") : names) + " from " +
               Printable(args.file) + ".\n";
    return out;
}

}  // namespace

void AddProfileFileCommands(CLI::App& parent, CCommandTable& table) {
    auto exportArgs = std::make_shared<SFileArgs>();
    CLI::App* exportCmd = AddCommand(parent, "export", "Write one profile or all of them to a .reg file");
    exportCmd->add_option("file", exportArgs->file, "File to write")->required();
    CLI::Option* one = exportCmd->add_option("--profile", exportArgs->profile, "The profile to export");
    exportCmd->add_flag("--all", exportArgs->all, "Export every profile and the preferences")->excludes(one);
    exportCmd->add_flag("--force", exportArgs->force, "Replace the file if it exists");
    table.Add(exportCmd, [exportArgs] { return RunExport(*exportArgs); });

    auto importArgs = std::make_shared<SFileArgs>();
    CLI::App* importCmd =
        AddCommand(parent, "import", "Add the profiles of a .reg file (regedit text or registry hive)");
    importCmd->add_option("file", importArgs->file, "File to read")->required();
    table.Add(importCmd, [importArgs] { return RunImport(*importArgs); });
}

}  // namespace wavory::cli
