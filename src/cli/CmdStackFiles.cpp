// profiles import --from STACK and profiles export --to STACK: networks carried between the store
// and wpa_supplicant, NetworkManager and iwd files. Reading and writing the formats is the core's
// (profiles/Stack*); here are the files, the folders and the report.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <set>

#include "cli/CliSession.h"
#include "platform/NmBus.h"
#include "cli/StackCommands.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/StackImport.h"
#include "profiles/StackNmBus.h"
#include "profiles/StackSource.h"

namespace wavory::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNmFolder = "/etc/NetworkManager/system-connections";
constexpr const char* kIwdFolder = "/var/lib/iwd";
constexpr const char* kWpaFile = "/etc/wpa_supplicant/wpa_supplicant.conf";

EStack StackOf(const std::string& name) {
    if (name == "wpa-supplicant") return EStack::WpaSupplicant;
    if (name == "networkmanager") return EStack::NetworkManager;
    return EStack::Iwd;
}

// How a file or folder only root reads comes in: on standard input (run as root, the command would
// store into root's settings).
constexpr const char* kRootHint =
    " (only root reads it: give the files one by one on standard input, as in "
    "sudo cat FILE | wavoryctl profiles import --from STACK -)";

// Standard input whole, up to the size any stack's file can have.
bool ReadStdin(std::string& text, std::string& why) {
    const std::size_t limit = kMaxStackFileBytes;
    text.resize(limit + 1);
    std::cin.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::cin.gcount()));
    if (text.size() > limit)
        return why = "it is larger than " + std::to_string(limit) + " bytes, more than any network file",
               false;
    return true;
}

constexpr const char* kWifiType = "802-11-wireless";

// The user's NetworkManager connections over the bus; false when NetworkManager is not on the bus
// (its folder is read then).
bool ReadNmConnections(std::vector<SStackNetwork>& networks) {
    std::string error;
    switch (ReadNmNetworks(networks, error)) {
        case ENmRead::Unreachable:
            return false;
        case ENmRead::Failed:
            Fail("cannot import the NetworkManager connections: " + Printable(error));
        case ENmRead::Read:
            break;
    }
    if (networks.empty()) Fail("cannot import the NetworkManager connections: it holds no Wi-Fi connection");
    return true;
}

std::vector<SStackNetwork> ReadNetworks(EStack stack, std::string path, const std::string& as) {
    if (path.empty() && stack == EStack::NetworkManager) {
        std::vector<SStackNetwork> networks;
        if (ReadNmConnections(networks)) return networks;
    }
    if (path.empty())
        path = stack == EStack::WpaSupplicant    ? kWpaFile
               : stack == EStack::NetworkManager ? kNmFolder
                                                 : kIwdFolder;
    SStackSourceRead read;
    if (path == "-") {
        std::string text, why;
        if (!ReadStdin(text, why)) Fail("cannot import standard input: " + why);
        if (stack == EStack::Iwd && as.empty())
            UsageError(
                "an iwd file on standard input needs its file name, which carries the SSID: --as NAME.psk");
        read = ReadStackText(stack, text, as.empty() ? "standard input" : as);
    } else {
        read = ReadStackSource(stack, path, kRootHint);
    }
    const std::string shown = path == "-" ? std::string("standard input") : Printable(path);
    if (read.refused)
        throw CCliError(kExitFailed, "cannot import " + shown + ": " + read.error, "import", "import_refused");
    if (!read.error.empty()) Fail("cannot import " + shown + ": " + read.error);
    return std::move(read.networks);
}

json NotesJson(const std::vector<std::string>& notes) {
    json j = json::array();
    for (const std::string& n : notes) j.push_back(Utf8Lossy(n));
    return j;
}

struct SInstalled {
    std::string path, uuid;
    std::string reason;  // why it was not installed
    bool replaced = false;
    bool ownUserOnly = false;
};

