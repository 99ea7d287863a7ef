// The desktop's autostart entry for the window (the freedesktop.org autostart rules): a desktop
// entry named wavory.desktop in the user's autostart folder starts `wavory --tray` when the user
// logs in to a desktop. The user's entry decides; where there is none, an entry of the same name
// in one of the system's configuration folders does.
#pragma once

#include <QString>
#include <QStringList>

namespace wavory {

class CAutostart {
public:
    static constexpr const char* kFileName = "wavory.desktop";

    // Folders from the environment: $XDG_CONFIG_HOME (else ~/.config) and $XDG_CONFIG_DIRS (else
    // /etc/xdg); the program is the running one, by its name where the search path finds it.
    CAutostart();
    CAutostart(QString configHome, QStringList configDirs, QString program);

    // Whether the desktop starts the window when the user logs in.
    bool IsEnabled() const;
    // Writes the user's entry, or takes it away: removed, or (where a system entry would start the
    // window) replaced by a hidden one. False with the reason in `error`; nothing else changes.
    bool SetEnabled(bool enabled, QString& error) const;

    QString UserEntryPath() const;
    // The entry's text as written.
    QString EntryText() const;
    // `program` as the Exec key's first word: quoted where it holds a reserved character, with
    // the desktop entry's escapes.
    static QString ExecQuoted(const QString& program);

private:
    // The system entry that applies when the user has none; empty when there is none.
    QString SystemEntryPath() const;
    static bool EntryStarts(const QString& path);
    bool Write(const QString& text, QString& error) const;

    QString m_strConfigHome;
    QStringList m_ConfigDirs;
    QString m_strProgram;
};

}  // namespace wavory
