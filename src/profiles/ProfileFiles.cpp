// The profile manager's files: export of one profile or all (reading the store, writing nothing to
// it), import (the file read whole first, each profile checked on its own, the fit ones stored as one
// change), and the deletion of a section.
#include <algorithm>
#include <optional>
#include <stdexcept>

#include "base/AppBase.h"
#include "base/Messages.h"
#include "base/RegTree.h"
#include "base/Registry.h"
#include "driver/Format.h"
#include "profiles/ProfileLimits.h"
#include "profiles/ProfileMngr.h"
#include "profiles/ProfileSections.h"
#include "profiles/RegistryUpdate.h"

namespace wavory {

namespace {

// Result of an import refused with a text of its own.
constexpr int kRefused = -2;
// How many skipped profiles a message names one by one.
constexpr size_t kNamedSkips = 8;
// The frequency earlier versions gave a profile without a channel.
constexpr int kOldNoChannelMHz = 2407;

// A file of all profiles holds the count; one whose count went wrong (a hand-edited store) still holds
// profile keys and no profile of its own.
bool HoldsAllProfiles(const SRegKey& top) {
    if (const SRegValue* count = top.FindValue(kCountEntry)) {
        const auto parsed =
            count->type == ERegType::Dword ? std::optional(count->dword) : ParseDwordText(count->text);
        if (parsed && *parsed != 0) return true;
    }
    if (top.FindValue("ProfName") || top.FindValue("NetName")) return false;
    return std::any_of(top.subkeys.begin(), top.subkeys.end(),
                       [](const SRegKey& k) { return SectionNumber(k.name) >= 0; });
}

// The values of a file's profile that the field list does not name (a newer version's, say): they
// travel with the profile.
std::vector<SRegWrite> OtherValues(const SRegKey& key) {
    std::vector<SRegWrite> writes;
    for (const SRegNamedValue& v : key.values) {
        if (v.name.empty() || FieldIndex(v.name) >= 0) continue;
        writes.push_back({v.name, v.value.type, v.value.dword, v.value.text});
    }
    return writes;
}

std::string ImportSummary(const CProfileMngr::SImportResult& result) {
    std::string text = StrFormat("%zu profile%s imported; %zu not imported:", result.added.size(),
                                 result.added.size() == 1 ? " was" : "s were", result.skipped.size());
    for (size_t i = 0; i < result.skipped.size() && i < kNamedSkips; ++i)
        text += "\n" + result.skipped[i].first + ": " + result.skipped[i].second + ".";
    if (result.skipped.size() > kNamedSkips)
        text += StrFormat("\n… and %zu more.", result.skipped.size() - kNamedSkips);
    return text;
}

}  // namespace

void CProfileMngr::ShowSystemError(int code) {
    theApp.ShowMessage(SystemErrorText(code), EMsgIcon::Information);
}

int CProfileMngr::DoExport(int code, const std::string& file, CProfile* profile, bool overwrite,
                           bool withSecrets) {
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) return -1;
    if (code == REG_OP_EXPORT_ONE) {
        // A profile without a section of its own would export the whole application key.
        if (!profile || profile->GetSection().empty()) return -1;
        if (!registry->KeyExists(profile->GetSection())) return REG_ERROR_FILE_NOT_FOUND;
        return registry->SaveKey(profile->GetSection(), file, overwrite, withSecrets);
    }
    return registry->SaveKey("", file, overwrite, withSecrets);
}

