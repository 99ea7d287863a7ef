// The settings store as the core sees it: integer and text values in sections (subkeys) of the
// application's key, plus the key operations behind profile export, import and deletion.
// The store implements it over SQLite; tests may use an in-memory one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wavory {

struct SRegKey;

// System error codes used by the store, with the meanings of the platform the design came from.
enum ERegError : int {
    REG_OK = 0,
    REG_ERROR_FILE_NOT_FOUND = 2,    // key or file missing
    REG_ERROR_ACCESS_DENIED = 5,     // key still has subkeys, or the file cannot be written
    REG_ERROR_INVALID_DATA = 13,     // file is not a registry file or is damaged
    REG_ERROR_WRITE_PROTECT = 19,    // the settings store is read-only (file, folder or mount)
    REG_ERROR_WRITE_FAULT = 29,      // the settings file could not be written
    REG_ERROR_FILE_EXISTS = 80,      // export target exists; a name another profile bears
    REG_ERROR_DISK_FULL = 112,       // no room left on the disk of the settings
    REG_ERROR_NO_MORE_ITEMS = 259,   // enumeration ended
    REG_ERROR_BADDB = 1009,          // settings store corrupt
    REG_ERROR_FILE_TOO_LARGE = 223,  // file implausibly large
    REG_ERROR_NOT_A_FILE = 267,      // a folder, FIFO or device where a file was expected
    REG_ERROR_BUSY = 170             // another program kept the store locked too long
};

// The kind a value is stored as; every value the utility writes has a known kind.
enum class ERegType { Dword, Sz };

// One value of many written to a section in one call.
struct SRegWrite {
    std::string_view name;
    ERegType type = ERegType::Sz;
    uint32_t dword = 0;
    std::string_view text;
};

// One number written to a section among many (WriteDwordEach).
struct SRegDwordAt {
    std::string_view section;
    uint32_t dword = 0;
};

// One value read of every subkey at once (SubKeyValues), with the default an absent one reads as.
struct SRegRead {
    std::string_view name;
    ERegType type = ERegType::Sz;
    uint32_t dword = 0;
    std::string_view text;
};

// Sections and key paths are relative to the application key, parts separated by '\'
// ("" = the application key itself, "Profile 3", "Import\Profile 0").
class IRegistry {
public:
    virtual ~IRegistry() = default;

    // Profile calls. Reads take a default and are never cached.
    virtual int GetProfileInt(std::string_view section, std::string_view entry, int def) const = 0;
    virtual std::string GetProfileString(std::string_view section, std::string_view entry,
                                         std::string_view def) const = 0;
    // Writes create the section as needed; false when the value could not be stored.
    virtual bool WriteProfileInt(std::string_view section, std::string_view entry, int value) = 0;
    virtual bool WriteProfileString(std::string_view section, std::string_view entry,
                                    std::string_view value) = 0;
    // The same value written to many sections as a number, each as WriteProfileInt writes it (the
    // auto-selection places of many profiles): a store may spare what a write of each would read.
    // The default writes them one by one.
    virtual bool WriteDwordEach(std::string_view entry, std::span<const SRegDwordAt> writes) {
        for (const SRegDwordAt& w : writes)
            if (!WriteProfileInt(w.section, entry, static_cast<int>(w.dword))) return false;
        return true;
    }
    // Writes the values into the section, as one change; the default writes them one by one.
    virtual bool WriteValues(std::string_view section, std::span<const SRegWrite> values) {
        bool ok = true;
        for (const SRegWrite& v : values) {
            ok = (v.type == ERegType::Dword ? WriteProfileInt(section, v.name, static_cast<int>(v.dword))
                                            : WriteProfileString(section, v.name, v.text)) &&
                 ok;
        }
        return ok;
    }

    // Key operations; the int results are error codes (REG_OK on success).
    virtual bool KeyExists(std::string_view path) const = 0;
    virtual std::vector<std::string> SubKeys(std::string_view path) const = 0;
    // The same names in no set order, for a caller that reads nothing of the subkeys (a count).
    virtual std::vector<std::string> SubKeyNames(std::string_view path) const { return SubKeys(path); }
    // A few values of every subkey, for a caller that needs only those (the profiles' names and
    // places): one key per subkey, in no set order, holding the values of `reads` in their order, as
    // GetProfileInt and GetProfileString read them. The default reads them one by one.
    virtual std::vector<SRegKey> SubKeyValues(std::string_view path, std::span<const SRegRead> reads) const;
    // Deletes a key that has no subkeys (REG_ERROR_ACCESS_DENIED while it has some).
    virtual int DeleteKey(std::string_view path) = 0;
    // Writes the key's subtree to a file; fails with REG_ERROR_FILE_EXISTS unless overwrite is set,
    // in which case the file is replaced atomically. Without secrets, WEP keys and passphrases are
    // left out.
    virtual int SaveKey(std::string_view path, const std::string& file, bool overwrite,
                        bool withSecrets = true) = 0;
    // Replaces the key's values and subkeys with the top key of the file.
    virtual int RestoreKey(std::string_view path, const std::string& file) = 0;

    // Deletes a key and everything below it. The default walks the tree; a store that can do it in
    // one step does.
    virtual int DeleteKeyTree(std::string_view path) {
        for (const std::string& sub : SubKeys(path)) {
            const std::string child = path.empty() ? sub : std::string(path) + '\\' + sub;
            if (const int rc = DeleteKeyTree(child); rc != REG_OK) return rc;
        }
        return DeleteKey(path);
    }

    // Groups many writes into one change of the store: it happens whole or not at all. EndUpdate
    // reports whether it was stored.
    virtual void BeginUpdate() = 0;
    virtual bool EndUpdate() = 0;
    // Inside an update: stores none of it; the outermost EndUpdate then reports false.
    virtual void CancelUpdate() {}

    // Groups many reads: other programs' changes are looked for once, at the start.
    virtual void BeginRead() {}
    virtual void EndRead() {}
    // Grows each time the store is found changed by another program; one cheap check.
    virtual uint64_t ChangeCount() { return 0; }

    // The error code of the last operation that failed (REG_ERROR_DISK_FULL, REG_ERROR_WRITE_PROTECT,
    // REG_ERROR_BUSY, REG_ERROR_BADDB …); REG_OK before any did.
    virtual int LastError() const { return REG_OK; }
    // False for a store whose changes cannot be stored at all (a read-only file, folder or mount).
    virtual bool IsWritable() const { return true; }
    // Whether a read since the last call failed (a damaged or unreadable store): its answer was the
    // default, not what is stored. The error code, and the state is cleared.
    virtual int TakeReadError() { return REG_OK; }
    // Keeps a copy of the whole store before a change that replaces much of it (an import).
    virtual int KeepCopy(const std::string& /*reason*/) { return REG_OK; }
    // Reads a profile file whole, as RestoreKey does, without storing it (see store/RegFile.h).
    virtual int ReadKeyFile(const std::string& /*file*/, SRegKey& /*top*/) { return REG_ERROR_ACCESS_DENIED; }
};

// The system's text for an error code, as a message box shows it.
std::string SystemErrorText(int code);

}  // namespace wavory
