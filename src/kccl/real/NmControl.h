// Changes through NetworkManager's D-Bus API, while NetworkManager runs the interface: it stays in
// charge and its own authorisation decides. The utility joins through a connection of its own
// ("Wavory Utility"), volatile (NetworkManager forgets it once it is no longer active) and visible
// to the user only; it leaves the user's own connections and NetworkManager's autoconnect alone.
#pragma once

#include <mutex>
#include <string>

#include "AdapterControl.h"
#include "Nl80211.h"
#include "NmSettings.h"

namespace wavory::kccl {

class CNmClient;

class CNmControl final : public IAdapterControl {
public:
    // `supplicantSocket`: the control socket of NetworkManager's supplicant for the interface, where
    // it keeps one (Debian's does); an attempt listens there for the supplicant's verdicts, which
    // NetworkManager reports late (a refused WPA3 passphrase) or only as a general failure (802.1X).
    CNmControl(std::string ifname, int ifindex, CNl80211& nl, std::string supplicantSocket = {});

    uint32_t StartScan() override;
    // Deactivates the utility's own connection only; a connection of the user's stays.
    uint32_t Disconnect() override;
    // Power save is a setting of the connection: the utility's own is activated again with it (the
    // caller runs that as an attempt); the user's connection is not changed (kStatusNotSupported:
    // the kernel is asked instead).
    uint32_t SetPowerSave(uint32_t index, const SJoinSettings& last) override;
    SJoinOutcome CheckJoin(const SJoinSettings& settings) override;
    SJoinOutcome Join(const SJoinSettings& settings, CJoinContext& context) override;
    uint8_t LinkEapMethod() override;
    // From NetworkManager's supplicant, where it keeps a control socket this user may use.
    int LinkGeneration() override;
    SDropEvent ExplainDrop() override;

    // An access-point connection of its own, shared addresses; the stop deletes it and activates
    // the connection that was active before.
    SHotspotAnswer StartHotspot(const SHotspotStart& start, CJoinContext& context) override;
    SHotspotAnswer StopHotspot(CJoinContext& context) override;
    SHotspotFacts HotspotFacts() override;

    // Whether the device's active connection is the utility's.
    bool RunsOurConnection();

private:
    // The connection these settings make, under the given UUID.
    SNmRequest RequestOf(const SJoinSettings& s, std::string uuid) const;
    // One activation of the utility's connection; `keepTrying` says whether another WEP
    // authentication may still work.
    SJoinOutcome Activate(CNmClient& nm, const SJoinSettings& settings, bool wepSharedKey,
                          std::chrono::milliseconds wait, CJoinContext& context, bool& keepTrying);
    bool InRange(CNmClient& nm, const std::string& ssid, CJoinContext& context);
    // Activates the user's connection that was active before; true once it is up again.
    bool Restore(CNmClient& nm, const std::string& connectionPath, CJoinContext& context);

    std::string m_Ifname;
    int m_nIfindex;
    CNl80211& m_Nl;
    std::string m_SupplicantSocket;
};

// The name of the user this process runs as, for the connection's permissions.
std::string CurrentUserName();

}  // namespace wavory::kccl
