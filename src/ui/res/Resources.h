// The window's compiled-in resources (icons, pictures). The library is static, so the resource
// data must be registered by a call before first use; every window and page makes it.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace wavory {

void InitResources();

// A PNG picture of the resources (or a file), read as PNG rather than by guessing its format from
// the content; a null image when it cannot be read.
QImage LoadPng(const QString& path);

// The sizes the running program hands out: the window's title bar and task bar entry and the
// notification area ask for these. Larger ones (menus, launchers) come from the icon theme.
inline constexpr int kAppIconSizes[] = {16, 22, 24, 32, 48, 64};

// The utility's icon in those sizes, decoded once (window, tray).
QIcon AppIcon();

}  // namespace wavory
