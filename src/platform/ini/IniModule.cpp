#include "platform/ini/IniModule.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

QString Child(const QString& group, const QString& name) {
    return group.isEmpty() ? name : group + u'/' + name;
}

QString ValueText(const QVariant& v) {
    // A hand-edited line with unquoted commas reads as a list; take it back as the one text it was.
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString();
}

// QSettings lists a group's keys and subgroups sorted as it writes them, so "later" is later in the
// file for every file it wrote.
void ReadGroup(QSettings& settings, const QString& group, const WavoryIniSink& sink) {
    settings.beginGroup(group);
    const QStringList names = settings.childKeys();
    const QStringList groups = settings.childGroups();
    std::vector<std::pair<QByteArray, QByteArray>> values;
    for (const QString& name : names)
        values.emplace_back(name.toUtf8(), ValueText(settings.value(name)).toUtf8());
    settings.endGroup();
    for (const auto& [name, text] : values) sink.value(sink.ctx, name.constData(), text.constData());
    for (const QString& sub : groups) {
        sink.begin_group(sink.ctx, sub.toUtf8().constData());
        ReadGroup(settings, Child(group, sub), sink);
        sink.end_group(sink.ctx);
    }
}

void SetError(char* error, std::size_t size, const QByteArray& text) {
    if (!error || size == 0) return;
    const std::size_t n = std::min(size - 1, static_cast<std::size_t>(text.size()));
    std::memcpy(error, text.constData(), n);
    error[n] = '\0';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int wavory_ini_read(const char* file,
                                                                      const WavoryIniSink* sink, char* error,
                                                                      std::size_t size) {
    const QString path = QString::fromUtf8(file);
    // QSettings reads an unreadable file as an empty one; it is opened here first to tell them apart.
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        SetError(error, size, probe.errorString().toUtf8());
        return 0;
    }
    probe.close();
    QSettings settings(path, QSettings::IniFormat);
    // The values are read before the status says whether the file was sound; the caller keeps them
    // only when it was.
    ReadGroup(settings, QString(), *sink);
    if (settings.status() != QSettings::NoError) {
        SetError(error, size,
                 settings.status() == QSettings::FormatError ? "it is not in the settings format"
                                                             : "it cannot be read");
        return 0;
    }
    return 1;
}
