// An ordered set of driver variables read or written together, optionally bound to a page.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "driver/CommVar.h"

namespace wavory {

class CCommVarList {
public:
    explicit CCommVarList(IControlHost* page = nullptr);
    virtual ~CCommVarList();

    CCommVarList(const CCommVarList&) = delete;
    CCommVarList& operator=(const CCommVarList&) = delete;

    // Bound variable on the page's control; it reads at once and shows its value.
    void AddVar(int ctrlId, uint32_t query, uint32_t set, PFNCONVERT convert);
    void AddVarMulti(int ctrlId, const SCodePair* pairs, int count, PFNCONVERT convert);
    // Unbound variable, not read; with a text the result lands in the caller's string.
    void AddVarExt(uint32_t query, uint32_t set, PFNCONVERT convert, std::string* text);
    // The variable added index-th, or null.
    CCommVar* GetVar(int index);
    // Reads or writes every variable in order; stops at the first failure.
    bool RefreshAll(bool write, bool updateControls);
    void RemoveAll();

    int GetCount() const { return m_nNext; }

private:
    void Store(std::unique_ptr<CCommVar> var);

    IControlHost* m_pPage;
    std::map<uint16_t, std::unique_ptr<CCommVar>> m_Vars;
    int m_nNext = 0;
};

}  // namespace wavory
