#include "ui/profiles/ProfileSheet.h"

#include "ui_ProfileSheet.h"

#include <QLabel>
#include <QPushButton>

#include "profiles/Profile.h"
#include "ui/profiles/EditProfilePage.h"

namespace wavory {

CProfileSheet::CProfileSheet(const QString& title, QWidget* parent, CProfile* target)
    : QDialog(parent),
      ui(std::make_unique<Ui::CProfileSheet>()),
      m_pTarget(target),
      m_pNotice(new QLabel(this)) {
    ui->setupUi(this);
    setWindowTitle(title);
    m_pNotice->setObjectName(QStringLiteral("notice"));
    m_pNotice->setTextFormat(Qt::PlainText);
    m_pNotice->setWordWrap(true);
    m_pNotice->hide();
    ui->sheetLayout->insertWidget(0, m_pNotice);
    connect(ui->IDC_1, &QPushButton::clicked, this, &CProfileSheet::accept);
    connect(ui->IDC_2, &QPushButton::clicked, this, &CProfileSheet::reject);
    connect(ui->IDC_12321, &QPushButton::clicked, this, &CProfileSheet::OnApplyNow);
}

CProfileSheet::~CProfileSheet() = default;

void CProfileSheet::AddPage(CEditProfilePage* page, const QString& caption) {
    page->setWindowTitle(caption);
    ui->tabPages->addTab(page, caption);
    m_Pages.push_back(page);
    connect(page, &CEditProfilePage::Modified, this, &CProfileSheet::OnModified);
    connect(page, &QWidget::windowTitleChanged, this, [this, page](const QString& title) {
        ui->tabPages->setTabText(ui->tabPages->indexOf(page), title);
    });
}

void CProfileSheet::LoadPages() {
    if (m_pTarget) {
        for (CEditProfilePage* page : m_Pages) page->Load(*m_pTarget);
    } else if (std::unique_ptr<CProfile> snapshot = EditedSnapshot()) {
        for (CEditProfilePage* page : m_Pages) page->Load(*snapshot);
    }
    ui->IDC_12321->setEnabled(false);  // loading is no change of the user's
}

CEditProfilePage* CProfileSheet::Page(int index) const {
    return index >= 0 && index < PageCount() ? m_Pages[static_cast<size_t>(index)] : nullptr;
}

int CProfileSheet::ActivePage() const { return ui->tabPages->currentIndex(); }

void CProfileSheet::SetActivePage(int index) {
    if (index >= 0 && index < PageCount()) ui->tabPages->setCurrentIndex(index);
}

void CProfileSheet::ShowProblem(CEditProfilePage* page, QWidget* control) {
    ui->tabPages->setCurrentWidget(page);
    page->setFocus();
    control->setFocus();
}

bool CProfileSheet::ApplyAll() {
    for (CEditProfilePage* page : m_Pages) {
        if (QWidget* problem = page->Validate()) {
            ShowProblem(page, problem);
            return false;
        }
    }
    // Without a profile (it was removed meanwhile) there is nothing to write into.
    std::shared_ptr<CProfile> edited = m_pTarget ? nullptr : EditedProfile();
    CProfile* profile = m_pTarget ? m_pTarget : edited.get();
    if (!profile) return true;
    for (CEditProfilePage* page : m_Pages) {
        if (!page->Apply(*profile)) {
            ui->tabPages->setCurrentWidget(page);
            return false;
        }
    }
    if (m_fnCommit && !m_fnCommit()) return false;
    ui->IDC_12321->setEnabled(false);
    return true;
}

void CProfileSheet::accept() {
    if (ApplyAll()) QDialog::accept();
}

void CProfileSheet::SetNotice(const QString& text) {
    m_pNotice->setText(text);
    m_pNotice->setVisible(!text.isEmpty());
}

QString CProfileSheet::Notice() const { return m_pNotice->text(); }

void CProfileSheet::OnModified() { ui->IDC_12321->setEnabled(true); }

void CProfileSheet::OnApplyNow() { ApplyAll(); }

}  // namespace wavory
