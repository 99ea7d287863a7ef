// The datagram path under the nl80211 client: a generic-netlink socket, or a stand-in in tests.
// Whole netlink messages go out; whatever one datagram holds comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace wavory::kccl {

class INlTransport {
public:
    virtual ~INlTransport() = default;
    // Sends one message; 0 or -errno.
    virtual int Send(const void* data, size_t size) = 0;
    // The next datagram into the start of `buffer` (which may be larger), waiting up to `timeoutMs`
    // (0: only what is there). Its size, -ETIMEDOUT when nothing came, -ENOBUFS when the kernel
    // dropped messages for want of room (the socket goes on), or another -errno.
    virtual int Receive(std::vector<uint8_t>& buffer, int timeoutMs) = 0;
    // Joins a multicast group of the family; 0 or -errno.
    virtual int Join(uint32_t group) = 0;
};

// A generic-netlink socket of this process. Null (and *err set) when none can be opened.
std::unique_ptr<INlTransport> OpenGenericNetlink(int* err);

}  // namespace wavory::kccl
