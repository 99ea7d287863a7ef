#include "NlTransport.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "NlStats.h"

namespace wavory::kccl {

namespace {

// Large enough for any datagram the kernel builds for a dump (it packs up to about 32 KiB).
constexpr size_t kReceiveSize = 256 * 1024;
// Room for the scan and link events that arrive between two requests of a busy window.
constexpr int kSocketBuffer = 1024 * 1024;

class CNetlinkSocket final : public INlTransport {
public:
    explicit CNetlinkSocket(int fd) : m_fd(fd) {}
    ~CNetlinkSocket() override { ::close(m_fd); }

    int Send(const void* data, size_t size) override {
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        const ssize_t n =
            ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        return n < 0 ? -errno : 0;
    }

    int Receive(std::vector<uint8_t>& buffer, int timeoutMs) override {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0) return errno == EINTR ? -ETIMEDOUT : -errno;
        if (ready == 0) return -ETIMEDOUT;
        // Sized once: a datagram is never longer, and the buffer is not cleared for each.
        if (buffer.size() < kReceiveSize) buffer.resize(kReceiveSize);
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN ? -ETIMEDOUT : -errno;
        return static_cast<int>(n);
    }

    int Join(uint32_t group) override {
        return ::setsockopt(m_fd, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group) == 0 ? 0
                                                                                                  : -errno;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<INlTransport> OpenGenericNetlink(int* err) {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
    if (fd < 0) {
        if (err) *err = -errno;
        return nullptr;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        if (err) *err = -errno;
        ::close(fd);
        return nullptr;
    }
    const int size = kSocketBuffer;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    // An error answer carries the request's header only, not the whole request again.
    const int one = 1;
    ::setsockopt(fd, SOL_NETLINK, NETLINK_CAP_ACK, &one, sizeof one);
    NlStats().sockets++;
    return std::make_unique<CNetlinkSocket>(fd);
}

}  // namespace wavory::kccl
