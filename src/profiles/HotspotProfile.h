// A profile of the kind "hotspot": the user's own access point, kept with its name, security,
// band, channel and passphrase and started again in one step. It is never a network to join: the
// automatic selection, the matching of a join to a profile and Forget pass it by.
#pragma once

#include <string>

#include "radio/Hotspot.h"

namespace wavory {

class CProfile;

bool IsHotspotProfile(const CProfile& profile);
// The record OID_HOTSPOT_START takes for the profile.
kccl::SHotspotRecord HotspotRecordOf(const CProfile& profile);
// Makes the profile a hotspot of these settings: its network name, security and passphrase, band
// and channel; out of the automatic selection.
void SetHotspotSettings(CProfile& profile, const kccl::SHotspotRecord& record);
// The first reason the profile does not make a hotspot, as a message naming its value; empty when
// it does (and for a profile of a network to join).
std::string CheckHotspotProfile(const CProfile& profile);
class CProfileMngr;
// Keeps the record as the hotspot profile `name` and stores it (the manager's one write path): a
// new profile, or with `replace` the hotspot profile of that name. REG_OK, or the store's error
// code with the changes discarded; -1 with the reason in `why` when the name is taken by another
// profile (new) or is no hotspot profile (replace).
int KeepHotspotProfile(CProfileMngr& profiles, const std::string& name, const kccl::SHotspotRecord& record,
                       bool replace, std::string& why);
// "Hotspot (WPA2-Personal, 5 GHz)", as the lists and `profiles show` word it.
std::string HotspotProfileText(const CProfile& profile);

}  // namespace wavory
