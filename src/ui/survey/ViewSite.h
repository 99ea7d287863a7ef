// The Available Networks dialog: the stations of the last scan, one row per network name or one
// per access point, sortable by any column, with rescan, connect, save as profile and edit
// connection. The main window owns it, shows it with "&View Site" and calls RefreshList from its
// tick while it is shown; "C&lose" only hides it, so view, sort and selection stay.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class CViewSite;
}

class QAction;
class QMenu;
class QTreeWidgetItem;

namespace wavory {

class CChannelsDlg;
class CConnectAttempt;
class CEditProfile;
class CSignalChart;
class CSignalTrail;
class CHiddenNetworkDlg;
class CStation;
struct SJoin;

class CViewSite : public QDialog {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_CLOSE = 2,
        IDC_TOGGLE_VIEW = 3,
        IDC_SAVE_PROFILE = 1057,
        IDC_RESCAN = 1058,
        IDC_EDIT_CONNECTION = 1059,
        IDC_CONNECT = 1061,
        IDC_LIST = 1062,
        IDC_ANIMATION = 1163,
        IDC_PROGRESS = 1164,
        IDC_LEGEND_CONNECTED = 1176
    };
    // What EditSelectedStation opens the editor for.
    enum EEditMode : int { EDIT_SAVE_PROFILE = 0, EDIT_CONNECTION = 1, EDIT_SECURITY = 2 };
    // The editor's answer, as the dialog framework numbers OK and Cancel.
    enum EEditResult : int { EDIT_CONFIRMED = 1, EDIT_CANCELLED = 2 };
    // The progress runs over this many seconds at most; the scan usually ends before.
    static constexpr int kScanSeconds = 6;
    // The scan animation's frame period; the progress bar moves once a second.
    static constexpr int kProgressTickMs = 250;
    // Background of the connected station's row.
    static constexpr unsigned kConnectedRowRgb = 0x85D2FC;

    // Runs the profile editor modally with this title on the profile that g_strEditProfile names;
    // true when the user confirmed. Tests put their own in place of the real editor.
    using EditorRunner = std::function<bool(const QString& title)>;
    // Runs the hidden-network dialog; the settings entered, or null when cancelled. Tests fill it in.
    using HiddenRunner = std::function<std::shared_ptr<CStation>(CHiddenNetworkDlg& dialog)>;
    // Asks a yes/no question (Forget); tests answer it.
    using ConfirmRunner = std::function<bool(const QString& question)>;
    // Asks for the image file of a QR code; empty when cancelled. Tests name their own.
    using QrFileRunner = std::function<QString()>;
    // Where "Join from QR Code" takes the picture from.
    enum class EQrSource { File, Clipboard, Screen };

    // The window settings that keep the dialog's size and sort order.
    static constexpr const char* kWidthPref = "Site Width";
    static constexpr const char* kHeightPref = "Site Height";
    static constexpr const char* kSortColumnPref = "Site Sort Column";
    static constexpr const char* kSortAscendingPref = "Site Sort Ascending";
    // What the line below the list says while it has no rows.
    static constexpr const char* kScanningText = "Scanning\u2026";
    static constexpr const char* kNoNetworksText = "No networks found";
    static constexpr const char* kNoAdapterText = "No adapter found";

    explicit CViewSite(QWidget* parent = nullptr);
    ~CViewSite() override;

    // Rebuilds the rows from the station manager, keeps the selection by its row key (or falls
    // back to the first row) and moves the scan progress on. The main tick calls it under CS_MAIN.
    void RefreshList();

    void SetEditorRunner(EditorRunner runner);
    void SetHiddenRunner(HiddenRunner runner) { m_fnHidden = std::move(runner); }
    void SetConfirmRunner(ConfirmRunner runner) { m_fnConfirm = std::move(runner); }
    void SetQrFileRunner(QrFileRunner runner) { m_fnQrFile = std::move(runner); }
    // What the screens show, one picture a screen (tests give their own).
    using ScreenGrabber = std::function<std::vector<QImage>()>;
    void SetScreenGrabber(ScreenGrabber grabber) { m_fnGrabScreens = std::move(grabber); }
    // The line below the list ("Scanning…", "No networks found", "No adapter found"); empty with rows.
    QString ListStateText() const;
    // Shows only the networks whose name holds this text (any case); empty shows all.
    void SetFilter(const QString& text);

    bool IsNetworkView() const { return m_bNetworkView; }
    int SortColumn() const { return m_nSortColumn; }
    bool SortAscending() const { return m_bSortAscending; }
    // The list's pop-up menu (shown by ShowContextMenu).
    QMenu* ContextMenu() const { return m_pMenu; }
    // The editor while EditSelectedStation runs it with the real editor, else null.
    CEditProfile* Editor() const { return m_pEditor; }
    // What the key prompt says above its page while it runs (why the key is asked for again).
    const QString& PromptNotice() const { return m_strPromptNotice; }
    // Shows "Connecting to <network>…" while an attempt runs (empty: none runs).
    void ShowJoinProgress(const QString& text);

    // The chart of the selected access points' signal over time, and the view of the air.
    CSignalChart* SignalChart() const { return m_pChart; }
    CChannelsDlg* Channels() const { return m_pChannels; }
    // The row keys selected (several with Ctrl or Shift), the one the buttons act on first.
    std::vector<std::string> SelectedKeys() const;

