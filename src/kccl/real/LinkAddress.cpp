#include "LinkAddress.h"

#include <linux/ethtool.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace wavory::kccl {

namespace {

// One RTM_SETLINK request and its acknowledgement; 0 or -errno.
int SendSetLink(int fd, int ifindex, unsigned flags, unsigned change, const MacAddress* address) {
    struct {
        nlmsghdr header;
        ifinfomsg info;
        char attrs[RTA_SPACE(6)];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.header.nlmsg_type = RTM_SETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    static unsigned sequence = 0;
    request.header.nlmsg_seq = ++sequence;
    request.info.ifi_family = AF_UNSPEC;
    request.info.ifi_index = ifindex;
    request.info.ifi_flags = flags;
    request.info.ifi_change = change;
    if (address) {
        auto* attr = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                               NLMSG_ALIGN(request.header.nlmsg_len));
        attr->rta_type = IFLA_ADDRESS;
        attr->rta_len = RTA_LENGTH(6);
        std::memcpy(RTA_DATA(attr), address->data(), 6);
        request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_SPACE(6);
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return -errno;
    alignas(nlmsghdr) char reply[1024];
    for (;;) {
        const ssize_t got = ::recv(fd, reply, sizeof reply, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -errno;
        auto left = static_cast<unsigned>(got);
        for (auto* h = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_seq != request.header.nlmsg_seq || h->nlmsg_type != NLMSG_ERROR) continue;
            return static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
        }
    }
}

}  // namespace

bool ReadLinkAddress(const std::string& ifname, MacAddress& out) {
    std::ifstream in("/sys/class/net/" + ifname + "/address");
    std::string text;
    if (!(in >> text) || text.size() != 17) return false;
    unsigned b[6];
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
        return false;
    for (std::size_t i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(b[i]);
    return true;
}

bool ReadPermanentAddress(const std::string& ifname, MacAddress& out) {
    // The request's header, then room for the address (the header ends in a flexible array).
    alignas(ethtool_perm_addr) uint8_t buffer[sizeof(ethtool_perm_addr) + 32] = {};
    auto* request = reinterpret_cast<ethtool_perm_addr*>(buffer);
    request->cmd = ETHTOOL_GPERMADDR;
    request->size = 32;
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", ifname.c_str());
    ifr.ifr_data = reinterpret_cast<char*>(buffer);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int rc = ::ioctl(fd, SIOCETHTOOL, &ifr);
    ::close(fd);
    if (rc != 0 || request->size != 6) return false;
    std::memcpy(out.data(), buffer + sizeof(ethtool_perm_addr), 6);
    return !IsUnusableMac(out);
}

int SetLinkAddress(int ifindex, const MacAddress& address) {
    if (IsUnusableMac(address)) return -EINVAL;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -errno;
    timeval wait{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char name[IF_NAMESIZE] = {};
    bool wasUp = false;
    if (::if_indextoname(static_cast<unsigned>(ifindex), name)) {
        std::ifstream in(std::string("/sys/class/net/") + name + "/flags");
        unsigned long flags = 0;
        if (in >> std::hex >> flags) wasUp = (flags & IFF_UP) != 0;
    }
    int err = wasUp ? SendSetLink(fd, ifindex, 0, IFF_UP, nullptr) : 0;
    if (err == 0) err = SendSetLink(fd, ifindex, 0, 0, &address);
    // Up again whatever the change did: the interface is not left down.
    if (wasUp) {
        const int up = SendSetLink(fd, ifindex, IFF_UP, IFF_UP, nullptr);
        if (err == 0) err = up;
    }
    ::close(fd);
    return err;
}

}  // namespace wavory::kccl
