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

namespace wavory {
class CInstanceLock;
class CProfileMngr;
class CSettingsRegistry;
class CStationMngr;
}  // namespace wavory

namespace wavory::cli {

// What a command may change.
enum class EAccess {
    ReadOnly,  // nothing in the settings store
    Settings,  // preferences only: the window reads them at every use, so they may change while it runs
    Profiles   // profiles: only while the window is not running (the instance lock)
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
    static constexpr const char* kWindowOpen =
        "the Wavory Utility window is open; change profiles there, or close it first";

    // With EAccess::Profiles, takes the instance lock first or throws (kExitLocked).
    explicit CCliSession(EAccess access);
    ~CCliSession();
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;

    // Opens the driver link or throws "no adapter found".
    void RequireAdapter();
    // Opens the driver link if it can; false when no adapter answers.
    bool TryAdapter();

    CProfileMngr& Profiles();
    // Made on first use; its construction starts a scan, as at the window's start-up.
    CStationMngr& Stations();
    CCliRegistry& Registry() { return *m_pView; }
    CMessageCollector& Messages() { return m_Messages; }

    // The last message the core showed, or `fallback` when it showed none.
    std::string LastMessageOr(const std::string& fallback);

private:
    void TakeInstanceLock();

    int m_nUncaught;  // exceptions in flight when the session began
    std::unique_ptr<CInstanceLock> m_pLock;
    std::unique_ptr<CSettingsRegistry> m_pStore;
    std::unique_ptr<CCliRegistry> m_pView;
    CMessageCollector m_Messages;
};

}  // namespace wavory::cli
