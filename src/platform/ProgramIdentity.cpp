// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramIdentity.h"

#include <QDir>
#include <QGuiApplication>

namespace klangdorn
{

QString applicationId()
{
    return QStringLiteral(KLANGDORN_APP_ID);
}

QIcon bundledProgramIcon()
{
    // One PNG a size, named by its size; QIcon reads each one's size when it loads it.
    const QDir sizes(QStringLiteral(":/klangdorn/icons"));
    QIcon icon;
    for (const QString& file : sizes.entryList(QDir::Files))
        icon.addFile(sizes.filePath(file));
    return icon;
}

void nameProgramDesktopFile()
{
    QGuiApplication::setDesktopFileName(applicationId());
}

void showProgramIcon()
{
    QGuiApplication::setWindowIcon(QIcon::fromTheme(applicationId(), bundledProgramIcon()));
}

void useProgramIdentity()
{
    nameProgramDesktopFile();
    showProgramIcon();
}

} // namespace klangdorn
