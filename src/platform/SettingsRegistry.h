// The settings store over QSettings: the application key is the INI file
// $XDG_CONFIG_HOME/Wavory/Wavory Utility.conf, its sections are the file's groups ('\' in key paths
// becomes '/'). Values keep their registry kinds through the schema; profile files are written and
// read by the .reg layer.
#pragma once

#include <QtCore/qglobal.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/Registry.h"

QT_FORWARD_DECLARE_CLASS(QSettings)

namespace wavory {

class CSettingsRegistry final : public IRegistry {
public:
    // How exports name the application key.
    static constexpr std::string_view kAppKeyPath = "HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";

    // The user's store: organisation "Wavory", application "Wavory Utility".
    CSettingsRegistry();
    // A store in the given file (other tools, tests).
    explicit CSettingsRegistry(const std::string& fileName);
    ~CSettingsRegistry() override;

    CSettingsRegistry(const CSettingsRegistry&) = delete;
    CSettingsRegistry& operator=(const CSettingsRegistry&) = delete;

    const std::string& FileName() const { return m_strFileName; }

    // Integers are REG_DWORDs: stored as the unsigned 32-bit value, so -1 is 4294967295 and reads
    // back as -1. A value that is no number reads as the default.
    int GetProfileInt(std::string_view section, std::string_view entry, int def) const override;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view def) const override;
    // Outside BeginUpdate/EndUpdate each write reaches the file before it returns true. Names holding
    // '/' and empty entry names cannot be stored and give false.
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
    bool WriteProfileString(std::string_view section, std::string_view entry,
                            std::string_view value) override;

    // A key exists while it holds values or subkeys; the application key ("") always exists.
    bool KeyExists(std::string_view path) const override;
    // Subkey names in natural order ("Profile 2" before "Profile 10").
    std::vector<std::string> SubKeys(std::string_view path) const override;
    // REG_ERROR_FILE_NOT_FOUND for a missing key, REG_ERROR_ACCESS_DENIED while it has subkeys,
    // REG_ERROR_WRITE_FAULT when the file could not be written. Deleting the application key removes
    // its values.
    int DeleteKey(std::string_view path) override;
    int SaveKey(std::string_view path, const std::string& file, bool overwrite) override;
    // Reads the whole file first; only a file read without error replaces the key's content.
    int RestoreKey(std::string_view path, const std::string& file) override;

    // Writes until the outermost EndUpdate stay in memory (reads see them); EndUpdate then writes the
    // file once and reports whether it and every write of the batch were stored. Calls nest.
    void BeginUpdate() override;
    bool EndUpdate() override;

private:
    struct SFileStamp {
        ino_t inode = 0;
        off_t size = -1;
        time_t mtime = 0;
        long mtimeNs = 0;
        time_t ctime = 0;
        long ctimeNs = 0;
        bool operator==(const SFileStamp&) const = default;
    };

    void SetUpSettings() const;
    SFileStamp StampOfFile() const;
    void Refresh() const;
    bool Commit();
    bool SyncNow() const;
    void EnsurePrivateFile() const;
    bool FileHoldsAllEntries() const;

    std::string m_strFileName;
    mutable std::mutex m_Mutex;
    mutable std::unique_ptr<QSettings> m_pSettings;
    int m_nUpdateDepth = 0;
    bool m_bUpdateFailed = false;
    mutable bool m_bChanged = false;  // changes not yet seen complete in the file
    mutable SFileStamp m_Stamp;       // the file as it was when last read
    mutable bool m_bStampValid = false;
};

}  // namespace wavory
