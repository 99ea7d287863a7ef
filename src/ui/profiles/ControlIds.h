// The profile windows' controls are found by their control id: a control's object name is
// "IDC_<id>", as the forms name them and as the other windows of the utility do.
#pragma once

#include <QString>

namespace wavory {

inline QString ControlName(int id) { return QStringLiteral("IDC_%1").arg(id); }

}  // namespace wavory
