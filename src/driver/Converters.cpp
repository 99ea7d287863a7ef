#include "driver/Converters.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "base/StringTable.h"
#include "driver/AirText.h"
#include "driver/Format.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory {

namespace {

constexpr int kWepRecordSize = 44;
constexpr int kWepKeyBytes = 36;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Leading integer of a text (after blanks), as strtol reads it; 0 when there is none.
long LeadingNumber(const std::string& text, std::size_t* end = nullptr) {
    const char* begin = text.c_str();
    char* stop = nullptr;
    const long v = std::strtol(begin, &stop, 10);
    if (end) *end = static_cast<std::size_t>(stop - begin);
    return v;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// Value of one key character: hex digits as such; anything else as its code minus '0'.
int KeyNibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return static_cast<unsigned char>(c) - '0';
}

}  // namespace

int ChannelToMHz(int channel) {
    if (channel == 14) return 2484;
    if (channel < 32) return 2407 + 5 * channel;
    if (channel < 200) return 5000 + 5 * channel;
    return 3900 + 5 * channel;
}

std::string ClampSsid(const std::string& ssid) {
    if (ssid.size() <= kMaxSsidBytes) return ssid;
    std::size_t cut = kMaxSsidBytes;
    // Do not split a multi-byte UTF-8 character: step back over continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(ssid[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0 || kMaxSsidBytes - cut > 3) cut = kMaxSsidBytes;  // not UTF-8: cut at the byte limit
    return ssid.substr(0, cut);
}

void ConvSsid(uint8_t* block0, std::string* text, int step) {
    uint8_t* p = Payload(block0);
    if (step == CONV_AFTER_QUERY) {
        // Every SSID byte is kept (a zero byte included), so a read-back SSID can be written again.
        const int len = std::min<int>(p[0], kMaxSsidBytes);
        p[1 + len] = 0;
        text->assign(reinterpret_cast<const char*>(p + 1), static_cast<std::size_t>(len));
    } else if (step == CONV_BEFORE_SET) {
        const std::string ssid = ClampSsid(*text);
        p[0] = static_cast<uint8_t>(ssid.size());
        std::memcpy(p + 1, ssid.data(), ssid.size());
    }
}

void ConvNetMode(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY) {
        const uint32_t mode = PayloadU32(block0, 0);
        *text = mode == 1 ? "Infrastructure" : mode == 2 ? "Ad-Hoc" : "N/A";
    } else if (step == CONV_BEFORE_SET) {
        uint32_t mode = 5;
        if (StartsWith(*text, "Ad-Hoc"))
            mode = 2;
        else if (StartsWith(*text, "Infrastructure"))
            mode = 1;
        SetPayloadU32(block0, 0, mode);
    }
}

void ConvChannel(uint8_t* block0, std::string* text, int step) {
    if (step != CONV_AFTER_QUERY) return;
    const int channel = Payload(block0)[KCOM_CHANNEL_NUMBER];
    const auto freq = static_cast<int>(PayloadU32(block0, KCOM_CHANNEL_FREQ));
    const auto phy = static_cast<int>(PayloadU32(block0 + KCOM_BLOCK_SIZE, 0));
    // A PHY beyond the table shows the channel and frequency alone.
    *text = phy >= 0 && phy < 7 ? ChannelText(channel, freq, phy) : ChannelLabel(channel, freq);
}

void ConvChannelScan(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_BEFORE_QUERY) {
        SetPayloadU32(block0, 0, 12);
    } else if (step == CONV_AFTER_QUERY) {
        // "channel preamble", and the frequency third where the adapter tells it: channel numbers
        // repeat across bands.
        *text = StrFormat("%d %d", Payload(block0)[KCOM_CHANNEL_NUMBER], PayloadU32(block0, 12) == 1 ? 1 : 0);
        if (const uint32_t freq = PayloadU32(block0, KCOM_CHANNEL_FREQ)) *text += StrFormat(" %u", freq);
    } else if (step == CONV_BEFORE_SET) {
        SetPayloadU32(block0, 0, 12);
        std::size_t end = 0;
        Payload(block0)[KCOM_CHANNEL_NUMBER] = static_cast<uint8_t>(LeadingNumber(*text, &end));
        // The second number, when given, is the short-preamble flag of the record; a third, the
        // frequency, makes the record the longer one that carries it.
        if (end < text->size()) {
            const std::string rest = text->substr(end);
            std::size_t end2 = 0;
            SetPayloadU32(block0, 12, LeadingNumber(rest, &end2) != 0 ? 1 : 0);
            const long freq = end2 < rest.size() ? LeadingNumber(rest.substr(end2)) : 0;
            if (freq > 0) {
                SetPayloadU32(block0, 0, KCOM_CHANNEL_RECORD_FREQ);
                SetPayloadU32(block0, KCOM_CHANNEL_FREQ, static_cast<uint32_t>(freq));
                SetPayloadU32(block0, KCOM_CHANNEL_WIDTH, 0);
            }
        }
    }
}

