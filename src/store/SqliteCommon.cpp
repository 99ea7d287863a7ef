#include "store/SqliteCommon.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>

namespace wavory::sqlite {

namespace {

std::atomic<int> g_nKillAt{-1};  // -1: not read from the environment yet
std::atomic<int> g_nStopAt{-1};
std::atomic<int> g_nWriteSteps{0};

int StepFromEnvironment(std::atomic<int>& step, const char* name) {
    int at = step.load();
    if (at >= 0) return at;
    const char* env = std::getenv(name);
    int expected = -1;
    step.compare_exchange_strong(expected, env ? std::atoi(env) : 0);
    return step.load();
}

}  // namespace

const char* const kSchemaSql =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY,"
    " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name);"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, '');";

void WriteStep() {
    const int kill = StepFromEnvironment(g_nKillAt, "WAVORY_STORE_KILL_AT");
    const int stop = StepFromEnvironment(g_nStopAt, "WAVORY_STORE_STOP_AT");
    if (kill <= 0 && stop <= 0) return;
    const int step = ++g_nWriteSteps;
    if (step == kill) ::raise(SIGKILL);
    if (step == stop) ::raise(SIGSTOP);
}

void SetKillAtWrite(int step) {
    g_nWriteSteps = 0;
    g_nKillAt = step;
    StepFromEnvironment(g_nStopAt, "WAVORY_STORE_STOP_AT");
}

bool SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty()) return true;
    while (true) {
        const size_t sep = path.find('\\');
        const std::string_view part = path.substr(0, sep);
        if (part.empty()) return false;
        parts.push_back(part);
        if (sep == std::string_view::npos) return true;
        path.remove_prefix(sep + 1);
    }
}

bool NaturalLess(std::string_view a, std::string_view b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto digitRun = [&](std::string_view s, size_t& k) {
        const size_t start = k;
        while (k < s.size() && isDigit(s[k])) ++k;
        std::string_view run = s.substr(start, k - start);
        while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
        return run;
    };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::string_view x = digitRun(a, i), y = digitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i, ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

std::string DwordBytes(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::optional<uint32_t> DwordOf(const std::string& bytes) {
    if (bytes.size() != 4) return std::nullopt;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
    return v;
}

std::string ColumnBytes(sqlite3_stmt* stmt, int col) {
    const void* data = sqlite3_column_blob(stmt, col);
    const int size = sqlite3_column_bytes(stmt, col);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

void BindText(sqlite3_stmt* stmt, int col, std::string_view text) {
    sqlite3_bind_text(stmt, col, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* stmt, int col, std::string_view data) {
    // A zero-length blob must not be bound as NULL.
    sqlite3_bind_blob(stmt, col, data.empty() ? "" : data.data(), static_cast<int>(data.size()),
                      SQLITE_TRANSIENT);
}

bool IsDamage(int sqliteResult) {
    const int primary = sqliteResult & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

int RegErrorOf(int sqliteResult) {
    switch (sqliteResult & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return REG_OK;
        case SQLITE_FULL:
            return REG_ERROR_DISK_FULL;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return REG_ERROR_WRITE_PROTECT;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return REG_ERROR_BUSY;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return REG_ERROR_BADDB;
        default:  // an I/O error, or anything else that kept the change from the disk
            return REG_ERROR_WRITE_FAULT;
    }
}

}  // namespace wavory::sqlite
