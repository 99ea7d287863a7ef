// The settings store: keys and values, whole subtrees, export and import of a key.
#include <sqlite3.h>

#include <algorithm>
#include <optional>

#include "base/RegistrySchema.h"
#include "store/RegFile.h"
#include "store/SqliteCommon.h"
#include "store/SqliteRegistry.h"
#include "store/StoreCopies.h"

namespace wavory {

using namespace sqlite;

namespace {

// Values the utility knows come first, in the order of its table; others follow by name.
bool ValueOrderLess(const SRegNamedValue& a, const SRegNamedValue& b) {
    auto rank = [](const std::string& name) {
        const SRegSchemaEntry* e = FindSchemaEntry(name);
        return e ? e - RegistrySchema().data() : static_cast<std::ptrdiff_t>(RegistrySchema().size());
    };
    const auto ra = rank(a.name), rb = rank(b.name);
    return ra != rb ? ra < rb : NaturalLess(a.name, b.name);
}

// An export without secrets: the values the schema marks secret go, wherever they stand.
void LeaveOutSecrets(SRegKey& key) {
    std::erase_if(key.values, [](const SRegNamedValue& v) {
        const SRegSchemaEntry* e = FindSchemaEntryNoCase(v.name);
        return e && (e->flags & kFieldSecret) != 0;
    });
    for (SRegKey& sub : key.subkeys) LeaveOutSecrets(sub);
}

}  // namespace

// ---- Keys and values ----

int64_t CSqliteRegistry::FindKey(std::string_view path) const {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, parts)) return kBadPath;
    if (parts.empty()) return kRootKey;
    if (auto it = m_KeyIds.find(path); it != m_KeyIds.end()) return it->second;
    int64_t id = kRootKey;
    sqlite3_stmt* stmt = Stmt("SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    for (std::string_view part : parts) {
        CStmtUse use(stmt);
        if (!use) return kNoKey;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, part);
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) {
            // A failed read says nothing about the key, and is not remembered as its absence.
            if (rc != SQLITE_DONE) {
                NoteReadFailure(rc);
                return kNoKey;
            }
            id = kNoKey;
            break;
        }
        id = sqlite3_column_int64(stmt, 0);
    }
    m_KeyIds.emplace(std::string(path), id);
    return id;
}

int64_t CSqliteRegistry::EnsureKey(std::string_view path) {
    const int64_t found = FindKey(path);
    if (found != kNoKey) return found;
    std::vector<std::string_view> parts;
    SplitPath(path, parts);
    int64_t id = kRootKey;
    std::string sofar;
    for (std::string_view part : parts) {
        sofar += sofar.empty() ? "" : "\\";
        sofar += part;
        const int64_t existing = FindKey(sofar);
        if (existing > 0) {
            id = existing;
            continue;
        }
        sqlite3_stmt* stmt = Stmt("INSERT INTO keys(parent, name) VALUES(?1, ?2)");
        CStmtUse use(stmt);
        if (!use) return kNoKey;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, part);
        if (!StepChange(stmt)) return kNoKey;
        id = sqlite3_last_insert_rowid(m_pDb);
        m_KeyIds[sofar] = id;
        m_Values[id];  // a new key holds nothing yet
    }
    return id;
}

bool CSqliteRegistry::StepChange(sqlite3_stmt* stmt) {
    WriteStep();
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return true;
    NoteFailure(rc);
    return false;
}

const CSqliteRegistry::ValueMap& CSqliteRegistry::ValuesOf(int64_t key) const {
    static const ValueMap kNone;
    if (auto it = m_Values.find(key); it != m_Values.end()) return it->second;
    sqlite3_stmt* stmt = Stmt("SELECT name, type, data FROM vals WHERE key = ?1");
    CStmtUse use(stmt);
    if (!use) return kNone;
    ValueMap values;
    sqlite3_bind_int64(stmt, 1, key);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        values[ColumnBytes(stmt, 0)] = {sqlite3_column_int(stmt, 1), ColumnBytes(stmt, 2)};
    }
    if (rc != SQLITE_DONE) {
        NoteReadFailure(rc);
        return kNone;  // part of a key is not the key: nothing is kept
    }
    return m_Values.emplace(key, std::move(values)).first->second;
}

