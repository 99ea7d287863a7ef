// complete profiles|ssids: the words the shell completion offers, one a line. Not listed in --help:
// it is the completion script's helper. It only reads: no scan starts, nothing is stored.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <set>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/StationView.h"
#include "profiles/ProfileMngr.h"
#include "survey/Station.h"

namespace wavory::cli {

namespace {

// A word a user can type and a shell can insert: UTF-8 without control characters. Other names
// are left out (an SSID that is not text is given with --ssid-hex).
bool Completable(const std::string& word) {
    if (word.empty() || !IsUtf8(word)) return false;
    return std::none_of(word.begin(), word.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

SOutput Lines(const std::set<std::string>& words) {
    SOutput out;
    out.data["words"] = json::array();
    for (const std::string& word : words) {
        out.text += word + "\n";
        out.data["words"].push_back(word);
    }
    return out;
}

SOutput RunComplete(const std::string& what) {
    CCliSession session(EAccess::ReadOnly);
    std::set<std::string> words;
    if (what == "profiles") {
        CProfileMngr& profiles = session.Profiles();
        auto lock = profiles.Lock();
        for (const auto& profile : profiles.Snapshot())
            if (Completable(profile->ProfName)) words.insert(profile->ProfName);
    } else if (session.TryAdapter()) {
        // The networks of the adapter's last scan list; none when no adapter answers.
        CStationMngr& stations = session.Stations(false);
        MergeForView(session, EView::Network);
        auto lock = stations.Lock();
        for (const auto& station : stations.Snapshot())
            if (Completable(station->NetName)) words.insert(station->NetName);
    }
    return Lines(words);
}

}  // namespace

void AddCompleteCommand(CLI::App& app, CCommandTable& table) {
    auto what = std::make_shared<std::string>();
    CLI::App* complete = app.add_subcommand("complete", "Words for the shell completion");
    complete->group("");  // hidden from --help
    complete->add_option("what", *what, "profiles or ssids")
        ->required()
        ->check(CLI::IsMember({"profiles", "ssids"}));
    table.Add(complete, [what] { return RunComplete(*what); });
}

}  // namespace wavory::cli
