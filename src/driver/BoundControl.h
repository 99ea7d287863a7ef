// A page control that shows a driver variable's text, and the page that holds such controls.
// The window implements these over its widgets; the core only sees the interfaces.
#pragma once

#include <string>

namespace wavory {

class IBoundControl {
public:
    virtual ~IBoundControl() = default;
    virtual void SetText(const std::string& text) = 0;
};

class IControlHost {
public:
    virtual ~IControlHost() = default;
    // The page's control with this id, or null.
    virtual IBoundControl* GetControl(int id) = 0;
};

}  // namespace wavory
