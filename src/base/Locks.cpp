#include "base/Locks.h"

#include "base/AppBase.h"
#include "base/Trace.h"

namespace wavory {

bool CGatedLock::TryEnter() {
    if (m_bHasBusy && m_bBusy.exchange(true)) return false;
    if (m_bGateMissing) {
        m_Section.lock();
        return true;
    }
    if (!m_Gate.try_lock()) {
        if (m_bHasBusy) m_bBusy = false;
        return false;
    }
    Trace("\nEnter %s", m_pszName);
    // Whoever holds the gate may wait here for the section; every other taker fails at the gate.
    m_Section.lock();
    m_Gate.unlock();
    return true;
}

void CGatedLock::Leave() {
    m_Section.unlock();
    if (m_bHasBusy) m_bBusy = false;
}

bool TryEnter(int selector) { return theApp.Lock(selector).TryEnter(); }

void Leave(int selector) { theApp.Lock(selector).Leave(); }

}  // namespace wavory
