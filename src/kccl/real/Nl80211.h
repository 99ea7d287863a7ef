// A small client of the kernel's nl80211 interface over libnl-genl-3: one socket for requests and
// one subscribed to the scan and link events. Not thread-safe; the adapter serialises its use.
#pragma once

#include <functional>

struct nl_msg;
struct nl_sock;
struct nlattr;

namespace wavory::kccl {

class CNl80211 {
public:
    // Attributes of one reply or event, indexed by NL80211_ATTR_*.
    using Attrs = nlattr* const*;
    using BuildFn = std::function<void(nl_msg*)>;
    using ReplyFn = std::function<void(Attrs)>;
    using EventFn = std::function<void(int cmd, Attrs)>;

    CNl80211() = default;
    ~CNl80211();
    CNl80211(const CNl80211&) = delete;
    CNl80211& operator=(const CNl80211&) = delete;

    // Connects both sockets; 0, or a negative errno.
    int Open();
    void Close();
    bool IsOpen() const { return m_pSock != nullptr; }

    // Sends one command (for `ifindex` when it is above 0; NLM_F_DUMP in `dump`) with the
    // attributes `build` adds, and hands every reply to `onReply`. 0 or a negative errno (-EPERM
    // when the command needs a right the process lacks).
    int Request(int cmd, int ifindex, bool dump, const BuildFn& build = nullptr,
                const ReplyFn& onReply = nullptr);

    // Hands every event that arrives within `timeoutMs` (0: only those already there) to `onEvent`;
    // returns as soon as `done` says so.
    void PollEvents(int timeoutMs, const EventFn& onEvent, const std::function<bool()>& done = nullptr);

private:
    nl_sock* m_pSock = nullptr;
    nl_sock* m_pEvents = nullptr;
    int m_nFamily = -1;
};

}  // namespace wavory::kccl
