#include "store/StoreWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wavory {

CStoreWatch::CStoreWatch(const std::string& dbFile) {
    const size_t slash = dbFile.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : dbFile.substr(0, slash == 0 ? 1 : slash);
    m_strBaseName = slash == std::string::npos ? dbFile : dbFile.substr(slash + 1);
    m_nFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_nFd < 0) return;
    // A commit writes the WAL (or the journal, then removes it); a restore may replace the file.
    constexpr uint32_t kMask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO |
                               IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(m_nFd, folder.c_str(), kMask) < 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}

CStoreWatch::~CStoreWatch() {
    if (m_nFd >= 0) ::close(m_nFd);
}

bool CStoreWatch::Drain() {
    if (m_nFd < 0) return true;
    bool relevant = false;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_nFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
            // Events about the folder itself (no name) or a lost queue count as well: look.
            const bool named = event->len > 0;
            if (!named || (event->mask & IN_Q_OVERFLOW) ||
                std::strncmp(event->name, m_strBaseName.c_str(), m_strBaseName.size()) == 0)
                relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return relevant;
}

}  // namespace wavory
