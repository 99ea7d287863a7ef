// The History window over the history file of the test's home: what is recorded shows newest
// first and follows the main tick while shown, the network filter and the minutes' summaries, text
// from outside shown literally, the export in both formats, and the ways the window opens it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <filesystem>

#include "../support/UiCore.h"
#include "store/HistoryDb.h"
#include "ui/monitor/HistoryDlg.h"
#include "ui/monitor/MainGen.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayBackend.h"

namespace wavory::test {
namespace {

using EKind = SHistoryEvent::EKind;
// An hour ago (older events would be beyond the history's bounds); events follow a minute apart.
const int64_t kStart = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;

class HistoryDlgTest : public CUiCoreTest {
protected:
    void SetUp() override {
        CUiCoreTest::SetUp();
        std::filesystem::remove(CHistoryDb::DefaultPath());
        m_pDb = std::make_unique<CHistoryDb>();
        ASSERT_TRUE(m_pDb->Ok()) << m_pDb->Error();
    }
    void TearDown() override {
        m_pDb.reset();
        std::filesystem::remove(CHistoryDb::DefaultPath());
        CUiCoreTest::TearDown();
    }

    // Records an event as a recorder would (the n-th of the test, a minute apart).
    SHistoryEvent Add(EKind kind, const std::string& ssid, const std::string& bssid = "3C-84-6A-51-0E-24") {
        SHistoryEvent e;
        e.timeMs = kStart + 60000LL * m_nAdded++;
        e.kind = kind;
        e.ssid = ssid;
        e.bssid = bssid;
        e.freqMHz = 5180;
        e.signalDbm = -57;
        e.control = "simulated";
        if (kind == EKind::Link) {
            e.signalMin = -60, e.signalMean = -57, e.signalMax = -52;
            e.key = "link:" + std::to_string(m_nAdded);
        }
        if (kind == EKind::Disconnect) {
            e.initiator = "access-point";
            e.reason = 7;
            e.detail = "the access point forgot this station: it restarted or dropped it";
        }
        EXPECT_TRUE(m_pDb->Add(e)) << m_pDb->Error();
        return e;
    }

    static QString Cell(const CHistoryDlg& dlg, int row, int column) {
        const QTableWidgetItem* item = dlg.Table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    std::unique_ptr<CHistoryDb> m_pDb;
    int m_nAdded = 0;
};

TEST_F(HistoryDlgTest, ShowsRecordedEventsNewestFirstAndFollowsTheTickOnlyWhileShown) {
    Add(EKind::Connect, "Marina");
    Add(EKind::Link, "Marina");
    Add(EKind::Disconnect, "Marina");
    CHistoryDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.ErrorText(), "");
    // The minute's summary is hidden by default.
    ASSERT_EQ(dlg.Table()->rowCount(), 2);
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_EVENT), "Disconnected");
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_NETWORK), "Marina");
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_PLACE), "3C-84-6A-51-0E-24, 5 GHz");
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_WHAT),
              "Disconnected from \"Marina\" (3C-84-6A-51-0E-24): the access point forgot this station: it "
              "restarted or dropped it");
    EXPECT_EQ(Cell(dlg, 1, CHistoryDlg::COL_EVENT), "Connected");
    EXPECT_EQ(Cell(dlg, 1, CHistoryDlg::COL_SIGNAL), "-57 dBm");

    dlg.MinutesBox()->setChecked(true);
    ASSERT_EQ(dlg.Table()->rowCount(), 3);
    EXPECT_EQ(Cell(dlg, 1, CHistoryDlg::COL_WHAT),
              "Link on \"Marina\": signal -60/-57/-52 dBm (min/mean/max)");
    dlg.MinutesBox()->setChecked(false);
    EXPECT_EQ(dlg.Table()->rowCount(), 2);

    // A new event shows on the next tick, on top.
    Add(EKind::Connect, "Marina", "3C-84-6A-51-0E-31");
    dlg.OnTick();
    ASSERT_EQ(dlg.Table()->rowCount(), 3);
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_EVENT), "Connected");
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_PLACE), "3C-84-6A-51-0E-31, 5 GHz");

    // Hidden, a tick reads nothing; shown again, what came meanwhile is there at once.
    dlg.hide();
    Add(EKind::Disconnect, "Marina", "3C-84-6A-51-0E-31");
    dlg.OnTick();
    EXPECT_EQ(dlg.Table()->rowCount(), 3);
    dlg.show();
    EXPECT_EQ(dlg.Table()->rowCount(), 4);
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_EVENT), "Disconnected");
    // Nothing read twice.
    dlg.OnTick();
    EXPECT_EQ(dlg.Table()->rowCount(), 4);
}

