// SPDX-License-Identifier: GPL-3.0-or-later
// The factory that hands Qt's accessibility an interface of our own for one widget class:
// install AccessibleFactory<Widget, Interface> with QAccessible::installFactory.
#pragma once

#include <QAccessibleInterface>
#include <QLatin1String>
#include <QObject>
#include <QString>

namespace klangdorn
{

template <typename Widget, typename Interface>
QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(Widget::staticMetaObject.className()))
        if (auto* widget = qobject_cast<Widget*>(object))
            return new Interface(widget); // owned by the accessibility cache
    return nullptr;
}

} // namespace klangdorn
