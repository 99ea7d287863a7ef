// A network's own settings: the record both sides of the driver library read and write, the checks
// of addresses, and the hardware addresses made for a network.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kccl_oid.h"
#include "radio/NetSettings.h"
#include "radio/Sha256.h"

namespace wavory::kccl {
namespace {

SNetRecord Full() {
    SNetRecord r;
    r.macMode = KCOM_MAC_STABLE;
    r.metered = true;
    r.ipv4 = "192.0.2.10/24";
    r.gateway4 = "192.0.2.1";
    r.ipv6 = "2001:db8::10/64";
    r.gateway6 = "2001:db8::1";
    r.dns = "192.0.2.53 2001:db8::53";
    return r;
}

TEST(NetRecordTest, EveryFieldSurvivesTheRecordAndAnOverrunIsRefused) {
    uint8_t payload[1024] = {};
    const std::size_t used = EncodeNetRecord(Full(), payload, sizeof payload);
    ASSERT_GT(used, 0u);
    SNetRecord back;
    ASSERT_TRUE(DecodeNetRecord(payload, used, back));
    EXPECT_EQ(back, Full());

    // A length that runs past the payload, a zero byte inside a string, a string beyond the limit.
    SNetRecord out;
    EXPECT_FALSE(DecodeNetRecord(payload, used - 1, out));
    uint8_t zero[64] = {};
    SNetRecord withZero;
    withZero.ipv4 = std::string("192.0.2.1\0/24", 12);
    const std::size_t n = EncodeNetRecord(withZero, zero, sizeof zero);
    ASSERT_GT(n, 0u);
    EXPECT_FALSE(DecodeNetRecord(zero, n, out));
    SNetRecord tooLong;
    tooLong.dns = std::string(KCOM_NET_FIELD_MAX + 1, '1');
    std::vector<uint8_t> big(4096);
    EXPECT_EQ(EncodeNetRecord(tooLong, big.data(), big.size()), 0u);
    EXPECT_EQ(EncodeNetRecord(Full(), payload, 20), 0u);  // does not fit
}

TEST(NetRecordTest, AddressesNoHostCanHaveAreRefusedWithTheSettingNamed) {
    EXPECT_EQ(CheckNetRecord(Full()), "");
    EXPECT_EQ(CheckNetRecord(SNetRecord{}), "");
    struct SCase {
        void (*change)(SNetRecord&);
        const char* needle;
    };
    const SCase cases[] = {
        {[](SNetRecord& r) { r.ipv4 = "224.1.2.3/24"; }, "IPv4 address"},
        {[](SNetRecord& r) { r.ipv4 = "0.0.0.0/24"; }, "no host's address"},
        {[](SNetRecord& r) { r.ipv4 = "127.0.0.1/8"; }, "no host's address"},
        {[](SNetRecord& r) { r.ipv4 = "192.0.2.10/0"; }, "prefix length (1 to 32)"},
        {[](SNetRecord& r) { r.ipv4 = "192.0.2.10/33"; }, "prefix length (1 to 32)"},
        {[](SNetRecord& r) { r.ipv4 = "192.0.2.10/2x"; }, "prefix length"},
        {[](SNetRecord& r) { r.ipv4 = "192.0.2/24"; }, "not an address"},
        {[](SNetRecord& r) { r.ipv4 = "2001:db8::1/64"; }, "IPv4 address"},
        {[](SNetRecord& r) { r.ipv6 = "::/64"; }, "no host's address"},
        {[](SNetRecord& r) { r.ipv6 = "ff02::1/64"; }, "no host's address"},
        {[](SNetRecord& r) { r.ipv6 = "2001:db8::1/129"; }, "prefix length (1 to 128)"},
        {[](SNetRecord& r) { r.gateway4 = "192.0.2.300"; }, "IPv4 gateway"},
        {[](SNetRecord& r) { r.gateway6 = "192.0.2.1"; }, "IPv6 gateway"},
        {[](SNetRecord& r) { r.ipv4.clear(); }, "needs a fixed address"},
        {[](SNetRecord& r) { r.dns = "192.0.2.53, resolver.example"; }, "resolver.example"},
        {[](SNetRecord& r) { r.dns = "224.0.0.251"; }, "no host's address"},
        {[](SNetRecord& r) { r.macMode = 4; }, "hardware address mode"},
    };
    for (const SCase& c : cases) {
        SNetRecord r = Full();
        c.change(r);
        const std::string problem = CheckNetRecord(r);
        EXPECT_NE(problem.find(c.needle), std::string::npos) << c.needle << " / " << problem;
    }
}

TEST(NetRecordTest, ListsAreSplitAtSpacesCommasAndSemicolons) {
    EXPECT_EQ(SplitAddressList(" 192.0.2.1,2001:db8::1;;198.51.100.1\t"),
              (std::vector<std::string>{"192.0.2.1", "2001:db8::1", "198.51.100.1"}));
    EXPECT_TRUE(SplitAddressList(" ,; ").empty());
    for (int mode = KCOM_MAC_NOT_TOLD; mode <= KCOM_MAC_RANDOM; ++mode)
        EXPECT_EQ(MacModeByName(MacModeName(mode)), mode);
    EXPECT_EQ(MacModeByName("vendor"), -1);
}

bool LocalUnicast(const MacAddress& a) {
    return (a[0] & 0x02) != 0 && (a[0] & 0x01) == 0 && !IsUnusableMac(a);
}

TEST(StableAddressTest, TheSameForANetworkDifferentAcrossNetworksAndSecretsAlwaysLocalUnicast) {
    const std::vector<uint8_t> secret(32, 0x5A), other(32, 0xA5);
    const MacAddress home = StableAddress(secret, "Home");
    EXPECT_EQ(StableAddress(secret, "Home"), home);
    EXPECT_NE(StableAddress(secret, "Cafe"), home);
    EXPECT_NE(StableAddress(other, "Home"), home);
    // The name alone does not decide: "Home" with no secret differs from any secret's.
    EXPECT_NE(StableAddress({}, "Home"), home);
    for (const char* ssid : {"", "a", "Home", "Caf\xC3\xA9", "32-bytes-long-network-name-here!"}) {
        EXPECT_TRUE(LocalUnicast(StableAddress(secret, ssid))) << ssid;
        EXPECT_TRUE(LocalUnicast(StableAddress(other, ssid))) << ssid;
    }
    // Taken from the digest, with only the two lowest bits of the first byte set as needed.
    std::vector<uint8_t> input(secret);
    input.push_back(0);
    input.insert(input.end(), {'H', 'o', 'm', 'e'});
    uint8_t digest[32];
    Sha256(input.data(), input.size(), digest);
    EXPECT_EQ(home[0], (digest[0] & 0xFC) | 0x02);
    EXPECT_EQ(home[5], digest[5]);
}

TEST(StableAddressTest, Sha256MatchesTheStandardsVectors) {
    uint8_t d[32];
    Sha256(reinterpret_cast<const uint8_t*>("abc"), 3, d);
    EXPECT_EQ(d[0], 0xba);
    EXPECT_EQ(d[31], 0xad);
    // Two blocks of padding: 56 bytes of input.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    Sha256(reinterpret_cast<const uint8_t*>(two.data()), two.size(), d);
    EXPECT_EQ(d[0], 0x24);
    EXPECT_EQ(d[31], 0xc1);
}

TEST(StableAddressTest, RandomAddressesAreLocalUnicastAndDiffer) {
    const MacAddress a = RandomAddress(), b = RandomAddress();
    EXPECT_TRUE(LocalUnicast(a));
    EXPECT_TRUE(LocalUnicast(b));
    EXPECT_NE(a, b);
    EXPECT_EQ(MacText({0x02, 0xAB, 0x00, 0x01, 0x10, 0xFF}), "02:ab:00:01:10:ff");
    EXPECT_TRUE(IsUnusableMac({}));
    EXPECT_TRUE(IsUnusableMac({0x01, 0, 0, 0, 0, 1}));
}

TEST(StableAddressTest, TheUsersSecretIsMadeOnceKeptPrivateAndReadBack) {
    const std::string dir = ::testing::TempDir() + "wavory-secret-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = before ? before : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    const std::vector<uint8_t> first = UserAddressSecret();
    const std::vector<uint8_t> second = UserAddressSecret();
    const std::string file = dir + "/wavory/address-secret";
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    // A damaged secret is not replaced: every stable address would change with it.
    std::filesystem::resize_file(file, 5);
    const std::vector<uint8_t> damaged = UserAddressSecret();
    if (before)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir);

    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(second, first);
    ASSERT_TRUE(exists);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(damaged.empty());
}

}  // namespace
}  // namespace wavory::kccl
