// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GermanTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace klangdorn
{

bool installGermanTranslation(QCoreApplication& application)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    const QString folders[] = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
    };
    auto translator = std::make_unique<QTranslator>();
    for (const QString& folder : folders) {
        if (translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            // Handed to the application, so it lives as long as the texts are needed.
            translator->setParent(&application);
            return QCoreApplication::installTranslator(translator.release());
        }
    }
    return false;
}

} // namespace klangdorn