TEST_F(HistoryDlgTest, FiltersByNetworkAndLearnsNewNetworks) {
    Add(EKind::Connect, "Marina");
    Add(EKind::Disconnect, "Marina");
    Add(EKind::Connect, "Harbour", "00-0F-B5-44-7C-20");
    CHistoryDlg dlg;
    dlg.show();
    QComboBox* filter = dlg.NetworkFilter();
    ASSERT_EQ(filter->count(), 3);
    EXPECT_EQ(filter->itemText(0), "All networks");
    EXPECT_EQ(dlg.Table()->rowCount(), 3);

    filter->setCurrentIndex(filter->findText("Marina"));
    ASSERT_EQ(dlg.Table()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) EXPECT_EQ(Cell(dlg, row, CHistoryDlg::COL_NETWORK), "Marina");
    ASSERT_EQ(dlg.Shown().size(), 2u);

    // While filtered: another network's new event stays out of the table but joins the list;
    // one of the filtered network goes in.
    Add(EKind::Connect, "Lighthouse");
    Add(EKind::Connect, "Marina", "3C-84-6A-51-0E-31");
    dlg.OnTick();
    EXPECT_EQ(filter->count(), 4);
    EXPECT_NE(filter->findText("Lighthouse"), -1);
    ASSERT_EQ(dlg.Table()->rowCount(), 3);
    EXPECT_EQ(Cell(dlg, 0, CHistoryDlg::COL_PLACE), "3C-84-6A-51-0E-31, 5 GHz");

    filter->setCurrentIndex(0);
    EXPECT_EQ(dlg.Table()->rowCount(), 5);
}

TEST_F(HistoryDlgTest, OutsideTextIsShownLiterally) {
    const std::string hostile = "<b>x</b>\x01\n<img src=y>";
    SHistoryEvent drop = Add(EKind::Disconnect, hostile);
    (void)drop;
    CHistoryDlg dlg;
    dlg.show();
    ASSERT_EQ(dlg.Table()->rowCount(), 1);
    const QString shown = Cell(dlg, 0, CHistoryDlg::COL_NETWORK);
    EXPECT_EQ(shown, ShownText(hostile));
    EXPECT_TRUE(shown.startsWith("<b>x</b>")) << shown.toStdString();
    EXPECT_TRUE(Cell(dlg, 0, CHistoryDlg::COL_WHAT).contains("\"<b>x</b>\\x01\\x0a<img src=y>\""))
        << Cell(dlg, 0, CHistoryDlg::COL_WHAT).toStdString();
    for (int c = 0; c < CHistoryDlg::COL_COUNT; ++c)
        for (QChar ch : Cell(dlg, 0, c)) EXPECT_GE(ch.unicode(), 0x20) << "column " << c;
    EXPECT_EQ(dlg.NetworkFilter()->itemText(1), shown);
    // The tool tip, which would take markup, holds the text escaped.
    EXPECT_EQ(dlg.Table()->item(0, CHistoryDlg::COL_NETWORK)->toolTip(), PlainToolTip(shown));
}

// RFC 4180 records of a CSV text.
std::vector<QStringList> ParseCsv(const QString& text) {
    std::vector<QStringList> rows(1);
    QString field;
    bool quoted = false, wasQuoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            rows.back() << field, field.clear(), wasQuoted = false;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back() << field, field.clear(), wasQuoted = false, ++i;
            if (i + 1 < text.size()) rows.emplace_back();
        } else {
            field += c;
        }
    }
    return rows;
}

