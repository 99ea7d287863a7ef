// A connection being made. The settings go to the adapter through a station (a few quick
// requests); the adapter then joins in its own time, and the attempt follows its join state
// (OID_JOIN_STATE) one look at a time: the window's tick and the polling thread advance it without
// ever waiting, the command line waits for it. When the adapter has joined, the steps after a join
// run (current station, profile stored, auto-connect countdown, statistics, refresh); when it has
// failed, nothing is stored and the message names the network and the cause.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kccl_oid.h"
#include "survey/Connect.h"

namespace wavory {

class CProfile;
class CStation;

// What the adapter says about its last join attempt.
struct SJoinState {
    bool read = false;       // the request was carried out
    int result = 0;          // else the library's reason (KCOM_RESULT_BUSY: another program holds it)
    bool supported = false;  // the adapter reports join attempts (an older one does not)
    uint32_t state = 0;      // KCOM_JOIN_STATE_VALUE
    uint32_t cause = 0;      // KCOM_JOIN_CAUSE_VALUE
    uint32_t attempt = 0;
    uint32_t flags = 0;
    std::string ssid;
    std::string detail;
};

// One read of OID_JOIN_STATE.
SJoinState ReadJoinState();

// The line that names the network and why joining it failed, e.g. "\"Harbour\": the passphrase was
// not accepted."; the security mode (0 for WEP and none) tells a passphrase or an 802.1X password
// from a WEP key. Empty when the cause says nothing.
std::string JoinCauseLine(const std::string& ssid, uint32_t cause, const std::string& detail, int wpaMode,
                          bool restored);

// After a join that worked: the note on what of the profile it could not apply (fixed addresses
// without NetworkManager, say), as "Connected to "Harbour".\nNote: …."; empty when there is none.
std::string JoinNoteMessage(const std::string& ssid, bool ok, const std::string& detail);

class CConnectAttempt;
// Told of every attempt of this program when it has ended, on the thread that ended it (the
// connection history records them). Set at start-up, before any attempt; empty: nobody is told.
void SetJoinObserver(std::function<void(const CConnectAttempt&)> observer);
// The stable word for a join's cause: "wrong_key", "not_found", … ("failed" where none fits).
const char* JoinCauseKey(uint32_t cause);

class CConnectAttempt {
public:
    enum class EKind {
        Profile,     // the Profiles page's Connect (and wavoryctl connect PROFILE)
        Station,     // joining a scanned network (Available Networks, wavoryctl connect --ssid)
        AutoSelect,  // the polling thread's automatic selection
        Security,    // Edit Connection: the security of the connection only
        Restore      // back to the connection there was before a join the user cancelled
    };
    enum class EStatus { Joining, Joined, Failed };
    using Clock = std::chrono::steady_clock;

    // An attempt the adapter still calls joining after this long has failed as timed out.
    static constexpr std::chrono::seconds kTimeout{60};
    // The command line's pause between two looks.
    static constexpr std::chrono::milliseconds kWaitPause{20};

    // Secrets a profile lacks, asked for one join and not stored.
    struct SJoinSecrets {
        std::string eapPassword;
        std::string eapKeyPassword;
    };

    // Each applies the settings at once and takes the first look; the attempt may have ended then.
    static std::unique_ptr<CConnectAttempt> ForProfile(const std::shared_ptr<CProfile>& profile,
                                                       const SJoinSecrets& secrets = {});
    static std::unique_ptr<CConnectAttempt> ForStation(const SJoin& join);
    static std::unique_ptr<CConnectAttempt> ForAutoSelect(const std::shared_ptr<CProfile>& profile);
    static std::unique_ptr<CConnectAttempt> ForSecurity(const std::shared_ptr<CStation>& settings);
    // Applies the settings a connection was made with again; joined, `current` (the station that
    // was current) and `connected` (the profile that was connected, may be null) are again.
    static std::unique_ptr<CConnectAttempt> ForRestore(const std::shared_ptr<CStation>& settings,
                                                       std::shared_ptr<CStation> current,
                                                       std::shared_ptr<CProfile> connected);

    // One look at the adapter while joining; when the attempt has ended, the steps after it (once).
    EStatus Advance();
    // Advances until the attempt has ended (at most kTimeout and one pause more), or until `stop`
    // says so between two looks (then the attempt is still joining).
    EStatus Wait(std::chrono::milliseconds pause = kWaitPause, const std::function<bool()>& stop = {});

    EStatus Status() const { return m_Status; }
    bool Ended() const { return m_Status != EStatus::Joining; }
    EKind Kind() const { return m_Kind; }
    const SJoinResult& Result() const { return m_Result; }
    // The network's SSID (bytes as they are).
    const std::string& Network() const { return m_strNetwork; }
    // The failure was a WEP key or passphrase the network did not accept.
    bool WrongKey() const { return m_Status == EStatus::Failed && m_Result.cause == KCOM_CAUSE_WRONG_KEY; }
    // The security of the settings applied (KCOM_SECURITY_MODE; 0 for WEP and none).
    int WpaMode() const { return m_nWpaMode; }
    // How long the attempt took, once ended.
    std::chrono::milliseconds Took() const { return m_Took; }
    // The settings of a station join (to ask for the key again); empty for the other kinds.
    const SJoin& Join() const { return m_Join; }

    // The clock that times the attempt out (tests move it on); set before the first Advance.
    void SetClock(std::function<Clock::time_point()> now) { m_fnNow = std::move(now); }

private:
    CConnectAttempt(EKind kind, std::shared_ptr<CStation> station);
    void Start();
    void Look(const SJoinState& state);
    void Joined();
    void Failed(uint32_t cause, const std::string& detail, bool restored);
    void TellEnded();
    // The first line of the failure message: the driver's refusal, or the string table's text.
    std::string FirstLine() const;

    EKind m_Kind;
    EStatus m_Status = EStatus::Joining;
    std::shared_ptr<CStation> m_pStation;  // the settings applied
    std::shared_ptr<CProfile> m_pProfile;  // the profile connected (Profile, AutoSelect, Restore)
    std::shared_ptr<CStation> m_pRestoreCurrent;  // Restore: the station current again once joined
    SJoin m_Join;                          // Station
    std::string m_strNetwork;
    int m_nWpaMode = 0;
    int m_nPhyType = 1;
    bool m_bFollowing = false;  // the adapter started an attempt, and it is this one
    uint32_t m_nAttempt = 0;
    bool m_bAdHocBefore = false;
    std::string m_strRefusal;
    SJoinResult m_Result;
    Clock::time_point m_Started{};
    std::chrono::milliseconds m_Took{0};
    std::function<Clock::time_point()> m_fnNow = [] { return Clock::now(); };
};

}  // namespace wavory
