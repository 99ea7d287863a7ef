#include "ui/shell/PlainText.h"

#include <QLabel>
#include <QTextDocument>
#include <QWidget>

#include "base/DisplayText.h"

namespace wavory {

QString ShownText(std::string_view bytes) { return QString::fromStdString(DisplayText(bytes)); }

QString PlainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

void UsePlainTextLabels(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
}

}  // namespace wavory
