// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BundledTranscoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace klangdorn
{

std::optional<std::string> BundledTranscoderIn(const std::string& folder)
{
#ifdef _WIN32
    (void)folder;
    return std::nullopt;
#else
    const QFileInfo file(QDir(QString::fromStdString(folder)), QStringLiteral("besweet"));
    if (!file.isFile() || !file.isExecutable())
        return std::nullopt;
    return QDir::toNativeSeparators(file.absoluteFilePath()).toStdString();
#endif
}

std::optional<std::string> BundledTranscoder()
{
    return BundledTranscoderIn(QCoreApplication::applicationDirPath().toStdString());
}

} // namespace klangdorn
