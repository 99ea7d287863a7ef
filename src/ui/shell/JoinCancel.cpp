#include "ui/shell/JoinCancel.h"

#include <string>

#include "base/AppBase.h"
#include "base/Locks.h"
#include "shell/MainWindow.h"
#include "shell/UserJoin.h"

namespace wavory {

void CancelJoinFromWindow() {
    if (!TryEnter(CS_MAIN)) return;
    std::string failure;
    const bool done = CancelUserAttempt(&failure);
    Leave(CS_MAIN);
    if (!done) theApp.ShowMessage(failure, EMsgIcon::Warning);
    if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
}

}  // namespace wavory
