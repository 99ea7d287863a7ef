// Pictures of the profile editor for the screenshot mode: its General and Security pages and the
// advanced settings, shown on a sample profile that is never stored.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace wavory {

// Writes profile-general.png, profile-security.png and profile-advanced.png into folder and adds
// their paths to written; false when a picture could not be written.
bool SaveProfileEditorScreenshots(QWidget* parent, const QString& folder, QStringList* written);

}  // namespace wavory
