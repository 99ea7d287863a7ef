#include "radio/NetSettings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kccl_oid.h"
#include "radio/Sha256.h"

namespace wavory::kccl {

namespace {

constexpr std::size_t kSecretSize = 32;

std::string* StringAt(SNetRecord& r, int which) {
    switch (which) {
        case KCOM_NET_IPV4:
            return &r.ipv4;
        case KCOM_NET_GATEWAY4:
            return &r.gateway4;
        case KCOM_NET_IPV6:
            return &r.ipv6;
        case KCOM_NET_GATEWAY6:
            return &r.gateway6;
        default:
            return &r.dns;
    }
}

const std::string& StringAt(const SNetRecord& r, int which) {
    return *StringAt(const_cast<SNetRecord&>(r), which);
}

bool ReadAll(int fd, uint8_t* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, out + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool FillRandom(uint8_t* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::getrandom(out + got, size - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::string ConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config";
    return {};
}

}  // namespace

std::size_t EncodeNetRecord(const SNetRecord& record, uint8_t* payload, std::size_t size) {
    if (size < KCOM_NET_STRINGS) return 0;
    std::memset(payload, 0, KCOM_NET_STRINGS);
    payload[KCOM_NET_MAC_MODE] = record.macMode;
    payload[KCOM_NET_FLAGS] = static_cast<uint8_t>((record.metered ? KCOM_NET_METERED : 0) |
                                                   (record.preferHighBand ? KCOM_NET_PREFER_HIGH_BAND : 0));
    payload[KCOM_NET_BAND_FLOOR] =
        static_cast<uint8_t>(static_cast<int8_t>(std::clamp(record.bandFloorDbm, -128, 127)));
    std::memcpy(payload + KCOM_NET_PIN, record.pin.data(), 6);
    std::size_t pos = KCOM_NET_STRINGS;
    for (int i = 0; i < KCOM_NET_STRING_COUNT; ++i) {
        const std::string& text = StringAt(record, i);
        if (text.size() > KCOM_NET_FIELD_MAX || pos + 2 + text.size() > size) return 0;
        payload[pos] = static_cast<uint8_t>(text.size() & 0xFF);
        payload[pos + 1] = static_cast<uint8_t>(text.size() >> 8);
        if (!text.empty()) std::memcpy(payload + pos + 2, text.data(), text.size());
        pos += 2 + text.size();
    }
    return pos;
}

bool DecodeNetRecord(const uint8_t* payload, std::size_t size, SNetRecord& out) {
    if (size < KCOM_NET_STRINGS) return false;
    SNetRecord record;
    record.macMode = payload[KCOM_NET_MAC_MODE];
    record.metered = (payload[KCOM_NET_FLAGS] & KCOM_NET_METERED) != 0;
    record.preferHighBand = (payload[KCOM_NET_FLAGS] & KCOM_NET_PREFER_HIGH_BAND) != 0;
    record.bandFloorDbm = static_cast<int8_t>(payload[KCOM_NET_BAND_FLOOR]);
    std::memcpy(record.pin.data(), payload + KCOM_NET_PIN, 6);
    std::size_t pos = KCOM_NET_STRINGS;
    for (int i = 0; i < KCOM_NET_STRING_COUNT; ++i) {
        if (pos + 2 > size) return false;
        const std::size_t len = payload[pos] | static_cast<std::size_t>(payload[pos + 1]) << 8;
        if (len > KCOM_NET_FIELD_MAX || pos + 2 + len > size) return false;
        std::string& text = *StringAt(record, i);
        text.assign(reinterpret_cast<const char*>(payload + pos + 2), len);
        if (text.find('\0') != std::string::npos) return false;
        pos += 2 + len;
    }
    out = std::move(record);
    return true;
}

std::optional<SIpAddress> ParseIpAddress(std::string_view text, int family, bool withPrefix) {
    SIpAddress out;
    std::string_view address = text;
    if (withPrefix) {
        const std::size_t slash = text.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view digits = text.substr(slash + 1);
        if (digits.empty() || digits.size() > 3) return std::nullopt;
        int prefix = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            prefix = prefix * 10 + (c - '0');
        }
        out.prefix = prefix;
        address = text.substr(0, slash);
    }
    if (address.empty() || address.size() > 45) return std::nullopt;
    const std::string z(address);
    if ((family == 0 || family == AF_INET) && ::inet_pton(AF_INET, z.c_str(), out.bytes.data()) == 1)
        out.family = AF_INET;
    else if ((family == 0 || family == AF_INET6) && ::inet_pton(AF_INET6, z.c_str(), out.bytes.data()) == 1)
        out.family = AF_INET6;
    else
        return std::nullopt;
    if (withPrefix && (out.prefix < 1 || out.prefix > (out.family == AF_INET ? 32 : 128)))
        return std::nullopt;
    out.text = z;
    return out;
}

bool IsUnusableIp(const SIpAddress& a) {
    const auto& b = a.bytes;
    if (a.family == AF_INET) {
        const bool zero = b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0;
        const bool broadcast = b[0] == 255 && b[1] == 255 && b[2] == 255 && b[3] == 255;
        return zero || broadcast || b[0] == 127 || (b[0] >= 224 && b[0] <= 239);
    }
    bool zero = true, loopback = b[15] == 1;
    for (std::size_t i = 0; i < 16; ++i) {
        zero = zero && b[i] == 0;
        if (i < 15) loopback = loopback && b[i] == 0;
    }
    return zero || loopback || b[0] == 0xFF;
}

std::vector<std::string> SplitAddressList(std::string_view text) {
    std::vector<std::string> out;
    std::string item;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ';' || c == '\t') {
            if (!item.empty()) out.push_back(std::move(item));
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty()) out.push_back(std::move(item));
    return out;
}

std::string CheckNetRecord(const SNetRecord& r) {
    if (r.macMode > KCOM_MAC_RANDOM) return "the hardware address mode is not device, stable or random";
    if (r.HasPin() && IsUnusableMac(r.pin))
        return "the access point to stay on, " + MacText(r.pin) + ", is a group address, no access point's";
    if (!BandFloorInRange(r.bandFloorDbm))
        return "the band preference's signal floor, " + std::to_string(r.bandFloorDbm) +
               " dBm, is not between " + std::to_string(KCOM_BAND_FLOOR_MIN) + " and " +
               std::to_string(KCOM_BAND_FLOOR_MAX) + " dBm";
    auto fixed = [](const std::string& text, int family, const char* what) -> std::string {
        if (text.empty()) return {};
        const auto a = ParseIpAddress(text, family, true);
        const char* prefixRange = family == AF_INET ? "1 to 32" : "1 to 128";
        if (!a)
            return "the " + std::string(what) + " \"" + text + "\" is not an address with a prefix length (" +
                   prefixRange + ")";
        if (IsUnusableIp(*a))
            return "the " + std::string(what) + " \"" + text +
                   "\" is no host's address (all zeros, multicast, loopback or broadcast)";
        return {};
    };
    auto gateway = [](const std::string& text, const std::string& address, int family,
                      const char* what) -> std::string {
        if (text.empty()) return {};
        if (address.empty()) return "the " + std::string(what) + " needs a fixed address beside it";
        const auto a = ParseIpAddress(text, family, false);
        if (!a) return "the " + std::string(what) + " \"" + text + "\" is not an address";
        if (IsUnusableIp(*a)) return "the " + std::string(what) + " \"" + text + "\" is no host's address";
        return {};
    };
    if (auto e = fixed(r.ipv4, AF_INET, "IPv4 address"); !e.empty()) return e;
    if (auto e = gateway(r.gateway4, r.ipv4, AF_INET, "IPv4 gateway"); !e.empty()) return e;
    if (auto e = fixed(r.ipv6, AF_INET6, "IPv6 address"); !e.empty()) return e;
    if (auto e = gateway(r.gateway6, r.ipv6, AF_INET6, "IPv6 gateway"); !e.empty()) return e;
    for (const std::string& server : SplitAddressList(r.dns)) {
        const auto a = ParseIpAddress(server, 0, false);
        if (!a) return "the name server \"" + server + "\" is not an IPv4 or IPv6 address";
        if (IsUnusableIp(*a)) return "the name server \"" + server + "\" is no host's address";
    }
    return {};
}

const char* MacModeName(int mode) {
    switch (mode) {
        case KCOM_MAC_NOT_TOLD:
            return "default";
        case KCOM_MAC_DEVICE:
            return "device";
        case KCOM_MAC_STABLE:
            return "stable";
        case KCOM_MAC_RANDOM:
            return "random";
        default:
            return "";
    }
}

int MacModeByName(std::string_view name) {
    for (int mode = KCOM_MAC_NOT_TOLD; mode <= KCOM_MAC_RANDOM; ++mode)
        if (name == MacModeName(mode)) return mode;
    return -1;
}

MacAddress AsLocalUnicast(MacAddress address) {
    address[0] = static_cast<uint8_t>((address[0] & 0xFC) | 0x02);
    return address;
}

MacAddress StableAddress(const std::vector<uint8_t>& secret, const std::string& ssid) {
    // The secret, a separator, then the name: the name alone never decides the address.
    std::vector<uint8_t> input(secret);
    input.push_back(0);
    input.insert(input.end(), ssid.begin(), ssid.end());
    uint8_t digest[32];
    Sha256(input.data(), input.size(), digest);
    MacAddress out;
    std::memcpy(out.data(), digest, 6);
    return AsLocalUnicast(out);
}

MacAddress RandomAddress() {
    MacAddress out{};
    if (!FillRandom(out.data(), out.size())) {
        // No entropy source answered: the clock and the process still make one unlike the last.
        const auto seed = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
                          static_cast<uint64_t>(std::rand()) << 17;
        std::memcpy(out.data(), &seed, 6);
    }
    out = AsLocalUnicast(out);
    if (out[1] == 0 && out[2] == 0 && out[3] == 0 && out[4] == 0 && out[5] == 0) out[5] = 1;
    return out;
}

bool IsUnusableMac(const MacAddress& a) {
    if (a[0] & 0x01) return true;
    for (uint8_t b : a)
        if (b != 0) return false;
    return true;
}

std::string MacText(const MacAddress& a) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

std::optional<MacAddress> ParseMac(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    MacAddress out{};
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = nibble(text[i * 3]), low = nibble(text[i * 3 + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != separator)) return std::nullopt;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return out;
}

std::string CheckPinText(std::string_view text) {
    const auto address = ParseMac(text);
    if (!address)
        return "\"" + std::string(text) + "\" is not a BSSID (six hex pairs like 02:1a:11:00:00:01)";
    if (IsUnusableMac(*address))
        return "\"" + std::string(text) + "\" is a group or all-zero address, no access point's";
    return {};
}

bool BandFloorInRange(int dbm) { return dbm >= KCOM_BAND_FLOOR_MIN && dbm <= KCOM_BAND_FLOOR_MAX; }

std::vector<uint8_t> UserAddressSecret() {
    const std::string base = ConfigDir();
    if (base.empty()) return {};
    const std::string dir = base + "/wavory";
    const std::string path = dir + "/address-secret";
    std::vector<uint8_t> secret(kSecretSize);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const bool ok = ReadAll(fd, secret.data(), secret.size());
        ::close(fd);
        if (ok) return secret;
        return {};  // a damaged secret is not replaced: every stable address would change with it
    }
    ::mkdir(base.c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    if (!FillRandom(secret.data(), secret.size())) return {};
    // Written under another name and moved in place, so that two processes agree on one secret.
    const std::string temp = path + "." + std::to_string(::getpid());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    const bool written = ::write(fd, secret.data(), secret.size()) == static_cast<ssize_t>(secret.size());
    ::close(fd);
    if (!written || ::link(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        if (!written) return {};
        // Another process made it first: its secret is the one.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return {};
        const bool ok = ReadAll(fd, secret.data(), secret.size());
        ::close(fd);
        return ok ? secret : std::vector<uint8_t>{};
    }
    ::unlink(temp.c_str());
    return secret;
}

}  // namespace wavory::kccl
