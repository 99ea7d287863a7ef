#include "platform/SettingsRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "base/RegistrySchema.h"
#include "platform/RegFile.h"
#include "platform/RegTree.h"

namespace wavory {

namespace {

QString FromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A key path of the interface as a QSettings group: "Import\Profile 0" → "Import/Profile 0". A '/'
// of its own would split a name in two, so such paths are refused, as are empty parts.
std::optional<QString> ToGroup(std::string_view path) {
    if (path.empty()) return QString();
    const QString text = FromUtf8(path);
    if (text.contains(u'/')) return std::nullopt;
    const QStringList parts = text.split(u'\\');
    if (std::any_of(parts.begin(), parts.end(), [](const QString& p) { return p.isEmpty(); })) {
        return std::nullopt;
    }
    return parts.join(u'/');
}

QString Child(const QString& group, const QString& name) {
    return group.isEmpty() ? name : group + u'/' + name;
}

std::optional<QString> ToKey(std::string_view section, std::string_view entry) {
    const auto group = ToGroup(section);
    const QString name = FromUtf8(entry);
    if (!group || name.isEmpty() || name.contains(u'/')) return std::nullopt;
    return Child(*group, name);
}

// Digit runs compare by value, so that "Profile 10" follows "Profile 9".
bool NaturalLess(const QString& a, const QString& b) {
    auto digitRun = [](const QString& s, qsizetype& k) {
        const qsizetype start = k;
        while (k < s.size() && s[k].isDigit()) ++k;
        QStringView run = QStringView(s).mid(start, k - start);
        while (run.size() > 1 && run.front() == u'0') run = run.mid(1);
        return run;
    };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = digitRun(a, i), y = digitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i, ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// Values the utility knows come first, in the order of its table; others follow by name.
bool ValueOrderLess(const QString& a, const QString& b) {
    auto rank = [](const QString& name) {
        const SRegSchemaEntry* e = FindSchemaEntry(name.toStdString());
        return e ? e - RegistrySchema().data() : static_cast<std::ptrdiff_t>(RegistrySchema().size());
    };
    const auto ra = rank(a), rb = rank(b);
    return ra != rb ? ra < rb : NaturalLess(a, b);
}

QString ValueText(const QVariant& v) {
    // A hand-edited line with unquoted commas reads as a list; take it back as the one text it was.
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString();
}

// The registry kind of a stored value: the schema's, or for a name it does not know a guess from the
// text (the file keeps no kinds).
std::optional<SRegValue> TypedValue(const QString& name, const QString& text) {
    const std::string utf8 = text.toStdString();
    const auto dword = ParseDwordText(utf8);
    bool isDword = false;
    if (const SRegSchemaEntry* entry = FindSchemaEntry(name.toStdString())) {
        isDword = entry->type == ERegType::Dword;
    } else {
        isDword =
            dword && (text == QString::number(*dword) || text == QString::number(static_cast<int>(*dword)));
    }
    if (!isDword) return SRegValue::Sz(utf8);
    if (!dword) return std::nullopt;  // not a number: it reads as the default, so it is not exported
    return SRegValue::Dword(*dword);
}

// The group's values and subkeys, as an export writes them.
void ReadTree(QSettings& settings, const QString& group, SRegKey& key) {
    settings.beginGroup(group);
    QStringList names = settings.childKeys();
    QStringList groups = settings.childGroups();
    std::sort(names.begin(), names.end(), ValueOrderLess);
    for (const QString& name : names) {
        if (auto value = TypedValue(name, ValueText(settings.value(name)))) {
            key.values.push_back({name.toStdString(), std::move(*value)});
        }
    }
    settings.endGroup();
    std::sort(groups.begin(), groups.end(), NaturalLess);
    for (const QString& sub : groups) {
        key.subkeys.push_back(SRegKey{sub.toStdString(), {}, {}});
        ReadTree(settings, Child(group, sub), key.subkeys.back());
    }
}

void WriteTree(QSettings& settings, const QString& group, const SRegKey& key) {
    for (const SRegNamedValue& v : key.values) {
        const QString name = Child(group, FromUtf8(v.name));
        if (v.value.type == ERegType::Dword) {
            settings.setValue(name, static_cast<uint>(v.value.dword));
        } else {
            settings.setValue(name, FromUtf8(v.value.text));
        }
    }
    for (const SRegKey& sub : key.subkeys) WriteTree(settings, Child(group, FromUtf8(sub.name)), sub);
}

// Names the store can hold: a '/' would make a group of its own, a '\' a key level.
bool Storable(const SRegKey& key) {
    for (const SRegNamedValue& v : key.values) {
        if (v.name.empty() || v.name.find('/') != std::string::npos) return false;
    }
    for (const SRegKey& sub : key.subkeys) {
        if (sub.name.find_first_of("/\\") != std::string::npos || !Storable(sub)) return false;
    }
    return true;
}

// Creates the missing folders of `dir` for the owner only.
void MakePrivateDirs(const std::string& dir) {
    struct stat st {};
    if (dir.empty() || ::stat(dir.c_str(), &st) == 0) return;
    const size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0) MakePrivateDirs(dir.substr(0, slash));
    ::mkdir(dir.c_str(), 0700);
}

QString DefaultFileName() {
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Wavory"),
                          QStringLiteral("Wavory Utility"));
    return probe.fileName();
}

}  // namespace

