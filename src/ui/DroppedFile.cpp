// SPDX-License-Identifier: GPL-3.0-or-later
// What a drag over the window carries, and how a drop is taken.
#include "ui/DroppedFile.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace klangdorn
{

// The one local file that a drag carries first, in the platform's own spelling; nothing
// for a folder, a URL of another kind or text without a URL.
std::optional<std::string> draggedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return std::nullopt;
    const QUrl url = data->urls().constFirst();
    if (!url.isLocalFile())
        return std::nullopt;
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return QDir::toNativeSeparators(path).toStdString();
}

// Takes the drop as a copy or a link, never as a move, which would let the file manager
// delete the dropped file. False when the drag offers neither.
bool acceptWithoutMoving(QDropEvent& event)
{
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event.possibleActions().testFlag(action)) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    event.ignore();
    return false;
}

} // namespace klangdorn
