// The application object: start-up in the designed order creates the managers and the polling
// thread over the shared state of CAppBase, runs the main window and takes everything down again.
// `theApp` is the one instance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/AppBase.h"

namespace wavory {

class CHistoryRecorder;

class CTessalApp : public CAppBase {
public:
    static constexpr const char* kAppName = "Wavory Utility";
    static constexpr const char* kRegistryKey = "Wavory";

    CTessalApp();
    ~CTessalApp() override;

    bool InitInstance(IMainWindow* window) override;
    int ExitInstance() override;
    void OnMainTick() override;
    void UpdateTrayTip(const CStation* station) override;
    IPollControl* GetPollControl() override;

private:
    uint64_t m_nSeenChanges = 0;  // the settings store's change count at the last main tick
    bool m_bUnreadableTold = false;
    std::shared_ptr<CHistoryRecorder> m_pHistory;
    std::string m_strHistoryTold;  // the history's last failure shown
};

}  // namespace wavory