    // Writes the network view as available-networks.png and the access-point view as
    // available-aps.png into dir; returns the files written. The view shown before is restored.
    QStringList WriteScreenshots(const QString& dir);
    // Writes the access-point view with this made-up history of signals in its chart as
    // signal-over-time.png (the user's own history stays out of pictures); the path, or empty.
    QString WriteSignalScreenshot(const QString& dir, const CSignalTrail& sample);
    // Writes the view of the air as channels.png; the path, or empty.
    QString WriteChannelsScreenshot(const QString& dir);

public slots:
    // Asks for a hidden network's name, security and key and joins it; `preset` chooses the
    // security shown first.
    void ConnectHidden(int preset = -1);
    // Joins the strongest access point of a network by name, as Connect on its row does (the tray
    // menu's networks).
    void ConnectNetwork(const std::string& ssid);
    // Joins the network of a QR code in a picture (an image file asked for, or the clipboard's),
    // as a typed join does; what the code does not give is asked for. A picture without a code, or
    // a code that is not a network's or that a typed join would refuse, is said as such.
    void JoinFromQr(EQrSource source);
    // The same for the text of a code (a Wi-Fi URI).
    void JoinFromUri(const std::string& text);
    // Removes the stored profiles of the selected network, after asking.
    void OnForget();
    // Joins the selected station under CS_MAIN, asking for a WEP key first when it has none. The
    // adapter joins meanwhile; a key it did not accept is asked for again.
    void OnConnect();
    // Under CS_MAIN: mode 0 saves the selected station as a new profile, mode 1 edits the
    // security of the connection.
    void EditSelectedStation(int mode);
    // Starts a scan and shows its progress; the main tick merges the result.
    void OnRescan();
    // Switches between the network view and the access-point view and keeps the choice.
    void OnToggleView();
    // Opens the view of the air (the graph per band), brought up to date.
    void OnChannels();
    // The pop-up menu for a point of the list's viewport; nothing when no row is selected.
    void ShowContextMenu(const QPoint& pos);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using StationPtr = std::shared_ptr<CStation>;
    // What one row shows; the list is rebuilt only when these change.
    struct SSiteRow {
        std::string key;
        int image = 0;
        bool current = false;
        std::vector<std::string> texts;
        bool operator==(const SSiteRow&) const = default;
    };

    // Title, toggle caption and columns of the current view, then a merge and the rows.
    void InitView();
    std::vector<SSiteRow> BuildRows();
    void FillList();
    void ApplyColumnWidths();
    // The editor run of EditSelectedStation, with CS_MAIN already held; EEditResult.
    int RunEditor(int mode);
    void ConnectSelected();
    // Asks for the network's key (the security page on join.settings), with a notice above it;
    // false when the user cancelled.
    bool AskKey(SJoin& join, const QString& notice);
    void StartJoin(const SJoin& join);
    void JoinEnded(CConnectAttempt& attempt);
    // What was typed for a network that has no profile yet is offered again at its next join in
    // this session (a failed join stores nothing): identity, server name, password, key.
    void RecallTyped(SJoin& join) const;
    void RememberTyped(const SJoin& join, bool joined);
    // The station of a row key in the current view, or of the selected row.
    StationPtr FindStation(const std::string& rowKey);
    StationPtr SelectedStation();
    static std::string RowKeyOf(const QTreeWidgetItem* row);
    bool IsCurrentStation(const CStation& station);
    void EnableButtons(const StationPtr& station);
    void OnRowSelected();
    // Puts the signal chart under the list and wires "Channels…".
    void SetUpAir();
    // Shows the signal over time of the selected access points: in the network view, every access
    // point of each selected name.
    void UpdateChart();
    void OnColumnClicked(int column);
    void UpdateProgress();
    void StopProgress();
    void UpdateListState();
    // The size kept from the last time, or one that shows every column.
    void RestoreSize();
    void StoreSortOrder();
    // Widens the dialog until every column shows, for a picture.
    void FitColumnsForPicture();

    std::unique_ptr<Ui::CViewSite> ui;
    QMenu* m_pMenu;
    QAction* m_pMenuConnect;
    QAction* m_pMenuEdit;
    QAction* m_pMenuForget;
    HiddenRunner m_fnHidden;
    ConfirmRunner m_fnConfirm;
    QrFileRunner m_fnQrFile;
    ScreenGrabber m_fnGrabScreens;
    QString m_strFilter;
    bool m_bSized = false;
    int m_nLeastListWidth = 0;  // what every column needs at the least
    bool m_bAdapterMissing = false;
    bool m_bJoinRunning = false;  // a join of the user's runs: Connect waits for its end or Cancel
    bool m_bNetworkView = false;
    int m_nSortColumn = 0;
    bool m_bSortAscending = true;
    std::string m_strListCurrentKey;
    std::vector<SSiteRow> m_Rows;
    std::string m_strSelectedKey;
    std::vector<std::string> m_OtherSelectedKeys;  // selected beside m_strSelectedKey
    CSignalChart* m_pChart = nullptr;
    CChannelsDlg* m_pChannels = nullptr;
    const CSignalTrail* m_pSampleTrail = nullptr;  // shown instead of the manager's (screenshots)
    bool m_bFilling = false;
    QElapsedTimer m_ScanStart;
    QTimer m_ProgressTimer;
    int m_nScanFrame = 0;
    EditorRunner m_fnEditor;
    CEditProfile* m_pEditor = nullptr;
    QString m_strPromptNotice;
    std::map<std::string, std::shared_ptr<CStation>> m_Typed;  // by SSID, for RecallTyped
};

}  // namespace wavory