// Hands the written keyfiles to the running NetworkManager as saved connections. A connection of
// the same name is replaced only when forced (keeping its UUID). Where NetworkManager lets this
// user add connections for itself only, the connection is made visible to this user alone.
std::vector<SInstalled> InstallIntoNm(const std::vector<std::shared_ptr<CProfile>>& chosen,
                                      const std::vector<SStackFile>& files, bool force) {
    std::vector<SInstalled> out(files.size());
    CNmBus bus;
    SNmBusReply reply = bus.Open();
    std::vector<std::string> paths;
    if (reply) reply = bus.ListConnections(paths);
    if (!reply)
        Fail("cannot install into NetworkManager: " +
             (reply.unreachable ? std::string("it is not running (not on the system bus)") : Printable(reply.Text())));
    std::map<std::string, std::pair<std::string, std::string>> byName;  // id -> object, uuid
    for (const std::string& path : paths) {
        NmBusSettings s;
        if (bus.GetSettings(path, s) && NmBusText(s, "connection", "type") == kWifiType)
            byName[NmBusText(s, "connection", "id")] = {path, NmBusText(s, "connection", "uuid")};
    }
    const passwd* pw = ::getpwuid(::getuid());
    const std::string user = pw && pw->pw_name ? pw->pw_name : "";
    for (std::size_t i = 0; i < files.size(); ++i) {
        SInstalled& in = out[i];
        if (!files[i].refusal.empty()) {
            in.reason = files[i].refusal;
            continue;
        }
        NmBusSettings settings;
        std::string why;
        if (!NmBusOfKeyfile(files[i].text, settings, why)) {
            in.reason = why;
            continue;
        }
        const std::string& name = chosen[i]->ProfName;
        const auto existing = byName.find(name);
        if (existing != byName.end() && !force) {
            in.reason = "NetworkManager already has a connection named \"" + name + "\" (--force replaces its settings)";
            continue;
        }
        if (existing != byName.end()) {
            settings["connection"]["uuid"].text = existing->second.second;
            reply = bus.UpdateConnection(existing->second.first, settings);
            in.path = existing->second.first;
            in.replaced = true;
        } else {
            reply = bus.AddConnection(settings, in.path);
            if (!reply && reply.denied && ::getuid() != 0 && !user.empty()) {
                SNmBusValue& perms = settings["connection"]["permissions"];
                perms.kind = SNmBusValue::EKind::Texts;
                perms.texts = {"user:" + user + ":"};
                reply = bus.AddConnection(settings, in.path);
                in.ownUserOnly = static_cast<bool>(reply);
            }
        }
        if (!reply) {
            in.reason = reply.denied ? "NetworkManager does not let this user add or change connections (" +
                                           reply.Text() + ")"
                                     : "NetworkManager refused it: " + reply.Text();
            continue;
        }
        in.uuid = settings["connection"]["uuid"].text;
    }
    return out;
}

}  // namespace

// Writes a file only its owner reads: secrets are in it. An existing file is replaced only when
// forced (and then made 0600 as well).
void WriteOwnerFile(const std::filesystem::path& path, const std::string& text, bool force) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (force ? O_TRUNC : O_EXCL), 0600);
    if (fd < 0) Fail("cannot write " + Printable(path.string()) + ": " + std::strerror(errno));
    bool ok = ::fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    const int saved = errno;
    if (::close(fd) != 0) ok = false;
    if (!ok) Fail("cannot write " + Printable(path.string()) + ": " + std::strerror(saved ? saved : EIO));
}

