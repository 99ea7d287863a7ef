#include "ui/monitor/HistoryDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "radio/Reasons.h"
#include "store/HistoryDb.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"

namespace wavory {

namespace {

QString Str(const std::string& text) { return QString::fromStdString(text); }

// The moment in local time with its offset, as the command line writes it ("2026-03-01T14:05:09+01:00").
QString IsoTime(int64_t ms) {
    // Qt writes UTC itself as "Z": the offset is written out here so that it reads "+00:00" there too.
    const QDateTime local = QDateTime::fromSecsSinceEpoch(ms / 1000);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString KindText(const SHistoryEvent& e) {
    switch (e.kind) {
        case SHistoryEvent::EKind::Join:
            return e.outcome == "joined" ? QStringLiteral("Joined") : QStringLiteral("Join failed");
        case SHistoryEvent::EKind::Connect:
            return QStringLiteral("Connected");
        case SHistoryEvent::EKind::Roam:
            return QStringLiteral("Roam");
        case SHistoryEvent::EKind::Disconnect:
            return QStringLiteral("Disconnected");
        case SHistoryEvent::EKind::Link:
            return QStringLiteral("Link (minute)");
    }
    return {};
}

QString SignalText(const SHistoryEvent& e) {
    if (e.kind == SHistoryEvent::EKind::Link) return QStringLiteral("%1 dBm (mean)").arg(e.signalMean);
    if (e.kind == SHistoryEvent::EKind::Roam && e.prevSignalDbm && e.signalDbm)
        return QStringLiteral("%1 \u2192 %2 dBm").arg(e.prevSignalDbm).arg(e.signalDbm);
    return e.signalDbm ? QStringLiteral("%1 dBm").arg(e.signalDbm) : QString();
}

// The readable SSID: valid UTF-8 as it is, other bytes as U+FFFD (the exact bytes go in ssid_hex).
QString LossySsid(const std::string& ssid) {
    return QString::fromUtf8(ssid.data(), static_cast<qsizetype>(ssid.size()));
}

QJsonValue Int(int64_t n) { return n ? QJsonValue(static_cast<qint64>(n)) : QJsonValue(QJsonValue::Null); }
QJsonValue Text(const std::string& s) {
    return s.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Str(s));
}
QJsonValue Band(int freq) {
    return freq ? QJsonValue(Str(BandOfFrequency(freq))) : QJsonValue(QJsonValue::Null);
}

// One event with the fields `wavoryctl history --json` gives it.
QJsonObject EventJson(const SHistoryEvent& e) {
    QJsonObject j;
    j[QStringLiteral("id")] = static_cast<qint64>(e.id);
    j[QStringLiteral("time")] = IsoTime(e.timeMs);
    j[QStringLiteral("time_ms")] = static_cast<qint64>(e.timeMs);
    j[QStringLiteral("kind")] = QString::fromLatin1(HistoryKindKey(e.kind));
    j[QStringLiteral("ssid")] = LossySsid(e.ssid);
    j[QStringLiteral("ssid_hex")] =
        QString::fromLatin1(QByteArray(e.ssid.data(), static_cast<qsizetype>(e.ssid.size())).toHex());
    j[QStringLiteral("bssid")] = Text(e.bssid);
    j[QStringLiteral("frequency_mhz")] = Int(e.freqMHz);
    j[QStringLiteral("band")] = Band(e.freqMHz);
    j[QStringLiteral("signal_dbm")] = Int(e.signalDbm);
    j[QStringLiteral("security")] = Text(e.security);
    j[QStringLiteral("detail")] = LossySsid(e.detail);
    switch (e.kind) {
        case SHistoryEvent::EKind::Join:
            j[QStringLiteral("outcome")] = Str(e.outcome);
            j[QStringLiteral("cause")] = Text(e.cause);
            j[QStringLiteral("duration_ms")] = static_cast<qint64>(e.durationMs);
            break;
        case SHistoryEvent::EKind::Roam:
            j[QStringLiteral("previous_bssid")] = Str(e.prevBssid);
            j[QStringLiteral("previous_frequency_mhz")] = Int(e.prevFreqMHz);
            j[QStringLiteral("previous_band")] = Band(e.prevFreqMHz);
            j[QStringLiteral("previous_signal_dbm")] = Int(e.prevSignalDbm);
            j[QStringLiteral("trigger")] = e.cause.empty() ? QStringLiteral("unknown") : Str(e.cause);
            break;
        case SHistoryEvent::EKind::Disconnect:
            j[QStringLiteral("initiator")] = Str(e.initiator);
            j[QStringLiteral("reason")] = Int(e.reason);
            j[QStringLiteral("reason_name")] =
                e.reason ? QJsonValue(Str(kccl::ReasonName(static_cast<uint32_t>(e.reason)))) : QJsonValue();
            break;
        case SHistoryEvent::EKind::Link:
            j[QStringLiteral("signal_min_dbm")] = e.signalMin;
            j[QStringLiteral("signal_mean_dbm")] = e.signalMean;
            j[QStringLiteral("signal_max_dbm")] = e.signalMax;
            j[QStringLiteral("tx_kbps")] = static_cast<qint64>(e.txKbps);
            j[QStringLiteral("rx_kbps")] = static_cast<qint64>(e.rxKbps);
            break;
        case SHistoryEvent::EKind::Connect:
            break;
    }
    return j;
}

// A CSV field: quoted when it holds a separator, a quote or a line break; quotes doubled.
QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Text from outside (a network's name) for a spreadsheet: one that would start a formula there
// ("=", "+", "-", "@", a tab or a carriage return first) begins with an apostrophe instead, which
// spreadsheets show as text.
QString CsvText(const QString& text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && kFormulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
}

}  // namespace

CHistoryDlg::CHistoryDlg(QWidget* parent, std::string path)
    : QDialog(parent), m_strPath(path.empty() ? CHistoryDb::DefaultPath() : std::move(path)) {
    setWindowTitle(QStringLiteral("Connection History"));
    setObjectName(QStringLiteral("historyDialog"));
    auto* layout = new QVBoxLayout(this);
    m_pError = new QLabel(this);
    m_pError->setObjectName(QStringLiteral("historyError"));
    m_pError->setTextFormat(Qt::PlainText);
    m_pError->setWordWrap(true);
    m_pError->hide();
    layout->addWidget(m_pError);

    auto* bar = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("&Network:"), this);
    m_pFilter = new QComboBox(this);
    m_pFilter->setObjectName(QStringLiteral("historyNetwork"));
    m_pFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pFilter->addItem(QStringLiteral("All networks"));
    caption->setBuddy(m_pFilter);
    m_pMinutes = new QCheckBox(QStringLiteral("Show each &minute's link summary"), this);
    m_pMinutes->setObjectName(QStringLiteral("historyMinutes"));
    bar->addWidget(caption);
    bar->addWidget(m_pFilter);
    bar->addSpacing(12);
    bar->addWidget(m_pMinutes);
    bar->addStretch(1);
    layout->addLayout(bar);

