// The settings store: transactions, the cache of what was read, and failures.
#include <sqlite3.h>

#include <chrono>
#include <memory>

#include "store/SqliteCommon.h"
#include "store/SqliteRegistry.h"

namespace wavory {

using namespace sqlite;

int CSqliteRegistry::NoteFailure(int sqliteResult) const {
    const int code = RegErrorOf(sqliteResult);
    if (code != REG_OK) m_nLastError = code;
    return code;
}

void CSqliteRegistry::NoteReadFailure(int sqliteResult) const {
    const int code = NoteFailure(sqliteResult);
    if (code != REG_OK && m_nReadError == REG_OK)
        m_nReadError = code == REG_ERROR_BUSY ? code : REG_ERROR_BADDB;
}

int CSqliteRegistry::LastError() const {
    std::lock_guard lock(m_Mutex);
    return m_nLastError;
}

int CSqliteRegistry::TakeReadError() {
    std::lock_guard lock(m_Mutex);
    const int code = m_nReadError;
    m_nReadError = REG_OK;
    return code;
}

int CSqliteRegistry::Refusal() const {
    if (!m_pDb) return m_nLastError = REG_ERROR_BADDB;
    if (!m_strReadOnly.empty()) return m_nLastError = m_nReadOnlyCode;
    return REG_OK;
}

bool CSqliteRegistry::Begin() {
    const int rc = sqlite3_exec(m_pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        NoteFailure(rc);
        return false;
    }
    m_bInTxn = true;
    CheckVersion();
    return true;
}

bool CSqliteRegistry::Commit() {
    WriteStep();
    m_bInTxn = false;
    const int rc = sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        if (!m_RemovedSecrets.empty()) ScrubRemovedSecrets();
        return true;
    }
    NoteFailure(rc);
    Rollback();
    return false;
}

void CSqliteRegistry::Rollback() {
    m_bInTxn = false;
    m_RemovedSecrets.clear();  // nothing was removed
    if (sqlite3_get_autocommit(m_pDb) == 0) Exec("ROLLBACK");
    Forget();  // the cache holds the abandoned writes
}

int CSqliteRegistry::UpdateError() const {
    std::lock_guard lock(m_Mutex);
    return m_nUpdateDepth > 0 && m_bUpdateFailed
               ? (m_nLastError != REG_OK ? m_nLastError : REG_ERROR_WRITE_FAULT)
               : REG_OK;
}

int CSqliteRegistry::Change(const std::function<int()>& change) {
    if (const int refused = Refusal(); refused != REG_OK) {
        if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
        return refused;
    }
    if (m_nUpdateDepth > 0) {
        // A group whose transaction could not start (or failed) stores nothing more.
        if (!m_bInTxn || m_bUpdateFailed) {
            m_bUpdateFailed = true;
            return m_bInTxn ? REG_ERROR_WRITE_FAULT : m_nLastError;
        }
        const int rc = change();
        if (rc != REG_OK) m_bUpdateFailed = true;
        return rc;
    }
    if (!Begin()) return m_nLastError;
    const int rc = change();
    if (rc != REG_OK) {
        Rollback();
        return rc;
    }
    return Commit() ? REG_OK : m_nLastError;
}

void CSqliteRegistry::Validate() const {
    if (m_bInTxn || m_nReadDepth > 0 || !MayHaveChanged()) return;
    CheckVersion();
}

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool CSqliteRegistry::MayHaveChanged() const {
    return !m_pWatch || m_bNoticePending.load() || SteadyMs() < m_nLookUntilMs.load();
}

int CSqliteRegistry::WatchChanges() {
    std::lock_guard lock(m_Mutex);
    if (!m_pDb) return -1;
    if (!m_pWatch) {
        auto watch = std::make_unique<CStoreWatch>(m_strFileName);
        if (watch->Fd() < 0) return -1;
        m_pWatch = std::move(watch);
        m_bNoticePending = true;  // whatever happened before the watch
    }
    return m_pWatch->Fd();
}

void CSqliteRegistry::ChangesNoticed() {
    // Only the event loop's thread reads the notices; the time is read by every reader.
    if (!m_pWatch || !m_pWatch->Drain()) return;
    m_nLookUntilMs = SteadyMs() + m_nLookAfterNoticeMs.load();
    m_bNoticePending = true;
}

void CSqliteRegistry::CheckVersion() const {
    m_bNoticePending = false;
    sqlite3_stmt* stmt = Stmt("PRAGMA data_version");
    if (!stmt) return;
    CStmtUse use(stmt);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) {
        NoteReadFailure(rc);
        Forget();
        return;
    }
    const int64_t version = sqlite3_column_int64(stmt, 0);
    if (version == m_nDataVersion) return;
    if (m_nDataVersion >= 0) ++m_nChangeCount;
    m_nDataVersion = version;
    Forget();
}

void CSqliteRegistry::Forget() const {
    m_KeyIds.clear();
    m_Values.clear();
}

void CSqliteRegistry::ForgetKey(std::string_view path, int64_t id) const {
    // The key's own entries, and those of every path below it (the cascade took them too).
    for (auto it = m_KeyIds.begin(); it != m_KeyIds.end();) {
        const std::string& known = it->first;
        const bool below = known.size() > path.size() && known[path.size()] == '\\' &&
                           RegNameEqual(std::string_view(known).substr(0, path.size()), path);
        if (below || RegNameEqual(known, path)) {
            m_Values.erase(it->second);
            it = m_KeyIds.erase(it);
        } else {
            ++it;
        }
    }
    m_Values.erase(id);
}

void CSqliteRegistry::BeginUpdate() {
    m_Mutex.lock();  // held until the matching EndUpdate
    if (m_nUpdateDepth++ > 0) return;
    m_bUpdateFailed = false;
    if (m_bDiscardWrites) return;
    if (Refusal() != REG_OK || !Begin()) m_bUpdateFailed = true;
}

bool CSqliteRegistry::EndUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth == 0) return false;
    bool ok = !m_bUpdateFailed;
    if (--m_nUpdateDepth == 0) {
        if (m_bDiscardWrites) {
            ok = true;
        } else if (m_bInTxn) {
            if (ok) {
                ok = Commit();
            } else {
                Rollback();
            }
        } else {
            ok = false;
        }
    }
    m_Mutex.unlock();  // the one of BeginUpdate
    return ok;
}

void CSqliteRegistry::CancelUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
}

void CSqliteRegistry::BeginRead() {
    std::lock_guard lock(m_Mutex);
    if (m_nReadDepth++ == 0 && !m_bInTxn && MayHaveChanged()) CheckVersion();
}

void CSqliteRegistry::EndRead() {
    std::lock_guard lock(m_Mutex);
    if (m_nReadDepth > 0) --m_nReadDepth;
}

uint64_t CSqliteRegistry::ChangeCount() {
    std::lock_guard lock(m_Mutex);
    Validate();
    return m_nChangeCount;
}

}  // namespace wavory
