// "Start a Hotspot…": the adapter's own access point. The name, security, band and passphrase (a
// generated one offered, shown with its QR code) before the start; the clients while it runs. The
// library is asked off the interface thread: a start through NetworkManager takes seconds.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "survey/Hotspot.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace wavory {

class CQrCodeView;

class CHotspotDlg : public QDialog {
    Q_OBJECT
public:
    // Runs the dialog (modally unless tests put their own in place).
    using RunHook = std::function<void(CHotspotDlg& dialog)>;
    static RunHook s_fnRun;
    // Opens the dialog over `parent` through the hook.
    static void Open(QWidget* parent);
    // Opens it with the hotspot profile `name` filled in; with `start`, starting it at once (the
    // Profiles page's Connect). A message says so when there is no such hotspot profile.
    static void OpenProfile(QWidget* parent, const std::string& name, bool start);
    // Asks the name to keep the settings under ("Save as Profile…"); nothing when cancelled.
    using AskNameHook = std::function<std::optional<std::string>(QWidget* parent, const std::string& suggested)>;
    static AskNameHook s_fnAskName;

    explicit CHotspotDlg(QWidget* parent = nullptr);
    ~CHotspotDlg() override;

    QLineEdit* NameEdit() const { return m_pName; }
    QComboBox* SecurityBox() const { return m_pSecurity; }
    QComboBox* BandBox() const { return m_pBand; }
    QLineEdit* PassphraseEdit() const { return m_pPassphrase; }
    QPushButton* StartButton() const { return m_pStart; }
    QPushButton* StopButton() const { return m_pStop; }
    QPushButton* SaveButton() const { return m_pSave; }
    QTreeWidget* Clients() const { return m_pClients; }
    QLabel* StatusLabel() const { return m_pStatus; }
    CQrCodeView* Code() const { return m_pCode; }
    // A request is on its way (the buttons wait for it).
    bool Busy() const { return m_bBusy; }

    // Reads the hotspot again (off the interface thread) and shows it.
    void Refresh();
    // Fills in the settings of a kept hotspot; `profile` names it (a save replaces it).
    void Load(const std::string& profile, const kccl::SHotspotRecord& record);
    // Starts the hotspot with the settings shown, as Start does.
    void StartNow() { OnStart(); }
    // The settings as typed; the first problem of them in *problem when they cannot start.
    kccl::SHotspotRecord Settings(std::string* problem) const;

private:
    void OnStart();
    void OnStop();
    void OnSave();
    void OnSecurityChanged();
    // Shows a state the library answered (or why it could not be read).
    void Show(const std::optional<SHotspotState>& state, const std::string& error);
    // Runs `work` on a thread of its own and `done` with its result on the interface thread, unless
    // the dialog has gone by then.
    template <typename T>
    void RunOff(std::function<T()> work, std::function<void(const T&)> done);

    QLineEdit* m_pName;
    QComboBox* m_pSecurity;
    QComboBox* m_pBand;
    QLineEdit* m_pPassphrase;
    QPushButton* m_pNewPassphrase;
    CQrCodeView* m_pCode;
    QLabel* m_pStatus;
    QTreeWidget* m_pClients;
    QPushButton* m_pStart;
    QPushButton* m_pStop;
    QPushButton* m_pSave;
    QTimer* m_pTimer;
    // The hotspot profile shown (empty: none), and its channel, kept while its band is chosen.
    std::string m_strProfile;
    int m_nProfileBand = -1;
    uint16_t m_nProfileChannel = 0;
    // The requests on their way: the dialog waits for them before it goes, so that none outlives
    // what it reports to.
    std::vector<QPointer<QThread>> m_Threads;
    bool m_bBusy = false;
    bool m_bRunning = false;
    std::string m_strResult;  // what the last start or stop said
};

}  // namespace wavory
