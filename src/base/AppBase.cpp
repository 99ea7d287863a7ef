#include "base/AppBase.h"

#include "base/Messages.h"
#include "base/Registry.h"
#include "kccl.h"

namespace wavory {

CAppBase::CAppBase() = default;
CAppBase::~CAppBase() = default;

bool CAppBase::ConnectDriver() {
    bool connected = false;
    try {
        connected = kcom_connect("SEARCH") == 0;
    } catch (...) {
        connected = false;
    }
    m_bDriverConnected = connected;
    return connected;
}

void CAppBase::DisconnectDriver() {
    if (m_bDriverConnected) {
        try {
            kcom_disconnect();
        } catch (...) {
        }
    }
    m_bDriverConnected = false;
}

int CAppBase::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
    return m_pRegistry ? m_pRegistry->GetProfileInt(section, entry, def) : def;
}

std::string CAppBase::GetProfileString(std::string_view section, std::string_view entry,
                                       std::string_view def) const {
    return m_pRegistry ? m_pRegistry->GetProfileString(section, entry, def) : std::string(def);
}

bool CAppBase::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    return m_pRegistry && m_pRegistry->WriteProfileInt(section, entry, value);
}

bool CAppBase::WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) {
    return m_pRegistry && m_pRegistry->WriteProfileString(section, entry, value);
}

void CAppBase::ShowMessage(const std::string& text, EMsgIcon icon) {
    if (m_pMessages) m_pMessages->ShowMessage(text, icon);
}

std::string CAppBase::GetTrayTip() const {
    std::lock_guard lock(m_TipMutex);
    return m_strTrayTip;
}

void CAppBase::SetTrayTip(const std::string& tip) {
    std::lock_guard lock(m_TipMutex);
    m_strTrayTip = tip;
}

}  // namespace wavory
