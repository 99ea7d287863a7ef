// The IP side of a connection for the Details view: the interface's IPv4 and IPv6 addresses, its
// default gateway and the DNS servers, read from the kernel's files (/proc/net/route,
// /proc/net/if_inet6), getifaddrs and the resolver's configuration (systemd-resolved's own file
// where /etc/resolv.conf only names its local stub).
#pragma once

#include <string>
#include <vector>

namespace wavory {

struct SNetDetails {
    bool found = false;             // the interface exists on this machine
    std::vector<std::string> ipv4;  // "192.168.1.20/24"
    std::vector<std::string> ipv6;  // "fe80::1/64"
    std::string gateway;            // IPv4 default gateway; empty when there is none
    std::vector<std::string> dns;
};

// Files are read below `root` ("" = the machine's own), so tests can lay out their own.
SNetDetails ReadNetDetails(const std::string& ifname, const std::string& root = std::string());

// The pieces, for tests: the default gateway of an interface in /proc/net/route's text; the
// addresses of an interface in /proc/net/if_inet6's text; the servers of a resolv.conf text.
std::string ParseDefaultGateway(const std::string& routeText, const std::string& ifname);
std::vector<std::string> ParseInet6(const std::string& inet6Text, const std::string& ifname);
std::vector<std::string> ParseNameservers(const std::string& resolvText);

}  // namespace wavory
