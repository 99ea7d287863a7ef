// The connection history in a window of its own: the events newest first, filtered by network,
// the minutes' link summaries shown on request, and an export of what is shown as CSV or JSON.
// It reads the history file itself and follows it from the window's main tick while it is shown.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/History.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace wavory {

class CHistoryDb;

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    enum EColumn : int { COL_TIME, COL_EVENT, COL_NETWORK, COL_PLACE, COL_SIGNAL, COL_WHAT, COL_COUNT };
    enum class EFormat { Csv, Json };

    // The history file at `path` (the user's own by default), opened when first shown.
    explicit CHistoryDlg(QWidget* parent = nullptr, std::string path = {});
    ~CHistoryDlg() override;

    // The window's main tick: reads the events recorded since the last look. Nothing while hidden.
    void OnTick();

    // Writes the events shown (filter and summaries as chosen, oldest first) to `file`; false with
    // *error saying why.
    bool ExportTo(const QString& file, EFormat format, QString* error) const;
    // The events shown, newest first (as the table lists them).
    const std::vector<SHistoryEvent>& Shown() const { return m_Shown; }
    // Why the history could not be read; empty when it could.
    QString ErrorText() const;

    QTableWidget* Table() const { return m_pTable; }
    QComboBox* NetworkFilter() const { return m_pFilter; }
    QCheckBox* MinutesBox() const { return m_pMinutes; }

    // The CSV and JSON texts of events, as an export writes them (oldest first).
    static QByteArray CsvOf(const std::vector<SHistoryEvent>& events);
    static QByteArray JsonOf(const std::vector<SHistoryEvent>& events);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool Wanted(const SHistoryEvent& event) const;
    // Rebuilds the table from the events read (a filter changed).
    void Rebuild();
    void AddNetworks(const std::vector<SHistoryEvent>& events);
    void InsertRow(int row, const SHistoryEvent& event);
    void FitColumns();
    void ShowError(const QString& text);
    void OnExport();

    std::string m_strPath;
    std::unique_ptr<CHistoryDb> m_pDb;
    bool m_bOpened = false;
    int64_t m_nLastId = 0;
    std::vector<SHistoryEvent> m_All;    // everything read, oldest first
    std::vector<SHistoryEvent> m_Shown;  // newest first
    QLabel* m_pError;
    QComboBox* m_pFilter;
    QCheckBox* m_pMinutes;
    QTableWidget* m_pTable;
    QPushButton* m_pExport;
};

}  // namespace wavory