const CSqliteRegistry::SStored* CSqliteRegistry::FindValue(std::string_view section,
                                                           std::string_view entry) const {
    Validate();
    const int64_t key = FindKey(section);
    if (key <= 0) return nullptr;
    const ValueMap& values = ValuesOf(key);
    auto it = values.find(entry);
    return it == values.end() ? nullptr : &it->second;
}

int CSqliteRegistry::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
    std::lock_guard lock(m_Mutex);
    const SStored* v = FindValue(section, entry);
    if (!v) return def;
    std::optional<uint32_t> dword;
    if (v->type == kTypeDword) {
        dword = DwordOf(v->data);
    } else if (v->type == kTypeSz) {
        dword = ParseDwordText(v->data);
    }
    return dword ? static_cast<int>(*dword) : def;
}

std::string CSqliteRegistry::GetProfileString(std::string_view section, std::string_view entry,
                                              std::string_view def) const {
    std::lock_guard lock(m_Mutex);
    const SStored* v = FindValue(section, entry);
    return v && v->type == kTypeSz ? v->data : std::string(def);
}

bool CSqliteRegistry::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    const SRegWrite write{entry, ERegType::Dword, static_cast<uint32_t>(value), {}};
    return WriteValues(section, std::span(&write, 1));
}

bool CSqliteRegistry::WriteProfileString(std::string_view section, std::string_view entry,
                                         std::string_view value) {
    const SRegWrite write{entry, ERegType::Sz, 0, value};
    return WriteValues(section, std::span(&write, 1));
}

// Values stored as they are need no write: saving a profile then costs only what changed.
bool CSqliteRegistry::WriteValues(std::string_view section, std::span<const SRegWrite> values) {
    std::lock_guard lock(m_Mutex);
    if (m_bDiscardWrites) return true;
    std::vector<std::string_view> parts;
    const bool named =
        std::all_of(values.begin(), values.end(), [](const SRegWrite& w) { return !w.name.empty(); });
    if (!named || !SplitPath(section, parts)) {
        if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
        return false;
    }
    Validate();
    std::vector<const SRegWrite*> pending;
    std::vector<std::string> bytes;
    pending.reserve(values.size());
    bytes.reserve(values.size());
    const int64_t known = FindKey(section);
    const ValueMap* stored = known > 0 ? &ValuesOf(known) : nullptr;
    for (const SRegWrite& w : values) {
        std::string data = w.type == ERegType::Dword ? DwordBytes(w.dword) : std::string(w.text);
        const int type = w.type == ERegType::Dword ? kTypeDword : kTypeSz;
        if (stored) {
            auto v = stored->find(w.name);
            if (v != stored->end() && v->second.type == type && v->second.data == data) continue;
        }
        pending.push_back(&w);
        bytes.push_back(std::move(data));
    }
    if (pending.empty()) return true;
    // In the table's order (by name, without regard to case): the rows of a new key are appended
    // instead of each being squeezed between the others.
    std::vector<size_t> order(pending.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return RegNameLess(pending[a]->name, pending[b]->name); });
    const int rc = Change([&]() -> int {
        const int64_t key = EnsureKey(section);
        if (key <= 0) return m_nLastError != REG_OK ? m_nLastError : REG_ERROR_WRITE_FAULT;
        // A key made now is read from the database when it is wanted: many new keys at once (an
        // import) would otherwise hold every value twice.
        if (known <= 0) m_Values.erase(key);
        // Many rows to a statement: a profile is one statement, not thirty.
        auto cached = m_Values.find(key);
        for (size_t first = 0; first < order.size(); first += kRowsPerInsert) {
            const size_t rows = std::min(kRowsPerInsert, order.size() - first);
            sqlite3_stmt* stmt = InsertStmt(rows);
            CStmtUse use(stmt);
            if (!use) return REG_ERROR_WRITE_FAULT;
            sqlite3_bind_int64(stmt, 1, key);
            // The names and bytes outlive the statement's step: SQLite need not copy them.
            for (size_t r = 0; r < rows; ++r) {
                const size_t i = order[first + r];
                const int at = static_cast<int>(2 + 3 * r);
                sqlite3_bind_text(stmt, at, pending[i]->name.data(),
                                  static_cast<int>(pending[i]->name.size()), SQLITE_STATIC);
                sqlite3_bind_int(stmt, at + 1, pending[i]->type == ERegType::Dword ? kTypeDword : kTypeSz);
                sqlite3_bind_blob(stmt, at + 2, bytes[i].empty() ? "" : bytes[i].data(),
                                  static_cast<int>(bytes[i].size()), SQLITE_STATIC);
            }
            if (!StepChange(stmt)) return m_nLastError;
        }
        if (cached != m_Values.end()) {
            for (const size_t i : order) {
                const int type = pending[i]->type == ERegType::Dword ? kTypeDword : kTypeSz;
                cached->second.insert_or_assign(std::string(pending[i]->name),
                                                SStored{type, std::move(bytes[i])});
            }
        }
        return REG_OK;
    });
    return rc == REG_OK;
}