SOutput RunStackImport(const std::string& from, const std::string& path, const std::string& as) {
    const EStack stack = StackOf(from);
    // Everything is read and checked before the command takes the store for its change.
    std::vector<SStackNetwork> networks = ReadNetworks(stack, path, as);
    CCliSession session(EAccess::Profiles);
    const SStackImportResult result = ImportStackNetworks(session.Profiles(), networks);
    const std::string shown = path.empty() ? std::string("the ") + from + " networks" : Printable(path);
    if (result.import.error > 0) FailStore(result.import.error, "cannot import " + shown);

    SOutput out;
    out.data["action"] = "imported";
    out.data["from"] = from;
    out.data["profiles"] = json::array();
    out.data["networks"] = json::array();
    std::string refused, refusedLine;
    for (std::size_t i = 0; i < networks.size(); ++i) {
        const SStackNetwork& net = networks[i];
        const std::string& name = result.names[i];
        std::string reason = net.refusal;
        if (reason.empty() && name.empty())
            reason = result.reasons[i].empty() ? "nothing was stored" : result.reasons[i];
        json j{{"network", Utf8Lossy(net.where)}, {"not_kept", NotesJson(net.notes)}};
        j["profile"] = name.empty() ? json(nullptr) : json(Utf8Lossy(name));
        j["reason"] = reason.empty() ? json(nullptr) : json(reason);
        out.data["networks"].push_back(j);
        if (!name.empty()) {
            out.data["profiles"].push_back(Utf8Lossy(name));
            out.text += Printable(net.where) + ": imported as \"" + Printable(name) + "\"\n";
            for (const std::string& n : net.notes) out.text += "    " + Printable(n) + "\n";
        } else {
            refused += "Not imported: " + Printable(net.where) + ": " + Printable(reason) + ".\n";
            refusedLine +=
                (refusedLine.empty() ? "" : "; ") + Printable(net.where) + ": " + Printable(reason);
        }
    }
    if (result.import.error != 0) {
        json extra{{"networks", out.data["networks"]}};
        throw CCliError(kExitFailed, "cannot import " + shown + ": nothing was imported: " + refusedLine,
                        "import", "import_refused", extra);
    }
    out.notes = refused;
    if (result.orderError != 0)
        out.notes += "The auto-selection order was not stored: " + StoreReason(result.orderError) + ".\n";
    const std::size_t count = out.data["profiles"].size();
    out.text = "Imported " + std::to_string(count) + " network" + (count == 1 ? "" : "s") + " from " + shown +
               ".\n" + out.text;
    return out;
}

