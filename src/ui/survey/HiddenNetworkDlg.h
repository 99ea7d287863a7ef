// "Connect to a Hidden Network": the name of a network that does not announce it, its kind of
// security and its key or passphrase. Connect is offered only once the entries are complete, and
// the line below them says what is still missing.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "survey/LinkActions.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace wavory {

class CStation;

class CHiddenNetworkDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHiddenNetworkDlg(QWidget* parent = nullptr);

    // Presets the kind of security (a row of the survey that shows no name).
    void SetSecurity(EHiddenSecurity security);
    // What is still missing, or empty when the entries will do.
    QString Problem() const;
    // The network's settings with the key entered (as key 1 for WEP); null while Problem() says something.
    std::shared_ptr<CStation> Settings() const;

    QLineEdit* NameEdit() const { return m_pName; }
    QComboBox* SecurityBox() const { return m_pSecurity; }
    QLineEdit* KeyEdit() const { return m_pKey; }

private:
    EHiddenSecurity Security() const;
    void Update();

    QLineEdit* m_pName;
    QComboBox* m_pSecurity;
    QLineEdit* m_pKey;
    QCheckBox* m_pShowKey;
    QLabel* m_pProblem;
    QDialogButtonBox* m_pButtons;
};

}  // namespace wavory
