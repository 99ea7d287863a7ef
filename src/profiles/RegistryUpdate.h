// Groups the writes of a scope into one write of the settings store, however the scope is left.
#pragma once

#include "base/Registry.h"

namespace wavory {

class CRegistryUpdate {
public:
    // Without a store there is nothing to group; End then reports failure.
    explicit CRegistryUpdate(IRegistry* registry) : m_pRegistry(registry) {
        if (m_pRegistry) m_pRegistry->BeginUpdate();
    }
    ~CRegistryUpdate() {
        if (m_pRegistry && !m_bEnded) m_pRegistry->EndUpdate();
    }
    CRegistryUpdate(const CRegistryUpdate&) = delete;
    CRegistryUpdate& operator=(const CRegistryUpdate&) = delete;

    // Ends the group; true when it and every write in it were stored.
    bool End() {
        if (!m_pRegistry || m_bEnded) return false;
        m_bEnded = true;
        return m_pRegistry->EndUpdate();
    }

private:
    IRegistry* m_pRegistry;
    bool m_bEnded = false;
};

}  // namespace wavory
