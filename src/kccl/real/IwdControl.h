// Changes through iwd's D-Bus API, while iwd runs the interface: iwd stays in charge and its D-Bus
// policy decides who may ask (root, and the groups it names, netdev on Debian).
//
// iwd keeps every network it joins as a known network (a file in /var/lib/iwd). The utility notes
// the ones its own joins made (in the user's runtime folder) and forgets them again once it leaves
// them: a join elsewhere, a disconnect, or a failed attempt. Known networks the user made with
// iwctl stay as they are. The passphrase goes to iwd through an agent the process registers for
// the attempt only.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "AdapterControl.h"

namespace wavory::kccl {

class CIwdClient;
struct SIwdObjects;
struct SIwdReply;

class CIwdControl final : public IAdapterControl {
public:
    explicit CIwdControl(std::string ifname);

    uint32_t StartScan() override;
    // The station's Scanning property: true until iwd has all the parts of its scan.
    bool ScanRunning() override;
    // Leaves whatever network the interface is on; forgets the networks the utility made iwd keep.
    uint32_t Disconnect() override;
    // iwd offers no power-save setting: the kernel is asked instead.
    uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override;
    SJoinOutcome CheckJoin(const SJoinSettings& settings) override;
    SJoinOutcome Join(const SJoinSettings& settings, CJoinContext& context) override;
    std::string NoHotspotReason() override {
        return "iwd runs " + m_Ifname + ": start a hotspot with iwd's own access point mode (iwctl ap)";
    }
    // From iwd's diagnostics of the link, where it gives them.
    int LinkGeneration() override;

    // How long an attempt waits for iwd, a failed one for the previous network, and a scan for the
    // network asked for.
    void SetWaits(std::chrono::milliseconds join, std::chrono::milliseconds restore,
                  std::chrono::milliseconds scan) {
        m_JoinWait = join;
        m_RestoreWait = restore;
        m_ScanWait = scan;
    }

    // How long a scan request waits for iwd's answer before it counts as queued.
    void SetScanCallWait(std::chrono::milliseconds wait) { m_ScanCallWait = wait; }

    // The known networks (object paths) the utility's joins made iwd keep, as noted in the user's
    // runtime folder.
    static std::vector<std::string> OwnKnownNetworks();

private:
    // Opens the client and finds the interface's station; an outcome when that fails.
    bool OpenStation(CIwdClient& iwd, SIwdObjects& objects, std::string& station, SJoinOutcome& failure);
    SJoinOutcome FailedCall(const char* what, const SIwdReply& reply) const;
    uint32_t StatusOf(const SIwdReply& reply) const;
    bool Restore(CIwdClient& iwd, const std::string& station, const std::string& network, CJoinContext& context);

    std::string m_Ifname;
    std::chrono::milliseconds m_JoinWait{30000};
    std::chrono::milliseconds m_RestoreWait{15000};
    std::chrono::milliseconds m_ScanWait{10000};
    std::chrono::milliseconds m_ScanCallWait{5000};
};

// The text for a join of an 802.1X network while iwd runs the interface: iwd takes such networks
// only from a provisioning file root writes in /var/lib/iwd.
std::string IwdEnterpriseRefusal(const std::string& ssid);

}  // namespace wavory::kccl
