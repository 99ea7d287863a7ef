// The settings store as the core sees it: integer and text values in sections (subkeys) of the
// application's key, plus the key operations behind profile export, import and deletion.
// The application's own layer implements it over QSettings; tests may use an in-memory one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wavory {

// System error codes used by the store, with the meanings of the platform the design came from.
enum ERegError : int {
    REG_OK = 0,
    REG_ERROR_FILE_NOT_FOUND = 2,   // key or file missing
    REG_ERROR_ACCESS_DENIED = 5,    // key still has subkeys, or the file cannot be written
    REG_ERROR_INVALID_DATA = 13,    // file is not a registry file or is damaged
    REG_ERROR_WRITE_FAULT = 29,     // the settings file could not be written
    REG_ERROR_FILE_EXISTS = 80,     // export target exists
    REG_ERROR_NO_MORE_ITEMS = 259,  // enumeration ended
    REG_ERROR_BADDB = 1009,         // settings store corrupt
    REG_ERROR_FILE_TOO_LARGE = 223  // file implausibly large
};

// The kind a value is stored as; every value the utility writes has a known kind.
enum class ERegType { Dword, Sz };

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

    // Key operations; the int results are error codes (REG_OK on success).
    virtual bool KeyExists(std::string_view path) const = 0;
    virtual std::vector<std::string> SubKeys(std::string_view path) const = 0;
    // Deletes a key that has no subkeys (REG_ERROR_ACCESS_DENIED while it has some).
    virtual int DeleteKey(std::string_view path) = 0;
    // Writes the key's subtree to a file; fails with REG_ERROR_FILE_EXISTS unless overwrite is set,
    // in which case the file is replaced atomically.
    virtual int SaveKey(std::string_view path, const std::string& file, bool overwrite) = 0;
    // Replaces the key's values and subkeys with the top key of the file.
    virtual int RestoreKey(std::string_view path, const std::string& file) = 0;

    // Groups many writes into one write of the store; EndUpdate reports whether it was stored.
    virtual void BeginUpdate() = 0;
    virtual bool EndUpdate() = 0;
};

// The system's text for an error code, as a message box shows it.
std::string SystemErrorText(int code);

}  // namespace wavory