bool CProfileMngr::RegistryOp(int code, const std::optional<std::string>& file,
                              const std::optional<std::string>& name, bool overwrite, bool withSecrets) {
    int error = REG_OK;
    std::string warning;
    try {
        std::shared_ptr<CProfile> profile;
        if (name) {
            profile = GetProfile(*name);
            if (!profile) return false;
        }
        switch (code) {
            case REG_OP_EXPORT_ONE:
            case REG_OP_EXPORT_ALL: {
                if (!file) return false;
                std::lock_guard lock(m_Mutex);
                error = DoExport(code, *file, profile.get(), overwrite, withSecrets);
                break;
            }
            case REG_OP_IMPORT: {
                if (!file) return false;
                const SImportResult result = ImportFile(*file);
                error = result.error;
                if (error == kRefused) warning = result.refusal;
                if (error == REG_ERROR_FILE_TOO_LARGE)
                    warning = StrFormat(
                        "The file is larger than an export of %d profiles, the most the utility holds; "
                        "nothing was imported.",
                        kMaxImportProfiles);
                if (error == REG_OK && !result.skipped.empty()) warning = ImportSummary(result);
                if (error > 0 && error != REG_ERROR_FILE_TOO_LARGE && error != REG_ERROR_INVALID_DATA &&
                    error != REG_ERROR_FILE_NOT_FOUND && error != REG_ERROR_NOT_A_FILE &&
                    error != REG_ERROR_ACCESS_DENIED)
                    warning = StoreFailureText(error);
                break;
            }
            case REG_OP_DELETE: {
                if (!profile) return false;
                std::lock_guard lock(m_Mutex);
                error = theApp.m_pRegistry ? theApp.m_pRegistry->DeleteKeyTree(profile->GetSection()) : -1;
                break;
            }
            default:
                return false;
        }
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    // Messages are shown after the lock is left, so the polling thread is not held up by them.
    try {
        if (!warning.empty()) {
            theApp.ShowMessage(warning, EMsgIcon::Warning);
        } else if (error > 0) {
            ShowSystemError(error);
        }
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    return error == REG_OK;
}

CProfileMngr::SImportResult CProfileMngr::ImportFile(const std::string& file) {
    SImportResult result;
    // Read and checked whole before the store is touched, and without the manager's lock: a large
    // file holds up neither the polling thread nor another program.
    IRegistry* registry = theApp.m_pRegistry;
    SRegKey top;
    result.error = registry ? registry->ReadKeyFile(file, top) : REG_ERROR_ACCESS_DENIED;
    if (result.error != REG_OK) return result;
    return ImportTree(top);
}

CProfileMngr::SImportResult CProfileMngr::ImportTree(const SRegKey& top) {
    SImportResult result;
    std::vector<std::shared_ptr<CProfile>> staged;
    std::vector<const SRegKey*> sources;
    StageImport(top, staged, sources, result);
    if (staged.empty()) {
        if (result.refusal.empty()) {
            if (result.skipped.size() == 1 && !HoldsAllProfiles(top)) {
                result.refusal = "Nothing was imported: " + result.skipped.front().second + ".";
            } else {
                result.refusal = "Nothing was imported: no profile of the file can be used.";
                for (size_t i = 0; i < result.skipped.size() && i < kNamedSkips; ++i)
                    result.refusal += "\n" + result.skipped[i].first + ": " + result.skipped[i].second + ".";
            }
        }
        result.error = kRefused;
        return result;
    }
    std::lock_guard lock(m_Mutex);
    result.error = StoreImport(staged, sources, result);
    return result;
}

// The file's profiles: its Profile N keys for a file of all profiles, else the top key itself. Each
// one is held to what would break a connection; a profile that fails is skipped with the reason.
void CProfileMngr::StageImport(const SRegKey& top, std::vector<std::shared_ptr<CProfile>>& staged,
                               std::vector<const SRegKey*>& sources, SImportResult& result) {
    std::vector<std::pair<std::string, const SRegKey*>> candidates;
    if (HoldsAllProfiles(top)) {
        for (const SRegKey& sub : top.subkeys)
            if (SectionNumber(sub.name) >= 0) candidates.emplace_back(sub.name, &sub);
    } else if (top.FindValue("ProfName") || top.FindValue("NetName")) {
        candidates.emplace_back("the file's profile", &top);
    }
    if (candidates.empty()) {
        result.refusal = "The file holds no profile; nothing was imported.";
        return;
    }
    if (candidates.size() > static_cast<size_t>(kMaxImportProfiles)) {
        result.refusal = StrFormat(
            "The file holds %zu profiles; at most %d are imported at once, so nothing was "
            "imported.",
            candidates.size(), kMaxImportProfiles);
        return;
    }
    staged.reserve(candidates.size());
    for (const auto& [where, key] : candidates) {
        FieldValues values;
        std::string problem = key->FirstFault();
        if (problem.empty() && ValuesFromKey(*key, values, problem)) {
            auto profile = std::make_shared<CProfile>("", false);
            SetValues(*profile, values);
            // An imported profile keeps nothing of its old name and place.
            profile->AutoSelect = false;
            profile->Priority = -1;
            // Earlier versions stored 2407 MHz, the reading of "channel 0", for a hidden network
            // joined by name, which has no channel: their exports import with none.
            if (profile->PhyFreq == kOldNoChannelMHz) profile->PhyFreq = 0;
            problem = CheckProfileLimits(*profile);
            if (problem.empty()) {
                staged.push_back(std::move(profile));
                sources.push_back(key);
                continue;
            }
        }
        result.skipped.emplace_back(where, problem);
    }
}

// One change of the store: each profile in the next free section "Profile N" (a running count over
// the names and sections in use, so the import takes time linear in its size), the count, and the staging
// key of earlier imports emptied. A copy of the store is kept first.
int CProfileMngr::StoreImport(std::vector<std::shared_ptr<CProfile>>& staged,
                              const std::vector<const SRegKey*>& sources, SImportResult& result) {
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) return -1;
    if (!registry->IsWritable()) return REG_ERROR_WRITE_PROTECT;
    // The copy is the way back from an import: without it nothing is imported.
    if (const int copied = registry->KeepCopy("import"); copied != REG_OK) {
        result.refusal =
            "Nothing was imported: the copy of the settings kept before an import could not be "
            "made. " +
            SystemErrorText(copied);
        return kRefused;
    }
    CRegistryUpdate group(registry);
    std::set<std::string> names;
    SectionSet sections;
    int error = StoredNames(names, sections);
    for (const auto& [name, profile] : m_Profiles) {
        names.insert(name);
        sections.insert(profile->GetSection());
    }
    if (error == REG_OK) error = registry->DeleteKeyTree(kImportKey);
    if (error == REG_ERROR_FILE_NOT_FOUND) error = REG_OK;
    // A profile keeps the name it was exported under unless another profile bears it (or an earlier
    // one of this import took it): then it takes its section's name, as a new profile does.
    std::vector<bool> keepsName(staged.size(), false);
    for (size_t i = 0; i < staged.size(); ++i) {
        const std::string& name = staged[i]->ProfName;
        if (!name.empty() && !IsReservedName(name) && names.insert(name).second) keepsName[i] = true;
    }
    int next = 0;
    for (size_t i = 0; i < staged.size() && error == REG_OK; ++i) {
        while (sections.count(SectionName(next)) != 0 || names.count(SectionName(next)) != 0) ++next;
        const std::string section = SectionName(next++);
        CProfile& profile = *staged[i];
        if (!keepsName[i]) profile.ProfName = section;
        profile.SetSection(section);
        FieldValues values = ValuesOf(profile);
        const std::vector<SRegWrite> others = OtherValues(*sources[i]);
        if (!WriteValues(*registry, section, values) ||
            (!others.empty() && !registry->WriteValues(section, others)))
            error = registry->LastError() != REG_OK ? registry->LastError() : REG_ERROR_WRITE_FAULT;
        profile.SetStored(std::move(values));
    }
    if (error == REG_OK) error = WriteCount();
    if (error != REG_OK) {
        group.Cancel();
        return error;
    }
    if (!group.End()) return registry->LastError() != REG_OK ? registry->LastError() : REG_ERROR_WRITE_FAULT;
    for (auto& profile : staged) {
        result.added.push_back(profile->ProfName);
        m_Profiles[profile->ProfName] = profile;
    }
    return REG_OK;
}

}  // namespace wavory
