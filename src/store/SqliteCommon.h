// What the parts of the SQLite store share: the value kinds as stored, statement helpers, and the
// mapping of SQLite's result codes to the store's error codes. Internal to src/store.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Registry.h"

namespace wavory::sqlite {

constexpr int kTypeSz = 1;     // REG_SZ
constexpr int kTypeDword = 4;  // REG_DWORD, little-endian
constexpr int64_t kRootKey = 1;
constexpr int64_t kNoKey = 0;
constexpr int64_t kBadPath = -1;

// The tables: keys (parent, name) and values (key, name, kind, bytes); names compare without regard
// to ASCII case. user_version holds the layout's number.
extern const char* const kSchemaSql;

// The parts of a key path; false for an empty part ("Import\\" or "\\Profile 0").
bool SplitPath(std::string_view path, std::vector<std::string_view>& parts);
// Digit runs compare by value, so that "Profile 10" follows "Profile 9".
bool NaturalLess(std::string_view a, std::string_view b);

std::string DwordBytes(uint32_t v);
std::optional<uint32_t> DwordOf(const std::string& bytes);
std::string ColumnBytes(sqlite3_stmt* stmt, int col);
void BindText(sqlite3_stmt* stmt, int col, std::string_view text);
void BindBlob(sqlite3_stmt* stmt, int col, std::string_view data);

// The store's error code for an SQLite result: a full disk, a read-only file, another program's
// lock, a damaged file; any other failure is a write fault.
int RegErrorOf(int sqliteResult);
bool IsDamage(int sqliteResult);

// Kills (or stops) the process just before a write step, when a test asked for it at this step:
// WAVORY_STORE_KILL_AT=n sends SIGKILL, WAVORY_STORE_STOP_AT=n SIGSTOP (the write lock stays held).
void WriteStep();
void SetKillAtWrite(int step);

// Resets the statement when the scope ends, whatever happened to it.
class CStmtUse {
public:
    explicit CStmtUse(sqlite3_stmt* stmt) : m_pStmt(stmt) {}
    ~CStmtUse() {
        if (m_pStmt) {
            sqlite3_reset(m_pStmt);
            sqlite3_clear_bindings(m_pStmt);
        }
    }
    CStmtUse(const CStmtUse&) = delete;
    CStmtUse& operator=(const CStmtUse&) = delete;
    explicit operator bool() const { return m_pStmt != nullptr; }

private:
    sqlite3_stmt* m_pStmt;
};

}  // namespace wavory::sqlite
