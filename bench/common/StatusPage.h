// The General page's variables as the page binds them: nine variables, ten requests (the channel
// reads two codes). Shared by the benchmarks that time the page's refresh.
#pragma once

#include <string>

#include "driver/BoundControl.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Request.h"

namespace wavory::bench {

// A page whose controls take any text and show nothing.
struct SNullControl : IBoundControl {
    void SetText(const std::string&) override {}
};
struct SNullPage : IControlHost {
    SNullControl control;
    IBoundControl* GetControl(int) override { return &control; }
};

inline void AddStatusPageVars(CCommVarList& list) {
    static const SCodePair channel[] = {{OID_CHANNEL_QUERY, OID_CHANNEL_SET}, {OID_PHY_QUERY, OID_PHY_SET}};
    list.AddVar(1063, OID_SSID_QUERY, OID_SSID_SET, ConvSsid);
    list.AddVar(1064, OID_NET_MODE_QUERY, OID_NET_MODE_SET, ConvNetMode);
    list.AddVarMulti(1065, channel, 2, ConvChannel);
    list.AddVar(1066, OID_PHY_QUERY, OID_PHY_SET, ConvMaxRate);
    list.AddVar(1067, OID_SECURITY_QUERY, OID_SECURITY_SET, ConvSecurity);
    list.AddVar(1068, OID_POWER_SAVE_QUERY, OID_POWER_SAVE_SET, ConvPowerSave);
    list.AddVar(1070, OID_STATISTICS, 0, ConvReceived);
    list.AddVar(1071, OID_STATISTICS, 0, ConvSent);
    list.AddVar(1073, OID_HW_STATUS, 0, ConvRadioStatus);
}

}  // namespace wavory::bench