bool CSqliteRegistry::WriteDwordEach(std::string_view entry, std::span<const SRegDwordAt> writes) {
    std::lock_guard lock(m_Mutex);
    if (m_bDiscardWrites || writes.empty()) return true;
    std::vector<std::string_view> parts;
    const bool valid = !entry.empty() && std::all_of(writes.begin(), writes.end(), [&](const SRegDwordAt& w) {
        return SplitPath(w.section, parts);
    });
    if (!valid) {
        if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
        return false;
    }
    Validate();
    const int rc = Change([&]() -> int {
        for (const SRegDwordAt& w : writes) {
            const bool known = FindKey(w.section) > 0;
            const int64_t key = EnsureKey(w.section);
            if (key <= 0) return m_nLastError != REG_OK ? m_nLastError : REG_ERROR_WRITE_FAULT;
            if (!known) m_Values.erase(key);  // read from the database when it is wanted
            std::string bytes = DwordBytes(w.dword);
            sqlite3_stmt* stmt = InsertStmt(1);
            CStmtUse use(stmt);
            if (!use) return REG_ERROR_WRITE_FAULT;
            sqlite3_bind_int64(stmt, 1, key);
            sqlite3_bind_text(stmt, 2, entry.data(), static_cast<int>(entry.size()), SQLITE_STATIC);
            sqlite3_bind_int(stmt, 3, kTypeDword);
            sqlite3_bind_blob(stmt, 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
            if (!StepChange(stmt)) return m_nLastError;
            if (auto cached = m_Values.find(key); cached != m_Values.end())
                cached->second.insert_or_assign(std::string(entry), SStored{kTypeDword, std::move(bytes)});
        }
        return REG_OK;
    });
    return rc == REG_OK;
}

sqlite3_stmt* CSqliteRegistry::InsertStmt(size_t rows) const {
    if (!m_pDb || rows == 0 || rows > kRowsPerInsert) return nullptr;
    sqlite3_stmt*& stmt = m_InsertStmts[rows - 1];
    if (stmt) return stmt;
    std::string sql = "INSERT OR REPLACE INTO vals(key, name, type, data) VALUES";
    for (size_t r = 0; r < rows; ++r) sql += r == 0 ? "(?1, ?, ?, ?)" : ", (?1, ?, ?, ?)";
    const int rc = sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        NoteReadFailure(rc);
        stmt = nullptr;
    }
    return stmt;
}

bool CSqliteRegistry::KeyExists(std::string_view path) const {
    std::lock_guard lock(m_Mutex);
    Validate();
    return FindKey(path) > 0;
}

bool CSqliteRegistry::HasSubKeys(int64_t id) const {
    sqlite3_stmt* stmt = Stmt("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    CStmtUse use(stmt);
    if (!use) return false;
    sqlite3_bind_int64(stmt, 1, id);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) NoteReadFailure(rc);
    return rc == SQLITE_ROW;
}

