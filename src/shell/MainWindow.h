// What the application object needs of its main window. The window implements it; while it
// exists, theApp.m_pMainWnd points at it.
#pragma once

#include <string>

namespace wavory {

class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Runs the window until it closes (the modal loop); returns when the user closed it.
    virtual int Run() = 0;
    // Refreshes the active page; with graph the statistics graph too; with full every page.
    virtual void RefreshPages(bool graph, bool full) = 0;
    // The Available Networks dialog is shown; RefreshSiteList rebuilds its list.
    virtual bool IsSiteVisible() = 0;
    virtual void RefreshSiteList() = 0;
    // The tray tip changed (may be called on the polling thread: must not touch widgets).
    virtual void SetTrayTip(const std::string& tip) = 0;
    // Another program changed the settings store; the profiles are loaded again. The window shows
    // what is stored now (preferences are read at every use).
    virtual void SettingsChanged() { RefreshPages(false, true); }
    // A connection attempt the user started is running, to the network of this SSID, or none is
    // (empty): the window says so while it runs.
    virtual void JoinProgress(const std::string& network) { (void)network; }
};

}  // namespace wavory