    m_pTable = new QTableWidget(0, COL_COUNT, this);
    m_pTable->setObjectName(QStringLiteral("historyTable"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Event"),
                                         QStringLiteral("Network"), QStringLiteral("Access point / band"),
                                         QStringLiteral("Signal"), QStringLiteral("What happened")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setWordWrap(false);
    layout->addWidget(m_pTable, 1);

    auto* buttons = new QHBoxLayout;
    m_pExport = new QPushButton(QStringLiteral("&Export\u2026"), this);
    m_pExport->setObjectName(QStringLiteral("historyExport"));
    m_pExport->setToolTip(QStringLiteral("Save the events shown as CSV or JSON"));
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    buttons->addStretch(1);
    buttons->addWidget(m_pExport);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(1040, 440);

    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pExport, &QPushButton::clicked, this, &CHistoryDlg::OnExport);
    connect(m_pFilter, &QComboBox::currentIndexChanged, this, &CHistoryDlg::Rebuild);
    connect(m_pMinutes, &QCheckBox::toggled, this, &CHistoryDlg::Rebuild);
}

CHistoryDlg::~CHistoryDlg() = default;

QString CHistoryDlg::ErrorText() const { return m_pError->isHidden() ? QString() : m_pError->text(); }

void CHistoryDlg::ShowError(const QString& text) {
    m_pError->setText(text);
    m_pError->setVisible(!text.isEmpty());
}

void CHistoryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A history that could not be opened is tried again each time the window opens.
    if (m_pDb && !m_pDb->Ok()) m_bOpened = false;
    OnTick();  // whatever was recorded while hidden shows at once
}

void CHistoryDlg::OnTick() {
    if (!isVisible()) return;
    if (!m_bOpened) {
        m_bOpened = true;
        m_pDb = std::make_unique<CHistoryDb>(m_strPath);
    }
    if (!m_pDb->Ok()) {
        ShowError(QStringLiteral("The history could not be opened: %1.").arg(ShownText(m_pDb->Error())));
        m_pExport->setEnabled(!m_Shown.empty());
        return;
    }
    SHistoryQuery query;
    query.afterId = m_nLastId;
    std::vector<SHistoryEvent> fresh = m_pDb->Query(query);
    const std::string& error = m_pDb->Error();
    if (!error.empty() && error != m_pDb->Notice()) {
        ShowError(QStringLiteral("The history could not be read: %1.").arg(ShownText(error)));
        return;
    }
    ShowError(m_pDb->Notice().empty() ? QString() : ShownText(m_pDb->Notice()));
    if (fresh.empty()) return;
    const bool first = m_All.empty();
    for (const SHistoryEvent& e : fresh) m_nLastId = std::max(m_nLastId, e.id);
    AddNetworks(fresh);
    // Newest on top: each new event that passes the filter goes in above the others.
    for (const SHistoryEvent& e : fresh) {
        m_All.push_back(e);
        if (!Wanted(e)) continue;
        m_Shown.insert(m_Shown.begin(), e);
        InsertRow(0, e);
    }
    if (first) FitColumns();
    m_pExport->setEnabled(!m_Shown.empty());
}

void CHistoryDlg::FitColumns() {
    // The short columns as wide as their texts; the sentence takes the rest (its tool tip has it all).
    for (int c = 0; c < COL_WHAT; ++c) m_pTable->resizeColumnToContents(c);
}

void CHistoryDlg::AddNetworks(const std::vector<SHistoryEvent>& events) {
    std::set<std::string> known;
    for (int i = 1; i < m_pFilter->count(); ++i)
        known.insert(m_pFilter->itemData(i).toByteArray().toStdString());
    for (const SHistoryEvent& e : events) {
        if (!known.insert(e.ssid).second) continue;
        const QString shown = e.ssid.empty() ? QStringLiteral("(hidden network)") : ShownText(e.ssid);
        m_pFilter->addItem(shown, QByteArray(e.ssid.data(), static_cast<qsizetype>(e.ssid.size())));
    }
}

bool CHistoryDlg::Wanted(const SHistoryEvent& e) const {
    if (e.kind == SHistoryEvent::EKind::Link && !m_pMinutes->isChecked()) return false;
    if (m_pFilter->currentIndex() <= 0) return true;
    return m_pFilter->currentData().toByteArray().toStdString() == e.ssid;
}

void CHistoryDlg::Rebuild() {
    m_Shown.clear();
    for (auto it = m_All.rbegin(); it != m_All.rend(); ++it)
        if (Wanted(*it)) m_Shown.push_back(*it);
    m_pTable->setRowCount(0);
    for (std::size_t i = 0; i < m_Shown.size(); ++i) InsertRow(static_cast<int>(i), m_Shown[i]);
    FitColumns();
    m_pExport->setEnabled(!m_Shown.empty());
}

void CHistoryDlg::InsertRow(int row, const SHistoryEvent& e) {
    m_pTable->insertRow(row);
    const QString when =
        QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QString place = Str(HistoryPlace(e.bssid, e.freqMHz, 0));
    if (e.kind == SHistoryEvent::EKind::Roam)
        place = Str(HistoryPlace(e.prevBssid, e.prevFreqMHz, 0)) + QStringLiteral(" \u2192 ") + place;
    const QString cells[COL_COUNT] = {when,  KindText(e),   ShownText(e.ssid),
                                      place, SignalText(e), Str(HistorySentence(e))};
    for (int c = 0; c < COL_COUNT; ++c) {
        // Items hold text only: a network's name is never taken as markup.
        auto* item = new QTableWidgetItem(cells[c]);
        if (c == COL_WHAT || c == COL_NETWORK) item->setToolTip(PlainToolTip(cells[c]));
        m_pTable->setItem(row, c, item);
    }
}

QByteArray CHistoryDlg::CsvOf(const std::vector<SHistoryEvent>& events) {
    QString out =
        QStringLiteral("time,kind,ssid,bssid,band,frequency_mhz,signal_dbm,initiator,reason,what\r\n");
    for (const SHistoryEvent& e : events) {
        const QStringList fields = {IsoTime(e.timeMs),
                                    QString::fromLatin1(HistoryKindKey(e.kind)),
                                    CsvText(LossySsid(e.ssid)),
                                    Str(e.bssid),
                                    Str(BandOfFrequency(e.freqMHz)),
                                    e.freqMHz ? QString::number(e.freqMHz) : QString(),
                                    e.signalDbm ? QString::number(e.signalDbm) : QString(),
                                    Str(e.initiator),
                                    e.reason ? QString::number(e.reason) : QString(),
                                    CsvText(Str(HistorySentence(e)))};
        QStringList quoted;
        for (const QString& f : fields) quoted << CsvField(f);
        out += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

QByteArray CHistoryDlg::JsonOf(const std::vector<SHistoryEvent>& events) {
    QJsonArray list;
    for (const SHistoryEvent& e : events) list.append(EventJson(e));
    QJsonObject root;
    root[QStringLiteral("events")] = list;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool CHistoryDlg::ExportTo(const QString& file, EFormat format, QString* error) const {
    const std::vector<SHistoryEvent> oldestFirst(m_Shown.rbegin(), m_Shown.rend());
    const QByteArray data = format == EFormat::Csv ? CsvOf(oldestFirst) : JsonOf(oldestFirst);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
        if (error) *error = out.errorString();
        return false;
    }
    return true;
}

void CHistoryDlg::OnExport() {
    QFileDialog dialog(this, QStringLiteral("Export History"), QString(),
                       QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.startsWith(QStringLiteral("JSON")) ? QStringLiteral("json")
                                                                          : QStringLiteral("csv"));
    });
    if (dialog.exec() != QDialog::Accepted) return;
    const QString file = dialog.selectedFiles().value(0);
    if (file.isEmpty()) return;
    const bool json = file.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) ||
                      (!file.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) &&
                       dialog.selectedNameFilter().startsWith(QStringLiteral("JSON")));
    QString error;
    if (!ExportTo(file, json ? EFormat::Json : EFormat::Csv, &error))
        PlainMessageBox(this, QMessageBox::Warning, QStringLiteral("Export History"),
                        QStringLiteral("The history could not be written to %1: %2.").arg(file, error));
}

}  // namespace wavory
