// Message boxes, questions and text prompts: the one place in the window that builds them. They
// quote outside text (network names, identities, file names, the adapter's words), so every one
// shows its texts as plain text, never as markup. A check over the sources keeps other files from
// building their own.
#pragma once

#include <QLineEdit>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace wavory {

// A message box with these buttons; returns the button pressed.
QMessageBox::StandardButton PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// A Yes/No question; true for Yes. `defaultYes` makes Yes the default button (else No).
bool PlainQuestion(QWidget* parent, const QString& title, const QString& text, bool defaultYes = false);

// A one-line text prompt, starting with `text`; *ok false when cancelled.
QString PlainTextPrompt(QWidget* parent, const QString& title, const QString& label, QLineEdit::EchoMode echo,
                        bool* ok, const QString& text = {});

}  // namespace wavory
