// The application object: start-up in the designed order creates the managers and the polling
// thread over the shared state of CAppBase, runs the main window and takes everything down again.
// `theApp` is the one instance.
#pragma once

#include "base/AppBase.h"

namespace wavory {

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
};

}  // namespace wavory
