// Groups the writes of a scope into one change of the settings store, however the scope is left,
// and the reads of a scope into one look at the store.
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
    // Ends the group storing none of its writes (nor those of an enclosing group).
    void Cancel() {
        if (!m_pRegistry || m_bEnded) return;
        m_pRegistry->CancelUpdate();
        End();
    }

private:
    IRegistry* m_pRegistry;
    bool m_bEnded = false;
};

class CRegistryRead {
public:
    explicit CRegistryRead(IRegistry* registry) : m_pRegistry(registry) {
        if (m_pRegistry) m_pRegistry->BeginRead();
    }
    ~CRegistryRead() {
        if (m_pRegistry) m_pRegistry->EndRead();
    }
    CRegistryRead(const CRegistryRead&) = delete;
    CRegistryRead& operator=(const CRegistryRead&) = delete;

private:
    IRegistry* m_pRegistry;
};

}  // namespace wavory
