#include "store/HistoryDb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "store/SqliteCommon.h"
#include "store/StoreFiles.h"

namespace wavory {

namespace {

constexpr int kLayout = 1;
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS events ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER NOT NULL, kind TEXT NOT NULL,"
    " ssid BLOB NOT NULL DEFAULT x'', bssid TEXT NOT NULL DEFAULT '', freq INTEGER NOT NULL DEFAULT 0,"
    " signal INTEGER NOT NULL DEFAULT 0, security TEXT NOT NULL DEFAULT '', control TEXT NOT NULL DEFAULT '',"
    " prev_bssid TEXT NOT NULL DEFAULT '', prev_freq INTEGER NOT NULL DEFAULT 0,"
    " prev_signal INTEGER NOT NULL DEFAULT 0, outcome TEXT NOT NULL DEFAULT '',"
    " cause TEXT NOT NULL DEFAULT '', duration_ms INTEGER NOT NULL DEFAULT 0,"
    " initiator TEXT NOT NULL DEFAULT '', reason INTEGER NOT NULL DEFAULT 0, detail TEXT NOT NULL DEFAULT '',"
    " signal_min INTEGER NOT NULL DEFAULT 0, signal_mean INTEGER NOT NULL DEFAULT 0,"
    " signal_max INTEGER NOT NULL DEFAULT 0, tx_kbps INTEGER NOT NULL DEFAULT 0,"
    " rx_kbps INTEGER NOT NULL DEFAULT 0, key TEXT UNIQUE);"
    "CREATE INDEX IF NOT EXISTS events_time ON events(time_ms);"
    "CREATE INDEX IF NOT EXISTS events_state ON events(kind, id) WHERE kind IN ('connect','roam','disconnect');"
    "CREATE INDEX IF NOT EXISTS events_link ON events(id) WHERE kind = 'link';";

constexpr const char* kColumns =
    "id, time_ms, kind, ssid, bssid, freq, signal, security, control, prev_bssid, prev_freq, prev_signal,"
    " outcome, cause, duration_ms, initiator, reason, detail, signal_min, signal_mean, signal_max, tx_kbps,"
    " rx_kbps, key";

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Text(sqlite3_stmt* stmt, int col) { return sqlite::ColumnBytes(stmt, col); }

// Finalizes the statement when the scope ends.
struct SStmt {
    sqlite3_stmt* stmt = nullptr;
    ~SStmt() { sqlite3_finalize(stmt); }
};

SHistoryEvent ReadRow(sqlite3_stmt* stmt) {
    SHistoryEvent e;
    int c = 0;
    e.id = sqlite3_column_int64(stmt, c++);
    e.timeMs = sqlite3_column_int64(stmt, c++);
    e.kind = HistoryKindFromKey(Text(stmt, c++)).value_or(SHistoryEvent::EKind::Connect);
    e.ssid = Text(stmt, c++);
    e.bssid = Text(stmt, c++);
    e.freqMHz = sqlite3_column_int(stmt, c++);
    e.signalDbm = sqlite3_column_int(stmt, c++);
    e.security = Text(stmt, c++);
    e.control = Text(stmt, c++);
    e.prevBssid = Text(stmt, c++);
    e.prevFreqMHz = sqlite3_column_int(stmt, c++);
    e.prevSignalDbm = sqlite3_column_int(stmt, c++);
    e.outcome = Text(stmt, c++);
    e.cause = Text(stmt, c++);
    e.durationMs = sqlite3_column_int64(stmt, c++);
    e.initiator = Text(stmt, c++);
    e.reason = sqlite3_column_int(stmt, c++);
    e.detail = Text(stmt, c++);
    e.signalMin = sqlite3_column_int(stmt, c++);
    e.signalMean = sqlite3_column_int(stmt, c++);
    e.signalMax = sqlite3_column_int(stmt, c++);
    e.txKbps = sqlite3_column_int64(stmt, c++);
    e.rxKbps = sqlite3_column_int64(stmt, c++);
    e.key = Text(stmt, c++);
    return e;
}

}  // namespace

std::string CHistoryDb::DefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/state";
    }
    return base + "/wavory/history.db";
}

