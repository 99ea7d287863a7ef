#include "Nl80211.h"

#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <poll.h>

#include <cerrno>
#include <chrono>

#include "NlStats.h"

namespace wavory::kccl {

namespace {

struct SReplyState {
    int error = 1;  // 1 while waiting; then 0 or a negative errno
    const CNl80211::ReplyFn* onReply = nullptr;
};

void ParseAttrs(nl_msg* msg, nlattr** tb) {
    auto* gh = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(msg)));
    nla_parse(tb, NL80211_ATTR_MAX, genlmsg_attrdata(gh, 0), genlmsg_attrlen(gh, 0), nullptr);
}

int OnError(sockaddr_nl*, nlmsgerr* e, void* arg) {
    static_cast<SReplyState*>(arg)->error = e->error;
    return NL_STOP;
}

int OnFinish(nl_msg*, void* arg) {
    static_cast<SReplyState*>(arg)->error = 0;
    return NL_SKIP;
}

int OnAck(nl_msg*, void* arg) {
    static_cast<SReplyState*>(arg)->error = 0;
    return NL_STOP;
}

int OnValid(nl_msg* msg, void* arg) {
    auto* state = static_cast<SReplyState*>(arg);
    if (state->onReply && *state->onReply) {
        nlattr* tb[NL80211_ATTR_MAX + 1] = {};
        ParseAttrs(msg, tb);
        (*state->onReply)(tb);
    }
    return NL_SKIP;
}

struct SEventState {
    const CNl80211::EventFn* onEvent = nullptr;
};

int OnEvent(nl_msg* msg, void* arg) {
    auto* state = static_cast<SEventState*>(arg);
    auto* gh = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(msg)));
    nlattr* tb[NL80211_ATTR_MAX + 1] = {};
    ParseAttrs(msg, tb);
    (*state->onEvent)(gh->cmd, tb);
    return NL_SKIP;
}

int NoSequenceCheck(nl_msg*, void*) { return NL_OK; }

int CountIn(nl_msg* msg, void*) {
    NlStats().messages++;
    NlStats().bytes += nlmsg_hdr(msg)->nlmsg_len;
    return NL_OK;
}

int CountOut(nl_msg* msg, void*) {
    NlStats().requests++;
    if (nlmsg_hdr(msg)->nlmsg_flags & NLM_F_DUMP) NlStats().dumps++;
    return NL_OK;
}

}  // namespace

CNl80211::~CNl80211() { Close(); }

int CNl80211::Open() {
    Close();
    m_pSock = nl_socket_alloc();
    m_pEvents = nl_socket_alloc();
    if (!m_pSock || !m_pEvents || genl_connect(m_pSock) < 0 || genl_connect(m_pEvents) < 0) {
        Close();
        return -ENOMEM;
    }
    NlStats().sockets += 2;
    for (nl_sock* sock : {m_pSock, m_pEvents}) {
        nl_socket_modify_cb(sock, NL_CB_MSG_IN, NL_CB_CUSTOM, CountIn, nullptr);
        nl_socket_modify_cb(sock, NL_CB_MSG_OUT, NL_CB_CUSTOM, CountOut, nullptr);
    }
    m_nFamily = genl_ctrl_resolve(m_pSock, "nl80211");
    if (m_nFamily < 0) {
        Close();
        return -ENODEV;
    }
    // The events that tell the end of a scan and the outcome of a connection.
    for (const char* group : {"scan", "mlme"}) {
        const int id = genl_ctrl_resolve_grp(m_pSock, "nl80211", group);
        if (id >= 0) nl_socket_add_membership(m_pEvents, id);
    }
    nl_socket_disable_seq_check(m_pEvents);
    nl_socket_set_nonblocking(m_pEvents);
    return 0;
}

void CNl80211::Close() {
    if (m_pSock) nl_socket_free(m_pSock);
    if (m_pEvents) nl_socket_free(m_pEvents);
    m_pSock = m_pEvents = nullptr;
    m_nFamily = -1;
}

int CNl80211::Request(int cmd, int ifindex, bool dump, const BuildFn& build, const ReplyFn& onReply) {
    if (!m_pSock) return -ENOTCONN;
    nl_msg* msg = nlmsg_alloc();
    if (!msg) return -ENOMEM;
    genlmsg_put(msg, NL_AUTO_PORT, NL_AUTO_SEQ, m_nFamily, 0, dump ? NLM_F_DUMP : 0,
                static_cast<uint8_t>(cmd), 0);
    if (ifindex > 0) nla_put_u32(msg, NL80211_ATTR_IFINDEX, static_cast<uint32_t>(ifindex));
    if (build) build(msg);

    SReplyState state;
    state.onReply = &onReply;
    nl_cb* cb = nl_cb_alloc(NL_CB_DEFAULT);
    nl_cb_err(cb, NL_CB_CUSTOM, OnError, &state);
    nl_cb_set(cb, NL_CB_FINISH, NL_CB_CUSTOM, OnFinish, &state);
    nl_cb_set(cb, NL_CB_ACK, NL_CB_CUSTOM, OnAck, &state);
    nl_cb_set(cb, NL_CB_VALID, NL_CB_CUSTOM, OnValid, &state);
    nl_cb_set(cb, NL_CB_MSG_IN, NL_CB_CUSTOM, CountIn, nullptr);
    if (cmd == NL80211_CMD_GET_SCAN && dump) NlStats().scanDumps++;
    if (nl_send_auto(m_pSock, msg) < 0) state.error = -EIO;
    while (state.error > 0) {
        if (nl_recvmsgs(m_pSock, cb) < 0 && state.error > 0) state.error = -EIO;
    }
    nl_cb_put(cb);
    nlmsg_free(msg);
    return state.error;
}

void CNl80211::PollEvents(int timeoutMs, const EventFn& onEvent, const std::function<bool()>& done) {
    if (!m_pEvents) return;
    SEventState state{&onEvent};
    nl_cb* cb = nl_cb_alloc(NL_CB_DEFAULT);
    nl_cb_set(cb, NL_CB_SEQ_CHECK, NL_CB_CUSTOM, NoSequenceCheck, nullptr);
    nl_cb_set(cb, NL_CB_VALID, NL_CB_CUSTOM, OnEvent, &state);
    nl_cb_set(cb, NL_CB_MSG_IN, NL_CB_CUSTOM, CountIn, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{nl_socket_get_fd(m_pEvents), POLLIN, 0};
    for (;;) {
        if (done && done()) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        if (::poll(&p, 1, wait) <= 0) break;
        if (nl_recvmsgs(m_pEvents, cb) < 0) break;
    }
    nl_cb_put(cb);
}

}  // namespace wavory::kccl
