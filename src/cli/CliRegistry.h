// The settings store as one command sees it: the user's store, optionally read-only, with
// preferences that an option overrides for this run.
//
// Read-only matters because the core writes as a side effect: the profile manager saves every
// profile when it ends and the station manager stores the connected station. A command that must
// change nothing (status, scan, a listing, a failed command) would otherwise write back the copy it
// read, and could undo a change the window stored in the meantime. Writes to a read-only view are
// dropped and reported as done, so that this bookkeeping passes quietly; saving a key to a file still
// works, since it reads the store.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/RegTree.h"
#include "base/Registry.h"

namespace wavory::cli {

class CCliRegistry final : public IRegistry {
public:
    explicit CCliRegistry(IRegistry& store) : m_Store(store) {}

    void SetReadOnly(bool readOnly) { m_bReadOnly = readOnly; }
    bool IsReadOnly() const { return m_bReadOnly; }
    // The integer value `entry` of the application key reads as `value` until cleared.
    void OverrideInt(const std::string& entry, int value) { m_Overrides[entry] = value; }
    void ClearOverride(const std::string& entry) { m_Overrides.erase(entry); }

    int GetProfileInt(std::string_view section, std::string_view entry, int def) const override;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view def) const override;
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
    bool WriteProfileString(std::string_view section, std::string_view entry,
                            std::string_view value) override;
    bool KeyExists(std::string_view path) const override { return m_Store.KeyExists(path); }
    std::vector<std::string> SubKeys(std::string_view path) const override { return m_Store.SubKeys(path); }
    std::vector<std::string> SubKeyNames(std::string_view path) const override {
        return m_Store.SubKeyNames(path);
    }
    std::vector<SRegKey> SubKeyValues(std::string_view path, std::span<const SRegRead> reads) const override {
        return m_Store.SubKeyValues(path, reads);
    }
    int DeleteKey(std::string_view path) override;
    bool WriteValues(std::string_view section, std::span<const SRegWrite> values) override {
        return m_bReadOnly || m_Store.WriteValues(section, values);
    }
    bool WriteDwordEach(std::string_view entry, std::span<const SRegDwordAt> writes) override {
        return m_bReadOnly || m_Store.WriteDwordEach(entry, writes);
    }
    int SaveKey(std::string_view path, const std::string& file, bool overwrite,
                bool withSecrets = true) override {
        return m_Store.SaveKey(path, file, overwrite, withSecrets);
    }
    int RestoreKey(std::string_view path, const std::string& file) override;
    int DeleteKeyTree(std::string_view path) override {
        return m_bReadOnly ? REG_OK : m_Store.DeleteKeyTree(path);
    }
    void BeginUpdate() override;
    bool EndUpdate() override;
    void CancelUpdate() override {
        if (m_nUpdateDepth > 0) m_Store.CancelUpdate();
    }
    void BeginRead() override { m_Store.BeginRead(); }
    void EndRead() override { m_Store.EndRead(); }
    uint64_t ChangeCount() override { return m_Store.ChangeCount(); }
    int LastError() const override { return m_Store.LastError(); }
    bool IsWritable() const override { return m_Store.IsWritable(); }
    int TakeReadError() override { return m_Store.TakeReadError(); }
    int KeepCopy(const std::string& reason) override {
        return m_bReadOnly ? REG_OK : m_Store.KeepCopy(reason);
    }
    int ReadKeyFile(const std::string& file, SRegKey& top) override { return m_Store.ReadKeyFile(file, top); }

private:
    IRegistry& m_Store;
    bool m_bReadOnly = false;
    int m_nUpdateDepth = 0;  // BeginUpdate calls passed on to the store
    std::map<std::string, int, std::less<>> m_Overrides;
};

}  // namespace wavory::cli
