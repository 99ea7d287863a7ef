#include "profiles/ProfileLimits.h"

#include <algorithm>

#include "driver/Converters.h"
#include "driver/Format.h"
#include "profiles/EapProfile.h"
#include "profiles/HotspotProfile.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "radio/Bands.h"

namespace wavory {

namespace {

constexpr int kWpa3 = 4;

std::string OutOfRange(const char* name, long long value, const std::string& range) {
    return StrFormat("\"%s\" is %lld; it must be %s", name, value, range.c_str());
}

bool IsHex(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

}  // namespace

std::string CheckProfileLimits(const CProfile& p) {
    if (p.NetName.empty()) return "\"NetName\" is empty; a profile needs a network name (1 to 32 bytes)";
    if (p.NetName.size() > kMaxSsidBytes)
        return StrFormat("\"NetName\" is %zu bytes long; a network name has 1 to 32 bytes", p.NetName.size());
    if (p.Hotspot) return CheckHotspotProfile(p);
    // Index into the mode names, and what the channel list depends on.
    if (p.PhyType < 0 || p.PhyType > 2) return OutOfRange("PhyType", p.PhyType, "0 to 2");
    // The channel an ad-hoc profile sends: one of its band's, as the editor lists them or a join of a
    // network in range stores them.
    const int lastChannel = LastChannelIndex(p.PhyType);
    if (p.PhyChnl < 0 || p.PhyChnl > lastChannel)
        return OutOfRange("PhyChnl", p.PhyChnl, StrFormat("0 to %d for PhyType %d", lastChannel, p.PhyType));
    // Index into the security names the adapter is sent.
    if (p.SecType < 0 || p.SecType > 3) return OutOfRange("SecType", p.SecType, "0 to 3");
    if (p.WpaMode != 0 && (p.WpaMode < 3 || p.WpaMode > 8))
        return OutOfRange("WpaMode", p.WpaMode,
                          "0 (none), 3 (WPA2), 4 (WPA3), 5 (Enhanced Open), 6 (WPA2/WPA3), "
                          "7 (WPA2-Enterprise) or 8 (WPA3-Enterprise)");
    if (std::string eap = CheckEapLimits(p); !eap.empty()) return eap;
    if (std::string net = CheckNetLimits(p); !net.empty()) return net;
    if (p.PhyFreq != 0 && kccl::FrequencyToChannel(p.PhyFreq) == 0)
        return OutOfRange("PhyFreq", p.PhyFreq, "0 or the frequency in MHz of a 2.4, 5 or 6 GHz channel");
    // The secrets in use are sent as they are; spare ones, and a passphrase while WPA is off, are not.
    if (p.WpaMode != 0 && !p.WpaPassphrase.empty()) {
        if (!IsValidPassphrase(p.WpaPassphrase))
            return "\"WpaPassphrase\" is not 8 to 63 characters or 64 hexadecimal digits";
        if (p.WpaMode == kWpa3 && p.WpaPassphrase.size() == 64)
            return "\"WpaPassphrase\" is 64 hexadecimal digits, which WPA3 does not take";
    }
    if (p.WpaMode == 0 && p.SecType == 1 && !p.Use802_1 && p.ActiveSecKey >= 0 &&
        p.ActiveSecKey < CProfile::kKeyCount) {
        const auto k = static_cast<size_t>(p.ActiveSecKey);
        const std::string& key = p.SecKey[k];
        const int length = p.SecKeyLen[k];
        if (length != 0 && length != 1)
            return OutOfRange(StrFormat("Sec Key Len %d", p.ActiveSecKey).c_str(), length,
                              "0 (64-bit) or 1 (128-bit)");
        const size_t digits = length == 0 ? 10 : 26;
        if (!key.empty() && (key.size() != digits || !IsHex(key)))
            return StrFormat("\"Sec Key %d\", the active key, is not %zu hexadecimal digits", p.ActiveSecKey,
                             digits);
    }
    return {};
}

}  // namespace wavory
