// Screenshot mode: once the window has run for a while, writes a PNG of each page, of the
// Preferences dialog and of the Available Networks dialog (when it has anything to show), then
// closes the window.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace wavory {

class CTessalDlg;

class CScreenshots : public QObject {
    Q_OBJECT
public:
    CScreenshots(const QString& folder, int delayMs, QObject* parent = nullptr);

    // Takes the pictures delayMs after the window's event loop starts.
    void Attach(CTessalDlg* window);

    // The files written so far; false when one could not be written.
    const QStringList& Written() const { return m_Written; }
    bool Succeeded() const { return m_bOk; }

private:
    void TakeAll(CTessalDlg* window);
    void Save(QWidget* widget, const QString& name);
    // The connection history dialog over a sample history.
    bool SaveHistory(CTessalDlg* window);

    QString m_strFolder;
    int m_nDelayMs;
    QStringList m_Written;
    bool m_bOk = true;
};

}  // namespace wavory
