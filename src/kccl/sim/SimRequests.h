// Request handling of the simulated adapter: one method per request code, each filling the status
// and, for a query, the payload in the layout the driver library defines.
#pragma once

#include <cstdint>

#include "SimRadio.h"
#include "SimState.h"
#include "kccl.h"

namespace wavory::kccl {

class CSimRequests {
public:
    CSimRequests(SimState& state, int64_t nowNs) : m_state(state), m_radio(state, nowNs) {}

    // Carries out one request in place. The caller holds the lock and has run the radio's Update.
    // Unknown codes get a "not supported" status and an untouched payload.
    void Handle(KCOM_REQUEST& request);

private:
    uint32_t Dispatch(uint32_t code, uint8_t* p);
    uint32_t DeviceInfo(uint8_t* p);
    uint32_t QueryMac(uint8_t* p);
    // The address a join made (SimAddress), else the adapter's own.
    const uint8_t* AddressInUse() const;
    uint32_t QueryAddressInfo(uint8_t* p);
    uint32_t SetNetSettings(const uint8_t* p);
    uint32_t QueryNetSettings(uint8_t* p);
    uint32_t SetMac(const uint8_t* p);
    uint32_t QueryBssid(uint8_t* p);
    uint32_t QuerySsid(uint8_t* p);
    uint32_t SetSsid(const uint8_t* p);
    uint32_t SetJoinBssid(const uint8_t* p);
    uint32_t QueryPhy(uint8_t* p);
    uint32_t SetPhy(const uint8_t* p);
    uint32_t QuerySnr(uint8_t* p);
    uint32_t QueryScanList(uint8_t* p, int page);
    uint32_t QueryScanListMore(uint8_t* p);
    uint32_t SetMode(const uint8_t* p);
    uint32_t QueryChannel(uint8_t* p);
    uint32_t SetChannel(const uint8_t* p);
    uint32_t QueryCounters(uint8_t* p);
    uint32_t WepKey(uint8_t* p);
    uint32_t SetSecurity(const uint8_t* p);
    uint32_t SetPassphrase(const uint8_t* p);
    uint32_t LinkInfo(uint8_t* p);
    uint32_t ChannelList(uint8_t* p);
    uint32_t QueryJoinState(uint8_t* p);
    uint32_t QueryLastDisconnect(uint8_t* p);
    uint32_t QueryLastRoam(uint8_t* p);
    uint32_t RegDomain(uint8_t* p);
    uint32_t StartHotspot(uint8_t* p);
    uint32_t StopHotspot(uint8_t* p);
    uint32_t QueryHotspot(uint8_t* p);

    SimState& m_state;
    CSimRadio m_radio;
};

}  // namespace wavory::kccl
