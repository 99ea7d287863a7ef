// One stored connection profile: the settings the utility applies to the adapter, kept as the
// values of one section (subkey) of the application's settings key. Which values those are is the
// field list's (base/ProfileFieldList.h); loading, saving, copying and comparing go through it.
#pragma once

#include <array>
#include <string>

#include "profiles/ProfileValues.h"

namespace wavory {

// The PHY mode (0 802.11a, 1 802.11b/g, 2 802.11g) a profile keeps for a network of a PHY type
// (KCOM_PHY_*) on a frequency: 802.11a on 5 and 6 GHz, b and g as they are, the newer PHYs of
// 2.4 GHz as 802.11g.
int ProfilePhyType(int phyType, int freqMHz);

// Channel number of a profile's channel: the frequency's when one is stored (non-zero), else the
// channel-list index's for the PHY mode.
int ProfileChannelNumber(int phyType, int index, int freqMHz);

// Channel number for a channel-list index of the given PHY mode: 802.11a (0) lists 36, 40 … 64 and
// then 149, 153 …; the 2.4 GHz modes list channel 1 first.
int ChannelIndexToNumber(int phyType, int index);
// A scanned station holds the channel number the driver reports, a profile the position in the
// editor's channel list for its PHY mode: the position whose channel is this one, or the nearest below.
int ChannelNumberToIndex(int phyType, int channel);
// The highest channel-list index a profile of the PHY mode can hold: the editor's list, or what a
// join of a network in range stores (ChannelNumberToIndex of any channel of the band).
int LastChannelIndex(int phyType);

class CProfile;
// The kind of security a profile joins with, as the lists show it: "None", "WEP", "WPA2-Personal",
// "WPA3-Personal", "WPA2/WPA3-Personal", "Enhanced Open", "WPA2-Enterprise (PEAP)".
std::string ProfileSecurityText(const CProfile& profile);

class CProfile {
public:
    static constexpr int kKeyCount = 4;
    // What a load yields for an absent "MaxNetRate": 54 Mbps in units of 500 bit/s.
    static constexpr int kDefaultMaxNetRate = 27000000;

    // Sets the section and, when asked, loads the profile from it.
    CProfile(const std::string& section, bool load);
    // A copy carries every setting but starts with no section, outside the auto-selection order
    // (Priority -1) and not stored; its creator gives it a section and a place.
    CProfile(const CProfile& other);
    CProfile& operator=(const CProfile&) = delete;
    virtual ~CProfile();

    // Reads every value of the section; an absent value yields its default. False (and nothing
    // changed) when the store could not be read.
    bool Load();
    // Writes every value of the section; with writeCount, also the number of profiles the profile
    // manager holds. False when any value could not be stored.
    bool Save(bool writeCount);
    // Takes every field of another record, section, place and stored values included.
    void TakeValues(const CProfile& other);
    // Empties the stored name, just before the section is deleted.
    bool ClearName();
    void SetSection(const std::string& section) { m_strSection = section; }
    const std::string& GetSection() const { return m_strSection; }

    // Channel number of this profile's channel (its frequency's, else its channel-list index's).
    int ChannelNumber() const { return ProfileChannelNumber(PhyType, PhyChnl, PhyFreq); }
    // The fields as the store last held them for this profile (read or written); empty for a
    // profile that was never stored. A save writes only what differs from them, and checks that the
    // store still holds them.
    const FieldValues& Stored() const { return m_Stored; }
    bool IsStored() const { return !m_Stored.empty(); }
    void SetStored(FieldValues stored) { m_Stored = std::move(stored); }
    // Fields changed since the profile was read or written.
    bool HasChanges() const { return !IsStored() || !HoldsValues(*this, m_Stored); }

protected:
    std::string m_strSection;
    FieldValues m_Stored;

public:
    // The stored fields, each under the value name the field list gives it.
    std::string ProfName;
    std::string NetName;
    bool NetMode = false;  // true = infrastructure, false = ad hoc
    int PSType = 0;
    int PhyType = 1;  // 0 = 802.11a, 1 = 802.11b/g, 2 = 802.11g
    int PhyChnl = 0;  // channel-list index; a scanned station holds the channel number here
    // The channel's frequency in MHz, stored as "PhyFreq": channel numbers repeat across bands (6 GHz
    // channel 5 is not 2.4 GHz channel 5). 0 (or absent) = the channel PhyChnl names, as before.
    int PhyFreq = 0;
    int SecType = 0;  // 0 none, 1 WEP, 2 TKIP, 3 AES
    int ActiveSecKey = -1;
    std::array<std::string, kKeyCount> SecKey;
    std::array<int, kKeyCount> SecKeyLen{};  // 0 = 64-bit (10 digits), 1 = 128-bit (26 digits)
    bool AutoSelect = false;
    int MaxFragment = 0;
    int RTSThreshold = 0;
    bool UseFragmentation = false;
    bool UseRTS = false;
    bool ShortPreamble = false;
    int MaxTxPower = 0;  // 0..3
    int MaxNetRate = kDefaultMaxNetRate;
    int WrLessMode = 0;
    int Priority = 0;  // auto-selection slot, -1 = not a member
    bool Use802_1 = false;
    // WPA and its relatives, beside the security type: 0 = none (SecType decides), else the adapter's
    // security mode: 3 WPA2-Personal, 4 WPA3-Personal, 5 Enhanced Open (OWE), 6 WPA2/WPA3-Personal;
    // stored as "WpaMode" and "WpaPassphrase".
    int WpaMode = 0;
    std::string WpaPassphrase;
    // 802.1X, for the enterprise modes (7 WPA2-, 8 WPA3-Enterprise): the method (KCOM_EAP_METHOD)
    // and inner method (KCOM_EAP_PHASE2), the identities, how the server is checked (a CA
    // certificate's path, the system's CA store, a server name to match, or explicitly not at all),
    // the client certificate and key paths for TLS, and the two secrets. Files are named, never
    // copied: an export carries the paths.
    int EapMethod = 0;
    int EapPhase2 = 0;
    std::string EapIdentity;
    std::string EapAnonIdentity;
    std::string EapCaCert;
    bool EapSystemCa = false;
    std::string EapDomain;
    bool EapNoCaCheck = false;
    std::string EapClientCert;
    std::string EapPrivateKey;
    std::string EapKeyPassword;
    std::string EapPassword;
    // The network's own settings: the hardware address it is joined with (0 the preferences'
    // default, then KCOM_MAC_MODE: 1 the adapter's own, 2 stable for this network, 3 new at each
    // join), whether it is metered, and fixed addresses ("192.0.2.10/24", "2001:db8::10/64"), their
    // gateways and name servers (separated by spaces); empty = automatic.
    int MacAddress = 0;
    bool Metered = false;
    std::string IPv4Address;
    std::string IPv4Gateway;
    std::string IPv6Address;
    std::string IPv6Gateway;
    std::string DnsServers;
    // Which of the network's access points a join takes: with PreferHighBand a 5 or 6 GHz one heard
    // at BandFloor dBm or stronger before any 2.4 GHz one; with PinnedBssid ("02:1a:11:00:00:01")
    // that one alone, or none.
    bool PreferHighBand = false;
    int BandFloor = -70;
    std::string PinnedBssid;
    // The kind "hotspot": the profile is the user's own access point (NetName its name, WpaMode and
    // WpaPassphrase its security), started rather than joined, on HotspotBand (KCOM_HOTSPOT_BAND_*)
    // and HotspotChannel (0 = any).
    bool Hotspot = false;
    int HotspotBand = 0;
    int HotspotChannel = 0;
};

}  // namespace wavory