void ConvMaxRate(uint8_t* block0, std::string* text, int step) {
    if (step != CONV_AFTER_QUERY) return;
    // What the PHY type alone says; the General page shows the connection's own figure where the
    // adapter reports one (OID_LINK_INFO).
    const uint32_t phy = PayloadU32(block0, 0);
    *text = phy == 0 || phy == 2 ? "54 Mbps" : phy == 1 ? "11 Mbps" : "N/A";
}

namespace {

std::string NameOrNa(uint32_t mode) {
    const char* name = WpaModeName(static_cast<int>(mode));
    return name ? name : "N/A";
}

}  // namespace

void ConvSecurity(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY) {
        const uint32_t mode = PayloadU32(block0, 0);
        *text = mode == 0   ? LoadStringId(IDS_DISABLED)
                : mode == 1 ? "WEP"
                : mode == 2 ? "TKIP"
                            : NameOrNa(mode);
    } else if (step == CONV_BEFORE_SET) {
        // The longer names first: "WPA2/WPA3-…" and the enterprise kinds also begin with "WPA2".
        static const struct {
            const char* prefix;
            uint32_t mode;
        } kModes[] = {{"WEP", 1},
                      {"TKIP", 2},
                      {"WPA2/WPA3", KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL},
                      {"WPA2-Enterprise", KCOM_SECURITY_MODE_WPA2_ENTERPRISE},
                      {"WPA3-Enterprise", KCOM_SECURITY_MODE_WPA3_ENTERPRISE},
                      {"WPA2", KCOM_SECURITY_MODE_WPA2_PERSONAL},
                      {"WPA3", KCOM_SECURITY_MODE_WPA3_PERSONAL},
                      {"Enhanced Open", KCOM_SECURITY_MODE_OWE}};
        uint32_t mode = 0;
        for (const auto& m : kModes) {
            if (StartsWith(*text, m.prefix)) {
                mode = m.mode;
                break;
            }
        }
        SetPayloadU32(block0, 0, mode);
    }
}

void ConvPassphrase(uint8_t* block0, std::string* text, int step) {
    // Only ever written: the adapter answers a query with the length alone.
    if (step != CONV_BEFORE_SET) return;
    uint8_t* payload = Payload(block0);
    const std::size_t len = std::min<std::size_t>(text->size(), kMaxPassphraseLength);
    payload[0] = static_cast<uint8_t>(len);
    std::memcpy(payload + 1, text->data(), len);
}

void ConvRawPayload(uint8_t* block0, std::string* text, int step) {
    if (step != CONV_BEFORE_SET) return;
    std::memcpy(Payload(block0), text->data(), std::min<std::size_t>(text->size(), KCOM_PAYLOAD_SIZE));
}

bool IsValidPassphrase(const std::string& text) {
    if (text.size() == static_cast<std::size_t>(kMaxPassphraseLength))
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (text.size() < static_cast<std::size_t>(kMinPassphraseLength) ||
        text.size() >= static_cast<std::size_t>(kMaxPassphraseLength))
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

const char* WpaModeName(int mode) {
    if (mode < KCOM_SECURITY_MODE_WPA2_PERSONAL || mode > KCOM_SECURITY_MODE_WPA3_ENTERPRISE) return nullptr;
    return SecurityKindText(SecurityKindOfMode(mode));
}

bool ModeTakesPassphrase(int mode) {
    return mode == KCOM_SECURITY_MODE_WPA2_PERSONAL || mode == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
           mode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
}

void ConvPowerSave(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY) *text = NameAt(POWER_SAVE_NAMES, PayloadU32(block0, 0));
}

// Counters are unsigned: shown as such, so a count past 2^31 never turns negative.
void ConvSent(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY) *text = StrFormat("%u", PayloadU32(block0, 0));
}

void ConvReceived(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY) *text = StrFormat("%u", PayloadU32(block0, 4));
}

void ConvRadioStatus(uint8_t* block0, std::string* text, int step) {
    if (step == CONV_AFTER_QUERY)
        *text = StrFormat("HW Status: %s Ready; RF Status %d.", PayloadU32(block0, 0) != 0 ? "" : "NOT", 1);
}