CSettingsRegistry::CSettingsRegistry() : CSettingsRegistry(DefaultFileName().toStdString()) {}

CSettingsRegistry::CSettingsRegistry(const std::string& fileName) : m_strFileName(fileName) {
    struct stat st {};
    if (::stat(m_strFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) {
        ::chmod(m_strFileName.c_str(), 0600);  // the file holds WEP keys
    }
    SetUpSettings();
}

CSettingsRegistry::~CSettingsRegistry() = default;

// A fresh QSettings on the file. Its status keeps the first error for good, so after a failure the
// object is replaced; the new one is made while the old one lives, so that both share Qt's in-process
// copy of the file and nothing collected is lost.
void CSettingsRegistry::SetUpSettings() const {
    auto settings = std::make_unique<QSettings>(QString::fromStdString(m_strFileName), QSettings::IniFormat);
    // QSettings posts itself a request to write later. The store writes when it decides to, and from
    // two threads, so the object belongs to no thread and its requests are never delivered.
    settings->moveToThread(nullptr);
    m_pSettings.swap(settings);
}

// Picks up changes another process made to the file. Inside an update the collected values wait in
// memory, and reading must not write them. A file that did not change since it was last read is
// not read again; one stat is far cheaper than the checks of QSettings::sync().
void CSettingsRegistry::Refresh() const {
    if (m_nUpdateDepth > 0) return;
    const SFileStamp stamp = StampOfFile();
    if (!m_bChanged && m_bStampValid && stamp == m_Stamp) return;
    // Taken before the file is read: a change made meanwhile shows as a new stamp next time.
    m_Stamp = stamp;
    m_bStampValid = SyncNow();
}

CSettingsRegistry::SFileStamp CSettingsRegistry::StampOfFile() const {
    struct stat st {};
    if (::stat(m_strFileName.c_str(), &st) != 0) return {};
    return {st.st_ino,          st.st_size,        st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

bool CSettingsRegistry::SyncNow() const {
    if (m_bChanged) EnsurePrivateFile();
    m_pSettings->sync();
    QCoreApplication::removePostedEvents(m_pSettings.get(), QEvent::UpdateRequest);
    bool ok = m_pSettings->status() == QSettings::NoError;
    if (!ok) {
        SetUpSettings();
    } else if (m_bChanged) {
        ok = FileHoldsAllEntries();
    }
    if (ok) m_bChanged = false;  // after a failure the changes wait for the next write
    return ok;
}

// QSettings takes a short write (full disk, file size limit) for success and puts the cut file in
// place, so a write is checked on disk: every entry is one line, and the last line is complete.
bool CSettingsRegistry::FileHoldsAllEntries() const {
    QFile file(QString::fromStdString(m_strFileName));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = file.readAll();
    if (!data.isEmpty() && !data.endsWith('\n')) return false;
    qsizetype entries = 0;
    for (const QByteArray& line : data.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith('[')) ++entries;
    }
    return entries == m_pSettings->allKeys().size();
}

bool CSettingsRegistry::Commit() {
    m_bChanged = true;
    m_bStampValid = false;  // our own write changes the file
    return m_nUpdateDepth > 0 || SyncNow();
}

// The file is created empty and private before QSettings first writes it, since QSettings keeps the
// mode of an existing file but creates new ones readable by all.
void CSettingsRegistry::EnsurePrivateFile() const {
    struct stat st {};
    if (::stat(m_strFileName.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) ::chmod(m_strFileName.c_str(), 0600);
        return;
    }
    if (errno != ENOENT) return;
    const size_t slash = m_strFileName.rfind('/');
    if (slash != std::string::npos) MakePrivateDirs(m_strFileName.substr(0, slash));
    const int fd = ::open(m_strFileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
}

int CSettingsRegistry::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
    const auto key = ToKey(section, entry);
    if (!key) return def;
    std::lock_guard lock(m_Mutex);
    Refresh();
    const QVariant v = m_pSettings->value(*key);
    if (!v.isValid()) return def;
    const auto dword = ParseDwordText(ValueText(v).toStdString());
    return dword ? static_cast<int>(*dword) : def;
}

std::string CSettingsRegistry::GetProfileString(std::string_view section, std::string_view entry,
                                                std::string_view def) const {
    const auto key = ToKey(section, entry);
    if (!key) return std::string(def);
    std::lock_guard lock(m_Mutex);
    Refresh();
    const QVariant v = m_pSettings->value(*key);
    return v.isValid() ? ValueText(v).toStdString() : std::string(def);
}

bool CSettingsRegistry::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    const auto key = ToKey(section, entry);
    std::lock_guard lock(m_Mutex);
    if (!key) {
        m_bUpdateFailed = true;
        return false;
    }
    Refresh();
    m_pSettings->setValue(*key, static_cast<uint>(value));
    return Commit();
}

bool CSettingsRegistry::WriteProfileString(std::string_view section, std::string_view entry,
                                           std::string_view value) {
    const auto key = ToKey(section, entry);
    std::lock_guard lock(m_Mutex);
    if (!key) {
        m_bUpdateFailed = true;
        return false;
    }
    Refresh();
    m_pSettings->setValue(*key, FromUtf8(value));
    return Commit();
}

bool CSettingsRegistry::KeyExists(std::string_view path) const {
    const auto group = ToGroup(path);
    if (!group) return false;
    if (group->isEmpty()) return true;
    std::lock_guard lock(m_Mutex);
    Refresh();
    m_pSettings->beginGroup(*group);
    const bool exists = !m_pSettings->childKeys().isEmpty() || !m_pSettings->childGroups().isEmpty();
    m_pSettings->endGroup();
    return exists;
}

std::vector<std::string> CSettingsRegistry::SubKeys(std::string_view path) const {
    const auto group = ToGroup(path);
    if (!group) return {};
    std::lock_guard lock(m_Mutex);
    Refresh();
    m_pSettings->beginGroup(*group);
    QStringList groups = m_pSettings->childGroups();
    m_pSettings->endGroup();
    std::sort(groups.begin(), groups.end(), NaturalLess);
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(groups.size()));
    for (const QString& g : groups) result.push_back(g.toStdString());
    return result;
}

