// What the user does to the connection beside joining: leave the network (and keep the automatic
// selection from joining another one until the user connects again), forget a network's stored
// profiles, describe a network that does not announce its name, and look at the adapter's state
// (present, on an ad-hoc cell) for the window's tray and pages. Interface thread (or the command
// line's one thread) unless said otherwise.
#pragma once

#include <memory>
#include <string>

namespace wavory {

class CStation;

// Leaves the network or ad-hoc cell: no current station, no connected profile, statistics reset,
// and the automatic selection paused (theApp.m_bAutoPaused) until the user starts a connection.
// False, with the reason, when the adapter refused or is missing; nothing changes then.
bool DisconnectAdapter(std::string* failure);

// Removes every stored profile whose network name is this SSID (their sections too) and returns
// how many went; a connected profile among them is no longer the connected one. -1 when the store
// refused (the profiles it kept stay).
int ForgetNetwork(const std::string& ssid);

// The kinds of security a network joined by name can have.
enum class EHiddenSecurity { None, Wep, Wpa2, Wpa3, Wpa2Wpa3, Owe };
// The settings of an infrastructure network that does not announce its name: the defaults of a new
// profile, the name and the kind of security; its key or passphrase is for the caller to put in.
std::shared_ptr<CStation> HiddenNetwork(const std::string& ssid, EHiddenSecurity security);
// The kind to offer first for a scanned network's kind of security (KCOM_SECURITY_KIND); WPA2 where
// the scan did not tell.
EHiddenSecurity HiddenSecurityOfKind(int kind);
// "none", "wep", "wpa2", "wpa3", "wpa2-wpa3", "owe" (the command line's words); false when unknown.
bool ParseHiddenSecurity(const std::string& word, EHiddenSecurity* security);

// The adapter still holds an ad-hoc cell (mode ad hoc, a network name set). False when it was
// unplugged, left the cell or was told to join elsewhere. Safe on either thread.
bool AdHocCellHeld();

// The adapter answers (it may be unplugged, or another program's). One read; either thread.
bool AdapterPresent();

// What to tell the user when the adapter in use is the simulated one: "Simulated adapter", with
// " — no wireless interface found" when the machine has none; empty for a real adapter (or none).
// Looks at the machine's interfaces: call it once, not every tick.
std::string SimulatedAdapterNotice();

// The name of the network the adapter is on, as the adapter says it (a station found by a scan may
// not name it: a hidden network's row); empty when it is on none.
std::string ConnectedNetworkName();

// Signal bars, 1 to 4, for a strength in dBm (the tray's picture of a connection).
int SignalBars(int dBm);

}  // namespace wavory
