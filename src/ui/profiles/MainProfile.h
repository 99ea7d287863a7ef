// The Profiles page of the main window: the members of the auto-selection order (in the order the
// polling thread tries them) and the other profiles, with the commands to connect, create, edit,
// duplicate, delete, export and import profiles and to arrange the auto-selection order.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "survey/ConnectAttempt.h"

namespace Ui {
class CMainProfile;
}

class QMenu;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace wavory {

class CEditProfile;
class CProfile;
class CShareDlg;
class CStackImportDlg;

class CMainProfile : public QWidget {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_CONNECT = 1075,
        IDC_EDIT = 1076,
        IDC_AUTO_LIST = 1077,
        IDC_OTHER_LIST = 1078,
        IDC_NEW = 1079,
        IDC_DOWN = 1138,
        IDC_UP = 1139,
        IDC_LEGEND = 1178
    };
    // Commands of the pop-up menu; the file commands are also the ids of their buttons.
    enum ECommand : int {
        ID_PROFILE_ADD = 32771,
        ID_PROFILE_EDIT = 32772,
        ID_PROFILE_DUPLICATE = 32773,
        ID_PROFILE_DELETE = 32774,
        ID_AUTO_ADD = 32775,
        ID_PROFILE_CONNECT = 32776,
        ID_AUTO_REMOVE = 32778,
        ID_PROFILE_EXPORT = 32779,
        ID_PROFILE_IMPORT = 32780,
        ID_PROFILE_EXPORT_ALL = 32781
    };
    enum EProfileOp : int {
        PROFILE_OP_NEW,
        PROFILE_OP_EDIT,
        PROFILE_OP_DUPLICATE,
        PROFILE_OP_DELETE,
        PROFILE_OP_TOGGLE_AUTO
    };
    enum EFileOp : int { FILE_OP_EXPORT = 0, FILE_OP_IMPORT = 1, FILE_OP_EXPORT_ALL = 2 };

    // Shares of a list's width that its three columns take.
    static constexpr double kColumnShares[3] = {0.3030927835051547, 0.45463917525773195, 0.22226804123711338};
    static constexpr const char* kFileFilter = "Wavory Profiles (*.reg)";
    // Where a row keeps the profile's exact name.
    static constexpr int kNameRole = Qt::UserRole;

    // Asks for a profile file to write (save) or read; answers its path, empty when cancelled. A save
    // dialog has already had the user confirm replacing an existing file, and sets withSecrets to
    // whether the WEP keys and passphrases go into it (its "leave them out" box unchecked).
    using FileDialogHook = std::function<QString(QWidget* parent, bool save, const QString& title,
                                                 const QString& filter, bool* withSecrets)>;
    static FileDialogHook s_fnAskFile;
    // Asks a Yes/No question; true for Yes.
    using QuestionHook = std::function<bool(QWidget* parent, const QString& text)>;
    static QuestionHook s_fnAskYesNo;
    // Runs the Share dialog (modally unless tests put their own in place).
    using ShareHook = std::function<void(CShareDlg& dialog)>;
    static ShareHook s_fnRunShare;
    // Runs the import from another stack; true when it imported (modal unless tests put their own).
    using StackImportHook = std::function<bool(CStackImportDlg& dialog)>;
    static StackImportHook s_fnRunStackImport;

    explicit CMainProfile(QWidget* parent = nullptr);
    ~CMainProfile() override;

    // Rebuilds the lists from the profile manager (the main window's full refresh).
    void Refresh();

    // The commands of the buttons and the pop-up menu.
    void ConnectSelected();
    // Asks for the 802.1X password (or key password) the profile lacks; false when the user cancelled.
    bool AskEapSecret(const CProfile& profile, CConnectAttempt::SJoinSecrets& secrets);
    void DoProfileOp(int op);
    // The selected profile's network as a QR code ("Share...").
    void ShareSelected();
    // The networks of wpa_supplicant, NetworkManager or iwd, imported as profiles.
    void ImportFromStack();
    // Delete, under the main lock and after the user's Yes; does nothing while the lock is busy.
    void OnDelete();
    void MoveUp();
    void MoveDown();
    void ProfileFileOp(int op);
    // The pop-up menu for the selected profile; null when none is selected.
    std::unique_ptr<QMenu> CreateContextMenu();

    // The list the selection is taken from.
    QTreeWidget* ActiveList() const { return m_pActiveList; }
    // The editor while it runs, else null.
    CEditProfile* Editor() const { return m_pSheet; }
    // The arrow shows its grey bitmap (it stays enabled).
    bool IsArrowGrey(bool up) const;
    // The connected mark shown for a connected profile's row.
    const QIcon& ConnectedIcon() const { return m_ConnectedIcon; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rebuilds both lists. The auto-selection row m_nAutoSel is selected again; the profile named
    // by follow (by default the one selected in the active list) is selected in whichever list it
    // now stands, and that list becomes the active one.
    void RefreshLists(int row, std::string follow = {});
    void FillLists();
    void UpdateArrows();
    void SetArrow(QToolButton* button, bool up, bool grey);
    void SetActiveList(QTreeWidget* list);
    void SetColumnWidths(QTreeWidget* list);
    void ShowContextMenu(QTreeWidget* list, const QPoint& pos);
    // The selected row's profile of the active list (and its name); null without a selection.
    std::shared_ptr<CProfile> SelectedProfile(std::string* name = nullptr) const;
    std::shared_ptr<CProfile> AutoRowProfile(int row) const;
    static std::string RowName(QTreeWidget* list, int row);
    // What one row shows; the lists are rebuilt only when these change.
    struct SProfileRow {
        bool autoSelect = false;
        std::string name;
        std::string ssid;
        std::string security;
        bool connected = false;
        bool operator==(const SProfileRow&) const = default;
    };
    std::vector<SProfileRow> BuildRows() const;
    // Selects the item as the one selection of the page (the other list's is cleared).
    void SelectItem(QTreeWidget* list, QTreeWidgetItem* item);
    void ClearSelection(QTreeWidget* list);
    // Runs the editor on g_strEditProfile; false when there is no such profile.
    bool RunEditor(const QString& title, bool isNew);
    // Stores the profile the editor wrote (and the members whose slots its change moved), asking the
    // user where another program changed the same values meanwhile; false keeps the editor open.
    bool CommitEdit();
    // Stores what a command of the page changed; on a failure or another program's change the page
    // shows what is stored, and the user is told.
    bool StoreChanges();
    // Swaps the selected member with its neighbour at priority + step.
    void Move(int step);

    std::unique_ptr<Ui::CMainProfile> ui;
    QTreeWidget* m_pActiveList = nullptr;
    CEditProfile* m_pSheet = nullptr;
    bool m_bInitialized = false;
    bool m_bFilling = false;
    bool m_bStale = false;
    std::vector<SProfileRow> m_Rows;
    int m_nAutoSel = 0;
    QIcon m_ConnectedIcon;
    // The priority arrows: down, down grey, up, up grey (drawn on first use).
    QIcon m_Arrows[4];
};

}  // namespace wavory
