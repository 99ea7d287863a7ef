#include "JoinLock.h"

#include <fcntl.h>
#include <net/if.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "RealFormat.h"
#include "Refusal.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRetry = std::chrono::milliseconds(50);

// A folder that is the user's own and closed to everybody else, made so where it is missing.
bool PrivateFolder(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        error = path + " is not a folder of this user's (remove it, or set XDG_RUNTIME_DIR)";
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        error = path + " is open to other users and cannot be closed: " + std::strerror(errno);
        return false;
    }
    return true;
}

// The process named in a lock file (its holder writes it once it has the lock); 0 when unknown.
long Holder(int fd) {
    char text[24] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    std::string digits(text, static_cast<size_t>(n));
    digits = digits.substr(0, digits.find('\n'));
    return static_cast<long>(ParseNumber(digits, 10, INT32_MAX).value_or(0));
}

}  // namespace

std::string CJoinLock::Folder(std::string& error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid()) {
        const std::string folder = std::string(runtime) + "/wavory";
        if (PrivateFolder(folder, error)) return folder;
        return {};
    }
    const std::string folder = "/tmp/wavory-" + std::to_string(::geteuid());
    return PrivateFolder(folder, error) ? folder : std::string();
}

CJoinLock::EResult CJoinLock::Take(const std::string& ifname, std::chrono::milliseconds wait,
                                   const CJoinContext* context) {
    Release();
    m_Reason.clear();
    if (ifname.empty() || ifname.size() >= IFNAMSIZ || ifname.find('/') != std::string::npos ||
        ifname == "." || ifname == "..") {
        m_Reason = "\"" + ifname + "\" is no interface name";
        return EResult::Failed;
    }
    std::string error;
    const std::string folder = Folder(error);
    if (folder.empty()) {
        m_Reason = "no private folder for the join lock: " + error;
        return EResult::Failed;
    }
    const std::string path = folder + "/join-" + ifname + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_Reason = path + ": " + std::strerror(errno);
        return EResult::Failed;
    }
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_Reason = path + ": " + std::strerror(errno);
            ::close(fd);
            return EResult::Failed;
        }
        const bool stopped = context && context->Stopping();
        if (stopped || Clock::now() >= deadline) {
            const long holder = Holder(fd);
            m_Reason = "another program is joining on " + ifname +
                       (holder > 0 ? " (process " + std::to_string(holder) + ")" : std::string());
            ::close(fd);
            return stopped ? EResult::Stopped : EResult::Busy;
        }
        if (context)
            context->Sleep(kRetry);
        else
            ::usleep(static_cast<useconds_t>(std::chrono::microseconds(kRetry).count()));
    }
    // Who holds it, for the message of an attempt that finds it taken.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) m_Reason.clear();
    m_fd = fd;
    return EResult::Taken;
}

std::optional<SJoinOutcome> LockForJoin(CJoinLock& lock, const std::string& ifname,
                                        std::chrono::milliseconds wait, const CJoinContext& context) {
    const CJoinLock::EResult result = lock.Take(ifname, wait, &context);
    if (result == CJoinLock::EResult::Taken) return std::nullopt;
    SJoinOutcome outcome;
    outcome.status = kStatusFailed;
    outcome.detail = lock.Reason();
    outcome.cause = result == CJoinLock::EResult::Stopped ? KCOM_CAUSE_CANCELLED
                    : result == CJoinLock::EResult::Busy  ? KCOM_CAUSE_BUSY
                                                          : KCOM_CAUSE_NONE;
    return outcome;
}

void CJoinLock::Release() {
    if (m_fd < 0) return;
    // Nobody is named any more: the file stays (removing it would race with a process about to
    // lock the same file).
    [[maybe_unused]] const int r = ::ftruncate(m_fd, 0);
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace wavory::kccl
