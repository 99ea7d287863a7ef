#include "ui/monitor/HotspotDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/AppBase.h"
#include "base/DisplayText.h"
#include "base/Registry.h"
#include "kccl_oid.h"
#include "profiles/HotspotProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "radio/Bands.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/QrCode.h"

namespace wavory {

namespace {

// Clients come and go; a few seconds are soon enough to see them.
constexpr int kRefreshMs = 3000;

QString BandLabel(int band) {
    switch (band) {
        case KCOM_HOTSPOT_BAND_2G4:
            return QStringLiteral("2.4 GHz");
        case KCOM_HOTSPOT_BAND_5G:
            return QStringLiteral("5 GHz");
        case KCOM_HOTSPOT_BAND_6G:
            return QStringLiteral("6 GHz (WPA3 only)");
        default:
            return QStringLiteral("The best the radio may use");
    }
}

}  // namespace

CHotspotDlg::RunHook CHotspotDlg::s_fnRun;
CHotspotDlg::AskNameHook CHotspotDlg::s_fnAskName;

void CHotspotDlg::OpenProfile(QWidget* parent, const std::string& name, bool start) {
    std::shared_ptr<CProfile> profile;
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) {
        auto lock = profiles->Lock();
        profile = profiles->LoadProfile(name);
    }
    if (!profile || !IsHotspotProfile(*profile)) {
        theApp.ShowMessage("There is no hotspot profile named \"" + DisplayText(name) + "\".", EMsgIcon::Warning);
        return;
    }
    CHotspotDlg dialog(parent);
    dialog.Load(name, HotspotRecordOf(*profile));
    if (start) dialog.StartNow();
    if (s_fnRun)
        s_fnRun(dialog);
    else
        dialog.exec();
}

void CHotspotDlg::Open(QWidget* parent) {
    CHotspotDlg dialog(parent);
    if (s_fnRun)
        s_fnRun(dialog);
    else
        dialog.exec();
}

CHotspotDlg::CHotspotDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Hotspot"));
    auto* form = new QFormLayout;
    m_pName = new QLineEdit(QString::fromStdString(DefaultHotspotName()), this);
    m_pName->setMaxLength(32);
    form->addRow(QStringLiteral("&Name:"), m_pName);
    m_pSecurity = new QComboBox(this);
    m_pSecurity->addItem(QStringLiteral("WPA2-Personal"), KCOM_HOTSPOT_WPA2);
    m_pSecurity->addItem(QStringLiteral("WPA3-Personal"), KCOM_HOTSPOT_WPA3);
    m_pSecurity->addItem(QStringLiteral("WPA2/WPA3-Personal"), KCOM_HOTSPOT_WPA2_WPA3);
    m_pSecurity->addItem(QStringLiteral("Open (anyone may join and read what is not encrypted)"),
                         KCOM_HOTSPOT_OPEN);
    form->addRow(QStringLiteral("&Security:"), m_pSecurity);
    m_pBand = new QComboBox(this);
    for (int band = KCOM_HOTSPOT_BAND_BEST; band <= KCOM_HOTSPOT_BAND_6G; ++band)
        m_pBand->addItem(BandLabel(band), band);
    form->addRow(QStringLiteral("&Band:"), m_pBand);
    m_pPassphrase = new QLineEdit(QString::fromStdString(NewHotspotPassphrase()), this);
    m_pPassphrase->setMaxLength(63);
    m_pNewPassphrase = new QPushButton(QStringLiteral("&New"), this);
    m_pNewPassphrase->setToolTip(QStringLiteral("Make another random passphrase"));
    auto* passRow = new QHBoxLayout;
    passRow->addWidget(m_pPassphrase, 1);
    passRow->addWidget(m_pNewPassphrase);
    // A label of its own: a row's layout cannot be a buddy, and the mnemonic goes to the edit.
    auto* passLabel = new QLabel(QStringLiteral("&Passphrase:"), this);
    passLabel->setBuddy(m_pPassphrase);
    form->addRow(passLabel, passRow);

    m_pCode = new CQrCodeView(this);
    m_pStatus = new QLabel(this);
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pStatus->setWordWrap(true);
    m_pClients = new QTreeWidget(this);
    m_pClients->setRootIsDecorated(false);
    m_pClients->setHeaderLabels(
        {QStringLiteral("Client"), QStringLiteral("Signal"), QStringLiteral("Connected since")});
    m_pClients->header()->setStretchLastSection(true);

    m_pStart = new QPushButton(QStringLiteral("S&tart"), this);
    m_pStop = new QPushButton(QStringLiteral("St&op"), this);
    m_pSave = new QPushButton(QStringLiteral("Sa&ve as Profile\u2026"), this);
    m_pSave->setToolTip(QStringLiteral("Keep these settings as a profile, to start the hotspot again from the "
                                       "Profiles page"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_pSave, QDialogButtonBox::ActionRole);
    buttons->addButton(m_pStart, QDialogButtonBox::ActionRole);
    buttons->addButton(m_pStop, QDialogButtonBox::ActionRole);

    auto* top = new QHBoxLayout;
    top->addLayout(form, 1);
    top->addWidget(m_pCode);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pClients, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pStart, &QPushButton::clicked, this, &CHotspotDlg::OnStart);
    connect(m_pStop, &QPushButton::clicked, this, &CHotspotDlg::OnStop);
    connect(m_pSave, &QPushButton::clicked, this, &CHotspotDlg::OnSave);
    connect(m_pNewPassphrase, &QPushButton::clicked, this,
            [this] { m_pPassphrase->setText(QString::fromStdString(NewHotspotPassphrase())); });
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, &CHotspotDlg::OnSecurityChanged);
    // The code follows what a phone would join.
    for (QLineEdit* edit : {m_pName, m_pPassphrase})
        connect(edit, &QLineEdit::textChanged, this, &CHotspotDlg::OnSecurityChanged);
    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, &CHotspotDlg::Refresh);
    m_pTimer->start(kRefreshMs);
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(false);
    OnSecurityChanged();
    Refresh();
}

