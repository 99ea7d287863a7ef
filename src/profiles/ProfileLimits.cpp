#include "profiles/ProfileLimits.h"

#include <algorithm>
#include <array>

#include "driver/Converters.h"
#include "driver/Format.h"
#include "profiles/Profile.h"
#include "radio/Bands.h"

namespace wavory {

namespace {

constexpr int kMaxFragmentMin = 256;
constexpr int kThresholdMax = 2312;
// The rate labels of the advanced page (1 to 54 Mbit/s) as stored: the label's value times 500000.
constexpr std::array<int, 11> kRates = {500000,  1000000, 2750000,  3000000,  4500000, 5500000,
                                        6000000, 9000000, 12000000, 18000000, 27000000};

std::string OutOfRange(const char* name, long long value, const char* range) {
    return StrFormat("\"%s\" is %lld; it must be %s", name, value, range);
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
    if (p.PSType < 0 || p.PSType > 3) return OutOfRange("PSType", p.PSType, "0 to 3");
    if (p.PhyType < 0 || p.PhyType > 2) return OutOfRange("PhyType", p.PhyType, "0 to 2");
    // Channel-list indexes: 802.11a 36..64 and 149..165 (13 entries), 2.4 GHz channels 1..14.
    const int lastChannel = p.PhyType == 0 ? 12 : 13;
    if (p.PhyChnl < 0 || p.PhyChnl > lastChannel)
        return OutOfRange("PhyChnl", p.PhyChnl, p.PhyType == 0 ? "0 to 12" : "0 to 13");
    if (p.SecType < 0 || p.SecType > 1) return OutOfRange("SecType", p.SecType, "0 (None) or 1 (WEP)");
    if (p.ActiveSecKey < -1 || p.ActiveSecKey > 3)
        return OutOfRange("ActiveSecKey", p.ActiveSecKey, "-1 (none) or 0 to 3");
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        const auto k = static_cast<size_t>(i);
        const std::string lenName = StrFormat("Sec Key Len %d", i);
        if (p.SecKeyLen[k] < 0 || p.SecKeyLen[k] > 1)
            return OutOfRange(lenName.c_str(), p.SecKeyLen[k], "0 (64-bit) or 1 (128-bit)");
        const std::string& key = p.SecKey[k];
        if (key.empty()) continue;
        const size_t digits = p.SecKeyLen[k] == 0 ? 10 : 26;
        if (key.size() != digits || !IsHex(key))
            return StrFormat("\"Sec Key %d\" is not %zu hexadecimal digits, as \"%s\" asks", i, digits,
                             lenName.c_str());
    }
    if (p.MaxFragment != 0 && (p.MaxFragment < kMaxFragmentMin || p.MaxFragment > kThresholdMax))
        return OutOfRange("MaxFragment", p.MaxFragment, "0 or 256 to 2312");
    if (p.RTSThreshold < 0 || p.RTSThreshold > kThresholdMax)
        return OutOfRange("RTSThreshold", p.RTSThreshold, "0 to 2312");
    if (p.MaxTxPower < 0 || p.MaxTxPower > 3) return OutOfRange("MaxTxPower", p.MaxTxPower, "0 to 3");
    if (std::find(kRates.begin(), kRates.end(), p.MaxNetRate) == kRates.end())
        return OutOfRange("MaxNetRate", p.MaxNetRate,
                          "a rate of 1 to 54 Mbit/s times 500000 (27000000 = 54)");
    if (p.WrLessMode < 0 || p.WrLessMode > 3) return OutOfRange("WrLessMode", p.WrLessMode, "0 to 3");
    if (p.WpaMode != 0 && (p.WpaMode < 3 || p.WpaMode > 6))
        return OutOfRange("WpaMode", p.WpaMode,
                          "0 (none), 3 (WPA2), 4 (WPA3), 5 (Enhanced Open) or 6 (WPA2/WPA3)");
    if (!p.WpaPassphrase.empty() && !IsValidPassphrase(p.WpaPassphrase))
        return "\"WpaPassphrase\" is not 8 to 63 characters or 64 hexadecimal digits";
    if (ModeTakesPassphrase(p.WpaMode) && p.WpaPassphrase.empty())
        return "\"WpaPassphrase\" is empty; WPA security needs a passphrase";
    if (p.PhyFreq != 0 && kccl::FrequencyToChannel(p.PhyFreq) == 0)
        return OutOfRange("PhyFreq", p.PhyFreq, "0 or the frequency in MHz of a 2.4, 5 or 6 GHz channel");
    return {};
}

}  // namespace wavory