// The subkeys' values not read yet come along in one more query: the profile manager reads every
// value of every profile section right after listing them, and one query is cheaper than one each.
std::vector<std::string> CSqliteRegistry::SubKeys(std::string_view path) const {
    std::lock_guard lock(m_Mutex);
    Validate();
    std::vector<std::string> names;
    const int64_t id = FindKey(path);
    if (id <= 0) return names;
    const std::string prefix = path.empty() ? std::string() : std::string(path) + '\\';
    size_t unread = 0;
    std::vector<int64_t> ids;
    {
        sqlite3_stmt* stmt = Stmt("SELECT id, name FROM keys WHERE parent = ?1");
        CStmtUse use(stmt);
        if (!use) return names;
        sqlite3_bind_int64(stmt, 1, id);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const int64_t child = sqlite3_column_int64(stmt, 0);
            names.push_back(ColumnBytes(stmt, 1));
            ids.push_back(child);
            m_KeyIds.insert_or_assign(prefix + names.back(), child);
            if (m_Values.count(child) == 0) ++unread;
        }
        if (rc != SQLITE_DONE) {
            NoteReadFailure(rc);
            return {};
        }
    }
    if (unread > 1) {
        sqlite3_stmt* stmt = Stmt(
            "SELECT v.key, v.name, v.type, v.data FROM keys k JOIN vals v ON v.key = k.id WHERE k.parent = "
            "?1");
        CStmtUse use(stmt);
        if (use) {
            sqlite3_bind_int64(stmt, 1, id);
            std::unordered_map<int64_t, ValueMap> fetched;
            int rc = SQLITE_ROW;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                fetched[sqlite3_column_int64(stmt, 0)].insert_or_assign(
                    ColumnBytes(stmt, 1), SStored{sqlite3_column_int(stmt, 2), ColumnBytes(stmt, 3)});
            }
            if (rc == SQLITE_DONE) {
                for (auto& [child, values] : fetched) m_Values.try_emplace(child, std::move(values));
                // A subkey without values holds nothing: known as such, too.
                for (const int64_t child : ids) m_Values.try_emplace(child);
            } else {
                NoteReadFailure(rc);
            }
        }
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

std::vector<std::string> CSqliteRegistry::SubKeyNames(std::string_view path) const {
    std::lock_guard lock(m_Mutex);
    Validate();
    std::vector<std::string> names;
    const int64_t id = FindKey(path);
    if (id <= 0) return names;
    sqlite3_stmt* stmt = Stmt("SELECT name FROM keys WHERE parent = ?1");
    CStmtUse use(stmt);
    if (!use) return names;
    sqlite3_bind_int64(stmt, 1, id);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) names.push_back(ColumnBytes(stmt, 0));
    if (rc != SQLITE_DONE) {
        NoteReadFailure(rc);
        return {};
    }
    return names;
}

