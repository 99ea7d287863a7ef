// Notices of writes to the settings store's files by any program, from the kernel (inotify on the
// store's folder): a program with an event loop can then look at the store only after something was
// written there, instead of on every tick.
#pragma once

#include <string>

namespace wavory {

class CStoreWatch {
public:
    // Watches the folder of this database file for writes to it, its WAL and its journal.
    explicit CStoreWatch(const std::string& dbFile);
    ~CStoreWatch();
    CStoreWatch(const CStoreWatch&) = delete;
    CStoreWatch& operator=(const CStoreWatch&) = delete;

    // The descriptor that turns readable when a notice waits; -1 when the system gave no watch.
    int Fd() const { return m_nFd; }
    // Reads every waiting notice without blocking; true when one of them concerns the database.
    bool Drain();

private:
    int m_nFd = -1;
    std::string m_strBaseName;
};

}  // namespace wavory
