// "Import from Another Wi-Fi Stack…": the networks wpa_supplicant, NetworkManager or iwd keep, read
// from their file or folder (or NetworkManager's connections over D-Bus), shown with what becomes
// of each before anything is stored, then imported as one change of the store.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "profiles/StackFiles.h"
#include "profiles/StackImport.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace wavory {

class CProfileMngr;

class CStackImportDlg : public QDialog {
    Q_OBJECT
public:
    CStackImportDlg(CProfileMngr& profiles, QWidget* parent = nullptr);

    // Reads the chosen stack's networks from the path given (its own place when empty) and lists them.
    void ReadNetworks();
    // Stores the usable networks read; the dialog then closes with Accepted.
    void Import();

    QComboBox* Stack() const { return m_pStack; }
    QLineEdit* Path() const { return m_pPath; }
    QTreeWidget* List() const { return m_pList; }
    QLabel* Status() const { return m_pStatus; }
    QPushButton* ImportButton() const { return m_pImport; }
    const std::vector<SStackNetwork>& Networks() const { return m_Networks; }
    // What the import did: names, reasons, the store's error.
    const SStackImportResult& Result() const { return m_Result; }
    // A line for the user about the import done (counts, and what was not imported).
    QString Summary() const;

private:
    EStack ChosenStack() const;
    void Browse(bool folder);
    void Fill();

    CProfileMngr& m_Profiles;
    QComboBox* m_pStack;
    QLineEdit* m_pPath;
    QTreeWidget* m_pList;
    QLabel* m_pStatus;
    QPushButton* m_pImport;
    std::vector<SStackNetwork> m_Networks;
    SStackImportResult m_Result;
};

}  // namespace wavory
