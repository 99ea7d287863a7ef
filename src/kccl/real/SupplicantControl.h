// Changes through wpa_supplicant's control socket, while the supplicant runs the interface.
//
// The utility keeps one network entry of its own in the supplicant (tagged "wavory") and selects
// it, which disables every other entry while it joins. Whatever the attempt's end (joined, refused,
// timed out, cancelled, or the process told to end by a signal) the supplicant's entries are left
// as they were found: each one that was enabled is enabled again, an attempt that failed leaves no
// entry (and so no secret) behind, and the interface goes back to the network it was on.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "AdapterControl.h"
#include "WpaCtrl.h"

namespace wavory::kccl {

class CSupplicantControl final : public IAdapterControl {
public:
    // `fallback` takes over when nobody answers on the socket (a supplicant that has gone).
    CSupplicantControl(std::string ifname, std::string socketPath, IAdapterControl* fallback);

    uint32_t StartScan() override;
    uint32_t Disconnect() override;
    uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override;
    SJoinOutcome CheckJoin(const SJoinSettings& settings) override;
    SJoinOutcome Join(const SJoinSettings& settings, CJoinContext& context) override;
    uint8_t LinkEapMethod() override;
    int LinkGeneration() override;

    // A block of mode 2 of its own, selected; the stop removes it and selects the network that
    // was selected before. The supplicant gives clients no addresses.
    SHotspotAnswer StartHotspot(const SHotspotStart& start, CJoinContext& context) override;
    SHotspotAnswer StopHotspot(CJoinContext& context) override;
    SHotspotFacts HotspotFacts() override;

    // The whole list of the supplicant's entries, a page (LAST_ID=) at a time, since one reply holds
    // only what fits its buffer. False when the supplicant does not answer.
    static bool ReadNetworks(CWpaCtrl& ctrl, std::vector<SWpaNetwork>& out);

    // How long an attempt waits for the network, a failed one for the previous network, and a
    // command for its reply.
    void SetWaits(std::chrono::milliseconds join, std::chrono::milliseconds restore,
                  std::chrono::milliseconds command) {
        m_JoinWait = join;
        m_RestoreWait = restore;
        m_CommandWait = command;
    }

    static constexpr const char* kTag = "wavory";

private:
    // What the attempt changes in the supplicant, to be put back.
    struct SRestore {
        int ours = -1;
        int previous = -1;     // the entry the interface was on
        int previousFreq = 0;  // and its channel (MHz): going back scans that channel only
        int previousOwn = -1;  // the utility's entry of an earlier attempt, while it is the current one
        std::vector<int> enabled;
    };
    int OpenControl(CWpaCtrl& ctrl) const;
    // The control socket opened and the entries read for a hotspot's start or stop; the refusal
    // when the user may not use the socket or the supplicant does not answer.
    std::optional<SHotspotAnswer> OpenForHotspot(CWpaCtrl& ctrl, std::vector<SWpaNetwork>& networks) const;
    // Ends the attempt: on success the earlier entry of the utility goes; on failure this attempt's
    // entry goes and (unless the attempt was stopped) the previous network is selected again. Every
    // entry that was enabled is enabled again. True when the previous network was joined again.
    bool Finish(CWpaCtrl& ctrl, CWpaCtrl& monitor, const SRestore& restore, bool joined, bool reselect,
                CJoinContext& context);
    SJoinOutcome Attempt(CWpaCtrl& ctrl, CWpaCtrl& monitor, int id, std::chrono::milliseconds wait,
                         CJoinContext& context);
    // Lets the supplicant use SAE's hash-to-element, which 6 GHz networks require.
    void AllowHashToElement(CWpaCtrl& ctrl);

    std::string m_Ifname;
    std::string m_Socket;
    IAdapterControl* m_pFallback;
    std::atomic<bool> m_bFallback{false};
    std::chrono::milliseconds m_JoinWait{15000};
    std::chrono::milliseconds m_RestoreWait{10000};
    std::chrono::milliseconds m_CommandWait{3000};
};

}  // namespace wavory::kccl
