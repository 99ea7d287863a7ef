// The Details view's IP side read from the kernel's and the resolver's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "monitor/NetDetails.h"

using namespace wavory;

namespace {

constexpr const char* kRoute =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
    "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "wlan0\t00000000\tZZZZ\t0003\n";

constexpr const char* kInet6 =
    "fe80000000000000021122fffe334455 03 40 20 80    wlan0\n"
    "20010db8000000000000000000000001 03 40 00 00    wlan0\n"
    "fe80000000000000aaaaaaaaaaaaaaaa 02 40 20 80     eth0\n"
    "nonsense\n";

void Write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

}  // namespace

TEST(NetDetailsTest, GatewayOfTheInterfacesDefaultRouteOnly) {
    EXPECT_EQ(ParseDefaultGateway(kRoute, "wlan0"), "192.168.1.1");
    EXPECT_EQ(ParseDefaultGateway(kRoute, "wlan1"), "");
    EXPECT_EQ(ParseDefaultGateway("", "wlan0"), "");
}

TEST(NetDetailsTest, Ipv6AddressesWithPrefixOfTheInterfaceOnly) {
    EXPECT_EQ(ParseInet6(kInet6, "wlan0"),
              (std::vector<std::string>{"fe80::211:22ff:fe33:4455/64", "2001:db8::1/64"}));
    EXPECT_TRUE(ParseInet6(kInet6, "wlan").empty());
}

TEST(NetDetailsTest, NameserversAndTheResolverStub) {
    EXPECT_EQ(ParseNameservers("# comment\nnameserver 9.9.9.9\nsearch lan\nnameserver 2620:fe::fe\n"),
              (std::vector<std::string>{"9.9.9.9", "2620:fe::fe"}));

    const auto root = std::filesystem::temp_directory_path() / ("netdetails-" + std::to_string(::getpid()));
    Write(root / "proc/net/route", kRoute);
    Write(root / "proc/net/if_inet6", kInet6);
    Write(root / "etc/resolv.conf", "nameserver 127.0.0.53\noptions edns0\n");
    Write(root / "run/systemd/resolve/resolv.conf", "nameserver 192.168.1.1\n");
    const SNetDetails details = ReadNetDetails("wlan0", root.string());
    EXPECT_TRUE(details.found);
    EXPECT_EQ(details.gateway, "192.168.1.1");
    EXPECT_EQ(details.ipv6.size(), 2u);
    EXPECT_EQ(details.dns, std::vector<std::string>{"192.168.1.1"});
    EXPECT_FALSE(ReadNetDetails("sim", root.string()).found);
    std::filesystem::remove_all(root);
}
