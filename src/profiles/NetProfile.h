// A profile's network settings (hardware address, metered, fixed addresses and name servers) as
// the record the adapter is sent, and their limits.
#pragma once

#include <string>

#include "radio/NetSettings.h"

namespace wavory {

class CProfile;

// The record OID_NET_SETTINGS_SET takes for the profile; a profile that leaves the hardware address
// to the preferences takes `defaultMac` (a KCOM_MAC_MODE).
kccl::SNetRecord NetRecordOf(const CProfile& profile, int defaultMac);
// The profile asks for more than the adapter's own address with automatic addresses.
bool HasNetSettings(const CProfile& profile, int defaultMac);
// Copies the network settings (hardware address, metered, fixed addresses, name servers, band
// preference and pin) from one profile to another.
void CopyNetSettings(const CProfile& from, CProfile& to);
// The first of the network settings that is not usable, as a message naming its value; empty when
// they all are.
std::string CheckNetLimits(const CProfile& profile);
// The preferences' default hardware address mode (KCOM_MAC_DEVICE when none was chosen).
int DefaultMacMode();
// The access point choice as the lists and `profiles show` word it: "stays on 02:..",
// "prefers 5/6 GHz unless below -70 dBm", "any access point, any band".
std::string BandChoiceText(const CProfile& profile);
// "Metered: yes", the address line and such, as the lists and `profiles show` word them.
std::string MacModeText(int mode);

}  // namespace wavory
