#include "ui/shell/PlainDialogs.h"

#include <QInputDialog>
#include <QLabel>

namespace wavory {

QMessageBox::StandardButton PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                            const QString& text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool PlainQuestion(QWidget* parent, const QString& title, const QString& text, bool defaultYes) {
    return PlainMessageBox(parent, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                           defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

QString PlainTextPrompt(QWidget* parent, const QString& title, const QString& label, QLineEdit::EchoMode echo,
                        bool* ok, const QString& text) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(echo);
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    // The dialog's label takes text that looks like markup as rich text.
    for (QLabel* shown : dialog.findChildren<QLabel*>()) shown->setTextFormat(Qt::PlainText);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (ok) *ok = accepted;
    return accepted ? dialog.textValue() : QString();
}

}  // namespace wavory
