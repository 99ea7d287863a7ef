#include "driver/CommVarList.h"

namespace wavory {

CCommVarList::CCommVarList(IControlHost* page) : m_pPage(page) {}

CCommVarList::~CCommVarList() { RemoveAll(); }

void CCommVarList::Store(std::unique_ptr<CCommVar> var) {
    m_Vars[static_cast<uint16_t>(m_nNext)] = std::move(var);
    ++m_nNext;
}

void CCommVarList::AddVar(int ctrlId, uint32_t query, uint32_t set, PFNCONVERT convert) {
    IBoundControl* ctrl = m_pPage ? m_pPage->GetControl(ctrlId) : nullptr;
    Store(std::make_unique<CCommVar>(ctrlId, query, set, ctrl, convert));
}

void CCommVarList::AddVarMulti(int ctrlId, const SCodePair* pairs, int count, PFNCONVERT convert) {
    IBoundControl* ctrl = m_pPage ? m_pPage->GetControl(ctrlId) : nullptr;
    Store(std::make_unique<CCommVar>(ctrlId, pairs, count, ctrl, convert));
}

void CCommVarList::AddVarExt(uint32_t query, uint32_t set, PFNCONVERT convert, std::string* text) {
    Store(std::make_unique<CCommVar>(query, set, text, convert));
}

CCommVar* CCommVarList::GetVar(int index) {
    if (index < 0 || index >= m_nNext) return nullptr;
    auto it = m_Vars.find(static_cast<uint16_t>(index));
    return it == m_Vars.end() ? nullptr : it->second.get();
}

bool CCommVarList::RefreshAll(bool write, bool updateControls) {
    bool ok = true;
    for (int i = 0; i < m_nNext && ok; ++i) {
        CCommVar* var = GetVar(i);
        if (!var) continue;
        if (write)
            var->DriverSend();
        else
            var->DriverRecv(updateControls);
        ok = ok && var->m_bSuccess;
    }
    return ok;
}

void CCommVarList::RemoveAll() {
    m_Vars.clear();
    m_nNext = 0;
}

}  // namespace wavory
