// SPDX-License-Identifier: GPL-3.0-or-later
// The factory that hands Qt's accessibility an interface of our own for one widget class:
// install AccessibleFactory<Widget, Interface> with QAccessible::installFactory; and the base
// of such an interface for a widget that shows a value.
#pragma once

#include <QAccessibleInterface>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
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

// A widget that shows a value: screen readers find the value interface, and the value's text
// (valueText) as the widget's value.
class ValueAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    ValueAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return valueText();
        return QAccessibleWidget::text(kind);
    }

protected:
    [[nodiscard]] virtual QString valueText() const = 0;
};

} // namespace klangdorn
