// "Share…": a network's QR code for a phone to join by, with the network's name and, once the user
// asked for it and confirmed, the passphrase. Enterprise networks get no code: phones cannot join
// them from one.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace wavory {

class CProfile;
class CQrCodeView;

class CShareDlg : public QDialog {
    Q_OBJECT
public:
    // Asks whether to show the passphrase on the screen; true for Yes. Tests answer it.
    using ConfirmHook = std::function<bool(QWidget* parent, const QString& question)>;
    static ConfirmHook s_fnConfirmShow;

    // The dialog for these settings (a stored profile, or the connected network's own).
    explicit CShareDlg(const CProfile& profile, QWidget* parent = nullptr);
    ~CShareDlg() override;

    // The URI the code holds; empty when no code is shown.
    const std::string& Uri() const { return m_strUri; }
    CQrCodeView* Code() const { return m_pCode; }
    // Why no code is shown; hidden when one is.
    QLabel* Notice() const { return m_pNotice; }
    QLabel* NetworkName() const { return m_pName; }
    // The passphrase (or WEP key) as shown: dots until the user confirmed.
    QLabel* Secret() const { return m_pSecret; }
    QPushButton* ShowSecretButton() const { return m_pShow; }

    // Asks, then shows the passphrase; nothing when the user said No.
    void ShowSecret();

private:
    std::string m_strUri;
    std::string m_strSsid;
    std::string m_strSecret;
    bool m_bWep = false;  // the secret is a WEP key, not a passphrase
    CQrCodeView* m_pCode;
    QLabel* m_pNotice;
    QLabel* m_pName;
    QLabel* m_pSecret;
    QPushButton* m_pShow;
};

}  // namespace wavory
