// The values of one profile section, in load order. Loading, saving, copying, reloading, comparing,
// exporting and importing a profile all go through this list, so a field added here reaches every
// one of them; its limits for imported profiles go beside the others in profiles/ProfileLimits.cpp.
//
// X(kind, member, value name, default, flags):
//   kind     Text (stored as REG_SZ), Int (REG_DWORD, -1 as 0xFFFFFFFF) or Bool (REG_DWORD 0 or 1)
//   member   the CProfile member that holds it
//   default  what a load yields when the value is absent
//   flags    kFieldSecret: left out of an export without secrets; kFieldPlace: the profile's name and
//            auto-selection place, which an import replaces
#pragma once

namespace wavory {

inline constexpr unsigned kFieldSecret = 1;
inline constexpr unsigned kFieldPlace = 2;

}  // namespace wavory

// clang-format off
#define WAVORY_PROFILE_FIELDS(X)                                            \
    X(Text, ProfName,         "ProfName",         "",         kFieldPlace)  \
    X(Text, NetName,          "NetName",          "",         0)            \
    X(Bool, NetMode,          "NetMode",          false,      0)            \
    X(Int,  PSType,           "PSType",           0,          0)            \
    X(Int,  PhyType,          "PhyType",          1,          0)            \
    X(Int,  PhyChnl,          "PhyChnl",          0,          0)            \
    X(Int,  SecType,          "SecType",          0,          0)            \
    X(Int,  ActiveSecKey,     "ActiveSecKey",     -1,         0)            \
    X(Text, SecKey[0],        "Sec Key 0",        "",         kFieldSecret) \
    X(Int,  SecKeyLen[0],     "Sec Key Len 0",    0,          0)            \
    X(Text, SecKey[1],        "Sec Key 1",        "",         kFieldSecret) \
    X(Int,  SecKeyLen[1],     "Sec Key Len 1",    0,          0)            \
    X(Text, SecKey[2],        "Sec Key 2",        "",         kFieldSecret) \
    X(Int,  SecKeyLen[2],     "Sec Key Len 2",    0,          0)            \
    X(Text, SecKey[3],        "Sec Key 3",        "",         kFieldSecret) \
    X(Int,  SecKeyLen[3],     "Sec Key Len 3",    0,          0)            \
    X(Bool, AutoSelect,       "AutoSelect",       false,      kFieldPlace)  \
    X(Int,  MaxFragment,      "MaxFragment",      0,          0)            \
    X(Int,  RTSThreshold,     "RTSThreshold",     0,          0)            \
    X(Bool, UseFragmentation, "UseFragmentation", false,      0)            \
    X(Bool, UseRTS,           "UseRTS",           false,      0)            \
    X(Bool, ShortPreamble,    "ShortPreamble",    false,      0)            \
    X(Int,  MaxTxPower,       "MaxTxPower",       0,          0)            \
    X(Int,  MaxNetRate,       "MaxNetRate",       27000000,   0)            \
    X(Int,  WrLessMode,       "WrLessMode",       0,          0)            \
    X(Bool, Use802_1,         "Use802_1",         false,      0)            \
    X(Int,  Priority,         "Priority",         0,          kFieldPlace)  \
    X(Int,  WpaMode,          "WpaMode",          0,          0)            \
    X(Text, WpaPassphrase,    "WpaPassphrase",    "",         kFieldSecret) \
    X(Int,  PhyFreq,          "PhyFreq",          0,          0)            \
    X(Int,  EapMethod,        "EapMethod",        0,          0)            \
    X(Int,  EapPhase2,        "EapPhase2",        0,          0)            \
    X(Text, EapIdentity,      "EapIdentity",      "",         0)            \
    X(Text, EapAnonIdentity,  "EapAnonIdentity",  "",         0)            \
    X(Text, EapCaCert,        "EapCaCert",        "",         0)            \
    X(Bool, EapSystemCa,      "EapSystemCa",      false,      0)            \
    X(Text, EapDomain,        "EapDomain",        "",         0)            \
    X(Bool, EapNoCaCheck,     "EapNoCaCheck",     false,      0)            \
    X(Text, EapClientCert,    "EapClientCert",    "",         0)            \
    X(Text, EapPrivateKey,    "EapPrivateKey",    "",         0)            \
    X(Text, EapKeyPassword,   "EapKeyPassword",   "",         kFieldSecret) \
    X(Text, EapPassword,      "EapPassword",      "",         kFieldSecret) \
    X(Int,  MacAddress,       "MacAddress",       0,          0)            \
    X(Bool, Metered,          "Metered",          false,      0)            \
    X(Text, IPv4Address,      "IPv4Address",      "",         0)            \
    X(Text, IPv4Gateway,      "IPv4Gateway",      "",         0)            \
    X(Text, IPv6Address,      "IPv6Address",      "",         0)            \
    X(Text, IPv6Gateway,      "IPv6Gateway",      "",         0)            \
    X(Text, DnsServers,       "DnsServers",       "",         0)            \
    X(Bool, PreferHighBand,   "PreferHighBand",   false,      0)            \
    X(Int,  BandFloor,        "BandFloor",        -70,        0)            \
    X(Text, PinnedBssid,      "PinnedBssid",      "",         0)            \
    X(Bool, Hotspot,          "Hotspot",          false,      0)            \
    X(Int,  HotspotBand,      "HotspotBand",      0,          0)            \
    X(Int,  HotspotChannel,   "HotspotChannel",   0,          0)
// clang-format on