CHistoryDb::CHistoryDb(std::string path) : m_strPath(std::move(path)) {
    if (Open()) return;
    // A file SQLite cannot read as a database is set aside, kept for the user, and a new one begun.
    const bool damaged = m_pDb == nullptr && !m_strError.empty() && m_strError.find("damaged") != std::string::npos;
    if (!damaged) return;
    const std::string aside = m_strPath + ".damaged-" + std::to_string(NowMs() / 1000);
    if (::rename(m_strPath.c_str(), aside.c_str()) != 0) {
        m_strError = "the connection history file " + m_strPath + " is damaged and could not be moved aside: " +
                     std::strerror(errno);
        return;
    }
    ::unlink((m_strPath + "-wal").c_str());
    ::unlink((m_strPath + "-shm").c_str());
    m_strError.clear();
    if (Open()) {
        m_strNotice = "the connection history file was damaged: it was moved to " + aside + " and a new history begun";
        m_strError = m_strNotice;  // told until the first event is written
    }
}

CHistoryDb::~CHistoryDb() { sqlite3_close_v2(m_pDb); }

bool CHistoryDb::Fail(const std::string& what) {
    const int code = m_pDb ? sqlite3_errcode(m_pDb) : SQLITE_CANTOPEN;
    m_strError = what + ": " + (m_pDb ? sqlite3_errmsg(m_pDb) : "cannot open") +
                 (sqlite::IsDamage(code) ? " (the file is damaged)" : "");
    return false;
}

