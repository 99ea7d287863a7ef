// The General page: where the adapter is connected and how the link is doing. Read-only; its
// driver fields are a variable list bound to the page's labels and re-read on every refresh.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/monitor/BoundPage.h"

namespace Ui {
class CMainGen;
}

namespace wavory {

class CCommVarList;
class CShareDlg;
struct SLinkInfo;

class CMainGen : public CBoundPage {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_SSID = 1063,
        IDC_NET_MODE = 1064,
        IDC_CHANNEL = 1065,
        IDC_MAX_RATE = 1066,
        IDC_SECURITY = 1067,
        IDC_POWER_SAVE = 1068,
        IDC_ACTIVE_PROFILE = 1069,
        IDC_RECEIVED = 1070,
        IDC_SENT = 1071,
        IDC_NET_RATE = 1072,
        IDC_RADIO_STATUS = 1073,
        IDC_LINK_QUALITY = 1074,
        IDC_ENABLE_RADIO = 1078,
        IDC_PICTURE = 1082
    };

    // Runs the Share dialog (modally unless tests put their own in place).
    using ShareHook = std::function<void(CShareDlg& dialog)>;
    static ShareHook s_fnRunShare;

    explicit CMainGen(QWidget* parent = nullptr);
    ~CMainGen() override;

    // Re-reads the connection; the not-connected state when the adapter has none.
    void Refresh();
    // The line above the connection: a simulated adapter said as such, and on a first start the
    // way to a network. Empty when hidden.
    QString NoticeText() const;

signals:
    // The History… button: the window opens its connection history.
    void HistoryRequested();

protected:
    // Binds the driver fields and shows the not-connected state until the first refresh.
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    void ShowNotConnected();
    void ShowNotice();
    // Leaves the network (the automatic selection pauses until the user connects again).
    void OnDisconnect();
    void OnDetails();
    // The connected network as a QR code.
    void OnShare();

    // Shows the maximum rate and the security once the list has read them: the connection's own
    // figure and kind where the adapter reports its link, else what the PHY type and the security
    // mode say.
    void ShowLinkFields(const SLinkInfo* link);

    std::unique_ptr<Ui::CMainGen> ui;
    std::unique_ptr<CCommVarList> m_pList;
    std::string m_strMaxRate, m_strSecurity;
    std::string m_strSimulated;     // SimulatedAdapterNotice, read once
    bool m_bConnectedShown = false;  // the page shows a connection
    QString m_strLastDrop;           // why the last connection ended, shown while not connected
};

}  // namespace wavory
