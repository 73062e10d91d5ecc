#include "platform/QtSettingsBackend.h"

#include "job/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

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
    keepHandEditedListsAsWritten(*store);
    // QSettings writes the file through a temporary and a rename: never left truncated.
    store->setValue(keyPath(section, key), QString::fromStdString(value));
    store->sync();
    if (store->status() != QSettings::NoError)
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           QDir::toNativeSeparators(store->fileName()).toStdString());
}

} // namespace klangdorn
