// One command's run of the core: the settings store, the message sink, the driver link and the
// managers, set up on `theApp` as the window's start-up does, and taken down in the order of its
// shutdown. The managers are made only when a command asks for them: the station manager starts a
// scan, and the profile manager saves every profile when it ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Messages.h"
#include "cli/CliRegistry.h"
#include "profiles/ProfileMngr.h"

namespace wavory {
class CSqliteRegistry;
class CStationMngr;
}  // namespace wavory

namespace wavory::cli {

// What a command may change.
enum class EAccess {
    ReadOnly,  // nothing in the settings store
    Settings,  // preferences
    Profiles,  // profiles: the whole command is one change of the store
    Join       // profiles, but only once BeginChange is called (after a scan and a connection)
};

// Collects what the core would show in a message box; the command decides what to report.
class CMessageCollector final : public IMessageSink {
public:
    void ShowMessage(const std::string& text, EMsgIcon icon) override;
    // The messages shown so far, oldest first; they are cleared.
    std::vector<std::string> Take();

private:
    std::vector<std::string> m_Messages;
};

class CCliSession {
public:
    // Opens the user's settings store or throws (a store found damaged throws too, once it has been
    // moved aside and its last copy restored: the command did not run on what the user had). A
    // command that changes settings makes one change of the store: it starts before the profiles are
    // read (so another program's change made meanwhile is neither lost nor undone) and is stored when
    // the session ends without an error; a command that fails stores nothing. The window may run
    // meanwhile: it notices the change. A read-only store refuses a change up front.
    explicit CCliSession(EAccess access);
    // Throws when the change could not be stored (and no other error is on its way).
    ~CCliSession() noexcept(false);
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;

    // Opens the driver link or throws: "no adapter found", or why the adapter could not be used.
    void RequireAdapter();
    // Opens the driver link if it can; false when no adapter answers.
    bool TryAdapter();
    // Throws when the last request to the adapter was not carried out (the adapter went away, is
    // held by another program, or was refused), naming `step`. A request that the adapter answered
    // with a failure status is no such failure: the command shows what it could read.
    void CheckAdapter(const std::string& step);
    // Throws for a failed `step`, with the adapter's reason when it gave one.
    [[noreturn]] void FailAdapter(const std::string& step);

    // Made on first use, loading what `load` says (a command on one profile reads the others'
    // names and places alone).
    CProfileMngr& Profiles(CProfileMngr::ELoad load = CProfileMngr::ELoad::All);
    // Starts the command's change of the store now, reading the profiles again inside it.
    void BeginChange();
    // Made on first use. Its construction starts a scan, as at the window's start-up, unless
    // `startScan` is false: commands that only read use the adapter's last list. The profiles are
    // loaded first, as `load` says (a command that only reads the adapter needs their names alone).
    CStationMngr& Stations(bool startScan = true, CProfileMngr::ELoad load = CProfileMngr::ELoad::All);
    CCliRegistry& Registry() { return *m_pView; }
    // The store itself, for what goes past the view (its check and copies).
    CSqliteRegistry& Store() { return *m_pStore; }
    CMessageCollector& Messages() { return m_Messages; }

    // The last message the core showed, or `fallback` when it showed none.
    std::string LastMessageOr(const std::string& fallback);

private:
    int m_nUncaught;  // exceptions in flight when the session began
    EAccess m_Access;
    bool m_bChanging = false;
    std::unique_ptr<CSqliteRegistry> m_pStore;
    std::unique_ptr<CCliRegistry> m_pView;
    CMessageCollector m_Messages;
};

}  // namespace wavory::cli
