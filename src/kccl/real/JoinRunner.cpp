#include "JoinRunner.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>

#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<CJoinContext*> g_pSignalled{nullptr};
struct sigaction g_OldActions[3];

void OnSignal(int sig) {
    const int saved = errno;
    if (CJoinContext* context = g_pSignalled.load()) context->Signal(sig);
    errno = saved;
}

void PutU32(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

}  // namespace

CJoinContext::CJoinContext() : m_nWake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CJoinContext::~CJoinContext() {
    if (m_nWake >= 0) ::close(m_nWake);
}

void CJoinContext::Cancel() {
    m_bCancelled = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_nWake, &one, sizeof one);
}

// Called from a signal handler: an atomic store and a write only.
void CJoinContext::Signal(int sig) {
    m_nSignal = sig;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_nWake, &one, sizeof one);
}

bool CJoinContext::Wait(const int* fds, int count, std::chrono::milliseconds timeout) const {
    if (Stopping()) return false;
    pollfd p[8];
    const int n = std::min(count, 7);
    for (int i = 0; i < n; ++i) p[i] = {fds[i], POLLIN, 0};
    p[n] = {m_nWake, POLLIN, 0};
    if (::poll(p, static_cast<nfds_t>(n + 1), static_cast<int>(std::max<int64_t>(0, timeout.count()))) <= 0)
        return false;
    for (int i = 0; i < n; ++i)
        if (p[i].revents & (POLLIN | POLLERR | POLLHUP)) return true;
    return false;
}

CSignalGuard::CSignalGuard(CJoinContext& context) : m_Context(context) {
    CJoinContext* none = nullptr;
    if (!g_pSignalled.compare_exchange_strong(none, &context)) return;  // another attempt holds them
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &g_OldActions[i]);
    m_bActive = true;
}

void CSignalGuard::Release() {
    if (!m_bActive) return;
    m_bActive = false;
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_OldActions[i], nullptr);
    g_pSignalled = nullptr;
    // The signal was meant for the process: now that the attempt has put things back, it goes on
    // to what it would have done (end the process, or the program's own handler).
    if (const int sig = m_Context.Signalled()) ::kill(::getpid(), sig);
}

CJoinRunner::~CJoinRunner() { Wait(); }

bool CJoinRunner::Running() const {
    std::lock_guard lock(m_Mutex);
    return m_nState == KCOM_JOIN_JOINING;
}

void CJoinRunner::Cancel() {
    {
        std::lock_guard lock(m_Mutex);
        if (m_pContext) m_pContext->Cancel();
    }
    Wait();
}

void CJoinRunner::Wait() {
    if (m_Thread.joinable()) m_Thread.join();
}

void CJoinRunner::Record(uint32_t state, const SJoinSettings& settings, const SJoinOutcome& outcome) {
    std::lock_guard lock(m_Mutex);
    m_nState = state;
    m_nCause = state == KCOM_JOIN_FAILED ? outcome.cause : static_cast<uint32_t>(KCOM_CAUSE_NONE);
    m_nFlags = outcome.restored ? static_cast<uint32_t>(KCOM_JOIN_FLAG_RESTORED) : 0u;
    m_Ssid = settings.ssid.substr(0, 32);
    m_Detail = outcome.detail;
}

void CJoinRunner::Refuse(const SJoinSettings& settings, const SJoinOutcome& outcome) {
    Cancel();
    {
        std::lock_guard lock(m_Mutex);
        ++m_nAttempt;
    }
    Record(KCOM_JOIN_FAILED, settings, outcome);
}

void CJoinRunner::Start(IAdapterControl& control, const SJoinSettings& settings, EndFn onEnd) {
    Cancel();
    auto context = std::make_unique<CJoinContext>();
    CJoinContext* ctx = context.get();
    {
        std::lock_guard lock(m_Mutex);
        ++m_nAttempt;
        m_pContext = std::move(context);
    }
    Record(KCOM_JOIN_JOINING, settings, SJoinOutcome{});
    m_Thread = std::thread([this, &control, settings, onEnd, ctx] {
        CSignalGuard guard(*ctx);
        // Nothing the attempt throws may end the program: it is a failed attempt, with the reason.
        SJoinOutcome outcome;
        try {
            outcome = control.Join(settings, *ctx);
        } catch (const std::exception& e) {
            outcome = SJoinOutcome{};
            outcome.detail = std::string("the attempt ended on an internal error: ") + e.what();
        } catch (...) {
            outcome = SJoinOutcome{};
            outcome.detail = "the attempt ended on an internal error";
        }
        if (!outcome.joined && ctx->Stopping()) outcome.cause = KCOM_CAUSE_CANCELLED;
        Record(outcome.joined ? KCOM_JOIN_JOINED : KCOM_JOIN_FAILED, settings, outcome);
        if (onEnd) onEnd(settings, outcome);
        guard.Release();
    });
}

void CJoinRunner::Fill(uint8_t* p) const {
    std::lock_guard lock(m_Mutex);
    std::memset(p, 0, KCOM_JOIN_DETAIL + KCOM_JOIN_DETAIL_SIZE);
    PutU32(p, KCOM_JOIN_STATE_FIELD, m_nState);
    PutU32(p, KCOM_JOIN_CAUSE, m_nCause);
    PutU32(p, KCOM_JOIN_ATTEMPT, m_nAttempt);
    PutU32(p, KCOM_JOIN_FLAGS, m_nFlags);
    p[KCOM_JOIN_SSID_LEN] = static_cast<uint8_t>(m_Ssid.size());
    std::memcpy(p + KCOM_JOIN_SSID, m_Ssid.data(), m_Ssid.size());
    // The detail is cut at a character boundary, so that it stays valid UTF-8.
    size_t len = std::min<size_t>(m_Detail.size(), KCOM_JOIN_DETAIL_SIZE - 1);
    while (len > 0 && len < m_Detail.size() && (static_cast<uint8_t>(m_Detail[len]) & 0xC0) == 0x80) --len;
    std::memcpy(p + KCOM_JOIN_DETAIL, m_Detail.data(), len);
}

}  // namespace wavory::kccl
