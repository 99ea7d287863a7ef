// Text from outside (SSIDs, profile names, file names, the adapter's texts) is data, never markup:
// the helpers every widget uses to show it literally.
#pragma once

#include <QString>
#include <string_view>

class QWidget;

namespace wavory {

// The text as the window shows it: DisplayText of the bytes (escapes for control characters and
// bytes that are not UTF-8).
QString ShownText(std::string_view bytes);

// A tool tip that shows this text literally: tool tips take text that looks like markup as rich
// text, so such a text is handed over escaped.
QString PlainToolTip(const QString& text);

// Every label under root shows its text as plain text, whatever it holds.
void UsePlainTextLabels(QWidget* root);

}  // namespace wavory
