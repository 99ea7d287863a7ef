#include "ui/shell/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "shell/Tessal.h"

namespace wavory {

namespace {

QMessageBox::Icon ToQtIcon(EMsgIcon icon) {
    switch (icon) {
        case EMsgIcon::Warning:
            return QMessageBox::Warning;
        case EMsgIcon::Error:
            return QMessageBox::Critical;
        case EMsgIcon::Question:
            return QMessageBox::Question;
        case EMsgIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

void Show(const QString& text, QMessageBox::Icon icon) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(icon, QString::fromLatin1(CTessalApp::kAppName), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

void CMessageBoxSink::ShowMessage(const std::string& text, EMsgIcon icon) {
    const QString message = QString::fromStdString(text);
    const QMessageBox::Icon qtIcon = ToQtIcon(icon);
    if (QThread::currentThread() == qApp->thread()) {
        Show(message, qtIcon);
        return;
    }
    QMetaObject::invokeMethod(
        qApp, [message, qtIcon] { Show(message, qtIcon); }, Qt::QueuedConnection);
}

}  // namespace wavory
