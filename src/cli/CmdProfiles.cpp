// profiles list|show|new|edit|dup|rm|auto|up|down: the Profiles page and the profile editor.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <set>

#include "base/Locks.h"
#include "base/Registry.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/ProfileFields.h"
#include "cli/Secrets.h"
#include "cli/StackCommands.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Request.h"
#include "profiles/HotspotProfile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/WifiUri.h"

namespace wavory::cli {

namespace {

using ProfilePtr = std::shared_ptr<CProfile>;

// The profile whole, read from the store when the manager read only the names.
ProfilePtr FindProfile(CProfileMngr& profiles, const std::string& name) {
    // The names the manager answers specially are no stored profiles.
    ProfilePtr profile;
    int error = REG_OK;
    if (name != CProfileMngr::kConnectedStation && name != CProfileMngr::kEditStation)
        profile = profiles.LoadProfile(name, &error);
    if (error != REG_OK) FailStore(error, "the profile could not be read");
    if (!profile)
        Fail("there is no profile named \"" + Printable(name) + "\" (see: wavoryctl profiles list)");
    return profile;
}

// Stores what the command changed: the profile itself, and the members whose slots moved. The
// command's change of the store began before the profiles were read, so nothing can have changed
// them meanwhile.
void StoreOrFail(CProfileMngr& profiles) {
    const CProfileMngr::SStoreResult result = profiles.StoreChanges(CProfileMngr::EOnConflict::KeepMine);
    if (result.error == REG_ERROR_FILE_EXISTS)
        UsageError("a profile named \"" + Printable(result.clash) + "\" already exists; choose another name");
    if (!result.Ok()) FailStore(result.error, "the profile could not be stored");
}

void RenameOrFail(CProfileMngr& profiles, const std::string& from, const std::string& to) {
    std::string reason;
    if (!profiles.RenameProfile(from, to, &reason)) UsageError(reason);
    if (!reason.empty()) Fail(reason);
}

// The SSID the adapter is connected to, when an adapter answers and is connected. The Profiles page
// marks the profiles of the current station's SSID; this is that SSID without starting a scan.
std::optional<std::string> ConnectedSsid(CCliSession& session) {
    if (!session.TryAdapter()) return std::nullopt;
    std::string ssid;
    CCommVarList list;
    list.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    list.AddVarExt(OID_SSID_QUERY, 0, ConvSsid, &ssid);
    if (!list.RefreshAll(false, false) || Payload(list.GetVar(0)->GetBlock(0))[0] == 0) return std::nullopt;
    return ssid;
}

SOutput ProfileOutput(const char* action, const CProfile& profile) {
    SOutput out;
    out.data["action"] = AsciiLower(action);
    out.data["profile"] = ProfileJson(profile, false);
    out.text = std::string(action) + " profile \"" + Printable(profile.ProfName) + "\".\n";
    return out;
}

// ---- Read-only ----

SOutput RunList() {
    CCliSession session(EAccess::ReadOnly);
    CProfileMngr& profiles = session.Profiles();
    const auto connectedSsid = ConnectedSsid(session);
    auto lock = profiles.Lock();

    // Members in priority order first, then the others in name order, as the page's two lists.
    std::vector<ProfilePtr> ordered;
    for (int slot = 0; slot < profiles.GetAutoCount(); ++slot)
        for (const auto& p : profiles.Snapshot())
            if (p->AutoSelect && p->Priority == slot) ordered.push_back(p);
    for (const auto& p : profiles.Snapshot())
        if (!p->AutoSelect) ordered.push_back(p);

    SOutput out;
    out.data["profiles"] = json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> marked;
    for (const auto& p : ordered) {
        const bool connected = !p->Hotspot && connectedSsid && *connectedSsid == p->NetName;
        json j{{"name", Utf8Lossy(p->ProfName)}};
        j["kind"] = p->Hotspot ? "hotspot" : "network";
        PutSsid(j, p->NetName);
        const std::string code = SecurityCode(*p);
        j["security"] = code.empty() ? json(nullptr) : json(code);
        j["security_text"] = ProfileSecurityText(*p);
        j["auto_select"] = p->AutoSelect;
        j["priority"] = p->AutoSelect ? json(p->Priority) : json(nullptr);
        j["connected"] = connected;
        out.data["profiles"].push_back(j);
        rows.push_back({p->AutoSelect ? std::to_string(p->Priority + 1) : "", Printable(p->ProfName),
                        NameCell(p->NetName), ProfileSecurityText(*p)});
        marked.push_back(connected);
    }
    out.text = rows.empty() ? "No profiles.\n"
                            : FormatMarkedTable({"Auto", "Profile Name", "Network Name (SSID)", "Security"},
                                                rows, marked);
    if (std::find(marked.begin(), marked.end(), true) != marked.end())
        out.notes = "* the adapter is connected to this network\n";
    return out;
}

// The Wi-Fi URI a phone joins from. It carries the network's secret, so it is printed only when
// the secrets may be shown; an open network's URI holds none.
SOutput RunShare(const std::string& name, bool showKeys, bool uriOnly, const std::string& png,
                 const std::string& svg, bool force) {
    if (uriOnly && (!png.empty() || !svg.empty()))
        UsageError("--uri prints the URI; leave out --png and --svg");
    CCliSession session(EAccess::ReadOnly);
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    std::string error;
    const std::string uri = WriteWifiUri(*profile, &error);
    if (uri.empty()) throw CCliError(kExitFailed, "Profile \"" + name + "\" cannot be shared: " + error);
    WifiUri fields;
    ParseWifiUri(uri, &fields, nullptr);
    SOutput out;
    if (!png.empty() || !svg.empty()) {
        // The image always carries the key, as the code on the terminal does; its file is the owner's.
        out.data["ssid"] = fields.ssid;
        out.data["files"] = json::array();
        for (const bool isPng : {true, false}) {
            const std::string& file = isPng ? png : svg;
            if (file.empty()) continue;
            WriteOwnerFile(file, isPng ? QrPng(uri, 8) : QrSvg(uri), force);
            out.data["files"].push_back(Utf8Lossy(file));
            out.text +=
                "Wrote the QR code of \"" + Printable(fields.ssid) + "\" to " + Printable(file) + ".\n";
        }
        return out;
    }
    if (uriOnly) {
        if (!fields.passphrase.empty() && !showKeys)
            UsageError("the URI holds the network's key: add --show-keys to print it");
        out.data["uri"] = uri;
        out.text = uri + "\n";
        return out;
    }
    // The code always carries the key (that is what it is for); the text shows it only when asked.
    out.data["ssid"] = fields.ssid;
    out.text = QrText(uri) + fields.ssid + "\n";
    if (showKeys && !fields.passphrase.empty()) {
        out.data["uri"] = uri;
        out.text += fields.passphrase + "\n";
    }
    return out;
}

SOutput RunShow(const std::string& name, bool showKeys) {
    CCliSession session(EAccess::ReadOnly);
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    SOutput out;
    out.data = ProfileJson(*profile, showKeys);
    out.text = ProfileText(*profile, showKeys);
    return out;
}

// ---- Changes: each checks everything before it changes anything ----
//
// A command on one profile reads the others' names and places alone (uniqueness, free sections, the
// auto-selection order), and the whole of the profile it shows, changes, copies or removes.

// A stored profile as it is now, read before the command's change of the store begins: a prompt for
// its secret must not keep the store locked while the user types.
std::optional<CProfile> PeekProfile(const std::string& name) {
    if (!CanPrompt()) return std::nullopt;
    CCliSession peek(EAccess::ReadOnly);
    CProfileMngr& profiles = peek.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    return CProfile(*profile);
}

SOutput RunNew(SProfileEdits edits) {
    ResolveProfileSecrets(edits, nullptr);
    CCliSession session(EAccess::Profiles);
    if (!edits.ssid && !edits.ssidHex) UsageError("a new profile needs a network name: --ssid NAME");
    const SAdapterRegion region = session.TryAdapter() ? ReadAdapterRegion() : SAdapterRegion{};
    // A new profile needs only the others' names (and places, for --auto-select): 10,000 stored
    // profiles are not read whole to add one.
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    if (edits.name && profiles.HasName(*edits.name))
        UsageError("a profile named \"" + Printable(*edits.name) + "\" already exists; choose another name");

    // What the editor starts from: the profile "New" adds, with what its section may still hold.
    profiles.MakeNewName();
    CProfile scratch(profiles.GetNewName(), true);
    scratch.ProfName = profiles.GetNewName();
    ApplyProfileEdits(edits, scratch, region, true);

    const std::string added = profiles.AddProfile(nullptr);
    const ProfilePtr profile = profiles.GetProfile(added);
    ApplyProfileEdits(edits, *profile, region, true);
    if (edits.name) RenameOrFail(profiles, added, *edits.name);
    if (profile->AutoSelect) profile->Priority = profiles.UpdatePriorities(-1);
    StoreOrFail(profiles);
    return ProfileOutput("Created", *profile);
}

// A hotspot profile takes its name, network name, security and passphrase here; what only a
// network to join has is refused, and so is a result that makes no hotspot.
void CheckHotspotEdits(const CProfile& before, const CProfile& after) {
    static const std::set<std::string, std::less<>> kHotspotFields = {"ProfName", "NetName", "SecType", "WpaMode",
                                                                      "WpaPassphrase"};
    for (const std::string& field : ChangedFields(ValuesOf(before), ValuesOf(after)))
        if (!kHotspotFields.count(field))
            UsageError("\"" + Printable(before.ProfName) +
                       "\" is a hotspot profile: it takes --name, --ssid, --security and --passphrase(-file) "
                       "here; its band and channel change with wavoryctl hotspot start --profile NAME --band "
                       "BAND --channel N --save");
    if (after.SecType != 0 || (after.WpaMode != 0 && !ModeTakesPassphrase(after.WpaMode)))
        UsageError("a hotspot is open (--security none), wpa2, wpa3 or wpa2-wpa3");
    if (const std::string problem = CheckHotspotProfile(after); !problem.empty()) UsageError(problem);
}

SOutput RunEdit(const std::string& name, SProfileEdits edits) {
    const std::optional<CProfile> stored = PeekProfile(name);
    ResolveProfileSecrets(edits, stored ? &*stored : nullptr);
    CCliSession session(EAccess::Profiles);
    const SAdapterRegion region = session.TryAdapter() ? ReadAdapterRegion() : SAdapterRegion{};
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    if (edits.name && *edits.name != name && profiles.HasName(*edits.name))
        UsageError("a profile named \"" + Printable(*edits.name) + "\" already exists; choose another name");
    CProfile scratch(*profile);
    ApplyProfileEdits(edits, scratch, region, false);
    if (profile->Hotspot) CheckHotspotEdits(*profile, scratch);

    const bool wasMember = profile->AutoSelect;
    const int oldPriority = profile->Priority;
    ApplyProfileEdits(edits, *profile, region, false);
    if (edits.name && *edits.name != name) RenameOrFail(profiles, name, *edits.name);
    if (wasMember && !profile->AutoSelect) {
        profiles.UpdatePriorities(oldPriority);
        profile->Priority = -1;
    } else if (!wasMember && profile->AutoSelect) {
        profile->Priority = profiles.UpdatePriorities(-1);
    }
    StoreOrFail(profiles);
    return ProfileOutput("Changed", *profile);
}

SOutput RunDuplicate(const std::string& name, SProfileEdits edits) {
    const std::optional<CProfile> stored = PeekProfile(name);
    ResolveProfileSecrets(edits, stored ? &*stored : nullptr);
    CCliSession session(EAccess::Profiles);
    const SAdapterRegion region = session.TryAdapter() ? ReadAdapterRegion() : SAdapterRegion{};
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr source = FindProfile(profiles, name);
    if (edits.name && profiles.HasName(*edits.name))
        UsageError("a profile named \"" + Printable(*edits.name) + "\" already exists; choose another name");
    profiles.MakeNewName();
    CProfile scratch(*source);
    scratch.ProfName = profiles.GetNewName();
    ApplyProfileEdits(edits, scratch, region, false);
    if (source->Hotspot) CheckHotspotEdits(*source, scratch);

    // A copy under a new name, run through the editor as a new profile.
    const std::string added = profiles.AddProfile(source.get());
    const ProfilePtr profile = profiles.GetProfile(added);
    ApplyProfileEdits(edits, *profile, region, false);
    if (edits.name) RenameOrFail(profiles, added, *edits.name);
    if (profile->AutoSelect) profile->Priority = profiles.UpdatePriorities(-1);
    StoreOrFail(profiles);
    return ProfileOutput("Created", *profile);
}

SOutput RunRemove(const std::string& name) {
    CCliSession session(EAccess::Profiles);
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    FindProfile(profiles, name);
    CLockGuard mainLock(CS_MAIN);
    if (const int error = profiles.RemoveProfile(name, true, true); error != REG_OK) {
        session.Messages().Take();  // told here, with the reason
        FailStore(error, "the profile could not be removed");
    }
    SOutput out;
    out.data["action"] = "removed";
    out.data["name"] = Utf8Lossy(name);
    out.text = "Removed profile \"" + Printable(name) + "\".\n";
    return out;
}

SOutput AutoOutput(const CProfile& profile, bool changed) {
    SOutput out;
    out.data = {{"name", Utf8Lossy(profile.ProfName)},
                {"auto_select", profile.AutoSelect},
                {"priority", profile.AutoSelect ? json(profile.Priority) : json(nullptr)},
                {"changed", changed}};
    out.text = "Profile \"" + Printable(profile.ProfName) + "\" " +
               (profile.AutoSelect
                    ? "is member " + std::to_string(profile.Priority + 1) + " of the auto-selection list"
                    : std::string("is not in the auto-selection list")) +
               (changed ? "" : " (unchanged)") + ".\n";
    return out;
}

// Without a wanted state it toggles, as the page's menu command does.
SOutput RunAuto(const std::string& name, std::optional<bool> wanted) {
    CCliSession session(EAccess::Profiles);
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    const bool on = wanted.value_or(!profile->AutoSelect);
    if (on && profile->Hotspot)
        UsageError("\"" + Printable(name) +
                   "\" is a hotspot profile: the automatic selection joins networks, it starts no hotspot");
    if (on == profile->AutoSelect) return AutoOutput(*profile, false);
    profile->AutoSelect = on;
    if (!on) {
        profiles.UpdatePriorities(profile->Priority);
        profile->Priority = -1;
    } else {
        profile->Priority = profiles.UpdatePriorities(-1);
    }
    StoreOrFail(profiles);
    return AutoOutput(*profile, true);
}

// Swaps a member with its neighbour; at either end of the list nothing moves.
SOutput RunMove(const std::string& name, int step) {
    CCliSession session(EAccess::Profiles);
    CProfileMngr& profiles = session.Profiles(CProfileMngr::ELoad::Names);
    auto lock = profiles.Lock();
    const ProfilePtr profile = FindProfile(profiles, name);
    if (!profile->AutoSelect || profile->Priority < 0)
        Fail("the profile \"" + Printable(name) +
             "\" is not in the auto-selection list (see: wavoryctl profiles auto)");
    const int p = profile->Priority;
    bool moved = false;
    if (p + step >= 0 && p + step < profiles.GetAutoCount()) {
        if (const std::string neighbour = profiles.NameAt(p + step); !neighbour.empty()) {
            const ProfilePtr other = FindProfile(profiles, neighbour);
            profile->Priority = p + step;
            other->Priority = p;
            moved = true;
            StoreOrFail(profiles);
        }
    }
    SOutput out = AutoOutput(*profile, moved);
    out.data["moved"] = moved;
    return out;
}

}  // namespace

void AddProfileCommands(CLI::App& parent, CCommandTable& table) {
    table.Add(
        AddCommand(parent, "list", "List the profiles: the auto-selection list in order, then the others"),
        [] { return RunList(); });

    struct SNamed {
        std::string name;
        bool showKeys = false;
        SProfileEdits edits;
        bool on = false, off = false;
        bool uriOnly = false;
        bool force = false;
        std::string png, svg;
    };
    auto addNamed = [&parent](const char* command, const char* help, const std::shared_ptr<SNamed>& args) {
        CLI::App* sub = AddCommand(parent, command, help);
        sub->add_option("profile", args->name, "Profile name")->required();
        return sub;
    };

    auto show = std::make_shared<SNamed>();
    CLI::App* showCmd = addNamed("show", "Show every setting of a profile", show);
    showCmd->add_flag("--show-keys", show->showKeys, "Show the WEP keys themselves");
    table.Add(showCmd, [show] { return RunShow(show->name, show->showKeys); });

    auto share = std::make_shared<SNamed>();
    CLI::App* shareCmd =
        addNamed("share", "Draw the QR code a phone joins the profile's network from", share);
    shareCmd->add_flag("--uri", share->uriOnly, "Print the URI only");
    shareCmd->add_flag("--show-keys", share->showKeys,
                       "Show the key or passphrase (the code always holds it)");
    shareCmd->add_option("--png", share->png, "Write the QR code to a PNG image");
    shareCmd->add_option("--svg", share->svg, "Write the QR code to an SVG image");
    shareCmd->add_flag("--force", share->force, "Replace an image file that exists");
    table.Add(shareCmd, [share] {
        return RunShare(share->name, share->showKeys, share->uriOnly, share->png, share->svg, share->force);
    });

    // The editor's options are most of the parser: made only for the command that runs.
    if (Wanted(parent, "new")) {
        auto created = std::make_shared<SNamed>();
        CLI::App* newCmd = AddCommand(parent, "new", "Create a profile (as New on the Profiles page)");
        AddProfileEditOptions(*newCmd, created->edits, true);
        table.Add(newCmd, [created] { return RunNew(created->edits); });
    }
    if (Wanted(parent, "edit")) {
        auto edit = std::make_shared<SNamed>();
        CLI::App* editCmd = addNamed("edit", "Change settings of a profile; the others stay", edit);
        AddProfileEditOptions(*editCmd, edit->edits, true);
        table.Add(editCmd, [edit] { return RunEdit(edit->name, edit->edits); });
    }
    if (Wanted(parent, "dup")) {
        auto dup = std::make_shared<SNamed>();
        CLI::App* dupCmd =
            addNamed("dup", "Copy a profile under a new name, optionally changing settings", dup);
        AddProfileEditOptions(*dupCmd, dup->edits, true);
        table.Add(dupCmd, [dup] { return RunDuplicate(dup->name, dup->edits); });
    }

    auto rm = std::make_shared<SNamed>();
    table.Add(addNamed("rm", "Delete a profile", rm), [rm] { return RunRemove(rm->name); });

    auto autoSel = std::make_shared<SNamed>();
    CLI::App* autoCmd =
        addNamed("auto", "Put a profile into the auto-selection list or take it out (toggles)", autoSel);
    CLI::Option* on = autoCmd->add_flag("--on", autoSel->on, "Make it a member");
    autoCmd->add_flag("--off", autoSel->off, "Take it out")->excludes(on);
    table.Add(autoCmd, [autoSel] {
        std::optional<bool> wanted;
        if (autoSel->on || autoSel->off) wanted = autoSel->on;
        return RunAuto(autoSel->name, wanted);
    });

    auto up = std::make_shared<SNamed>();
    table.Add(addNamed("up", "Move an auto-selection member one place earlier", up),
              [up] { return RunMove(up->name, -1); });
    auto down = std::make_shared<SNamed>();
    table.Add(addNamed("down", "Move an auto-selection member one place later", down),
              [down] { return RunMove(down->name, 1); });
}

}  // namespace wavory::cli
