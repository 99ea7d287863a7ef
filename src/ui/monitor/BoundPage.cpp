#include "ui/monitor/BoundPage.h"

#include <QLabel>
#include <QLayout>

#include "ui/monitor/LabelControl.h"

namespace wavory {

CBoundPage::CBoundPage(QWidget* parent) : QWidget(parent) {}

CBoundPage::~CBoundPage() = default;

IBoundControl* CBoundPage::GetControl(int id) {
    auto it = m_Controls.find(id);
    if (it != m_Controls.end()) return it->second.get();
    // Looked up by name once; every later update goes straight to the label.
    QLabel* label = findChild<QLabel*>(ControlName(id));
    auto& slot = m_Controls[id];
    if (label) slot = std::make_unique<CLabelControl>(label);
    return slot.get();
}

void CBoundPage::Activate() {
    if (!m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    OnSetActive();
}

QLabel* CBoundPage::Label(int id) const {
    auto* control = static_cast<CLabelControl*>(const_cast<CBoundPage*>(this)->GetControl(id));
    return control ? control->Label() : nullptr;
}

void CBoundPage::SetControlText(int id, const std::string& text) {
    if (IBoundControl* control = GetControl(id)) control->SetText(text);
}

void CBoundPage::SetControlText(int id, const QString& text) { SetControlText(id, text.toStdString()); }

void CBoundPage::MakeCounterLabel(int id, const QString& widest) {
    QLabel* label = Label(id);
    if (!label) return;
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    // A fixed size: a widget whose size cannot change does not ask its layout to recompute.
    label->setFixedSize(label->fontMetrics().horizontalAdvance(widest) + 2 * label->margin() + 2,
                        label->sizeHint().height());
    // Its cell is wider: the label stays at the start of it, where the other values begin.
    if (QWidget* parent = label->parentWidget(); parent && parent->layout())
        parent->layout()->setAlignment(label, Qt::AlignLeft | Qt::AlignVCenter);
}

}  // namespace wavory
