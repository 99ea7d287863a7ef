#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace wavory {

namespace {

QString EnvFolder(const char* name) {
    // Relative paths in these variables are invalid and ignored, as the base-directory rules say.
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : QString();
}

QString DefaultProgram() {
    const QString running =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("wavory"));
    // By name where the search path leads to this program (an installed one); otherwise the
    // program itself (a build folder), so that the entry starts what the user is running.
    if (running.isEmpty() ||
        (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == QFileInfo(running).canonicalFilePath()))
        return QStringLiteral("wavory");
    return running;
}

}  // namespace

CAutostart::CAutostart() {
    m_strConfigHome = EnvFolder("XDG_CONFIG_HOME");
    if (m_strConfigHome.isEmpty()) m_strConfigHome = QDir::homePath() + QStringLiteral("/.config");
    for (const QString& dir : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir)) m_ConfigDirs << dir;
    if (m_ConfigDirs.isEmpty()) m_ConfigDirs << QStringLiteral("/etc/xdg");
    m_strProgram = DefaultProgram();
}

CAutostart::CAutostart(QString configHome, QStringList configDirs, QString program)
    : m_strConfigHome(std::move(configHome)),
      m_ConfigDirs(std::move(configDirs)),
      m_strProgram(std::move(program)) {}

QString CAutostart::UserEntryPath() const {
    return m_strConfigHome + QStringLiteral("/autostart/") + QLatin1String(kFileName);
}

QString CAutostart::SystemEntryPath() const {
    // The first folder in the list that has the entry is the one that counts.
    for (const QString& dir : m_ConfigDirs) {
        const QString path = dir + QStringLiteral("/autostart/") + QLatin1String(kFileName);
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

bool CAutostart::EntryStarts(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QTextStream in(&file);
    bool inEntry = false;
    bool starts = true;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inEntry || eq < 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        // Hidden=true is the rules' way to switch an entry off; GNOME also reads its own key.
        if ((key == QStringLiteral("Hidden") && value == QStringLiteral("true")) ||
            (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false")))
            starts = false;
    }
    return starts;
}

bool CAutostart::IsEnabled() const {
    const QString user = UserEntryPath();
    if (QFileInfo::exists(user)) return EntryStarts(user);
    const QString system = SystemEntryPath();
    return !system.isEmpty() && EntryStarts(system);
}

QString CAutostart::ExecQuoted(const QString& program) {
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : program)
        if (kReserved.contains(c)) quote = true;
    QString word = program;
    if (quote) {
        // Inside double quotes ", `, $ and \ take a backslash.
        QString escaped;
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') escaped += u'\\';
            escaped += c;
        }
        word = u'"' + escaped + u'"';
    }
    // The value's own escapes: a backslash is written twice; a percent sign is a field code.
    word.replace(u'\\', QStringLiteral("\\\\"));
    word.replace(u'%', QStringLiteral("%%"));
    return word;
}

QString CAutostart::EntryText() const {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Wavory Utility\n"
               "Comment=Monitor the wireless network adapter from the notification area\n"
               "Exec=%1 --tray\n"
               "Icon=wavory\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecQuoted(m_strProgram));
}

bool CAutostart::Write(const QString& text, QString& error) const {
    const QString path = UserEntryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    // Written whole or not at all: a half-written entry could start nothing, or the wrong thing.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool CAutostart::SetEnabled(bool enabled, QString& error) const {
    if (enabled) {
        if (IsEnabled()) return true;
        return Write(EntryText(), error);
    }
    if (!SystemEntryPath().isEmpty() && EntryStarts(SystemEntryPath()))
        return Write(EntryText() + QStringLiteral("Hidden=true\n"), error);
    QFile user(UserEntryPath());
    if (user.exists() && !user.remove()) {
        error = QStringLiteral("cannot remove %1: %2").arg(user.fileName(), user.errorString());
        return false;
    }
    return true;
}

}  // namespace wavory
