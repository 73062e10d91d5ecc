// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtSettingsBackend.h"

#include "job/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

// The native store is an INI file everywhere but in the Windows registry and macOS plists.
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
#define KLANGDORN_STORE_IS_INI_FILE 0
#else
#define KLANGDORN_STORE_IS_INI_FILE 1
#endif

namespace klangdorn
{

namespace
{

// A fresh QSettings for every access, so a second running copy's writes are seen at once.
std::unique_ptr<QSettings> openStore(const std::string& application)
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QString::fromLatin1(OrganizationName),
                                       QString::fromStdString(application));
}

QString keyPath(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

// The value's text as it stands in the store's file, for a hand-edited value with an unquoted
// comma, which QSettings reads as a list. Nothing where there is no such file (the Windows
// registry) or no such line.
std::optional<std::string> textAsWritten(const QString& fileName, const std::string& section,
                                         const std::string& key)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray wantedSection = "[" + QByteArray::fromStdString(section) + "]";
    const QByteArray wantedKey = QByteArray::fromStdString(key);
    std::optional<std::string> text;
    bool inSection = false;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inSection = line == wantedSection;
            continue;
        }
        const auto equals = line.indexOf('=');
        if (inSection && equals > 0 && line.left(equals).trimmed() == wantedKey)
            text = line.mid(equals + 1).trimmed().toStdString(); // the last one counts
    }
    return text;
}

// QSettings writes the whole file again; a value it read as a list would come back joined
// with ", ". Each is put back as the text it was written as, now quoted.
void keepHandEditedListsAsWritten(QSettings& store)
{
    for (const QString& keyPath : store.allKeys()) {
        if (store.value(keyPath).typeId() != QMetaType::QStringList)
            continue;
        const auto slash = keyPath.lastIndexOf(QLatin1Char('/'));
        const std::string section = slash < 0 ? "General" : keyPath.left(slash).toStdString();
        if (auto written =
                textAsWritten(store.fileName(), section, keyPath.mid(slash + 1).toStdString()))
            store.setValue(keyPath, QString::fromStdString(*written));
    }
}

#if KLANGDORN_STORE_IS_INI_FILE
// QSettings writes the file through a temporary and a rename, but a write that stops short
// (a full disk, a size limit) goes unnoticed, and the cut file replaces the store. So each
// write is first made into a copy beside the store and checked; only a whole copy lets the
// store be written, and a store that still comes out cut is replaced by the copy.

// The lines of a file QSettings wrote that hold a key; nothing when the file does not end
// with a line break, that is, it was cut.
std::optional<int> keyLinesOfWholeFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray content = file.readAll();
    if (!content.isEmpty() && !content.endsWith('\n'))
        return std::nullopt;
    int keyLines = 0;
    for (const QByteArray& line : content.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.contains('=') && !trimmed.startsWith(';') && !trimmed.startsWith('#'))
            ++keyLines;
    }
    return keyLines;
}

// The store with the new value, written into `copyName`: its key lines once found whole.
std::optional<int> writeCheckedCopy(const QSettings& store, const QString& copyName,
                                    const QString& changedKey, const QString& value)
{
    QFile::remove(copyName);
    int keys = 0;
    {
        QSettings copy(copyName, QSettings::IniFormat);
        for (const QString& key : store.allKeys())
            copy.setValue(key, store.value(key));
        copy.setValue(changedKey, value);
        copy.sync();
        if (copy.status() != QSettings::NoError)
            return std::nullopt;
        keys = static_cast<int>(copy.allKeys().size());
    }
    if (keyLinesOfWholeFile(copyName) != keys)
        return std::nullopt;
    return keys;
}

// A store file the user made read-only stays so: a write through a temporary and a rename
// would replace it with a writable one. Root may write anything, so the mode tells as well.
bool isReadOnlyFile(const QString& fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status {
    };
    if (::stat(name.constData(), &status) != 0)
        return false; // not there yet: it is made on the first write
    return ::access(name.constData(), W_OK) != 0 ||
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}
#endif

} // namespace

std::optional<std::string> QtSettingsBackend::get(const std::string& application,
                                                  const std::string& section,
                                                  const std::string& key)
{
    const auto store = openStore(application);
    const QVariant value = store->value(keyPath(section, key));
    if (!value.isValid())
        return std::nullopt;
    // A hand-edited value with an unquoted comma reads as a list: keep the text as written.
    if (value.typeId() == QMetaType::QStringList) {
        if (auto written = textAsWritten(store->fileName(), section, key))
            return written;
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    }
    return value.toString().toStdString();
}

