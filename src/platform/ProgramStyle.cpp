// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramStyle.h"

#include <QGuiApplication>
#include <QPointer>
#include <QStyleOption>
#include <utility>

namespace klangdorn
{

DeferredIconEngine::DeferredIconEngine(std::function<QIcon()> make)
    : m_made(std::make_shared<Made>(Made{std::move(make), std::nullopt}))
{
}

const QIcon& DeferredIconEngine::icon()
{
    if (!m_made->icon)
        m_made->icon = m_made->make();
    return *m_made->icon;
}

void DeferredIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                               QIcon::State state)
{
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize DeferredIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return icon().actualSize(size, mode, state);
}

QPixmap DeferredIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return icon().pixmap(size, mode, state);
}

QPixmap DeferredIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                                         qreal scale)
{
    return icon().pixmap(size, scale, mode, state);
}

QList<QSize> DeferredIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return icon().availableSizes(mode, state);
}

QString DeferredIconEngine::key() const
{
    return QStringLiteral("DeferredIconEngine");
}

QIconEngine* DeferredIconEngine::clone() const
{
    return new DeferredIconEngine(*this);
}

ProgramStyle::ProgramStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                 const QWidget* widget) const
{
    if (which != SP_ToolBarHorizontalExtensionButton && which != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(which, option, widget);
    // The arrow points the other way right to left: the direction is taken now.
    QStyleOption direction;
    direction.direction = option ? option->direction : QGuiApplication::layoutDirection();
    return QIcon(new DeferredIconEngine(
        [base = QPointer<QStyle>(baseStyle()), which, direction, widget = QPointer(widget)] {
            return base ? base->standardIcon(which, &direction, widget) : QIcon();
        }));
}

} // namespace klangdorn