// One statement, so that what it reads is one state of the store even outside a transaction.
std::vector<SRegKey> CSqliteRegistry::SubKeyValues(std::string_view path,
                                                   std::span<const SRegRead> reads) const {
    constexpr size_t kMaxReads = 4;  // the statement's value names
    if (reads.size() > kMaxReads) return IRegistry::SubKeyValues(path, reads);
    std::lock_guard lock(m_Mutex);
    Validate();
    std::vector<SRegKey> keys;
    const int64_t id = FindKey(path);
    if (id <= 0) return keys;
    // As many value names as are read: each one in the list is one look-up per subkey.
    static constexpr const char* kSql[kMaxReads + 1] = {
        "SELECT k.id, k.name, NULL, NULL, NULL FROM keys k WHERE k.parent = ?1",
        "SELECT k.id, k.name, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.name "
        "= ?2 WHERE k.parent = ?1",
        "SELECT k.id, k.name, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.name "
        "IN (?2, ?3) WHERE k.parent = ?1",
        "SELECT k.id, k.name, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.name "
        "IN (?2, ?3, ?4) WHERE k.parent = ?1",
        "SELECT k.id, k.name, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND v.name "
        "IN (?2, ?3, ?4, ?5) WHERE k.parent = ?1"};
    sqlite3_stmt* stmt = Stmt(kSql[reads.size()]);
    CStmtUse use(stmt);
    if (!use) return keys;
    sqlite3_bind_int64(stmt, 1, id);
    for (size_t r = 0; r < reads.size(); ++r) BindText(stmt, static_cast<int>(r + 2), reads[r].name);
    // Each key starts with the defaults; the values found replace them.
    std::unordered_map<int64_t, size_t> at;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        auto [it, added] = at.try_emplace(sqlite3_column_int64(stmt, 0), keys.size());
        if (added) {
            SRegKey& key = keys.emplace_back(SRegKey{ColumnBytes(stmt, 1), {}, {}});
            key.values.reserve(reads.size());
            for (const SRegRead& r : reads)
                key.values.push_back({std::string(r.name), r.type == ERegType::Dword
                                                               ? SRegValue::Dword(r.dword)
                                                               : SRegValue::Sz(std::string(r.text))});
        }
        if (sqlite3_column_type(stmt, 2) == SQLITE_NULL) continue;
        const std::string name = ColumnBytes(stmt, 2);
        const int type = sqlite3_column_int(stmt, 3);
        for (size_t r = 0; r < reads.size(); ++r) {
            if (!RegNameEqual(name, reads[r].name)) continue;
            SRegValue& value = keys[it->second].values[r].value;
            if (reads[r].type == ERegType::Sz) {
                if (type == kTypeSz) value.text = ColumnBytes(stmt, 4);
                continue;
            }
            const std::string bytes = ColumnBytes(stmt, 4);
            const std::optional<uint32_t> dword = type == kTypeDword ? DwordOf(bytes)
                                                  : type == kTypeSz  ? ParseDwordText(bytes)
                                                                     : std::nullopt;
            if (dword) value.dword = *dword;
        }
    }
    if (rc != SQLITE_DONE) {
        NoteReadFailure(rc);
        return {};
    }
    return keys;
}

int CSqliteRegistry::DeleteKey(std::string_view path) {
    std::lock_guard lock(m_Mutex);
    if (m_bDiscardWrites) return REG_OK;
    if (const int refused = Refusal(); refused != REG_OK) return refused;
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return REG_ERROR_FILE_NOT_FOUND;
    if (HasSubKeys(id)) return REG_ERROR_ACCESS_DENIED;
    return Change([&]() -> int {
        // The application key itself stays; it loses only its values.
        sqlite3_stmt* stmt =
            Stmt(id == kRootKey ? "DELETE FROM vals WHERE key = ?1" : "DELETE FROM keys WHERE id = ?1");
        CStmtUse use(stmt);
        if (!use) return REG_ERROR_WRITE_FAULT;
        sqlite3_bind_int64(stmt, 1, id);
        if (!StepChange(stmt)) return m_nLastError;
        if (id == kRootKey) {
            m_Values.erase(kRootKey);
        } else {
            ForgetKey(path, id);
        }
        return REG_OK;
    });
}

int CSqliteRegistry::DeleteKeyTree(std::string_view path) {
    std::lock_guard lock(m_Mutex);
    if (m_bDiscardWrites) return REG_OK;
    if (const int refused = Refusal(); refused != REG_OK) return refused;
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return REG_ERROR_FILE_NOT_FOUND;
    if (id == kRootKey) return REG_ERROR_ACCESS_DENIED;  // never the whole store by accident
    return Change([&]() -> int {
        if (!NoteRemovedSecrets(id)) return REG_ERROR_WRITE_FAULT;
        sqlite3_stmt* stmt = Stmt("DELETE FROM keys WHERE id = ?1");
        CStmtUse use(stmt);
        if (!use) return REG_ERROR_WRITE_FAULT;
        sqlite3_bind_int64(stmt, 1, id);
        if (!StepChange(stmt)) return m_nLastError;
        ForgetKey(path, id);
        return REG_OK;
    });
}

// ---- Removed secrets ----

