// A driver variable's view on a page: a label whose text the variable sets.
#pragma once

#include <QLabel>
#include <QPointer>
#include <string>

#include "driver/BoundControl.h"

namespace wavory {

class CLabelControl : public IBoundControl {
public:
    explicit CLabelControl(QLabel* label) : m_pLabel(label) {}

    // Runs on the interface thread only: pages refresh their lists from the main tick.
    void SetText(const std::string& text) override {
        if (m_pLabel) m_pLabel->setText(QString::fromStdString(text));
    }

private:
    QPointer<QLabel> m_pLabel;
};

}  // namespace wavory