bool CHistoryDb::Exec(const char* sql) { return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool CHistoryDb::Open() {
    const std::size_t slash = m_strPath.rfind('/');
    std::string error;
    if (slash != std::string::npos && slash > 0 && !PreparePrivateFolder(m_strPath.substr(0, slash), error)) {
        m_strError = error;
        return false;
    }
    if (!PreparePrivateFile(m_strPath, true, error)) {
        m_strError = error;
        return false;
    }
    const int rc = sqlite3_open_v2(m_strPath.c_str(), &m_pDb,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX, nullptr);
    bool ok = rc == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(m_pDb, kBusyTimeoutMs);
        sqlite3_stmt* stmt = nullptr;
        int layout = -1;
        // A file that is no database fails here, before anything is written to it.
        if (sqlite3_prepare_v2(m_pDb, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            layout = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
        ok = layout >= 0;
        if (ok && layout > kLayout) {
            m_strError = "the connection history file " + m_strPath + " was written by a newer version of this utility";
            sqlite3_close_v2(m_pDb);
            m_pDb = nullptr;
            return false;
        }
        ok = ok && Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") &&
             // A small file: its log is folded in every 256 pages and kept at 1 MiB at most.
             Exec("PRAGMA wal_autocheckpoint=256") && Exec("PRAGMA journal_size_limit=1048576") && Exec(kSchema) &&
             Exec("PRAGMA user_version=1");
    }
    if (!ok) {
        Fail("the connection history file " + m_strPath + " cannot be used");
        if (rc == SQLITE_OK && m_strError.find("damaged") == std::string::npos &&
            (sqlite3_errcode(m_pDb) == SQLITE_NOTADB || sqlite3_errcode(m_pDb) == SQLITE_CORRUPT))
            m_strError += " (the file is damaged)";
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
        return false;
    }
    return true;
}

bool CHistoryDb::AlreadyThere(const SHistoryEvent& event, bool* there, int64_t* untold) {
    *there = false;
    *untold = 0;
    SStmt q;
    if (sqlite3_prepare_v2(m_pDb,
                           "SELECT kind, ssid, bssid, id, initiator FROM events"
                           " WHERE kind IN ('connect','roam','disconnect') ORDER BY id DESC LIMIT 1",
                           -1, &q.stmt, nullptr) != SQLITE_OK)
        return Fail("the connection history could not be read");
    const int rc = sqlite3_step(q.stmt);
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return Fail("the connection history could not be read");
    const std::string kind = Text(q.stmt, 0), ssid = Text(q.stmt, 1), bssid = Text(q.stmt, 2);
    if (event.kind == SHistoryEvent::EKind::Disconnect) {
        *there = kind == "disconnect" && ssid == event.ssid;
        // Written when the link was seen gone, before the adapter told who ended it and why.
        if (*there && Text(q.stmt, 4) == "unknown") *untold = sqlite3_column_int64(q.stmt, 3);
    } else {
        *there = kind != "disconnect" && ssid == event.ssid && bssid == event.bssid;
    }
    return true;
}

bool CHistoryDb::Add(const SHistoryEvent& e) {
    if (!m_pDb) return false;
    m_strError.clear();
    if (!Exec("BEGIN IMMEDIATE")) return Fail("the connection history could not be written");
    struct SRollback {
        CHistoryDb* db;
        bool done = false;
        ~SRollback() {
            if (!done) db->Exec("ROLLBACK");
        }
    } rollback{this};

    if (e.kind == SHistoryEvent::EKind::Connect || e.kind == SHistoryEvent::EKind::Roam ||
        e.kind == SHistoryEvent::EKind::Disconnect) {
        bool there = false;
        int64_t untold = 0;
        if (!AlreadyThere(e, &there, &untold)) return false;
        if (there && untold != 0 && e.initiator != "unknown") {
            // The same disconnect, now with the adapter's account of it: that account replaces the guess.
            SStmt tell;
            if (sqlite3_prepare_v2(m_pDb,
                                   "UPDATE events SET initiator = ?1, reason = ?2, detail = ?3,"
                                   " bssid = CASE WHEN ?4 = '' THEN bssid ELSE ?4 END WHERE id = ?5",
                                   -1, &tell.stmt, nullptr) != SQLITE_OK)
                return Fail("the connection history could not be written");
            sqlite::BindText(tell.stmt, 1, e.initiator);
            sqlite3_bind_int(tell.stmt, 2, e.reason);
            sqlite::BindText(tell.stmt, 3, e.detail);
            sqlite::BindText(tell.stmt, 4, e.bssid);
            sqlite3_bind_int64(tell.stmt, 5, untold);
            if (sqlite3_step(tell.stmt) != SQLITE_DONE) return Fail("the connection history could not be written");
        }
        if (there) {
            rollback.done = Exec("COMMIT");
            return rollback.done || Fail("the connection history could not be written");
        }
    }
    SStmt ins;
    const std::string sql = std::string("INSERT OR IGNORE INTO events (") + (kColumns + 4) +
                            ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    if (sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &ins.stmt, nullptr) != SQLITE_OK)
        return Fail("the connection history could not be written");
    int c = 1;
    sqlite3_bind_int64(ins.stmt, c++, e.timeMs ? e.timeMs : NowMs());
    sqlite::BindText(ins.stmt, c++, HistoryKindKey(e.kind));
    sqlite::BindBlob(ins.stmt, c++, e.ssid);
    sqlite::BindText(ins.stmt, c++, e.bssid);
    sqlite3_bind_int(ins.stmt, c++, e.freqMHz);
    sqlite3_bind_int(ins.stmt, c++, e.signalDbm);
    sqlite::BindText(ins.stmt, c++, e.security);
    sqlite::BindText(ins.stmt, c++, e.control);
    sqlite::BindText(ins.stmt, c++, e.prevBssid);
    sqlite3_bind_int(ins.stmt, c++, e.prevFreqMHz);
    sqlite3_bind_int(ins.stmt, c++, e.prevSignalDbm);
    sqlite::BindText(ins.stmt, c++, e.outcome);
    sqlite::BindText(ins.stmt, c++, e.cause);
    sqlite3_bind_int64(ins.stmt, c++, e.durationMs);
    sqlite::BindText(ins.stmt, c++, e.initiator);
    sqlite3_bind_int(ins.stmt, c++, e.reason);
    sqlite::BindText(ins.stmt, c++, e.detail);
    sqlite3_bind_int(ins.stmt, c++, e.signalMin);
    sqlite3_bind_int(ins.stmt, c++, e.signalMean);
    sqlite3_bind_int(ins.stmt, c++, e.signalMax);
    sqlite3_bind_int64(ins.stmt, c++, e.txKbps);
    sqlite3_bind_int64(ins.stmt, c++, e.rxKbps);
    if (e.key.empty())
        sqlite3_bind_null(ins.stmt, c++);
    else
        sqlite::BindText(ins.stmt, c++, e.key);
    if (sqlite3_step(ins.stmt) != SQLITE_DONE) return Fail("the connection history could not be written");

    // The bounds, the oldest going first: events by age and count, the minutes' summaries (one a
    // minute while connected) by their own, so that they never crowd the events out.
    const bool link = e.kind == SHistoryEvent::EKind::Link;
    SStmt prune;
    if (sqlite3_prepare_v2(m_pDb,
                           link ? "DELETE FROM events WHERE kind = 'link' AND (time_ms < ?1 OR id IN (SELECT id FROM "
                                  "events WHERE kind = 'link' ORDER BY id DESC LIMIT -1 OFFSET ?2))"
                                : "DELETE FROM events WHERE kind != 'link' AND (time_ms < ?1 OR id IN (SELECT id FROM "
                                  "events WHERE kind != 'link' ORDER BY id DESC LIMIT -1 OFFSET ?2))",
                           -1, &prune.stmt, nullptr) != SQLITE_OK)
        return Fail("the connection history could not be written");
    sqlite3_bind_int64(prune.stmt, 1, NowMs() - (link ? m_nMaxLinkAgeMs : m_nMaxAgeMs));
    sqlite3_bind_int64(prune.stmt, 2, link ? m_nMaxLinks : m_nMaxEvents);
    if (sqlite3_step(prune.stmt) != SQLITE_DONE) return Fail("the connection history could not be written");
    rollback.done = Exec("COMMIT");
    return rollback.done || Fail("the connection history could not be written");
}

std::vector<SHistoryEvent> CHistoryDb::Query(const SHistoryQuery& query) {
    std::vector<SHistoryEvent> events;
    if (!m_pDb) return events;
    std::string sql = std::string("SELECT ") + kColumns + " FROM events WHERE time_ms >= ?1 AND id > ?2";
    if (query.ssid) sql += " AND ssid = ?3";
    sql += " ORDER BY id DESC";
    if (query.limit > 0) sql += " LIMIT " + std::to_string(query.limit);
    SStmt q;
    if (sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &q.stmt, nullptr) != SQLITE_OK) {
        Fail("the connection history could not be read");
        return events;
    }
    sqlite3_bind_int64(q.stmt, 1, query.sinceMs);
    sqlite3_bind_int64(q.stmt, 2, query.afterId);
    if (query.ssid) sqlite::BindBlob(q.stmt, 3, *query.ssid);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) events.push_back(ReadRow(q.stmt));
    if (rc != SQLITE_DONE) Fail("the connection history could not be read");
    return {events.rbegin(), events.rend()};
}

int64_t CHistoryDb::Count() {
    if (!m_pDb) return 0;
    SStmt q;
    if (sqlite3_prepare_v2(m_pDb, "SELECT count(*) FROM events", -1, &q.stmt, nullptr) != SQLITE_OK ||
        sqlite3_step(q.stmt) != SQLITE_ROW)
        return 0;
    return sqlite3_column_int64(q.stmt, 0);
}

}  // namespace wavory
