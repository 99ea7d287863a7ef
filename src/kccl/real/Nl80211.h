// The kernel's nl80211 interface over one generic-netlink socket per process. Requests and the
// scan, link and interface events share the socket: every answer is matched to its request by
// sequence number, events (sequence 0) go to the listeners, and anything else (the rest of an
// answer given up on) is dropped. Every wait is bounded. Safe to use from several threads: one
// exchange at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "NlTransport.h"

struct nl_msg;
struct nlattr;

namespace wavory::kccl {

class CNl80211 {
public:
    // Attributes of one reply or event, indexed by NL80211_ATTR_*.
    using Attrs = nlattr* const*;
    using BuildFn = std::function<void(nl_msg*)>;
    using ReplyFn = std::function<void(Attrs)>;
    // An event, or (cmd 0, no attributes) word that events were lost.
    using EventFn = std::function<void(int cmd, Attrs)>;

    // How often a dump that the kernel marks as interrupted (its data changed while it ran) is
    // asked again before the request fails with -EAGAIN.
    static constexpr int kDumpTries = 5;
    static constexpr std::chrono::milliseconds kDefaultTimeout{3000};

    // Over `transport`, or over a socket of its own (opened by Open) when null.
    explicit CNl80211(std::unique_ptr<INlTransport> transport = nullptr);
    CNl80211(const CNl80211&) = delete;
    CNl80211& operator=(const CNl80211&) = delete;

    // Finds the nl80211 family and its event groups (one request) and joins the groups; 0 or -errno.
    int Open();
    bool IsOpen() const;

    // Sends one command (for `ifindex` when it is above 0; a dump when `dump`) with the attributes
    // `build` adds, and hands every reply to `onReply` once the whole answer is in. 0, or a negative
    // errno: the kernel's refusal (-EPERM when a right is missing, -ENODEV when the interface has
    // gone), -ETIMEDOUT when no answer came in time, -EAGAIN when a dump stayed interrupted.
    int Request(int cmd, int ifindex, bool dump, const BuildFn& build = nullptr,
                const ReplyFn& onReply = nullptr);

    // Reads the events that arrive within `timeout` (zero: those already there) and hands them to
    // the listeners. Returns at the first datagram that held an event, or when the time is up.
    void PumpEvents(std::chrono::milliseconds timeout);

    // Listeners are called with the client's lock held: they must not call back into it.
    int AddListener(EventFn onEvent);
    void RemoveListener(int id);

    void SetTimeout(std::chrono::milliseconds timeout);

private:
    struct SAnswer {
        int error = 1;  // 1 while waiting
        bool interrupted = false;
        std::vector<std::vector<uint8_t>> replies;
    };
    int Exchange(uint16_t family, int cmd, int ifindex, bool dump, const BuildFn& build, SAnswer& answer);
    // Handles the messages of one datagram; true when it held an event.
    bool Take(const uint8_t* datagram, int size, uint32_t seq, SAnswer* answer);
    void Dispatch(int cmd, Attrs attrs);
    int ResolveFamily();

    std::unique_ptr<INlTransport> m_pTransport;
    mutable std::mutex m_Mutex;
    uint16_t m_nFamily = 0;
    uint32_t m_nSeq = 0;
    std::chrono::milliseconds m_Timeout = kDefaultTimeout;
    std::vector<uint8_t> m_Buffer;
    std::map<int, EventFn> m_Listeners;
    int m_nNextListener = 1;
};

}  // namespace wavory::kccl
