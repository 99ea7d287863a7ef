// The core's messages as message boxes on the interface thread, over the window that is active.
#pragma once

#include "base/Messages.h"

namespace wavory {

class CMessageBoxSink : public IMessageSink {
public:
    // Modal on the interface thread; from another thread the box is queued there and the caller
    // goes on.
    void ShowMessage(const std::string& text, EMsgIcon icon) override;
};

}  // namespace wavory