SOutput RunStackExport(const std::string& to, const std::string& dir, const std::vector<std::string>& args,
                       bool force, bool install) {
    const EStack stack = StackOf(to);
    if (install && stack != EStack::NetworkManager)
        UsageError("--install hands profiles to NetworkManager only: --to networkmanager --install");
    std::vector<std::string> names = args;
    fs::path file;
    if (stack == EStack::WpaSupplicant && dir.empty()) {
        if (names.empty())
            UsageError("name the file to write: profiles export --to wpa-supplicant FILE [NAMES...]");
        file = names.front();
        names.erase(names.begin());
        // The blocks hold the keys: they go to a file only its owner reads, never to a terminal.
        if (file == "-") UsageError("name the file to write; the network blocks hold the keys");
    } else if (dir.empty() && !install) {
        UsageError("name the folder to write the files in: --dir DIR (or --install for NetworkManager)");
    }
    if (!dir.empty()) {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec)) Fail("cannot export to " + Printable(dir) + ": it is not a folder");
        if (stack == EStack::WpaSupplicant) file = fs::path(dir) / "wpa_supplicant.conf";
    }

    CCliSession session(EAccess::ReadOnly);
    CProfileMngr& profiles = session.Profiles();
    auto lock = profiles.Lock();
    std::vector<std::shared_ptr<CProfile>> chosen;
    if (names.empty()) chosen = profiles.Snapshot();
    for (const std::string& name : names) {
        auto p = profiles.GetProfile(name);
        if (!p || name == CProfileMngr::kConnectedStation || name == CProfileMngr::kEditStation)
            Fail("there is no profile named \"" + Printable(name) + "\" (see: wavoryctl profiles list)");
        chosen.push_back(p);
    }
    if (chosen.empty()) Fail("there is no profile to export");

    // Every file is made (in memory) and checked before the first is written.
    std::vector<std::pair<fs::path, std::string>> writes;
    std::vector<SStackFile> results;
    if (stack == EStack::WpaSupplicant) {
        std::vector<const CProfile*> list;
        for (const auto& p : chosen) list.push_back(p.get());
        const std::string text = WriteWpaSupplicantConf(list, results);
        for (SStackFile& r : results) r.name = file.filename().string();
        writes.emplace_back(file, text);
    } else {
        std::set<std::string> taken;
        for (const auto& p : chosen) {
            SStackFile r = stack == EStack::NetworkManager ? WriteNmKeyfile(*p) : WriteIwdFile(*p);
            if (r.refusal.empty() && stack == EStack::NetworkManager) {
                // Two profiles whose names make the same file name: the later one is numbered.
                const std::string stem = r.name.substr(0, r.name.size() - std::strlen(".nmconnection"));
                for (int n = 2; taken.count(r.name); ++n)
                    r.name = stem + " (" + std::to_string(n) + ").nmconnection";
            } else if (r.refusal.empty() && taken.count(r.name)) {
                r.refusal = "another profile of the same network is written to " + r.name +
                            " (iwd keeps one file a network)";
            }
            if (r.refusal.empty()) {
                taken.insert(r.name);
                if (!dir.empty()) writes.emplace_back(fs::path(dir) / r.name, r.text);
            }
            results.push_back(std::move(r));
        }
    }
    if (!force)
        for (const auto& [path, text] : writes)
            if (std::error_code ec; fs::exists(fs::symlink_status(path, ec)))
                Fail("cannot export to " + Printable(path.string()) +
                     ": it exists (use --force to replace it)");
    for (const auto& [path, text] : writes) WriteOwnerFile(path, text, force);
    std::vector<SInstalled> installed;
    if (install) installed = InstallIntoNm(chosen, results, force);

    SOutput out;
    out.data["action"] = "exported";
    out.data["to"] = to;
    out.data["files"] = json::array();
    out.data["skipped"] = json::array();
    if (install) out.data["installed"] = json::array();
    std::string lines;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const SStackFile& r = results[i];
        const std::string& profile = chosen[i]->ProfName;
        if (!r.refusal.empty()) {
            out.data["skipped"].push_back({{"profile", Utf8Lossy(profile)}, {"reason", r.refusal}});
            out.notes += "Not exported: \"" + Printable(profile) + "\": " + r.refusal + ".\n";
            continue;
        }
        // A file was written where there is a folder (or the wpa_supplicant file); --install alone writes none.
        if (!dir.empty() || stack == EStack::WpaSupplicant) {
            const fs::path path = stack == EStack::WpaSupplicant ? file : fs::path(dir) / r.name;
            out.data["files"].push_back({{"profile", Utf8Lossy(profile)},
                                         {"file", Utf8Lossy(path.string())},
                                         {"not_written", NotesJson(r.notes)}});
            lines += "\"" + Printable(profile) + "\" -> " + Printable(path.string()) + "\n";
        }
        if (install) {
            const SInstalled& in = installed[i];
            if (!in.reason.empty()) {
                out.data["skipped"].push_back({{"profile", Utf8Lossy(profile)}, {"reason", in.reason}});
                out.notes += "Not installed: \"" + Printable(profile) + "\": " + Printable(in.reason) + ".\n";
                continue;
            }
            out.data["installed"].push_back({{"profile", Utf8Lossy(profile)},
                                             {"connection", in.path},
                                             {"uuid", in.uuid},
                                             {"replaced", in.replaced},
                                             {"own_user_only", in.ownUserOnly},
                                             {"not_written", NotesJson(r.notes)}});
            lines += "\"" + Printable(profile) + "\" -> NetworkManager connection " + in.uuid +
                     (in.replaced ? " (its settings replaced)" : "") +
                     (in.ownUserOnly ? " (for this user only)" : "") + "\n";
        }
        for (const std::string& n : r.notes) lines += "    " + Printable(n) + "\n";
    }
    if (install) {
        const std::size_t count = out.data["installed"].size();
        out.text = "Installed " + std::to_string(count) + " profile" + (count == 1 ? "" : "s") +
                   " into NetworkManager.\n" + lines;
        if (count == 0) {
            json extra{{"skipped", out.data["skipped"]}};
            throw CCliError(kExitFailed, "nothing was installed into NetworkManager:\n" + out.notes, "export",
                            "install_refused", extra);
        }
        return out;
    }
    const std::size_t count = out.data["files"].size();
    out.text = "Exported " + std::to_string(count) + " profile" + (count == 1 ? "" : "s") + " for " + to +
               ".\n" + lines;
    return out;
}

}  // namespace wavory::cli
