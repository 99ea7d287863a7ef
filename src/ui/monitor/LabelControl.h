// A driver variable's view on a page: a label whose text the variable sets. The text comes from the
// adapter, so it is shown as plain text with its control bytes escaped, and the label is touched
// only when the text changed (a refresh reads every variable, most of them unchanged).
#pragma once

#include <QLabel>
#include <QPointer>
#include <string>

#include "driver/BoundControl.h"
#include "ui/shell/PlainText.h"

namespace wavory {

class CLabelControl : public IBoundControl {
public:
    explicit CLabelControl(QLabel* label) : m_pLabel(label) {
        if (m_pLabel) m_pLabel->setTextFormat(Qt::PlainText);
    }

    // Runs on the interface thread only: pages refresh their lists from the main tick.
    void SetText(const std::string& text) override {
        if (!m_pLabel || (m_bSet && text == m_strText)) return;
        m_strText = text;
        m_bSet = true;
        m_pLabel->setText(ShownText(text));
    }

    QLabel* Label() const { return m_pLabel; }

private:
    QPointer<QLabel> m_pLabel;
    std::string m_strText;
    bool m_bSet = false;
};

}  // namespace wavory
