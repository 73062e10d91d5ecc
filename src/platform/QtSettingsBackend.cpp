#include "platform/QtSettingsBackend.h"

#include "job/RuntimeError.h"

#include <QDir>
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

} // namespace

std::optional<std::string> QtSettingsBackend::get(const std::string& application,
                                                  const std::string& section,
                                                  const std::string& key)
{
    const auto store = openStore(application);
    const QVariant value = store->value(keyPath(section, key));
    if (!value.isValid())
        return std::nullopt;
    // A hand-edited value with an unquoted comma reads as a list: take it back as the text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    return value.toString().toStdString();
}

void QtSettingsBackend::save(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& value)
{
    const auto store = openStore(application);
    // QSettings writes the file through a temporary and a rename: never left truncated.
    store->setValue(keyPath(section, key), QString::fromStdString(value));
    store->sync();
    if (store->status() != QSettings::NoError)
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           QDir::toNativeSeparators(store->fileName()).toStdString());
}

} // namespace klangdorn
