// The hardware address of an interface: the one in use (sysfs), the adapter's own (ethtool's
// permanent address), and a change of it through rtnetlink while the interface is down.
#pragma once

#include <string>

#include "radio/NetSettings.h"

namespace wavory::kccl {

bool ReadLinkAddress(const std::string& ifname, MacAddress& out);
// False where the driver does not tell it (or tells all zeros).
bool ReadPermanentAddress(const std::string& ifname, MacAddress& out);
// Sets the address (RTM_SETLINK), taking the interface down first where it is up and up again
// afterwards: drivers take a new address only while down. 0 or -errno (-EPERM without
// CAP_NET_ADMIN, -EINVAL for a group or all-zero address).
int SetLinkAddress(int ifindex, const MacAddress& address);

}  // namespace wavory::kccl
