#include "shell/SysTray.h"

namespace wavory {

std::string CutToCharacters(const std::string& text, std::size_t max) {
    std::size_t chars = 0, i = 0;
    while (i < text.size()) {
        if (chars == max) return text.substr(0, i);
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        // A malformed sequence counts byte by byte.
        for (std::size_t k = 1; k < len; ++k)
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) len = 1;
        i += len;
        ++chars;
    }
    return text;
}

void clsSysTray::SetBackend(ITrayBackend* backend) {
    std::lock_guard lock(m_Mutex);
    m_pBackend = backend;
}

void clsSysTray::SetOwner(void* owner) {
    std::lock_guard lock(m_Mutex);
    m_hOwner = owner;
}

bool clsSysTray::Add() {
    std::lock_guard lock(m_Mutex);
    m_nid.owner = m_hOwner;
    if (m_pBackend && m_pBackend->AddIcon(m_nid)) m_bAdded = true;
    return m_bAdded;
}

void clsSysTray::SetIcon(int icon) {
    std::lock_guard lock(m_Mutex);
    if (icon == m_nid.icon) return;  // an unchanged icon is not drawn again
    m_nid.icon = icon;
    if (m_bAdded && m_pBackend) m_pBackend->ModifyIcon(m_nid);
}

void clsSysTray::SetTip(const std::string& text) {
    std::lock_guard lock(m_Mutex);
    // The polling thread sets the same tip every few seconds while connected: only a new one
    // wakes the interface thread and redraws the icon.
    std::string tip = CutToCharacters(text, kTrayTipMax);
    if (tip == m_nid.tip) return;
    m_nid.tip = std::move(tip);
    if (m_bAdded && m_pBackend) m_pBackend->ModifyIcon(m_nid);
}

bool clsSysTray::Delete() {
    std::lock_guard lock(m_Mutex);
    if (m_pBackend && m_pBackend->DeleteIcon(m_nid)) m_bAdded = false;
    return !m_bAdded;
}

bool clsSysTray::IsAdded() const {
    std::lock_guard lock(m_Mutex);
    return m_bAdded;
}

SNotifyIconData clsSysTray::Record() const {
    std::lock_guard lock(m_Mutex);
    return m_nid;
}

}  // namespace wavory
