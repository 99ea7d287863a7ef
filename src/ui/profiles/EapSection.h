// The enterprise (802.1X) part of the editor's Security page: method and inner method, the
// identities, how the server is checked (CA certificate file, the system's store, a server name,
// or explicitly not at all), the TLS files and the secrets, and whether the password is kept.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace wavory {

class CProfile;

class CEapSection : public QGroupBox {
    Q_OBJECT
public:
    explicit CEapSection(QWidget* parent = nullptr);

    void Load(const CProfile& profile);
    // Null when the values are acceptable; else the user was told why and the control to correct.
    QWidget* Validate();
    // Writes the values into the profile, the password as typed; whether it is kept is KeepPassword's.
    void Apply(CProfile& profile) const;
    bool KeepPassword() const;
    // Puts the focus where typing is wanted first: the identity while it is empty, else an empty
    // password, else the identity.
    void FocusFirstField();

    QComboBox* Method() const { return m_pMethod; }
    QComboBox* Phase2() const { return m_pPhase2; }
    QLineEdit* Identity() const { return m_pIdentity; }
    QLineEdit* CaCert() const { return m_pCaCert; }
    QCheckBox* SystemCa() const { return m_pSystemCa; }
    QLineEdit* Domain() const { return m_pDomain; }
    QCheckBox* NoCaCheck() const { return m_pNoCaCheck; }
    QLineEdit* Password() const { return m_pPassword; }
    QCheckBox* StorePassword() const { return m_pStore; }

signals:
    void Modified();

private:
    void OnMethodChange();
    void Browse(QLineEdit* edit, const QString& title);
    int MethodValue() const;
    int Phase2Value() const;

    QComboBox* m_pMethod;
    QComboBox* m_pPhase2;
    QLineEdit* m_pIdentity;
    QLineEdit* m_pAnonymous;
    QLineEdit* m_pCaCert;
    QPushButton* m_pCaBrowse;
    QCheckBox* m_pSystemCa;
    QLineEdit* m_pDomain;
    QCheckBox* m_pNoCaCheck;
    QLineEdit* m_pClientCert;
    QLineEdit* m_pPrivateKey;
    QLineEdit* m_pKeyPassword;
    QLineEdit* m_pPassword;
    QCheckBox* m_pStore;
};

}  // namespace wavory
