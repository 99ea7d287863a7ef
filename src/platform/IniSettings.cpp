#include "platform/IniSettings.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

#include <optional>

#include "base/RegTree.h"
#include "base/RegistrySchema.h"
#include "base/Trace.h"

namespace wavory {

namespace {

QString Child(const QString& group, const QString& name) {
    return group.isEmpty() ? name : group + u'/' + name;
}

QString ValueText(const QVariant& v) {
    // A hand-edited line with unquoted commas reads as a list; take it back as the one text it was.
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString();
}

// The registry kind of a stored value: the schema's, or for a name it does not know a guess from the
// text (the file keeps no kinds). A number value that is no number reads as its default, so it is
// left out.
std::optional<SRegValue> TypedValue(const std::string& name, const QString& text) {
    const std::string utf8 = text.toStdString();
    const auto dword = ParseDwordText(utf8);
    bool isDword = false;
    if (const SRegSchemaEntry* entry = FindSchemaEntry(name)) {
        isDword = entry->type == ERegType::Dword;
    } else {
        isDword =
            dword && (text == QString::number(*dword) || text == QString::number(static_cast<int>(*dword)));
    }
    if (!isDword) return SRegValue::Sz(utf8);
    if (!dword) return std::nullopt;
    return SRegValue::Dword(*dword);
}

// QSettings lists a group's keys and subgroups sorted as it writes them, so "later" is later in the
// file for every file it wrote.
void ReadGroup(QSettings& settings, const QString& group, SRegKey& key, const std::string& where) {
    settings.beginGroup(group);
    const QStringList names = settings.childKeys();
    const QStringList groups = settings.childGroups();
    std::vector<std::pair<std::string, SRegValue>> values;
    for (const QString& name : names) {
        if (auto value = TypedValue(name.toStdString(), ValueText(settings.value(name))))
            values.emplace_back(name.toStdString(), std::move(*value));
    }
    settings.endGroup();
    for (auto& [name, value] : values) {
        if (key.FindValue(name))
            Trace("\nSettings move: value \"%s\" of %s given twice in different case; the later one is kept",
                  name.c_str(), where.c_str());
        key.SetValue(name, std::move(value));
    }
    for (const QString& sub : groups) {
        const std::string name = sub.toStdString();
        if (key.FindSubKey(name))
            Trace(
                "\nSettings move: group \"%s\" of %s given twice in different case; merged, the later values "
                "kept",
                name.c_str(), where.c_str());
        SRegKey& child = key.SubKey(name);
        ReadGroup(settings, Child(group, sub), child, "\"" + name + "\"");
    }
}

}  // namespace

bool ReadIniSettings(const std::string& file, SRegKey& tree, std::string& error) {
    // QSettings reads an unreadable file as an empty one; it is opened here first to tell them apart.
    QFile probe(QString::fromStdString(file));
    if (!probe.open(QIODevice::ReadOnly)) {
        error = probe.errorString().toStdString();
        return false;
    }
    probe.close();
    QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
    SRegKey result;
    ReadGroup(settings, QString(), result, "the application key");
    if (settings.status() != QSettings::NoError) {
        error = settings.status() == QSettings::FormatError ? "it is not in the settings format"
                                                            : "it cannot be read";
        return false;
    }
    tree = std::move(result);
    return true;
}

}  // namespace wavory
