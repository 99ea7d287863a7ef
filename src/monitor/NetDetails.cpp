#include "monitor/NetDetails.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace wavory {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int PrefixLength(const sockaddr* mask) {
    if (!mask) return -1;
    int bits = 0;
    const auto* bytes =
        mask->sa_family == AF_INET
            ? reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(mask)->sin_addr)
            : reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in6*>(mask)->sin6_addr);
    const int length = mask->sa_family == AF_INET ? 4 : 16;
    for (int i = 0; i < length; ++i)
        for (int b = 7; b >= 0; --b) bits += (bytes[i] >> b) & 1;
    return bits;
}

// A hexadecimal field; false for anything else (the files are the kernel's, but stay data).
bool Hex(const std::string& text, unsigned long* value) {
    if (text.empty() || text.size() > 8) return false;
    char* end = nullptr;
    *value = std::strtoul(text.c_str(), &end, 16);
    return end && *end == '\0';
}

bool IsLocalStub(const std::vector<std::string>& servers) {
    for (const std::string& server : servers)
        if (server.rfind("127.0.0.53", 0) != 0 && server.rfind("127.0.0.54", 0) != 0) return false;
    return !servers.empty();
}

}  // namespace

std::string ParseDefaultGateway(const std::string& routeText, const std::string& ifname) {
    std::istringstream lines(routeText);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway;
        if (!(fields >> iface >> destination >> gateway)) continue;
        if (iface != ifname || destination != "00000000" || gateway == "00000000") continue;
        // The kernel writes the address as a hexadecimal number in the machine's byte order.
        unsigned long value = 0;
        if (!Hex(gateway, &value)) continue;
        in_addr address{};
        address.s_addr = static_cast<uint32_t>(value);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address, text, sizeof text)) return text;
    }
    return {};
}

std::vector<std::string> ParseInet6(const std::string& inet6Text, const std::string& ifname) {
    std::vector<std::string> out;
    std::istringstream lines(inet6Text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string hex, index, prefix, scope, flags, iface;
        if (!(fields >> hex >> index >> prefix >> scope >> flags >> iface) || iface != ifname ||
            hex.size() != 32)
            continue;
        in6_addr address{};
        unsigned long value = 0, prefixLength = 0;
        bool ok = Hex(prefix, &prefixLength);
        for (int i = 0; i < 16 && ok; ++i) {
            ok = Hex(hex.substr(static_cast<size_t>(2 * i), 2), &value);
            address.s6_addr[i] = static_cast<uint8_t>(value);
        }
        if (!ok) continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET6, &address, text, sizeof text)) continue;
        out.push_back(std::string(text) + "/" + std::to_string(prefixLength));
    }
    return out;
}

std::vector<std::string> ParseNameservers(const std::string& resolvText) {
    std::vector<std::string> out;
    std::istringstream lines(resolvText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string keyword, server;
        if (fields >> keyword >> server && keyword == "nameserver") out.push_back(server);
    }
    return out;
}

SNetDetails ReadNetDetails(const std::string& ifname, const std::string& root) {
    SNetDetails details;
    if (ifname.empty()) return details;
    if (root.empty()) {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
                if (!entry->ifa_name || ifname != entry->ifa_name) continue;
                details.found = true;
                if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
                char text[INET_ADDRSTRLEN] = {};
                const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
                if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
                const int prefix = PrefixLength(entry->ifa_netmask);
                details.ipv4.push_back(prefix >= 0 ? std::string(text) + "/" + std::to_string(prefix) : text);
            }
            freeifaddrs(list);
        }
    }
    details.ipv6 = ParseInet6(ReadFile(root + "/proc/net/if_inet6"), ifname);
    details.gateway = ParseDefaultGateway(ReadFile(root + "/proc/net/route"), ifname);
    if (!details.ipv6.empty() || !details.gateway.empty()) details.found = true;
    details.dns = ParseNameservers(ReadFile(root + "/etc/resolv.conf"));
    // systemd-resolved's stub names only itself; its own file lists the servers it asks.
    if (IsLocalStub(details.dns)) {
        const std::vector<std::string> upstream =
            ParseNameservers(ReadFile(root + "/run/systemd/resolve/resolv.conf"));
        if (!upstream.empty()) details.dns = upstream;
    }
    return details;
}

}  // namespace wavory
