// Changes through nl80211 itself, while nobody else runs the interface (needs CAP_NET_ADMIN): scans,
// open and WEP networks (open-system and shared-key), ad-hoc cells. The interface's kind changes
// only between station and ad hoc, as the joined network asks; an access point, monitor or P2P
// interface is left as it is. A join that asks for another hardware address gets it while the
// interface is down; the adapter's own comes back when the utility's connection ends.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "AdapterControl.h"
#include "Nl80211.h"

struct nl_msg;

namespace wavory::kccl {

// The access point choice of a CONNECT: a chosen or pinned one as NL80211_ATTR_MAC (and its
// frequency), else the band preference's: to a radio that roams by itself as NL80211_ATTR_MAC_HINT
// and NL80211_ATTR_WIPHY_FREQ_HINT, to any other as NL80211_ATTR_MAC (the kernel ignores the hint).
void PutAccessPointChoice(nl_msg* msg, const SJoinSettings& settings);

class CDirectControl final : public IAdapterControl {
public:
    CDirectControl(std::string ifname, int ifindex, CNl80211& nl);

    uint32_t StartScan() override;
    uint32_t Disconnect() override;
    uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override;
    SJoinOutcome CheckJoin(const SJoinSettings& settings) override;
    SJoinOutcome Join(const SJoinSettings& settings, CJoinContext& context) override;
    std::string NoHotspotReason() override {
        return "nobody runs " + m_Ifname +
               " but this utility, which has no access point daemon: let NetworkManager or wpa_supplicant "
               "run it to start a hotspot";
    }

    // Whether this process may change interfaces (CAP_NET_ADMIN in its effective set).
    static bool MayChange();

private:
    struct SLink {
        uint32_t iftype = 0;
        std::string ssid;
        uint32_t freqMhz = 0;
        bool privacy = false;
    };
    bool ReadLink(SLink& link);
    uint32_t Refusal(int err) const;
    // Leaves the current link and makes the interface a station or ad-hoc interface with the
    // hardware address the settings ask for, up. 0 or -errno.
    int Prepare(uint32_t iftype, const SJoinSettings& settings, std::string& problem);
    // Gives the interface the address the settings ask for (or its own back); 0 or -errno.
    int ApplyAddress(const SJoinSettings& settings, std::string& problem);
    // Puts the adapter's own address back where a made-up one is in use.
    void PutBackAddress();
    // The adapter's own address: the permanent one where the driver tells it.
    std::optional<MacAddress> OwnAddress() const;
    // Sends the join and waits for its outcome; the cause of a failure.
    SJoinOutcome Connect(const SJoinSettings& settings, CJoinContext& context,
                         std::chrono::milliseconds wait);

    std::string m_Ifname;
    int m_nIfindex;
    CNl80211& m_Nl;
    std::mutex m_Mutex;
    std::optional<SJoinSettings> m_LastJoined;  // what this process joined last, keys included
    std::optional<MacAddress> m_OwnAddress;     // the address before this process changed it
};

}  // namespace wavory::kccl
