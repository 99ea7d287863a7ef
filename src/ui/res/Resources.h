// The window's compiled-in resources (icons, pictures). The library is static, so the resource
// data must be registered by a call before first use; every window and page makes it.
#pragma once

#include <QIcon>

namespace wavory {

void InitResources();

// The utility's icon in all its sizes (window, tray, About).
QIcon AppIcon();

}  // namespace wavory
