// An in-memory settings store for tests that run without Qt (sanitizer builds). Keys are paths
// relative to the application key; values keep their kind.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "base/Registry.h"

namespace wavory::test {

class CMemoryRegistry : public IRegistry {
public:
    using Value = std::variant<int, std::string>;

    int GetProfileInt(std::string_view section, std::string_view entry, int def) const override {
        std::lock_guard lock(m_Mutex);
        auto key = m_Keys.find(std::string(section));
        if (key == m_Keys.end()) return def;
        auto it = key->second.find(std::string(entry));
        if (it == key->second.end() || !std::holds_alternative<int>(it->second)) return def;
        return std::get<int>(it->second);
    }
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view def) const override {
        std::lock_guard lock(m_Mutex);
        auto key = m_Keys.find(std::string(section));
        if (key == m_Keys.end()) return std::string(def);
        auto it = key->second.find(std::string(entry));
        if (it == key->second.end() || !std::holds_alternative<std::string>(it->second))
            return std::string(def);
        return std::get<std::string>(it->second);
    }
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override {
        std::lock_guard lock(m_Mutex);
        m_Keys[std::string(section)][std::string(entry)] = value;
        return !m_bFailWrites;
    }
    bool WriteProfileString(std::string_view section, std::string_view entry,
                            std::string_view value) override {
        std::lock_guard lock(m_Mutex);
        m_Keys[std::string(section)][std::string(entry)] = std::string(value);
        return !m_bFailWrites;
    }
    bool KeyExists(std::string_view path) const override {
        std::lock_guard lock(m_Mutex);
        const std::string p(path);
        for (const auto& [k, v] : m_Keys)
            if (k == p || k.rfind(p + "\\", 0) == 0) return true;
        return false;
    }
    std::vector<std::string> SubKeys(std::string_view path) const override {
        std::lock_guard lock(m_Mutex);
        const std::string prefix = path.empty() ? std::string() : std::string(path) + "\\";
        std::vector<std::string> out;
        for (const auto& [k, v] : m_Keys) {
            if (k.size() <= prefix.size() || k.rfind(prefix, 0) != 0) continue;
            const std::string child = k.substr(prefix.size(), k.find('\\', prefix.size()) - prefix.size());
            if (out.empty() || out.back() != child) out.push_back(child);
        }
        return out;
    }
    int DeleteKey(std::string_view path) override {
        if (!SubKeys(path).empty()) return REG_ERROR_ACCESS_DENIED;
        std::lock_guard lock(m_Mutex);
        return m_Keys.erase(std::string(path)) ? REG_OK : REG_ERROR_FILE_NOT_FOUND;
    }
    int SaveKey(std::string_view, const std::string&, bool, bool = true) override {
        return REG_ERROR_ACCESS_DENIED;
    }
    int RestoreKey(std::string_view, const std::string&) override { return REG_ERROR_ACCESS_DENIED; }
    void BeginUpdate() override {}
    bool EndUpdate() override { return !m_bFailWrites; }

    bool m_bFailWrites = false;

private:
    mutable std::mutex m_Mutex;
    std::map<std::string, std::map<std::string, Value>> m_Keys;
};

}  // namespace wavory::test