CHotspotDlg::~CHotspotDlg() {
    for (const QPointer<QThread>& thread : m_Threads)
        if (thread) thread->wait();
}

template <typename T>
void CHotspotDlg::RunOff(std::function<T()> work, std::function<void(const T&)> done) {
    auto result = std::make_shared<T>();
    QThread* thread = QThread::create([work = std::move(work), result] { *result = work(); });
    // Delivered on the interface thread; dropped with the dialog when it has gone meanwhile.
    connect(thread, &QThread::finished, this, [result, done = std::move(done)] { done(*result); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    std::erase_if(m_Threads, [](const QPointer<QThread>& t) { return t.isNull(); });
    m_Threads.emplace_back(thread);
    thread->start();
}

kccl::SHotspotRecord CHotspotDlg::Settings(std::string* problem) const {
    kccl::SHotspotRecord record;
    record.ssid = m_pName->text().toStdString();
    record.security = static_cast<uint8_t>(m_pSecurity->currentData().toInt());
    record.band = static_cast<uint8_t>(m_pBand->currentData().toInt());
    // A kept channel belongs to its band.
    if (record.band == m_nProfileBand) record.channel = m_nProfileChannel;
    if (record.security != KCOM_HOTSPOT_OPEN) record.passphrase = m_pPassphrase->text().toStdString();
    if (problem) *problem = kccl::CheckHotspotRecord(record);
    return record;
}

void CHotspotDlg::OnSecurityChanged() {
    const bool open = m_pSecurity->currentData().toInt() == KCOM_HOTSPOT_OPEN;
    m_pPassphrase->setEnabled(!open && !m_bRunning);
    m_pNewPassphrase->setEnabled(!open && !m_bRunning);
    std::string problem;
    const kccl::SHotspotRecord record = Settings(&problem);
    if (problem.empty())
        m_pCode->SetText(HotspotUri(record));
    else
        m_pCode->Clear();
}

void CHotspotDlg::Refresh() {
    if (m_bBusy) return;
    struct SRead {
        std::optional<SHotspotState> state;
        std::string error;
    };
    RunOff<SRead>(
        [] {
            SRead read;
            read.state = ReadHotspot(&read.error);
            return read;
        },
        [this](const SRead& read) { Show(read.state, read.error); });
}

void CHotspotDlg::Show(const std::optional<SHotspotState>& state, const std::string& error) {
    if (m_bBusy) return;
    m_pClients->clear();
    QStringList lines;
    if (!m_strResult.empty()) lines << QString::fromStdString(m_strResult);
    m_bRunning = state && state->running;
    if (!state) {
        lines << QStringLiteral("The hotspot could not be read: %1").arg(QString::fromStdString(error));
    } else if (state->running) {
        lines << QStringLiteral("Running: %1 on %2 MHz%3")
                     .arg(ShownText(state->ssid))
                     .arg(state->freqMhz)
                     .arg(state->ours ? QString() : QStringLiteral(" (not started by this utility)"));
        if (!state->note.empty() && state->ours) lines << QString::fromStdString(state->note);
        for (const SHotspotClient& c : state->clients) {
            const QString since =
                c.sinceMs > 0 ? QDateTime::fromMSecsSinceEpoch(c.sinceMs).toString(QStringLiteral("HH:mm:ss"))
                              : QString();
            m_pClients->addTopLevelItem(new QTreeWidgetItem(
                {QString::fromStdString(c.mac),
                 c.hasSignal ? QStringLiteral("%1 dBm").arg(c.signalDbm) : QString(), since}));
        }
    } else if (!state->CanStart()) {
        lines << QStringLiteral("No hotspot can start here: %1")
                     .arg(state->note.empty() ? QStringLiteral("the radio cannot run one")
                                              : QString::fromStdString(state->note));
    } else if (!state->apWithStation) {
        lines << QStringLiteral("The network in use is left while the hotspot runs.");
    }
    // The bands the radio may start one on; the others are offered greyed.
    if (state) {
        for (int i = 0; i < m_pBand->count(); ++i) {
            const int band = m_pBand->itemData(i).toInt();
            const bool allowed = band == KCOM_HOTSPOT_BAND_BEST || (state->bands & (1u << band));
            if (auto* model = qobject_cast<QStandardItemModel*>(m_pBand->model()))
                if (QStandardItem* item = model->item(i)) item->setEnabled(allowed);
        }
    }
    m_pStatus->setText(lines.join(QLatin1Char('\n')));
    const bool canStart = state && state->CanStart() && !m_bRunning;
    m_pStart->setEnabled(canStart);
    m_pStop->setEnabled(m_bRunning && state->ours);
    for (QWidget* w :
         {static_cast<QWidget*>(m_pName), static_cast<QWidget*>(m_pSecurity), static_cast<QWidget*>(m_pBand)})
        w->setEnabled(!m_bRunning);
    OnSecurityChanged();
}

void CHotspotDlg::OnStart() {
    std::string problem;
    const kccl::SHotspotRecord record = Settings(&problem);
    if (!problem.empty()) {
        m_pStatus->setText(QString::fromStdString(problem));
        return;
    }
    m_bBusy = true;
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(false);
    m_pStatus->setText(QStringLiteral("Starting the hotspot\u2026"));
    auto copy = std::make_shared<kccl::SHotspotRecord>(record);
    RunOff<SHotspotResult>(
        [copy] { return StartHotspot(*copy); },
        [this](const SHotspotResult& result) {
            m_bBusy = false;
            m_strResult =
                result.ok ? result.text
                          : "The hotspot did not start: " +
                                (result.text.empty() ? std::string("the adapter refused it") : result.text);
            Refresh();
        });
}

void CHotspotDlg::Load(const std::string& profile, const kccl::SHotspotRecord& record) {
    m_strProfile = profile;
    m_nProfileBand = record.band;
    m_nProfileChannel = record.channel;
    setWindowTitle(QStringLiteral("Hotspot: %1").arg(ShownText(profile)));
    m_pName->setText(QString::fromStdString(record.ssid));
    if (const int i = m_pSecurity->findData(record.security); i >= 0) m_pSecurity->setCurrentIndex(i);
    if (const int i = m_pBand->findData(record.band); i >= 0) m_pBand->setCurrentIndex(i);
    if (!record.passphrase.empty()) m_pPassphrase->setText(QString::fromStdString(record.passphrase));
    OnSecurityChanged();
}

void CHotspotDlg::OnSave() {
    std::string problem;
    const kccl::SHotspotRecord record = Settings(&problem);
    if (!problem.empty()) {
        m_pStatus->setText(QString::fromStdString(problem));
        return;
    }
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (!profiles) return;
    const std::string suggested = m_strProfile.empty() ? record.ssid : m_strProfile;
    std::optional<std::string> name;
    if (s_fnAskName) {
        name = s_fnAskName(this, suggested);
    } else {
        bool ok = false;
        const QString typed = PlainTextPrompt(this, QStringLiteral("Save as Profile"),
                                              QStringLiteral("Profile name (1 to 19 characters):"), QLineEdit::Normal,
                                              &ok, QString::fromStdString(suggested));
        if (ok) name = typed.trimmed().toStdString();
    }
    if (!name) return;
    if (name->empty() || QString::fromStdString(*name).toUcs4().size() > 19) {
        m_pStatus->setText(QStringLiteral("A profile name has 1 to 19 characters."));
        return;
    }
    // The profile shown is replaced; any other name makes a new one.
    const bool replace = *name == m_strProfile;
    std::string why;
    const int error = KeepHotspotProfile(*profiles, *name, record, replace, why);
    if (error != REG_OK) {
        m_pStatus->setText(QString::fromStdString(why.empty() ? StoreFailureText(error) : DisplayText(why)));
        return;
    }
    m_strProfile = *name;
    m_nProfileBand = record.band;
    m_nProfileChannel = record.channel;
    setWindowTitle(QStringLiteral("Hotspot: %1").arg(ShownText(*name)));
    m_pStatus->setText(QStringLiteral("Kept as the profile \"%1\": select it on the Profiles page and click "
                                      "Connect to start it again.")
                           .arg(ShownText(*name)));
    if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
}

void CHotspotDlg::OnStop() {
    m_bBusy = true;
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(false);
    m_pStatus->setText(QStringLiteral("Stopping the hotspot\u2026"));
    RunOff<SHotspotResult>([] { return StopHotspot(); },
                           [this](const SHotspotResult& result) {
                               m_bBusy = false;
                               m_strResult =
                                   result.ok ? result.text : "The hotspot did not stop: " + result.text;
                               Refresh();
                           });
}

}  // namespace wavory
