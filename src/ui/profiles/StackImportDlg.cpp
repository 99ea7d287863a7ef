#include "ui/profiles/StackImportDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/NmBus.h"
#include "profiles/StackSource.h"
#include "ui/shell/PlainText.h"

namespace wavory {

namespace {

// Each stack's own place, read when no path is given.
const char* DefaultPath(EStack stack) {
    switch (stack) {
        case EStack::WpaSupplicant:
            return "/etc/wpa_supplicant/wpa_supplicant.conf";
        case EStack::NetworkManager:
            return "/etc/NetworkManager/system-connections";
        case EStack::Iwd:
            return "/var/lib/iwd";
    }
    return "";
}

// How a file only root reads comes in from the window's side.
constexpr const char* kRootHint =
    " (only root reads it: copy it to a file you may read, or use sudo cat FILE | wavoryctl profiles "
    "import --from STACK -)";

QString Joined(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) out << ShownText(line);
    return out.join(QStringLiteral("; "));
}

}  // namespace

CStackImportDlg::CStackImportDlg(CProfileMngr& profiles, QWidget* parent)
    : QDialog(parent),
      m_Profiles(profiles),
      m_pStack(new QComboBox(this)),
      m_pPath(new QLineEdit(this)),
      m_pList(new QTreeWidget(this)),
      m_pStatus(new QLabel(this)),
      m_pImport(new QPushButton(QStringLiteral("&Import"), this)) {
    setWindowTitle(QStringLiteral("Import from Another Wi-Fi Stack"));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    m_pStack->addItem(QStringLiteral("wpa_supplicant"), static_cast<int>(EStack::WpaSupplicant));
    m_pStack->addItem(QStringLiteral("NetworkManager"), static_cast<int>(EStack::NetworkManager));
    m_pStack->addItem(QStringLiteral("iwd"), static_cast<int>(EStack::Iwd));
    m_pStack->setObjectName(QStringLiteral("cmbStack"));
    fields->addRow(QStringLiteral("&Stack:"), m_pStack);
    auto* pathRow = new QHBoxLayout;
    m_pPath->setObjectName(QStringLiteral("edtPath"));
    pathRow->addWidget(m_pPath, 1);
    auto* file = new QPushButton(QStringLiteral("&File..."), this);
    auto* folder = new QPushButton(QStringLiteral("F&older..."), this);
    auto* read = new QPushButton(QStringLiteral("&Read"), this);
    read->setObjectName(QStringLiteral("btnRead"));
    for (QPushButton* b : {file, folder, read}) {
        b->setAutoDefault(false);
        pathRow->addWidget(b);
    }
    auto* pathCaption = new QLabel(QStringLiteral("&From:"), this);
    pathCaption->setBuddy(m_pPath);
    fields->addRow(pathCaption, pathRow);
    layout->addLayout(fields);

    m_pList->setObjectName(QStringLiteral("lstNetworks"));
    m_pList->setColumnCount(3);
    m_pList->setHeaderLabels({QStringLiteral("Network"), QStringLiteral("Becomes"), QStringLiteral("Not kept")});
    m_pList->setRootIsDecorated(false);
    m_pList->setWordWrap(true);
    m_pList->header()->setStretchLastSection(true);
    layout->addWidget(m_pList, 1);
    m_pStatus->setObjectName(QStringLiteral("lblStatus"));
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pStatus->setWordWrap(true);
    layout->addWidget(m_pStatus);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_pImport->setObjectName(QStringLiteral("btnImport"));
    m_pImport->setEnabled(false);
    buttons->addButton(m_pImport, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pImport, &QPushButton::clicked, this, &CStackImportDlg::Import);
    layout->addWidget(buttons);

    const auto placeholder = [this] {
        const EStack stack = ChosenStack();
        m_pPath->setPlaceholderText(stack == EStack::NetworkManager
                                        ? QStringLiteral("NetworkManager's connections")
                                        : QString::fromLatin1(DefaultPath(stack)));
    };
    placeholder();
    connect(m_pStack, &QComboBox::currentIndexChanged, this, [this, placeholder] {
        placeholder();
        m_Networks.clear();
        Fill();
        m_pStatus->clear();
    });
    connect(file, &QPushButton::clicked, this, [this] { Browse(false); });
    connect(folder, &QPushButton::clicked, this, [this] { Browse(true); });
    connect(read, &QPushButton::clicked, this, &CStackImportDlg::ReadNetworks);
    connect(m_pPath, &QLineEdit::returnPressed, this, &CStackImportDlg::ReadNetworks);
    resize(760, 400);
}

