// What the core must tell the user: a message box with a text and an icon. The window provides it;
// the command line prints to standard error; tests record.
#pragma once

#include <string>

namespace wavory {

enum class EMsgIcon { Information, Warning, Error, Question };

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(const std::string& text, EMsgIcon icon) = 0;
};

}  // namespace wavory
