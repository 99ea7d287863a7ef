#include "Nl80211.h"

#include <linux/genetlink.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "NlStats.h"

namespace wavory::kccl {

namespace {

using Clock = std::chrono::steady_clock;

// The event groups the library follows: scans ending, links made and lost, interfaces coming and
// going, regulatory changes.
constexpr const char* kGroups[] = {"scan", "mlme", "config", "regulatory"};

// The attributes of a generic-netlink message.
bool ParseGenl(const nlmsghdr* hdr, int maxType, nlattr** tb, int* cmd) {
    if (hdr->nlmsg_len < NLMSG_HDRLEN + GENL_HDRLEN) return false;
    const auto* gh = static_cast<const genlmsghdr*>(NLMSG_DATA(hdr));
    if (cmd) *cmd = gh->cmd;
    auto* head =
        reinterpret_cast<nlattr*>(reinterpret_cast<uint8_t*>(const_cast<genlmsghdr*>(gh)) + GENL_HDRLEN);
    const int len = static_cast<int>(hdr->nlmsg_len - NLMSG_HDRLEN - GENL_HDRLEN);
    return nla_parse(tb, maxType, head, len, nullptr) == 0;
}

}  // namespace

CNl80211::CNl80211(std::unique_ptr<INlTransport> transport) : m_pTransport(std::move(transport)) {}

bool CNl80211::IsOpen() const {
    std::lock_guard lock(m_Mutex);
    return m_nFamily != 0;
}

void CNl80211::SetTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard lock(m_Mutex);
    m_Timeout = timeout;
}

int CNl80211::Open() {
    std::lock_guard lock(m_Mutex);
    if (m_nFamily != 0) return 0;
    if (!m_pTransport) {
        int err = -ENOMEM;
        m_pTransport = OpenGenericNetlink(&err);
        if (!m_pTransport) return err;
    }
    return ResolveFamily();
}

int CNl80211::ResolveFamily() {
    // One question names the family's number and its event groups.
    SAnswer answer;
    const int err = Exchange(
        GENL_ID_CTRL, CTRL_CMD_GETFAMILY, 0, false,
        [](nl_msg* msg) { nla_put_string(msg, CTRL_ATTR_FAMILY_NAME, "nl80211"); }, answer);
    if (err != 0) return err;
    for (const auto& reply : answer.replies) {
        nlattr* tb[CTRL_ATTR_MAX + 1] = {};
        if (!ParseGenl(reinterpret_cast<const nlmsghdr*>(reply.data()), CTRL_ATTR_MAX, tb, nullptr)) continue;
        if (tb[CTRL_ATTR_FAMILY_ID]) m_nFamily = nla_get_u16(tb[CTRL_ATTR_FAMILY_ID]);
        if (!tb[CTRL_ATTR_MCAST_GROUPS]) continue;
        nlattr* group = nullptr;
        int rem = 0;
        nla_for_each_nested(group, tb[CTRL_ATTR_MCAST_GROUPS], rem) {
            nlattr* g[CTRL_ATTR_MCAST_GRP_MAX + 1] = {};
            if (nla_parse_nested(g, CTRL_ATTR_MCAST_GRP_MAX, group, nullptr) != 0) continue;
            if (!g[CTRL_ATTR_MCAST_GRP_NAME] || !g[CTRL_ATTR_MCAST_GRP_ID]) continue;
            const std::string name = nla_get_string(g[CTRL_ATTR_MCAST_GRP_NAME]);
            for (const char* wanted : kGroups)
                if (name == wanted) m_pTransport->Join(nla_get_u32(g[CTRL_ATTR_MCAST_GRP_ID]));
        }
    }
    return m_nFamily != 0 ? 0 : -ENODEV;
}

int CNl80211::Request(int cmd, int ifindex, bool dump, const BuildFn& build, const ReplyFn& onReply) {
    std::lock_guard lock(m_Mutex);
    if (m_nFamily == 0) return -ENOTCONN;
    SAnswer answer;
    int err = -EAGAIN;
    // An interrupted dump is incomplete or mixes old and new data: ask again.
    for (int attempt = 0; attempt < kDumpTries; ++attempt) {
        answer = SAnswer{};
        err = Exchange(m_nFamily, cmd, ifindex, dump, build, answer);
        if (err != 0 || !answer.interrupted) break;
        err = -EAGAIN;
    }
    if (err != 0) return err;
    if (onReply) {
        for (const auto& reply : answer.replies) {
            nlattr* tb[NL80211_ATTR_MAX + 1] = {};
            if (ParseGenl(reinterpret_cast<const nlmsghdr*>(reply.data()), NL80211_ATTR_MAX, tb, nullptr))
                onReply(tb);
        }
    }
    return 0;
}