EStack CStackImportDlg::ChosenStack() const { return static_cast<EStack>(m_pStack->currentData().toInt()); }

void CStackImportDlg::Browse(bool folder) {
    const QString start = m_pPath->text().isEmpty() ? QString::fromLatin1(DefaultPath(ChosenStack())) : m_pPath->text();
    const QString chosen = folder ? QFileDialog::getExistingDirectory(this, QStringLiteral("Folder of Networks"), start)
                                  : QFileDialog::getOpenFileName(this, QStringLiteral("Network File"), start);
    if (chosen.isEmpty()) return;
    m_pPath->setText(chosen);
    ReadNetworks();
}

void CStackImportDlg::ReadNetworks() {
    const EStack stack = ChosenStack();
    std::string path = m_pPath->text().trimmed().toStdString();
    m_Networks.clear();
    m_pStatus->clear();
    QString from = QString::fromStdString(path);
    bool read = false;
    if (path.empty() && stack == EStack::NetworkManager) {
        std::string error;
        switch (ReadNmNetworks(m_Networks, error)) {
            case ENmRead::Read:
                read = true;
                from = QStringLiteral("NetworkManager");
                if (m_Networks.empty())
                    m_pStatus->setText(QStringLiteral("NetworkManager shows this user no Wi-Fi connection."));
                break;
            case ENmRead::Failed:
                m_pStatus->setText(QStringLiteral("NetworkManager did not give its connections: ") +
                                   ShownText(error));
                Fill();
                return;
            case ENmRead::Unreachable:
                break;  // not running: its folder is read
        }
    }
    if (!read) {
        if (path.empty()) path = DefaultPath(stack);
        from = ShownText(path);
        SStackSourceRead source = ReadStackSource(stack, path, kRootHint);
        if (!source.error.empty()) {
            m_pStatus->setText(QStringLiteral("Cannot read %1: %2.").arg(from, ShownText(source.error)));
            Fill();
            return;
        }
        m_Networks = std::move(source.networks);
    }
    Fill();
    int usable = 0;
    for (const SStackNetwork& n : m_Networks) usable += n.profile ? 1 : 0;
    if (!m_Networks.empty())
        m_pStatus->setText(QStringLiteral("%1 of %2 networks from %3 can be imported.")
                               .arg(usable)
                               .arg(m_Networks.size())
                               .arg(from));
}

void CStackImportDlg::Fill() {
    m_pList->clear();
    for (const SStackNetwork& n : m_Networks) {
        auto* item = new QTreeWidgetItem(m_pList);
        item->setText(0, ShownText(n.where));
        if (n.profile) {
            item->setText(1, QStringLiteral("Profile \"%1\"").arg(ShownText(n.profile->ProfName)));
            item->setText(2, Joined(n.notes));
        } else {
            item->setText(1, QStringLiteral("Not imported"));
            item->setText(2, ShownText(n.refusal));
        }
        item->setToolTip(2, PlainToolTip(item->text(2)));
    }
    m_pList->resizeColumnToContents(0);
    m_pList->resizeColumnToContents(1);
    bool any = false;
    for (const SStackNetwork& n : m_Networks) any = any || n.profile != nullptr;
    m_pImport->setEnabled(any);
}

void CStackImportDlg::Import() {
    m_Result = ImportStackNetworks(m_Profiles, m_Networks);
    if (m_Result.import.error != 0) {
        m_pStatus->setText(m_Result.import.error > 0
                               ? QStringLiteral("The profiles could not be stored; nothing was imported.")
                               : QStringLiteral("Nothing was imported: ") +
                                     ShownText(m_Result.import.refusal));
        return;
    }
    accept();
}

QString CStackImportDlg::Summary() const {
    int stored = 0;
    QStringList left;
    for (std::size_t i = 0; i < m_Networks.size() && i < m_Result.names.size(); ++i) {
        if (!m_Result.names[i].empty()) {
            ++stored;
            continue;
        }
        const std::string& why = m_Networks[i].refusal.empty() ? m_Result.reasons[i] : m_Networks[i].refusal;
        left << QStringLiteral("%1: %2").arg(ShownText(m_Networks[i].where), ShownText(why));
    }
    QString text = QStringLiteral("Imported %1 network%2.").arg(stored).arg(stored == 1 ? "" : "s");
    if (!left.isEmpty()) text += QStringLiteral("\nNot imported: ") + left.join(QStringLiteral("; ")) + '.';
    if (m_Result.orderError != 0) text += QStringLiteral("\nThe auto-selection order was not stored.");
    return text;
}

}  // namespace wavory
