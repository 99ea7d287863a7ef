// One window per user: the window holds this lock while it runs, and a second window is refused.
// (The settings store needs no lock of its own: every change is a transaction, and the window
// notices another program's changes.)
//
// The lock is an advisory file lock (flock) on a file in the settings folder. The system drops it when
// its holder ends, also on a crash, so no stale lock survives. A holder writes its owner word and
// process id into the file; another process reads them to tell who holds it.
#pragma once

#include <chrono>
#include <string>

namespace wavory {

class CInstanceLock {
public:
    // Owner words written by the two programs.
    static constexpr const char* kWindowOwner = "window";
    static constexpr const char* kCommandLineOwner = "wavoryctl";

    // "wavory.lock" in the folder of the user's settings file ($XDG_CONFIG_HOME/Wavory).
    static std::string DefaultPath();

    explicit CInstanceLock(std::string owner, std::string path = DefaultPath());
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Takes the lock without waiting; true when this object holds it (also when it already did).
    // False when another process or another CInstanceLock object holds it, or the file cannot be
    // opened (Error() tells why).
    bool TryLock();
    // Retries TryLock until the timeout has passed.
    bool Lock(std::chrono::milliseconds timeout);
    void Unlock();
    bool IsLocked() const { return m_nFd >= 0; }

    // Owner word of the current holder as it wrote it ("window", "wavoryctl"); empty when the lock
    // is free or the holder has not written it yet.
    std::string HolderOwner() const;

    const std::string& Path() const { return m_strPath; }
    const std::string& Error() const { return m_strError; }

private:
    std::string m_strOwner;
    std::string m_strPath;
    std::string m_strError;
    int m_nFd = -1;
};

}  // namespace wavory
