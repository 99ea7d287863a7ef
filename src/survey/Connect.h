// The connect steps that the Profiles page, the Available Networks dialog and wavoryctl connect
// share: prepare the settings of a join, and (through CConnectAttempt) apply them through a
// station, make it the current one, tell the profile manager and the polling thread, and say what
// failed. Call them on the interface thread (or the command line's one thread); joining a network
// also stores its profile.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace wavory {

class CProfile;
class CStation;

// Connects to a stored profile through a temporary station (applied in full) and waits until the
// adapter has joined or failed. On success the polling thread reads the connection back two ticks
// later, the statistics start over for the profile's PHY and a refresh is requested; on failure
// the previous connection is kept where the adapter went back to it (else no station is current),
// and *failure is "Could not connect to profile. Verify profile parameters." with a second line
// that names the network and the cause where the adapter gave one.
bool ConnectProfile(const std::shared_ptr<CProfile>& profile, std::string* failure);

// Joining a scanned network: the stored profile for its SSID (null when there is none) and the
// settings to apply: the network as the scan describes it, with the profile's keys and radio
// settings. The channel is held as a profile holds it (the position in the channel list).
struct SJoin {
    std::shared_ptr<CStation> scanned;
    std::shared_ptr<CProfile> profile;
    std::shared_ptr<CStation> settings;
    // Called once the network is joined, before its profile is stored (a command line starts its
    // change of the store there, so no write lock is held while the adapter joins).
    std::function<void()> beforeSave;
    // The key or passphrase was entered for this join: it goes into the stored profile once it has
    // worked (and only then).
    bool keyEntered = false;
    // The network settings (hardware address, addresses, access point choice) were given for this
    // join: a stored profile takes them once it has worked.
    bool netEntered = false;
    // The 802.1X password and key password entered for this join are kept in the stored profile;
    // false leaves them out (they are asked for again next time).
    bool keepSecrets = true;
};

// The stored profile a join uses: among the profiles with the station's SSID, one whose security
// fits (for a WEP network, one with a complete active key), preferring members of the
// auto-selection order; else the first with that SSID; null when none has it.
std::shared_ptr<CProfile> FindJoinProfile(const CStation& scanned);
// With `accessPoint` the join goes to the scanned station's access point (its BSSID) and no other
// of the network's, as the per-access-point view's Connect asks.
SJoin PrepareJoin(const std::shared_ptr<CStation>& scanned, bool accessPoint = false);
// The network needs a key the settings do not have (WEP without a complete active key, WPA
// without a valid passphrase, 802.1X without its method, identity, password or a server check).
bool JoinNeedsKey(const CStation& settings);
// The key is complete for its length choice (10 or 26 hex digits).
bool IsKeyComplete(const CProfile& profile, int key);

// How a connection attempt ended.
struct SJoinResult {
    bool ok = false;
    // The message when it failed: the string table's text ("Could not connect to specified station."),
    // or the adapter's refusal, and a second line naming the network and the cause.
    std::string failure;
    uint32_t cause = 0;       // KCOM_JOIN_CAUSE_VALUE; 0 when the adapter gave none
    bool restored = false;    // the adapter went back to the network it was on before
    std::string detail;       // the adapter's own words on the cause
    std::string refusal;      // the driver's refusal (a missing right) of a setting, if any
    std::string profileName;  // the profile the network is stored as
    bool created = false;     // a new profile was made (none existed for the SSID)
    bool saved = false;       // the profiles were written to the store
};

// Applies join.settings and waits until the adapter has joined or failed. On success the scanned
// station becomes the current one and the network is kept as a profile: the existing one keeps its
// name, its keys and its settings (a key entered for this join, or one where it had none that
// fitted, is stored into it) and joins the auto-selection order if it was not a member; without one
// a new profile is made from the settings and placed last in the order. Everything is saved. On
// failure no profile is made or changed.
SJoinResult JoinStation(const SJoin& join);

// Copies the security settings (type, keys, passphrase) of one record into another.
void CopySecurity(const CProfile& from, CProfile& to);
// The profile's keys will do for this network's kind of security (see FindJoinProfile).
bool SecurityFitsNetwork(const CProfile& profile, bool wep, int wpaMode);

// The settings the adapter was last connected with by this process (with their keys), while they
// are still those of the connection the station manager calls current; else null.
std::shared_ptr<CStation> AppliedSettings();
// Remembers the settings a connection was made with (the polling thread's automatic selection
// calls it too).
void RememberApplied(const std::shared_ptr<CStation>& settings);

// The settings the connection to `network` (the current station, or the network the adapter says
// it is on) was made with, for how it chose its access point: those this process applied, else the
// profile the window connected, else the stored profile a join of the network takes. Null for a
// network no profile holds.
std::shared_ptr<const CProfile> ProfileInUse(const CStation& network);
// How the connection's access point was chosen (BandChoiceText), where its profile has a choice (a
// pin or a band preference); empty where it has none.
std::string AccessPointChoiceInUse(const CStation& network);

// The connection there is now, to go back to when the user cancels a join.
struct SConnectionBefore {
    std::shared_ptr<CStation> settings;  // what to join again (keys included); null: not connected
    std::shared_ptr<CStation> current;   // the station current now
    std::shared_ptr<CProfile> connected;  // the profile connected now (may be null)
};
// The settings are those this process applied; for a network joined elsewhere (another process, or
// before this one started) its scan with the keys of the stored profile that fits it.
SConnectionBefore ConnectionNow();

// A copy of the current connection for "Edit Connection Parameters": the applied settings (or the
// scanned station), read back from the adapter so mode, channel and security are the live ones;
// the channel is held as a profile holds it.
std::shared_ptr<CStation> LiveConnection(const std::shared_ptr<CStation>& scanned);

}  // namespace wavory
