// What the program hands to the application object as its main window: the real window is built
// only when the application runs it, after start-up has created the managers, and is kept until
// the host goes, after shutdown has stopped the polling thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "shell/MainWindow.h"

namespace wavory {

class CTessalDlg;

class CMainWindowHost final : public IMainWindow {
public:
    // Called with the new window before it is shown.
    using Setup = std::function<void(CTessalDlg&)>;

    explicit CMainWindowHost(Setup setup = {});
    ~CMainWindowHost() override;

    int Run() override;
    void RefreshPages(bool graph, bool full) override;
    bool IsSiteVisible() override;
    void RefreshSiteList() override;
    // The polling thread may call this while the window is being built; it then goes nowhere, as
    // the tip of a window that does not exist yet would.
    void SetTrayTip(const std::string& tip) override;

    CTessalDlg* Window() const { return m_pWindow; }

private:
    Setup m_fnSetup;
    std::unique_ptr<CTessalDlg> m_pOwned;
    std::atomic<CTessalDlg*> m_pWindow{nullptr};
};

}  // namespace wavory
