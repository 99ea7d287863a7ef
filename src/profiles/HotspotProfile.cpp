#include "profiles/HotspotProfile.h"

#include "base/Registry.h"
#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"

namespace wavory {

namespace {

// The profile's security as the hotspot's: open (no WPA, no WEP) or one of the personal modes.
int HotspotSecurityOf(const CProfile& p) {
    if (p.SecType != 0) return -1;
    switch (p.WpaMode) {
        case 0:
            return KCOM_HOTSPOT_OPEN;
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
            return KCOM_HOTSPOT_WPA2;
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
            return KCOM_HOTSPOT_WPA3;
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL:
            return KCOM_HOTSPOT_WPA2_WPA3;
        default:
            return -1;
    }
}

int WpaModeOf(int security) {
    switch (security) {
        case KCOM_HOTSPOT_WPA2:
            return KCOM_SECURITY_MODE_WPA2_PERSONAL;
        case KCOM_HOTSPOT_WPA3:
            return KCOM_SECURITY_MODE_WPA3_PERSONAL;
        case KCOM_HOTSPOT_WPA2_WPA3:
            return KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
        default:
            return 0;
    }
}

}  // namespace

bool IsHotspotProfile(const CProfile& profile) { return profile.Hotspot; }

kccl::SHotspotRecord HotspotRecordOf(const CProfile& p) {
    kccl::SHotspotRecord record;
    record.ssid = p.NetName;
    const int security = HotspotSecurityOf(p);
    record.security = static_cast<uint8_t>(security < 0 ? KCOM_HOTSPOT_WPA2 : security);
    record.band =
        static_cast<uint8_t>(p.HotspotBand >= 0 && p.HotspotBand <= KCOM_HOTSPOT_BAND_6G ? p.HotspotBand : 0);
    record.channel =
        static_cast<uint16_t>(p.HotspotChannel >= 0 && p.HotspotChannel <= 0xFFFF ? p.HotspotChannel : 0);
    if (record.security != KCOM_HOTSPOT_OPEN) record.passphrase = p.WpaPassphrase;
    return record;
}

void SetHotspotSettings(CProfile& p, const kccl::SHotspotRecord& record) {
    p.Hotspot = true;
    p.NetName = record.ssid;
    p.NetMode = true;
    p.SecType = 0;
    p.ActiveSecKey = -1;
    p.Use802_1 = false;
    p.WpaMode = WpaModeOf(record.security);
    p.WpaPassphrase = record.security == KCOM_HOTSPOT_OPEN ? std::string() : record.passphrase;
    p.HotspotBand = record.band;
    p.HotspotChannel = record.channel;
    p.AutoSelect = false;
    p.Priority = -1;
}

std::string CheckHotspotProfile(const CProfile& p) {
    if (!p.Hotspot) return {};
    if (HotspotSecurityOf(p) < 0)
        return StrFormat(
            "\"WpaMode\" is %d with \"SecType\" %d; a hotspot profile is open (0 and 0) or WPA2, WPA3 or "
            "WPA2/WPA3-Personal (3, 4 or 6 with \"SecType\" 0)",
            p.WpaMode, p.SecType);
    if (p.HotspotBand < KCOM_HOTSPOT_BAND_BEST || p.HotspotBand > KCOM_HOTSPOT_BAND_6G)
        return StrFormat("\"HotspotBand\" is %d; it must be 0 (best), 1 (2.4 GHz), 2 (5 GHz) or 3 (6 GHz)",
                         p.HotspotBand);
    if (p.HotspotChannel < 0 || p.HotspotChannel > 233)
        return StrFormat("\"HotspotChannel\" is %d; it must be 0 (any) or a channel number of the band",
                         p.HotspotChannel);
    if (p.AutoSelect)
        return "\"AutoSelect\" is set; a hotspot profile is never tried by the automatic selection";
    const std::string problem = kccl::CheckHotspotRecord(HotspotRecordOf(p));
    return problem.empty() ? std::string() : "a hotspot profile: " + problem;
}

int KeepHotspotProfile(CProfileMngr& profiles, const std::string& name, const kccl::SHotspotRecord& record,
                       bool replace, std::string& why) {
    auto lock = profiles.Lock();
    std::shared_ptr<CProfile> profile;
    if (replace) {
        int error = REG_OK;
        profile = profiles.LoadProfile(name, &error);
        if (error != REG_OK) return error;
        if (!profile || !IsHotspotProfile(*profile)) {
            why = "there is no hotspot profile named \"" + name + "\"";
            return -1;
        }
    } else {
        if (profiles.HasName(name)) {
            why = "a profile named \"" + name + "\" already exists; choose another name";
            return -1;
        }
        const std::string added = profiles.AddProfile(nullptr);
        profile = profiles.GetProfile(added);
        if (!profile || !profiles.RenameProfile(added, name, &why)) {
            profiles.DiscardChanges();
            if (why.empty()) why = "the profile could not be made";
            return -1;
        }
    }
    SetHotspotSettings(*profile, record);
    const CProfileMngr::SStoreResult stored = profiles.StoreChanges(CProfileMngr::EOnConflict::KeepMine);
    if (stored.Ok()) return REG_OK;
    profiles.DiscardChanges();
    if (stored.error == REG_ERROR_FILE_EXISTS)
        why = "a profile named \"" + stored.clash + "\" already exists; choose another name";
    return stored.error;
}

std::string HotspotProfileText(const CProfile& p) {
    const int security = HotspotSecurityOf(p);
    std::string text = "Hotspot (";
    text += security >= 0 ? kccl::HotspotSecurityText(security) : "unknown security";
    if (p.HotspotBand > 0 && p.HotspotBand <= KCOM_HOTSPOT_BAND_6G)
        text += std::string(", ") + kccl::HotspotBandName(p.HotspotBand) + " GHz";
    if (p.HotspotChannel > 0) text += ", channel " + std::to_string(p.HotspotChannel);
    return text + ")";
}

}  // namespace wavory
