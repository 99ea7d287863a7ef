#include "ui/shell/MainWindowHost.h"

#include "ui/shell/TessalDlg.h"

namespace wavory {

CMainWindowHost::CMainWindowHost(Setup setup) : m_fnSetup(std::move(setup)) {}

CMainWindowHost::~CMainWindowHost() = default;

int CMainWindowHost::Run() {
    m_pOwned = std::make_unique<CTessalDlg>();
    if (m_fnSetup) m_fnSetup(*m_pOwned);
    m_pWindow = m_pOwned.get();
    return m_pOwned->Run();
}

void CMainWindowHost::RefreshPages(bool graph, bool full) {
    if (CTessalDlg* window = m_pWindow) window->RefreshPages(graph, full);
}

bool CMainWindowHost::IsSiteVisible() {
    CTessalDlg* window = m_pWindow;
    return window && window->IsSiteVisible();
}

void CMainWindowHost::RefreshSiteList() {
    if (CTessalDlg* window = m_pWindow) window->RefreshSiteList();
}

void CMainWindowHost::SetTrayTip(const std::string& tip) {
    if (CTessalDlg* window = m_pWindow) window->SetTrayTip(tip);
}

}  // namespace wavory
