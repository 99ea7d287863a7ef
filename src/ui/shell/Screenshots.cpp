#include "ui/shell/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "shell/Tessal.h"
#include "ui/monitor/Prefs.h"
#include "ui/profiles/ProfileScreenshots.h"
#include "ui/shell/TessalDlg.h"
#include "ui/survey/ViewSite.h"

namespace wavory {

namespace {

// Lets the window lay itself out and paint before it is grabbed.
void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace

CScreenshots::CScreenshots(const QString& folder, int delayMs, QObject* parent)
    : QObject(parent), m_strFolder(folder), m_nDelayMs(delayMs) {}

void CScreenshots::Attach(CTessalDlg* window) {
    QTimer::singleShot(m_nDelayMs, window, [this, window] { TakeAll(window); });
}

void CScreenshots::Save(QWidget* widget, const QString& name) {
    Settle();
    const QString path = QDir(m_strFolder).filePath(name);
    if (widget->grab().save(path, "PNG")) {
        m_Written.append(path);
    } else {
        std::fprintf(stderr, "wavory: could not write %s\n", qPrintable(path));
        m_bOk = false;
    }
}

void CScreenshots::TakeAll(CTessalDlg* window) {
    if (!QDir().mkpath(m_strFolder)) {
        std::fprintf(stderr, "wavory: could not create the folder %s\n", qPrintable(m_strFolder));
        m_bOk = false;
        window->reject();
        return;
    }
    static const char* const pageFiles[] = {"general.png", "profiles.png", "statistics.png", "about.png"};
    for (int page = 0; page < 4; ++page) {
        window->SetActivePage(page);
        theApp.OnMainTick();
        Save(window, QString::fromLatin1(pageFiles[page]));
    }
    window->SetActivePage(CTessalDlg::PAGE_GENERAL);

    {
        CPrefs prefs(window);
        prefs.show();
        Save(&prefs, QStringLiteral("preferences.png"));
        prefs.reject();
    }

    if (!SaveProfileEditorScreenshots(window, m_strFolder, &m_Written)) m_bOk = false;

    CViewSite* site = window->Site();
    window->OnViewSite();
    const QStringList siteFiles = site->WriteScreenshots(m_strFolder);
    if (siteFiles.size() < 2) m_bOk = false;
    m_Written.append(siteFiles);
    site->hide();
    window->reject();
}

}  // namespace wavory