int CNl80211::Exchange(uint16_t family, int cmd, int ifindex, bool dump, const BuildFn& build,
                       SAnswer& answer) {
    // Whatever waits on the socket is older than this request: events to hand on, and the rest of
    // answers given up on, to drop.
    for (int n = 0; (n = m_pTransport->Receive(m_Buffer, 0)) > 0;) Take(m_Buffer.data(), n, 0, nullptr);

    const uint32_t seq = ++m_nSeq == 0 ? ++m_nSeq : m_nSeq;
    nl_msg* msg = nlmsg_alloc();
    if (!msg) return -ENOMEM;
    const int flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : NLM_F_ACK);
    genlmsg_put(msg, 0, seq, family, 0, flags, static_cast<uint8_t>(cmd), family == GENL_ID_CTRL ? 1 : 0);
    if (ifindex > 0) nla_put_u32(msg, NL80211_ATTR_IFINDEX, static_cast<uint32_t>(ifindex));
    if (build) build(msg);
    const nlmsghdr* hdr = nlmsg_hdr(msg);
    int err = m_pTransport->Send(hdr, hdr->nlmsg_len);
    nlmsg_free(msg);
    if (err != 0) return err;
    NlStats().requests++;
    if (dump) NlStats().dumps++;
    if (dump && family == m_nFamily && cmd == NL80211_CMD_GET_SCAN) NlStats().scanDumps++;
    if (family == m_nFamily && cmd >= 0 && static_cast<size_t>(cmd) < NlStats().byCommand.size())
        NlStats().byCommand[static_cast<size_t>(cmd)]++;

    const auto deadline = Clock::now() + m_Timeout;
    while (answer.error > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return -ETIMEDOUT;
        const int n = m_pTransport->Receive(m_Buffer, static_cast<int>(left.count()));
        if (n == -ENOBUFS) {
            // Events were lost for want of room; the answer may still come.
            Dispatch(0, nullptr);
            continue;
        }
        if (n == -ETIMEDOUT) return -ETIMEDOUT;
        if (n < 0) return n;
        Take(m_Buffer.data(), n, seq, &answer);
    }
    return answer.error;
}

bool CNl80211::Take(const uint8_t* datagram, int size, uint32_t seq, SAnswer* answer) {
    bool event = false;
    int left = size;
    for (auto* hdr = reinterpret_cast<const nlmsghdr*>(datagram); NLMSG_OK(hdr, left);
         hdr = NLMSG_NEXT(hdr, left)) {
        NlStats().messages++;
        NlStats().bytes += hdr->nlmsg_len;
        if (hdr->nlmsg_seq == 0 && hdr->nlmsg_pid == 0 && hdr->nlmsg_type == m_nFamily && m_nFamily != 0) {
            nlattr* tb[NL80211_ATTR_MAX + 1] = {};
            int cmd = 0;
            if (ParseGenl(hdr, NL80211_ATTR_MAX, tb, &cmd)) Dispatch(cmd, tb);
            event = true;
            continue;
        }
        // Part of an earlier answer, or of none this client waits for.
        if (!answer || seq == 0 || hdr->nlmsg_seq != seq || answer->error <= 0) continue;
        if (hdr->nlmsg_flags & NLM_F_DUMP_INTR) answer->interrupted = true;
        switch (hdr->nlmsg_type) {
            case NLMSG_NOOP:
            case NLMSG_OVERRUN:
                break;
            case NLMSG_ERROR: {
                if (hdr->nlmsg_len < NLMSG_LENGTH(sizeof(int))) {
                    answer->error = -EIO;
                    break;
                }
                int code = 0;
                std::memcpy(&code, NLMSG_DATA(hdr), sizeof code);
                answer->error = code > 0 ? -code : code;  // 0 is the acknowledgement
                break;
            }
            case NLMSG_DONE: {
                // A dump that failed part of the way says so here.
                int code = 0;
                if (hdr->nlmsg_len >= NLMSG_LENGTH(sizeof(int)))
                    std::memcpy(&code, NLMSG_DATA(hdr), sizeof code);
                answer->error = code > 0 ? -code : code;
                break;
            }
            default: {
                const auto* bytes = reinterpret_cast<const uint8_t*>(hdr);
                answer->replies.emplace_back(bytes, bytes + hdr->nlmsg_len);
                break;
            }
        }
    }
    return event;
}

void CNl80211::Dispatch(int cmd, Attrs attrs) {
    for (auto& [id, listener] : m_Listeners) listener(cmd, attrs);
}

void CNl80211::PumpEvents(std::chrono::milliseconds timeout) {
    std::lock_guard lock(m_Mutex);
    if (m_nFamily == 0) return;
    int wait = static_cast<int>(timeout.count());
    for (;;) {
        const int n = m_pTransport->Receive(m_Buffer, wait);
        if (n == -ENOBUFS) {
            Dispatch(0, nullptr);
            continue;
        }
        if (n <= 0) return;
        Take(m_Buffer.data(), n, 0, nullptr);
        wait = 0;  // then only what is already there
    }
}

int CNl80211::AddListener(EventFn onEvent) {
    std::lock_guard lock(m_Mutex);
    const int id = m_nNextListener++;
    m_Listeners.emplace(id, std::move(onEvent));
    return id;
}

void CNl80211::RemoveListener(int id) {
    std::lock_guard lock(m_Mutex);
    m_Listeners.erase(id);
}

}  // namespace wavory::kccl
