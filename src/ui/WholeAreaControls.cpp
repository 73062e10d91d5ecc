// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WholeAreaControls.h"

#include "ui/AccessibleFactory.h"

#include <QMouseEvent>
#include <QStyleOptionSlider>

namespace klangdorn
{

bool WholeAreaCheckBox::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

int WholeAreaSlider::trackRow() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
        .center()
        .y();
}

void WholeAreaSlider::mousePressEvent(QMouseEvent* event)
{
    const QPointF onTrack(event->position().x(), trackRow());
    QMouseEvent moved(event->type(), onTrack, mapToGlobal(onTrack), event->button(),
                      event->buttons(), event->modifiers(), event->pointingDevice());
    moved.setAccepted(event->isAccepted());
    QSlider::mousePressEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

namespace
{

class PercentSliderAccessible : public ValueAccessible
{
public:
    explicit PercentSliderAccessible(QSlider* slider) : ValueAccessible(slider, QAccessible::Slider)
    {
    }

    QString valueText() const override
    {
        return QString::number(slider()->value()) + QLatin1Char('%');
    }

    QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant& value) override { slider()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->singleStep(); }

private:
    QSlider* slider() const { return static_cast<QSlider*>(widget()); }
};

} // namespace

void installSliderAccessibility()
{
    QAccessible::installFactory(AccessibleFactory<WholeAreaSlider, PercentSliderAccessible>);
}

} // namespace klangdorn
