#include "ui/shell/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <string_view>

#include "shell/Tessal.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"

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
    // Messages quote names and files from outside: never markup.
    PlainMessageBox(parent, icon, QString::fromLatin1(CTessalApp::kAppName), text);
}

}  // namespace

void CMessageBoxSink::ShowMessage(const std::string& text, EMsgIcon icon) {
    // Line breaks are the message's own; any other control byte (from a quoted name) is escaped.
    QStringList lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines << ShownText(std::string_view(text).substr(start, end - start));
    lines << ShownText(std::string_view(text).substr(start));
    const QString message = lines.join(QLatin1Char('\n'));
    const QMessageBox::Icon qtIcon = ToQtIcon(icon);
    if (QThread::currentThread() == qApp->thread()) {
        Show(message, qtIcon);
        return;
    }
    QMetaObject::invokeMethod(
        qApp, [message, qtIcon] { Show(message, qtIcon); }, Qt::QueuedConnection);
}

}  // namespace wavory