int CSettingsRegistry::DeleteKey(std::string_view path) {
    const auto group = ToGroup(path);
    if (!group) return REG_ERROR_FILE_NOT_FOUND;
    std::lock_guard lock(m_Mutex);
    Refresh();
    m_pSettings->beginGroup(*group);
    const QStringList names = m_pSettings->childKeys();
    const bool hasSubKeys = !m_pSettings->childGroups().isEmpty();
    m_pSettings->endGroup();
    if (hasSubKeys) return REG_ERROR_ACCESS_DENIED;
    if (names.isEmpty()) return group->isEmpty() ? REG_OK : REG_ERROR_FILE_NOT_FOUND;
    if (group->isEmpty()) {
        // remove("") would clear the whole file; the application key loses only its own values.
        for (const QString& name : names) m_pSettings->remove(name);
    } else {
        m_pSettings->remove(*group);
    }
    return Commit() ? REG_OK : REG_ERROR_WRITE_FAULT;
}

int CSettingsRegistry::SaveKey(std::string_view path, const std::string& file, bool overwrite) {
    const auto group = ToGroup(path);
    if (!group) return REG_ERROR_FILE_NOT_FOUND;
    std::string topPath(kAppKeyPath);
    if (!path.empty()) topPath += '\\' + std::string(path);
    SRegKey tree{topPath.substr(topPath.rfind('\\') + 1), {}, {}};
    {
        std::lock_guard lock(m_Mutex);
        Refresh();
        ReadTree(*m_pSettings, *group, tree);
    }
    if (!group->isEmpty() && tree.values.empty() && tree.subkeys.empty()) return REG_ERROR_FILE_NOT_FOUND;
    return WriteRegFile(file, tree, topPath, overwrite);
}

int CSettingsRegistry::RestoreKey(std::string_view path, const std::string& file) {
    const auto group = ToGroup(path);
    if (!group) return REG_ERROR_FILE_NOT_FOUND;
    SRegKey tree;
    if (const int rc = ReadRegFile(file, tree); rc != REG_OK) return rc;
    if (const int rc = ConformToSchema(tree); rc != REG_OK) return rc;
    if (!Storable(tree)) return REG_ERROR_INVALID_DATA;

    std::lock_guard lock(m_Mutex);
    Refresh();
    if (group->isEmpty()) {
        m_pSettings->clear();
    } else {
        m_pSettings->remove(*group);
    }
    WriteTree(*m_pSettings, *group, tree);
    return Commit() ? REG_OK : REG_ERROR_WRITE_FAULT;
}

void CSettingsRegistry::BeginUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth == 0) {
        Refresh();
        m_bUpdateFailed = false;
    }
    ++m_nUpdateDepth;
}

bool CSettingsRegistry::EndUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth == 0) return false;
    if (--m_nUpdateDepth > 0) return !m_bUpdateFailed;
    const bool stored = SyncNow();
    return stored && !m_bUpdateFailed;
}

}  // namespace wavory
