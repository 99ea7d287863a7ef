// Base of the main window's pages that show driver variables: controls are found by their
// control id (object name "IDC_<id>"), and the page hands labels to its variable list as bound
// controls. Activation and deactivation come from the main window's tab changes.
#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "driver/BoundControl.h"

class QLabel;

namespace wavory {

class CLabelControl;

class CBoundPage : public QWidget, public IControlHost {
    Q_OBJECT
public:
    explicit CBoundPage(QWidget* parent = nullptr);
    ~CBoundPage() override;

    // The object name of the control with this id.
    static QString ControlName(int id) { return QStringLiteral("IDC_%1").arg(id); }

    // The label with this id as a bound control, or null when the page has none.
    IBoundControl* GetControl(int id) override;

    // Makes this the active page: the first time the page's initialisation runs, then the
    // activation (which comes before the page is shown).
    void Activate();
    // The page stopped being the active page.
    virtual void OnKillActive() {}
    bool IsInitialized() const { return m_bInitialized; }

protected:
    virtual void OnInitDialog() {}
    virtual void OnSetActive() {}

    QLabel* Label(int id) const;
    // Texts from the adapter or a profile: plain text, control bytes escaped, set only when changed.
    void SetControlText(int id, const std::string& text);
    // The page's own texts.
    void SetControlText(int id, const QString& text);
    // A label whose text changes often (a counter): it takes no part in the layout's sizing, so a
    // new text repaints the label alone, and it is not selectable (a selectable label keeps a whole
    // text document behind it).
    void MakeCounterLabel(int id, const QString& widest);

private:
    std::map<int, std::unique_ptr<CLabelControl>> m_Controls;
    bool m_bInitialized = false;
};

}  // namespace wavory
