// A profile's 802.1X settings: their limits, what a join still needs, and the record the adapter is
// given. The fields themselves are the profile's (EapMethod … EapPassword).
#pragma once

#include <string>

#include "radio/Eap.h"

namespace wavory {

class CProfile;

// Longest identity (a network access identifier) and server name; longest path; longest password.
inline constexpr std::size_t kMaxEapIdentityBytes = 253;
inline constexpr std::size_t kMaxEapPathBytes = 1024;
inline constexpr std::size_t kMaxEapPasswordBytes = 256;

// Why a join that does not check the server is refused, for every place that asks.
inline constexpr const char* kServerCheckRisk =
    "The network's server would not be checked: without a CA certificate (or the system's CA store) "
    "and without a server name to match, anyone nearby can pose as the network and collect the "
    "password. Give a CA certificate or the server's name, or turn the check off explicitly.";

// The security mode is WPA2- or WPA3-Enterprise.
bool IsEnterpriseProfile(const CProfile& profile);

// Copies every 802.1X setting, secrets included, from one profile to another.
void CopyEapSettings(const CProfile& from, CProfile& to);

// The first 802.1X value that breaks the profile, as a message naming the value and what it must be;
// empty when there is none. Only an enterprise profile is checked (the values of another are kept as
// they are, unused). Missing secrets pass: they are asked for when the profile is used.
std::string CheckEapLimits(const CProfile& profile);

// Why a join with these settings is refused before the adapter is asked; empty when it may go ahead.
// Checks the server (kServerCheckRisk) and the limits; missing secrets are EapMissingSecret's.
std::string EapJoinProblem(const CProfile& profile);

enum class EEapSecret { None, Password, KeyPassword };
// The secret a join still lacks: the password of PEAP, TTLS and PWD, the key password of a TLS
// private key that is encrypted.
EEapSecret EapMissingSecret(const CProfile& profile);

// The private key file is encrypted (a PEM key marked so); false when it cannot be read.
bool PrivateKeyIsEncrypted(const std::string& path);

// The record OID_EAP_SETTINGS_SET takes for the profile.
kccl::SEapRecord EapRecordOf(const CProfile& profile);

}  // namespace wavory
