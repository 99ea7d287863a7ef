// store check|backup|restore: the settings store itself, its check and its copies.
#include <CLI/CLI.hpp>

#include <memory>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "store/SqliteRegistry.h"
#include "store/StoreCopies.h"

namespace wavory::cli {

namespace {

json CopiesJson(const std::vector<SStoreCopy>& copies) {
    json list = json::array();
    for (const SStoreCopy& c : copies)
        list.push_back({{"file", Utf8Lossy(c.path)},
                        {"time", IsoTime(c.when)},
                        {"time_text", CopyTimeText(c.when)},
                        {"reason", c.reason}});
    return list;
}

SOutput RunCheck() {
    CCliSession session(EAccess::ReadOnly);
    CSqliteRegistry& store = session.Store();
    std::string findings;
    const bool sound = store.Check(&findings) == REG_OK;
    const std::vector<SStoreCopy> copies = ListStoreCopies(store.FileName());
    SOutput out;
    out.data = {{"file", Utf8Lossy(store.FileName())},
                {"sound", sound},
                {"layout", store.SchemaVersion()},
                {"read_only", !store.IsWritable()},
                {"copies", CopiesJson(copies)}};
    if (!store.IsWritable()) out.data["read_only_reason"] = store.ReadOnlyReason();
    if (!sound) {
        out.data["findings"] = findings;
        throw CCliError(kExitFailed,
                        "the settings file " + Printable(store.FileName()) + " is damaged: " + findings,
                        "store check", "store_damaged");
    }
    std::vector<std::pair<std::string, std::string>> fields{
        {"Settings file:", Printable(store.FileName())},
        {"State:", "sound" + std::string(store.IsWritable() ? "" : ", read-only: " + store.ReadOnlyReason())},
        {"Layout:", std::to_string(store.SchemaVersion())}};
    for (size_t i = 0; i < copies.size(); ++i)
        fields.emplace_back(i == 0 ? "Copies:" : "", CopyTimeText(copies[i].when) + " (" + copies[i].reason +
                                                         ")  " + Printable(copies[i].path));
    if (copies.empty()) fields.emplace_back("Copies:", "none");
    out.text = FormatFields(fields);
    return out;
}

SOutput RunBackup(const std::string& file, bool force) {
    CCliSession session(EAccess::ReadOnly);
    CSqliteRegistry& store = session.Store();
    std::string made = file;
    const int rc = file.empty() ? MakeStoreCopy(store, "backup", &made) : store.Backup(file, force);
    if (rc == REG_ERROR_FILE_EXISTS)
        Fail("cannot write the copy " + Printable(file) + ": the file exists. Use --force to replace it.");
    if (rc != REG_OK)
        FailStore(rc, "cannot write the copy" + (file.empty() ? std::string() : " " + Printable(file)));
    SOutput out;
    out.data = {{"action", "backup"}, {"file", Utf8Lossy(made)}};
    out.text = "Wrote a copy of the settings to " + Printable(made) + ".\n";
    return out;
}

SOutput RunRestore(const std::string& file) {
    CCliSession session(EAccess::ReadOnly);
    CSqliteRegistry& store = session.Store();
    if (!store.IsWritable()) FailStore(store.ReadOnlyCode(), "cannot restore: " + store.ReadOnlyReason());
    std::string from = file;
    if (from.empty()) {
        for (const SStoreCopy& copy : ListStoreCopies(store.FileName())) {
            SRegKey tree;
            if (CSqliteRegistry::ReadStoreFile(copy.path, tree, nullptr) == REG_OK) {
                from = copy.path;
                break;
            }
        }
        if (from.empty())
            Fail("there is no sound copy of the settings to restore (see: wavoryctl store check)");
    }
    // What is stored now can be had back, too.
    std::string kept;
    MakeStoreCopy(store, "restore", &kept);
    std::string findings;
    const int rc = store.RestoreFrom(from, &findings);
    if (rc == REG_ERROR_BADDB || rc == REG_ERROR_INVALID_DATA || rc == REG_ERROR_FILE_NOT_FOUND)
        Fail("cannot restore from " + Printable(from) + ": " +
             (findings.empty() ? SystemErrorText(rc) : findings));
    if (rc != REG_OK) FailStore(rc, "cannot restore from " + Printable(from));
    SOutput out;
    out.data = {{"action", "restore"}, {"file", Utf8Lossy(from)}};
    if (!kept.empty()) out.data["previous"] = Utf8Lossy(kept);
    out.text = "Restored the settings from " + Printable(from) + "." +
               (kept.empty() ? std::string() : " The settings before are kept in " + Printable(kept) + ".") +
               "\n";
    return out;
}

}  // namespace

void AddStoreCommands(CLI::App& app, CCommandTable& table) {
    CLI::App* store = app.add_subcommand("store", "Check the settings file, copy it, or go back to a copy");
    store->require_subcommand(1);
    table.Add(AddCommand(*store, "check", "Check the settings file and list its copies"),
              [] { return RunCheck(); });

    auto backupFile = std::make_shared<std::string>();
    auto backupForce = std::make_shared<bool>(false);
    CLI::App* backup =
        AddCommand(*store, "backup", "Write a copy of the settings (to FILE, or beside the others)");
    backup->add_option("file", *backupFile, "File to write");
    backup->add_flag("--force", *backupForce, "Replace FILE if it exists");
    table.Add(backup, [backupFile, backupForce] { return RunBackup(*backupFile, *backupForce); });

    auto restoreFile = std::make_shared<std::string>();
    CLI::App* restore =
        AddCommand(*store, "restore", "Replace the settings with a copy (FILE, or the newest sound copy)");
    restore->add_option("file", *restoreFile, "Copy to restore");
    table.Add(restore, [restoreFile] { return RunRestore(*restoreFile); });
}

}  // namespace wavory::cli
