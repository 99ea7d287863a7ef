#include "cli/CliRegistry.h"

namespace wavory::cli {

int CCliRegistry::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
    if (section.empty()) {
        if (auto it = m_Overrides.find(entry); it != m_Overrides.end()) return it->second;
    }
    return m_Store.GetProfileInt(section, entry, def);
}

std::string CCliRegistry::GetProfileString(std::string_view section, std::string_view entry,
                                           std::string_view def) const {
    return m_Store.GetProfileString(section, entry, def);
}

bool CCliRegistry::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    return m_bReadOnly || m_Store.WriteProfileInt(section, entry, value);
}

bool CCliRegistry::WriteProfileString(std::string_view section, std::string_view entry,
                                      std::string_view value) {
    return m_bReadOnly || m_Store.WriteProfileString(section, entry, value);
}

int CCliRegistry::DeleteKey(std::string_view path) { return m_bReadOnly ? REG_OK : m_Store.DeleteKey(path); }

int CCliRegistry::RestoreKey(std::string_view path, const std::string& file) {
    // An import is a change; a read-only command never gets here, and must not by accident.
    return m_bReadOnly ? REG_ERROR_ACCESS_DENIED : m_Store.RestoreKey(path, file);
}

void CCliRegistry::BeginUpdate() {
    if (m_bReadOnly) return;
    ++m_nUpdateDepth;
    m_Store.BeginUpdate();
}

bool CCliRegistry::EndUpdate() {
    if (m_nUpdateDepth == 0) return true;
    --m_nUpdateDepth;
    return m_Store.EndUpdate();
}

}  // namespace wavory::cli
