// A tabbed editor of one profile: pages that follow the CEditProfilePage contract, with OK, Cancel
// and Apply (OK, Cancel, Apply from left to right; there is no Help button). Confirming checks every
// page first and writes them into the edited profile only when all of them are acceptable.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class CProfileSheet;
}

class QLabel;

namespace wavory {

class CEditProfilePage;
class CProfile;

class CProfileSheet : public QDialog {
    Q_OBJECT
public:
    enum EControl : int { IDC_OK = 1, IDC_CANCEL = 2, IDC_APPLY = 12321 };

    // With a target the pages load from and write into it instead of the edited profile.
    CProfileSheet(const QString& title, QWidget* parent, CProfile* target = nullptr);
    ~CProfileSheet() override;

    int PageCount() const { return static_cast<int>(m_Pages.size()); }
    CEditProfilePage* Page(int index) const;
    int ActivePage() const;
    void SetActivePage(int index);

    // Checks every page, then writes them into the edited profile and commits it. False keeps the
    // sheet open on the page to correct, with the focus on the control at fault.
    bool ApplyAll();
    // What the opener does with the written profile (stores it); false keeps the sheet open, the
    // opener having told the user why.
    void SetCommit(std::function<bool()> commit) { m_fnCommit = std::move(commit); }
    // OK: closes only when ApplyAll succeeded.
    void accept() override;
    // A line above the pages that says why the sheet was opened (a key that was not accepted);
    // shown as plain text, hidden when empty.
    void SetNotice(const QString& text);
    QString Notice() const;

protected:
    // The tab takes the page's window title, so a page can show its state in its caption.
    void AddPage(CEditProfilePage* page, const QString& caption);
    // Loads every page from the edited profile; without one the controls keep their form's state.
    void LoadPages();

private:
    void OnModified();
    void OnApplyNow();
    void ShowProblem(CEditProfilePage* page, QWidget* control);

    std::unique_ptr<Ui::CProfileSheet> ui;
    std::vector<CEditProfilePage*> m_Pages;
    CProfile* m_pTarget;
    QLabel* m_pNotice;
    std::function<bool()> m_fnCommit;
};

}  // namespace wavory
