#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstring>
#include <thread>

namespace wavory {

namespace {

constexpr const char* kLockFileName = "wavory.lock";
constexpr std::chrono::milliseconds kRetryPause{50};

int OpenLockFile(const std::string& path, std::string* error) {
    // Close-on-exec: a program the holder starts must not keep the lock alive after the holder ends.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return fd;
}

}  // namespace

std::string CInstanceLock::DefaultPath() {
    // The same folder the settings store uses: ask QSettings where the user's file lives.
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Wavory"),
                          QStringLiteral("Wavory Utility"));
    const QString folder = QFileInfo(probe.fileName()).absolutePath();
    return QDir(folder).filePath(QString::fromLatin1(kLockFileName)).toStdString();
}

CInstanceLock::CInstanceLock(std::string owner, std::string path)
    : m_strOwner(std::move(owner)), m_strPath(std::move(path)) {}

CInstanceLock::~CInstanceLock() { Unlock(); }

bool CInstanceLock::TryLock() {
    if (m_nFd >= 0) return true;
    m_strError.clear();
    const QString folder = QFileInfo(QString::fromStdString(m_strPath)).absolutePath();
    if (!QDir().mkpath(folder)) {
        m_strError = "cannot create the folder " + folder.toStdString();
        return false;
    }
    const int fd = OpenLockFile(m_strPath, &m_strError);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno != EWOULDBLOCK) m_strError = "cannot lock " + m_strPath + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_nFd = fd;
    // Who holds it, for the message another program shows; a failed write only loses that hint.
    const std::string text = m_strOwner + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
    }
    return true;
}

bool CInstanceLock::Lock(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!TryLock()) {
        if (!m_strError.empty() || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kRetryPause);
    }
    return true;
}

void CInstanceLock::Unlock() {
    if (m_nFd < 0) return;
    // Emptied before release, so a reader never takes an old holder's word for a new one's.
    [[maybe_unused]] const int truncated = ::ftruncate(m_nFd, 0);
    ::flock(m_nFd, LOCK_UN);
    ::close(m_nFd);
    m_nFd = -1;
}

std::string CInstanceLock::HolderOwner() const {
    if (m_nFd >= 0) return m_strOwner;
    const int fd = ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string owner;
    // A shared lock succeeds only while nobody holds the exclusive one: then the lock is free.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else {
        char buf[128] = {};
        const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        if (n > 0) {
            owner.assign(buf, static_cast<std::size_t>(n));
            owner = owner.substr(0, owner.find_first_of(" \n"));
        }
    }
    ::close(fd);
    return owner;
}

}  // namespace wavory
