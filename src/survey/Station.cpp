#include "survey/Station.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/AppBase.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/NetProfile.h"
#include "radio/Bands.h"
#include "radio/SecretMemory.h"
#include "survey/ScanList.h"

namespace wavory {

namespace {

constexpr int kMaxTxPowerLevel = 3;
// Hex digits of a 64-bit (length choice 0) and a 128-bit (length choice 1) WEP key.
constexpr int kShortKeyDigits = 10;
constexpr int kLongKeyDigits = 26;

}  // namespace

CStation::CStation(const CProfile& profile, const std::string& bssid, int rssi)
    : CProfile(profile), m_nRssi(rssi), m_strBssid(bssid) {}

CStation::~CStation() = default;

int CStation::SecurityKind() const {
    if (m_nSecurityKind != KCOM_SECURITY_UNKNOWN) return m_nSecurityKind;
    if (WpaMode != 0) return SecurityKindOfMode(WpaMode);
    return SecType != 0 ? KCOM_SECURITY_WEP : KCOM_SECURITY_OPEN;
}

std::string CStation::SecurityText() const {
    if (m_nSecurityKind != KCOM_SECURITY_UNKNOWN) {
        const char* text = SecurityKindText(m_nSecurityKind);
        if (*text) return text;
    }
    if (const char* wpa = WpaModeName(WpaMode)) return wpa;
    return NameAt(SECURITY_NAMES, SecType);
}

uint32_t CStation::MaxRate100k() const {
    if (m_nMaxRate100k != 0) return m_nMaxRate100k;
    // The PHYs of old have one fastest rate; a newer one without a figure has none to show.
    if (PhyType == 1) return 110;
    return PhyType == 0 || PhyType == 2 ? 540 : 0;
}

int CStation::FrequencyMHz() const { return kccl::ChannelFrequency(PhyChnl, PhyFreq); }

bool CStation::Connect(int mode) {
    if (mode < CONNECT_READ || mode > CONNECT_SECURITY_ONLY) return false;

    std::string modeText = NameAt(MODE_NAMES, NetMode ? 1 : 0);
    // A WPA-Personal choice stands above the security type; the adapter then takes a passphrase
    // where it would take a WEP key.
    const char* wpaName = WpaModeName(WpaMode);
    std::string securityText = wpaName ? wpaName : NameAt(SECURITY_NAMES, SecType);
    const bool passphraseMode = ModeTakesPassphrase(WpaMode);
    std::string keyText = "-1 -1";
    if (ActiveSecKey >= 0 && ActiveSecKey < kKeyCount) {
        const auto k = static_cast<std::size_t>(ActiveSecKey);
        keyText = StrFormat("%d %d %s", ActiveSecKey, SecKeyLen[k] != 0 ? kLongKeyDigits : kShortKeyDigits,
                            SecKey[k].c_str());
    }
    std::string channelText = StrFormat("%d %d", ChannelNumber(), ShortPreamble ? 1 : 0);
    // The frequency goes along where it is known: a channel number alone may name another band.
    if (PhyFreq > 0) channelText += StrFormat(" %d", PhyFreq);
    std::string settingText = "2";
    if (MaxTxPower < 0 || MaxTxPower > kMaxTxPowerLevel) MaxTxPower = kMaxTxPowerLevel;

    // The ad-hoc flag is set before the list is built; the polling thread and the station manager
    // read it to treat an ad-hoc cell as connected.
    bool adHoc = false;
    if (mode == CONNECT_APPLY) {
        adHoc = !NetMode;
        theApp.m_bAdHocApplied = adHoc;
    }
    if (mode == CONNECT_READ) {
        NetName = "--";
        m_strBssid = "--";
    }

    CCommVarList list;
    if (mode != CONNECT_SECURITY_ONLY) {
        list.AddVarExt(OID_NET_MODE_QUERY, OID_NET_MODE_SET, ConvNetMode, &modeText);
        list.AddVarExt(OID_CONN_SETTING_QUERY, OID_CONN_SETTING_SET, ConvNumber, &settingText);
        // The SSID variable works on NetName itself, so a read lands in the record.
        list.AddVarExt(OID_SSID_QUERY, OID_SSID_SET, ConvSsid, &NetName);
    }
    // The access point chosen goes after the SSID (which clears any earlier choice).
    std::string bssidRecord;
    if (mode == CONNECT_APPLY && !adHoc && !m_strJoinBssid.empty()) {
        uint8_t bssid[6] = {};
        ParseBssid(m_strJoinBssid, bssid);  // written by FormatBssid; all zero would mean any
        bssidRecord.assign(KCOM_JOIN_BSSID_FREQ + 4, '\0');
        std::memcpy(bssidRecord.data() + KCOM_JOIN_BSSID, bssid, 6);
        const uint32_t freq = static_cast<uint32_t>(std::max(0, FrequencyMHz()));
        std::memcpy(bssidRecord.data() + KCOM_JOIN_BSSID_FREQ, &freq, 4);
        list.AddVarExt(OID_JOIN_BSSID_SET, OID_JOIN_BSSID_SET, ConvRawPayload, &bssidRecord);
    }
    // The network's own settings go after the SSID too (which clears them). A profile that asks for
    // nothing beyond the adapter's own address sends none: without them the adapter joins with its
    // own address, so an adapter that knows no such request joins it as before.
    std::string netRecord;
    if (mode == CONNECT_APPLY && HasNetSettings(*this, DefaultMacMode())) {
        netRecord.resize(KCOM_PAYLOAD_SIZE);
        const std::size_t used =
            kccl::EncodeNetRecord(NetRecordOf(*this, DefaultMacMode()),
                                  reinterpret_cast<uint8_t*>(netRecord.data()), netRecord.size());
        netRecord.resize(used);
        list.AddVarExt(OID_NET_SETTINGS_QUERY, OID_NET_SETTINGS_SET, ConvRawPayload, &netRecord);
    }
    // An infrastructure network takes the access point's channel: only ad hoc sends one.
    if (mode == CONNECT_READ || (mode == CONNECT_APPLY && adHoc))
        list.AddVarExt(OID_CHANNEL_QUERY, OID_CHANNEL_SET, ConvChannelScan, &channelText);
    // The 802.1X settings go first: the enterprise security mode's set starts the attempt with them.
    std::string eapRecord;
    if (mode != CONNECT_READ && IsEnterpriseProfile(*this)) {
        eapRecord.resize(KCOM_PAYLOAD_SIZE);
        const std::size_t used = kccl::EncodeEapRecord(
            EapRecordOf(*this), reinterpret_cast<uint8_t*>(eapRecord.data()), eapRecord.size());
        eapRecord.resize(used);
        list.AddVarExt(OID_EAP_SETTINGS_QUERY, OID_EAP_SETTINGS_SET, ConvRawPayload, &eapRecord);
    }
    list.AddVarExt(OID_SECURITY_QUERY, OID_SECURITY_SET, ConvSecurity, &securityText);
    std::string passphrase = WpaPassphrase;
    if (wpaName) {
        // Enhanced Open and the enterprise kinds take no passphrase.
        if (mode != CONNECT_READ && passphraseMode)
            list.AddVarExt(OID_PASSPHRASE_QUERY, OID_PASSPHRASE_SET, ConvPassphrase, &passphrase);
    } else if (SecType != 0 && ActiveSecKey >= 0) {
        list.AddVarExt(OID_WEP_KEY, OID_WEP_KEY, ConvWepKey, &keyText);
    }

    const bool ok = list.RefreshAll(mode != CONNECT_READ, true);
    kccl::SecureClear(passphrase);
    kccl::SecureClear(keyText);
    kccl::SecureClear(eapRecord);

    if (mode == CONNECT_READ && ok) {
        // "channel preamble": from now on PhyChnl holds the channel number, not a list index. The key
        // read back is digits only, so ActiveSecKey and the stored keys keep their values.
        char* end = nullptr;
        PhyChnl = static_cast<int>(std::strtol(channelText.c_str(), &end, 10));
        ShortPreamble = std::strtol(end, &end, 10) != 0;
        // "channel preamble frequency" where the adapter tells the frequency.
        const long freq = std::strtol(end, nullptr, 10);
        PhyFreq = freq > 0 ? static_cast<int>(freq) : 0;
        UseRTS = RTSThreshold >= 0;
    }
    return ok;
}

}  // namespace wavory
