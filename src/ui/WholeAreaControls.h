// SPDX-License-Identifier: GPL-3.0-or-later
// Check box and slider whose whole rectangle reacts to the mouse: the style's own hit areas
// cover only the box with its caption, and only the track's row of the slider.
#pragma once

#include <QCheckBox>
#include <QSlider>

namespace klangdorn
{

class WholeAreaCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override;
};

// A horizontal slider that takes a press anywhere in its height as one on the track's row,
// so the handle and the track react over the tick marks too. Screen readers hear its value
// as a percentage.
class WholeAreaSlider : public QSlider
{
    Q_OBJECT
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    int trackRow() const;
};

// Makes the accessibility layer describe WholeAreaSlider as a slider whose value text is
// "95%"; installing it again changes nothing.
void installSliderAccessibility();

} // namespace klangdorn