TEST_F(HistoryDlgTest, ExportsWhatIsShownAsCsvAndJson) {
    const std::string awkward = "Cafe, \"Dock\"\nside \xE2\x82 \xFF\xC3";
    Add(EKind::Connect, "Marina");
    SHistoryEvent drop = Add(EKind::Disconnect, awkward);
    Add(EKind::Link, awkward);  // hidden: not exported
    Add(EKind::Connect, "=HYPERLINK(\"http://x\")");
    CHistoryDlg dlg;
    dlg.show();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;

    const QString csvFile = dir.filePath("history.csv");
    ASSERT_TRUE(dlg.ExportTo(csvFile, CHistoryDlg::EFormat::Csv, &error)) << error.toStdString();
    QFile csv(csvFile);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const std::vector<QStringList> rows = ParseCsv(QString::fromUtf8(csv.readAll()));
    ASSERT_EQ(rows.size(), 4u);  // the header, then oldest first
    const QStringList& header = rows[0];
    ASSERT_EQ(rows[2].size(), header.size());
    auto field = [&header](const QStringList& row, const char* name) {
        return row.value(header.indexOf(name));
    };
    EXPECT_EQ(field(rows[1], "ssid"), "Marina");
    EXPECT_EQ(field(rows[1], "kind"), "connect");
    EXPECT_EQ(field(rows[2], "ssid"), QString::fromStdString(awkward));
    EXPECT_EQ(field(rows[2], "kind"), "disconnect");
    EXPECT_EQ(field(rows[2], "reason"), "7");
    EXPECT_EQ(field(rows[2], "band"), "5 GHz");
    EXPECT_EQ(field(rows[2], "what"), QString::fromStdString(HistorySentence(drop)));
    // A name that a spreadsheet would run as a formula stays text there.
    EXPECT_EQ(field(rows[3], "ssid"), "'=HYPERLINK(\"http://x\")");

    const QString jsonFile = dir.filePath("history.json");
    ASSERT_TRUE(dlg.ExportTo(jsonFile, CHistoryDlg::EFormat::Json, &error)) << error.toStdString();
    QFile jf(jsonFile);
    ASSERT_TRUE(jf.open(QIODevice::ReadOnly));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(jf.readAll(), &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << parseError.errorString().toStdString();
    const QJsonArray events = doc.object().value("events").toArray();
    ASSERT_EQ(events.size(), 3);
    const QJsonObject j = events[1].toObject();
    EXPECT_EQ(events[2].toObject().value("ssid").toString(), "=HYPERLINK(\"http://x\")");  // JSON keeps it
    EXPECT_EQ(j.value("ssid").toString(), QString::fromStdString(awkward));
    EXPECT_EQ(j.value("ssid_hex").toString(), QByteArray::fromStdString(awkward).toHex());
    EXPECT_EQ(j.value("kind").toString(), "disconnect");
    EXPECT_EQ(j.value("reason").toInt(), 7);
    EXPECT_FALSE(j.value("reason_name").toString().isEmpty());
    EXPECT_EQ(j.value("initiator").toString(), "access-point");
    EXPECT_EQ(j.value("time_ms").toInteger(), drop.timeMs);
    EXPECT_TRUE(j.value("security").isNull());

#ifdef WAVORYCTL_PATH
    // The same fields and values as the command line gives for the same history.
    QProcess ctl;
    ctl.start(WAVORYCTL_PATH, {"history", "--json"});
    ASSERT_TRUE(ctl.waitForFinished(60000));
    ASSERT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    const QJsonArray fromCtl =
        QJsonDocument::fromJson(ctl.readAllStandardOutput()).object().value("events").toArray();
    ASSERT_EQ(fromCtl.size(), 4);  // with the minute's summary the window does not show
    auto text = [](const QJsonValue& v) { return QJsonDocument(v.toObject()).toJson().toStdString(); };
    EXPECT_EQ(text(events[0]), text(fromCtl[0]));
    EXPECT_EQ(text(events[1]), text(fromCtl[1]));
#endif

    // A file that cannot be written says why.
    error.clear();
    EXPECT_FALSE(dlg.ExportTo(dir.filePath("missing/history.csv"), CHistoryDlg::EFormat::Csv, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(HistoryDlgTest, AHistoryThatCannotBeOpenedIsSaidInTheDialog) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // The history's folder would have to be where a file is.
    CHistoryDlg dlg(nullptr, dir.filePath("file/wavory/history.db").toStdString());
    dlg.show();
    EXPECT_TRUE(dlg.ErrorText().startsWith("The history could not be opened: "))
        << dlg.ErrorText().toStdString();
    EXPECT_EQ(dlg.Table()->rowCount(), 0);

    // Once the way is clear, the window opened again reads it.
    dlg.hide();
    ASSERT_TRUE(blocker.remove());
    dlg.show();
    EXPECT_EQ(dlg.ErrorText(), "");
}

TEST_F(HistoryDlgTest, OpensOnceFromTheGeneralPageAndTheTray) {
    Add(EKind::Connect, "Marina");
    CTessalDlg window;
    theApp.m_pMainWnd = &window;
    window.TrayBackend()->SetAvailability([] { return true; });
    window.OnInitDialog();
    EXPECT_EQ(window.History(), nullptr);  // built on first use

    auto* button = window.Page(CTessalDlg::PAGE_GENERAL)->findChild<QPushButton*>("btnHistory");
    ASSERT_NE(button, nullptr);
    button->click();
    CHistoryDlg* history = window.History();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_FALSE(history->isModal());
    EXPECT_EQ(history->Table()->rowCount(), 1);

    history->close();
    QAction* entry = nullptr;
    for (QAction* action : window.TrayMenu()->actions())
        if (action->text() == QStringLiteral("&History\u2026")) entry = action;
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_EQ(window.History(), history);
    EXPECT_TRUE(history->isVisible());

    window.OnDestroy();
    theApp.m_pMainWnd = nullptr;
}

}  // namespace
}  // namespace wavory::test