bool CSqliteRegistry::NoteRemovedSecrets(int64_t id) {
    sqlite3_stmt* stmt = Stmt(
        "WITH RECURSIVE below(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN below ON "
        "keys.parent = below.id) SELECT name, data FROM vals WHERE key IN below AND type = 1 AND "
        "length(data) > 0");
    CStmtUse use(stmt);
    if (!use) return false;
    sqlite3_bind_int64(stmt, 1, id);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const SRegSchemaEntry* e = FindSchemaEntryNoCase(ColumnBytes(stmt, 0));
        if (e && (e->flags & kFieldSecret) != 0) m_RemovedSecrets.push_back(ColumnBytes(stmt, 1));
    }
    if (rc != SQLITE_DONE) NoteFailure(rc);
    return rc == SQLITE_DONE;
}

// After a committed deletion: the log is written into the file (where secure_delete has overwritten
// the deleted values) and cut to nothing, so the values are in neither; and the automatic copies
// lose them too, unless the store still holds the same value elsewhere (another profile's).
void CSqliteRegistry::ScrubRemovedSecrets() {
    std::vector<std::string> secrets;
    secrets.swap(m_RemovedSecrets);
    sqlite3_stmt* stmt = Stmt("SELECT 1 FROM vals WHERE type = 1 AND data = ?1 LIMIT 1");
    std::erase_if(secrets, [&](const std::string& secret) {
        CStmtUse use(stmt);
        if (!use) return true;
        BindBlob(stmt, 1, secret);
        return sqlite3_step(stmt) != SQLITE_DONE;
    });
    Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    if (!secrets.empty()) ScrubStoreCopies(m_strFileName, secrets);
}

// ---- Trees, export and import ----

bool CSqliteRegistry::ReadKey(int64_t id, SRegKey& key) const {
    {
        sqlite3_stmt* stmt = Stmt("SELECT name, type, data FROM vals WHERE key = ?1");
        CStmtUse use(stmt);
        if (!use) return false;
        sqlite3_bind_int64(stmt, 1, id);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const int type = sqlite3_column_int(stmt, 1);
            std::string data = ColumnBytes(stmt, 2);
            if (type == kTypeDword) {
                if (auto dword = DwordOf(data))
                    key.values.push_back({ColumnBytes(stmt, 0), SRegValue::Dword(*dword)});
            } else if (type == kTypeSz) {
                key.values.push_back({ColumnBytes(stmt, 0), SRegValue::Sz(std::move(data))});
            }
        }
        if (rc != SQLITE_DONE) {
            NoteReadFailure(rc);
            return false;
        }
    }
    std::sort(key.values.begin(), key.values.end(), ValueOrderLess);
    std::vector<std::pair<int64_t, std::string>> children;
    {
        sqlite3_stmt* stmt = Stmt("SELECT id, name FROM keys WHERE parent = ?1");
        CStmtUse use(stmt);
        if (!use) return false;
        sqlite3_bind_int64(stmt, 1, id);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            children.emplace_back(sqlite3_column_int64(stmt, 0), ColumnBytes(stmt, 1));
        if (rc != SQLITE_DONE) {
            NoteReadFailure(rc);
            return false;
        }
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.second, b.second); });
    // The statements are done before going down: they are shared by every level.
    for (auto& [childId, name] : children) {
        key.subkeys.push_back(SRegKey{std::move(name), {}, {}});
        if (!ReadKey(childId, key.subkeys.back())) return false;
    }
    return true;
}

int CSqliteRegistry::ReadTree(std::string_view path, SRegKey& tree) {
    std::lock_guard lock(m_Mutex);
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return m_nReadError != REG_OK ? REG_ERROR_BADDB : REG_ERROR_FILE_NOT_FOUND;
    const size_t sep = path.rfind('\\');
    SRegKey result{std::string(path.substr(sep == std::string_view::npos ? 0 : sep + 1)), {}, {}};
    if (!ReadKey(id, result)) return REG_ERROR_BADDB;
    tree = std::move(result);
    return REG_OK;
}

