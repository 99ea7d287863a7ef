#include "ui/monitor/BoundPage.h"

#include <QLabel>

#include "ui/monitor/LabelControl.h"

namespace wavory {

CBoundPage::CBoundPage(QWidget* parent) : QWidget(parent) {}

CBoundPage::~CBoundPage() = default;

IBoundControl* CBoundPage::GetControl(int id) {
    auto it = m_Controls.find(id);
    if (it != m_Controls.end()) return it->second.get();
    QLabel* label = Label(id);
    if (!label) return nullptr;
    auto& slot = m_Controls[id];
    slot = std::make_unique<CLabelControl>(label);
    return slot.get();
}

void CBoundPage::Activate() {
    if (!m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    OnSetActive();
}

QLabel* CBoundPage::Label(int id) const { return findChild<QLabel*>(ControlName(id)); }

void CBoundPage::SetControlText(int id, const std::string& text) {
    SetControlText(id, QString::fromStdString(text));
}

void CBoundPage::SetControlText(int id, const QString& text) {
    if (QLabel* label = Label(id)) label->setText(text);
}

}  // namespace wavory
