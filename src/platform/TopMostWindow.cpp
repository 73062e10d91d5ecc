// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TopMostWindow.h"

#include <QWidget>
#include <QWindow>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace klangdorn
{

namespace
{

Qt::WindowFlags withStaysOnTop(Qt::WindowFlags flags, bool topMost)
{
    return topMost ? (flags | Qt::WindowStaysOnTopHint) : (flags & ~Qt::WindowStaysOnTopHint);
}

} // namespace

void TopMostWindow::setTopMost(QWidget& window, bool topMost)
{
    const Qt::WindowFlags flags = withStaysOnTop(window.windowFlags(), topMost);
    QWindow* handle = window.windowHandle();
    if (!handle) {
        // No native window yet (before the first show): the hint is applied when it is made.
        window.setWindowFlags(flags);
        return;
    }
    // QWidget::setWindowFlags would re-create and hide the native window. Tell the widget
    // about the new flags without that, and let the existing native window take them.
    window.overrideWindowFlags(flags);
#ifdef Q_OS_WIN
    SetWindowPos(reinterpret_cast<HWND>(window.winId()), topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0,
                 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
#else
    handle->setFlags(flags);
#endif
}

} // namespace klangdorn