bool CSqliteRegistry::InsertTree(int64_t id, const SRegKey& tree) {
    for (const SRegNamedValue& v : tree.values) {
        if (v.name.empty()) continue;
        sqlite3_stmt* stmt =
            Stmt("INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
        CStmtUse use(stmt);
        if (!use) return false;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, v.name);
        if (v.value.type == ERegType::Dword) {
            sqlite3_bind_int(stmt, 3, kTypeDword);
            BindBlob(stmt, 4, DwordBytes(v.value.dword));
        } else {
            sqlite3_bind_int(stmt, 3, kTypeSz);
            BindBlob(stmt, 4, v.value.text);
        }
        if (!StepChange(stmt)) return false;
    }
    for (const SRegKey& sub : tree.subkeys) {
        if (sub.name.empty() || sub.name.find('\\') != std::string::npos) return false;
        int64_t childId = 0;
        {
            sqlite3_stmt* stmt = Stmt("INSERT INTO keys(parent, name) VALUES(?1, ?2)");
            CStmtUse use(stmt);
            if (!use) return false;
            sqlite3_bind_int64(stmt, 1, id);
            BindText(stmt, 2, sub.name);
            if (!StepChange(stmt)) return false;
            childId = sqlite3_last_insert_rowid(m_pDb);
        }
        if (!InsertTree(childId, sub)) return false;
    }
    return true;
}

int CSqliteRegistry::ReplaceTree(std::string_view path, const SRegKey& tree) {
    std::lock_guard lock(m_Mutex);
    if (m_bDiscardWrites) return REG_ERROR_ACCESS_DENIED;
    std::vector<std::string_view> parts;
    if (!SplitPath(path, parts)) return REG_ERROR_FILE_NOT_FOUND;
    return Change([&]() -> int {
        const int64_t id = EnsureKey(path);
        if (id <= 0) return REG_ERROR_WRITE_FAULT;
        sqlite3_stmt* clearKeys = Stmt("DELETE FROM keys WHERE parent = ?1");
        sqlite3_stmt* clearValues = Stmt("DELETE FROM vals WHERE key = ?1");
        for (sqlite3_stmt* stmt : {clearKeys, clearValues}) {
            CStmtUse use(stmt);
            if (!use) return REG_ERROR_WRITE_FAULT;
            sqlite3_bind_int64(stmt, 1, id);
            if (!StepChange(stmt)) return m_nLastError;
        }
        Forget();
        return InsertTree(id, tree) ? REG_OK
                                    : (m_nLastError != REG_OK ? m_nLastError : REG_ERROR_WRITE_FAULT);
    });
}

bool CSqliteRegistry::IsEmpty() {
    std::lock_guard lock(m_Mutex);
    Validate();
    return !HasSubKeys(kRootKey) && ValuesOf(kRootKey).empty();
}

int CSqliteRegistry::SaveKey(std::string_view path, const std::string& file, bool overwrite,
                             bool withSecrets) {
    std::string topPath(kAppKeyPath);
    if (!path.empty()) topPath += '\\' + std::string(path);
    SRegKey tree;
    if (const int rc = ReadTree(path, tree); rc != REG_OK) return rc;
    tree.name = topPath.substr(topPath.rfind('\\') + 1);
    // The staging key of imports is no setting of the user's.
    if (path.empty())
        std::erase_if(tree.subkeys, [](const SRegKey& k) { return RegNameEqual(k.name, "Import"); });
    if (!withSecrets) LeaveOutSecrets(tree);
    return WriteRegFile(file, tree, topPath, overwrite);
}

int CSqliteRegistry::ReadKeyFile(const std::string& file, SRegKey& top) { return ReadRegFile(file, top); }

int CSqliteRegistry::RestoreKey(std::string_view path, const std::string& file) {
    {
        std::lock_guard lock(m_Mutex);
        if (const int refused = Refusal(); refused != REG_OK) return refused;
    }
    SRegKey tree;
    if (const int rc = ReadRegFile(file, tree); rc != REG_OK) return rc;
    // A whole key is restored as it is: one with a value that could not be read would lose it.
    if (!tree.FirstFault().empty()) return REG_ERROR_INVALID_DATA;
    if (const int rc = ConformToSchema(tree); rc != REG_OK) return rc;
    return ReplaceTree(path, tree);
}

}  // namespace wavory