void ConvNumber(uint8_t* block0, std::string* text, int step) {
    const uint32_t code = BlockCode(block0);
    if (step == CONV_AFTER_QUERY) {
        if (code == OID_SNR)
            *text = StrFormat("%d dB", PayloadI32(block0, 0));
        else if (code == OID_CONN_SETTING_QUERY || code == OID_REG_DOMAIN)
            *text = StrFormat("%d", static_cast<int>(PayloadU32(block0, 0)));
    } else if (step == CONV_BEFORE_SET) {
        if (code == OID_CONN_SETTING_SET || code == OID_REG_DOMAIN) {
            const std::string t = Trim(*text);
            uint32_t v = 0;
            std::from_chars(t.data(), t.data() + t.size(), v);
            SetPayloadU32(block0, 0, v);
        }
    }
}

void ConvWepKey(uint8_t* block0, std::string* text, int step) {
    uint8_t* p = Payload(block0);
    if (step == CONV_BEFORE_SET) {
        // "index digits key": the key's bytes come from pairs of hex digits, high nibble first.
        std::size_t pos = 0;
        const long index = LeadingNumber(*text, &pos);
        std::string rest = text->substr(pos);
        std::size_t pos2 = 0;
        const long digits = LeadingNumber(rest, &pos2);
        const std::string key = Trim(rest.substr(pos2));
        // The record holds at most 36 key bytes; a longer length would overrun it.
        const long length = std::clamp(digits / 2, 0L, static_cast<long>(kWepKeyBytes));
        uint8_t record[kWepRecordSize] = {};
        record[0] = static_cast<uint8_t>(index);
        record[1] = static_cast<uint8_t>(length);
        const uint32_t type = length == 5 ? 1 : 2;
        std::memcpy(record + 4, &type, sizeof type);
        for (long k = 0; k < length; ++k) {
            const std::size_t hi = static_cast<std::size_t>(2 * k), lo = hi + 1;
            // Digits missing from a short key count as zero rather than reading past the text.
            const int h = hi < key.size() ? KeyNibble(key[hi]) : 0;
            const int l = lo < key.size() ? KeyNibble(key[lo]) : 0;
            record[8 + k] = static_cast<uint8_t>((h << 4) + l);
        }
        std::memcpy(p, record, kWepRecordSize);
    } else if (step == CONV_AFTER_QUERY) {
        // Two upper-case hex digits per key byte: the same form a write takes.
        const int length = p[1];
        const int index = p[0];
        text->clear();
        if (length <= 26 && index <= 4) {
            const int bytes = std::min(length, kWepKeyBytes);
            for (int k = 0; k < bytes; ++k) *text += StrFormat("%.2X", p[8 + k]);
        }
    }
}

void ConvRegDomain(uint8_t* block0, std::string* text, int /*step*/) {
    const int row = RegDomainIndex(PayloadU32(block0, 0));
    *text = row < 0 ? "None" : REG_DOMAIN_NAMES[static_cast<std::size_t>(row)];
}

void ConvDriverVersion(uint8_t* block0, std::string* text, int /*step*/) {
    *text = StrFormat("%d.%d.%d.%d", static_cast<int>(PayloadU32(block0, 8)),
                      static_cast<int>(PayloadU32(block0, 12)), static_cast<int>(PayloadU32(block0, 16)),
                      static_cast<int>(PayloadU32(block0, 20)));
}

void ConvFirmwareVersion(uint8_t* block0, std::string* text, int /*step*/) {
    const uint32_t a = PayloadU32(block0, 32), b = PayloadU32(block0, 36);
    *text = StrFormat("%.4X - %.4X / %.4X - %.4X", a >> 16, a & 0xFFFF, b >> 16, b & 0xFFFF);
}

void ConvNvmVersion(uint8_t* block0, std::string* text, int /*step*/) {
    *text = StrFormat("%X - %X", PayloadU32(block0, 148), PayloadU32(block0, 0));
}

void ConvMac(uint8_t* block0, std::string* text, int step) {
    if (step != CONV_AFTER_QUERY) return;
    const uint8_t* p = Payload(block0);
    *text = StrFormat("%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", p[0], p[1], p[2], p[3], p[4], p[5]);
}

int RegDomainIndex(uint32_t code) {
    for (std::size_t i = 0; i < REG_DOMAIN_CODES.size(); ++i)
        if (REG_DOMAIN_CODES[i] == code) return static_cast<int>(i);
    return -1;
}

std::string ControlName(int control, const char* unknown) {
    switch (control) {
        case KCCL_MANAGED_BY_NOBODY:
            return "nobody";
        case KCCL_MANAGED_BY_WPA_SUPPLICANT:
            return "wpa_supplicant";
        case KCCL_MANAGED_BY_NETWORK_MANAGER:
            return "NetworkManager";
        case KCCL_MANAGED_BY_IWD:
            return "iwd";
        case KCCL_MANAGED_BY_CONNMAN:
            return "ConnMan";
        case KCOM_HS_CONTROL_SIM:
            return "simulation";
        default:
            return unknown;
    }
}

}  // namespace wavory