void QtSettingsBackend::save(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& value)
{
    const auto store = openStore(application);
    const auto failure = [&] {
        return RuntimeError(ErrorNumber::PathFileAccess,
                            QDir::toNativeSeparators(store->fileName()).toStdString());
    };
#if KLANGDORN_STORE_IS_INI_FILE
    if (isReadOnlyFile(store->fileName()))
        throw failure();
#endif
    keepHandEditedListsAsWritten(*store);
    const QString changedKey = keyPath(section, key);
    const QString newValue = QString::fromStdString(value);
#if KLANGDORN_STORE_IS_INI_FILE
    const QString copyName = store->fileName() + QStringLiteral(".neu");
    const auto keyLines = writeCheckedCopy(*store, copyName, changedKey, newValue);
    if (!keyLines) {
        QFile::remove(copyName);
        throw failure();
    }
#endif
    store->setValue(changedKey, newValue);
    store->sync();
    const bool written = store->status() == QSettings::NoError;
#if KLANGDORN_STORE_IS_INI_FILE
    if (keyLinesOfWholeFile(store->fileName()) != keyLines) {
        // Cut after all: the checked copy takes its place.
        if (std::rename(QFile::encodeName(copyName).constData(),
                        QFile::encodeName(store->fileName()).constData()) != 0) {
            QFile::remove(copyName); // no stray copy beside a store that cannot be replaced
            throw failure();
        }
        return;
    }
    QFile::remove(copyName);
#endif
    if (!written)
        throw failure();
}

bool LooksLikeSettingsText(QByteArrayView content)
{
    if (content.contains('\0'))
        return false;
    for (const QByteArray& rawLine : content.toByteArray().split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') || line.contains('='))
            continue;
        if (!(line.startsWith('[') && line.endsWith(']')))
            return false;
    }
    return true;
}

namespace
{

// Why the store file cannot be read, in German; nothing when it can be.
std::optional<std::string> unreadableBecause(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    if (info.isDir())
        return "ein Ordner steht an ihrer Stelle";
    if (!info.isFile())
        return "sie ist keine gewöhnliche Datei";
    if (info.size() > LargestStoreFile)
        return "sie ist mit " + std::to_string(info.size() / 1024) +
               " KiB viel zu groß für Einstellungen";
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt; // no right to read it: writing says so, and moving would not help
    if (!LooksLikeSettingsText(file.read(LargestStoreFile)))
        return "sie enthält keine Einstellungen, sondern andere Daten";
    return std::nullopt;
}

QString freeAsideName(const QString& fileName)
{
    const QString base = fileName + QStringLiteral(".unlesbar");
    QString name = base;
    for (int number = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++number)
        name = base + QLatin1Char('-') + QString::number(number);
    return name;
}

} // namespace

std::optional<SetAsideStore> SetAsideUnreadableStore(const std::string& application)
{
#if KLANGDORN_STORE_IS_INI_FILE
    // Where QSettings keeps the store, found without QSettings reading it.
    const QString fileName =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
        QString::fromLatin1(OrganizationName) + QLatin1Char('/') +
        QString::fromStdString(application) + QStringLiteral(".conf");
    const auto reason = unreadableBecause(fileName);
    if (!reason)
        return std::nullopt;
    const QString aside = freeAsideName(fileName);
    const bool moved = std::rename(QFile::encodeName(fileName).constData(),
                                   QFile::encodeName(aside).constData()) == 0;
    return SetAsideStore{QDir::toNativeSeparators(fileName).toStdString(),
                         moved ? QDir::toNativeSeparators(aside).toStdString() : std::string(),
                         *reason};
#else
    (void)application;
    return std::nullopt;
#endif
}

std::string SetAsideText(const SetAsideStore& setAside)
{
    const std::string what =
        "Die Einstellungsdatei " + setAside.file + " ließ sich nicht lesen: " + setAside.reason;
    if (setAside.asideAs.empty())
        return what + ". Sie ließ sich auch nicht umbenennen; bitte sie löschen oder "
                      "umbenennen, damit Klangdorn seine Einstellungen speichern kann.";
    return what + ".\r\nSie wurde als " + setAside.asideAs +
           " beiseitegelegt; Klangdorn beginnt mit den Standardeinstellungen.";
}

} // namespace klangdorn
