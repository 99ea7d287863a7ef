#include "cli/NetOptions.h"

#include <CLI/CLI.hpp>

#include "kccl_oid.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "radio/NetSettings.h"

namespace wavory::cli {

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        for (const std::string& one : kccl::SplitAddressList(item)) out += (out.empty() ? "" : " ") + one;
    return out;
}

}  // namespace

void AddNetOptions(CLI::App& command, SNetArgs& args) {
    command
        .add_option_function<std::string>(
            "--mac", [&args](const std::string& v) { args.mac = v; },
            "Hardware address to join with: device (the adapter's own), stable (random, the same each "
            "time for this network), random (new at each join), default (as in the preferences)")
        ->check(CLI::IsMember({"device", "stable", "random", "default"}));
    command
        .add_option_function<std::string>(
            "--metered", [&args](const std::string& v) { args.metered = v == "yes"; },
            "The network is metered (charged by volume): yes or no")
        ->check(CLI::IsMember({"yes", "no"}));
    command
        .add_option_function<std::string>(
            "--ipv4", [&args](const std::string& v) { args.ipv4 = v; },
            "Fixed IPv4 address with its prefix length, ADDR/PREFIX (\"\": automatic); needs "
            "NetworkManager")
        ->option_text("ADDR/PREFIX");
    command
        .add_option_function<std::string>(
            "--gateway", [&args](const std::string& v) { args.gateway4 = v; },
            "IPv4 gateway beside a fixed address (\"\": none)")
        ->option_text("ADDR");
    command
        .add_option_function<std::string>(
            "--ipv6", [&args](const std::string& v) { args.ipv6 = v; },
            "Fixed IPv6 address with its prefix length, ADDR/PREFIX (\"\": automatic); needs "
            "NetworkManager")
        ->option_text("ADDR/PREFIX");
    command
        .add_option_function<std::string>(
            "--gateway6", [&args](const std::string& v) { args.gateway6 = v; },
            "IPv6 gateway beside a fixed address (\"\": none)")
        ->option_text("ADDR");
    command
        .add_option_function<std::vector<std::string>>(
            "--dns", [&args](const std::vector<std::string>& v) { args.dns = v; },
            "Name servers, IPv4 or IPv6, separated by commas or given once each (\"\": those the "
            "network gives); needs NetworkManager")
        ->option_text("ADDR[,ADDR...]");
    command
        .add_option_function<std::string>(
            "--prefer-band", [&args](const std::string& v) { args.preferBand = v; },
            "Access point band: 5ghz (a 5 or 6 GHz access point before a 2.4 GHz one, unless its "
            "signal is below --band-floor) or any (the strongest)")
        ->check(CLI::IsMember({"5ghz", "any"}));
    command
        .add_option_function<int>(
            "--band-floor", [&args](const int& v) { args.bandFloor = v; },
            "The weakest signal in dBm at which --prefer-band 5ghz still takes a 5/6 GHz access point "
            "(-95 to -30, default -70)")
        ->option_text("DBM");
    command
        .add_option_function<std::string>(
            "--pin-bssid", [&args](const std::string& v) { args.pin = v; },
            "Stay on this access point of the network (aa:bb:cc:dd:ee:ff): join it and no other; not "
            "in range, the join fails (\"\": any access point). iwd cannot keep a pin")
        ->option_text("BSSID");
}

bool SNetArgs::Any() const {
    return mac || metered || ipv4 || gateway4 || ipv6 || gateway6 || dns || preferBand || bandFloor || pin;
}

void CheckNetArgs(const SNetArgs& args) {
    CProfile probe("", false);
    // A gateway alone is checked beside a stand-in address: whether the profile it is applied to
    // has an address of its own is known only then.
    if (args.gateway4 && !args.ipv4) probe.IPv4Address = "192.0.2.1/24";
    if (args.gateway6 && !args.ipv6) probe.IPv6Address = "2001:db8::1/64";
    ApplyNetArgs(args, probe);
}

void ApplyNetArgs(const SNetArgs& args, CProfile& profile) {
    CProfile p(profile);
    if (args.mac) p.MacAddress = kccl::MacModeByName(*args.mac);
    if (args.metered) p.Metered = *args.metered;
    if (args.ipv4) p.IPv4Address = *args.ipv4;
    if (args.gateway4) p.IPv4Gateway = *args.gateway4;
    if (args.ipv6) p.IPv6Address = *args.ipv6;
    if (args.gateway6) p.IPv6Gateway = *args.gateway6;
    if (args.dns) p.DnsServers = Joined(*args.dns);
    if (args.preferBand) p.PreferHighBand = *args.preferBand == "5ghz";
    if (args.bandFloor) p.BandFloor = *args.bandFloor;
    if (args.pin) {
        // Kept as the lists show BSSIDs: lower case, with colons.
        const auto pin = kccl::ParseMac(*args.pin);
        p.PinnedBssid = pin ? kccl::MacText(*pin) : *args.pin;
    }
    // A gateway without its address is dropped with the address, not left behind alone.
    if (args.ipv4 && p.IPv4Address.empty() && !args.gateway4) p.IPv4Gateway.clear();
    if (args.ipv6 && p.IPv6Address.empty() && !args.gateway6) p.IPv6Gateway.clear();
    if (std::string problem = CheckNetLimits(p); !problem.empty())
        UsageError("invalid network setting: " + problem);
    CopyNetSettings(p, profile);
}

void PutNetJson(json& j, const CProfile& p) {
    const char* mode = kccl::MacModeName(p.MacAddress);
    j["mac_address"] = *mode ? json(mode) : json(nullptr);
    j["mac_address_in_effect"] = kccl::MacModeName(NetRecordOf(p, DefaultMacMode()).macMode);
    j["metered"] = p.Metered;
    auto textOrNull = [](const std::string& s) { return s.empty() ? json(nullptr) : json(Utf8Lossy(s)); };
    j["ipv4_address"] = textOrNull(p.IPv4Address);
    j["ipv4_gateway"] = textOrNull(p.IPv4Gateway);
    j["ipv6_address"] = textOrNull(p.IPv6Address);
    j["ipv6_gateway"] = textOrNull(p.IPv6Gateway);
    json dns = json::array();
    for (const std::string& server : kccl::SplitAddressList(p.DnsServers)) dns.push_back(Utf8Lossy(server));
    j["dns"] = dns;
    j["prefer_band"] = p.PreferHighBand ? "5ghz" : "any";
    j["band_floor_dbm"] = p.BandFloor;
    j["pinned_bssid"] = textOrNull(p.PinnedBssid);
}

void AddNetFields(std::vector<std::pair<std::string, std::string>>& f, const CProfile& p) {
    std::string address = MacModeText(p.MacAddress);
    if (p.MacAddress == KCOM_MAC_NOT_TOLD) address += " (" + MacModeText(DefaultMacMode()) + ")";
    f.emplace_back("Hardware Address:", address);
    f.emplace_back("Metered:", p.Metered ? "yes" : "no");
    auto fixed = [](const std::string& address, const std::string& gateway) {
        if (address.empty()) return std::string("automatic");
        return Printable(address) + (gateway.empty() ? std::string() : ", gateway " + Printable(gateway));
    };
    f.emplace_back("IPv4:", fixed(p.IPv4Address, p.IPv4Gateway));
    f.emplace_back("IPv6:", fixed(p.IPv6Address, p.IPv6Gateway));
    f.emplace_back("DNS:", p.DnsServers.empty() ? std::string("from the network") : Printable(p.DnsServers));
    f.emplace_back("Access Point:", Printable(BandChoiceText(p)));
}

}  // namespace wavory::cli
