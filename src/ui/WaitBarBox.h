// SPDX-License-Identifier: GPL-3.0-or-later
// The box of the wait indicator: a sunken frame that keeps what was drawn into it until it
// is cleared. Each "n" of a drawn text shows as a filled square the size of the font's "n";
// other characters (blanks) only take their width. It takes the keyboard focus and shows it.
#pragma once

#include "job/WaitBarSurface.h"

#include <QFrame>
#include <QImage>

class QPainter;

namespace klangdorn
{

class WaitBarBox : public QFrame, public WaitBarSurface
{
    Q_OBJECT
public:
    explicit WaitBarBox(QWidget* parent = nullptr);

    int outerWidth() const override { return width(); }
    int outerHeight() const override { return height(); }
    int textWidth(const std::string& text) const override;
    int textHeight(const std::string& text) const override;
    void clear() override;
    // x and y count from the inner top-left corner, inside the frame.
    void drawText(int x, int y, const std::string& text) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeDrawingFitInside();
    void drawFocusFrame(QPainter& painter) const;
    QImage m_drawing; // what was drawn since the last clear, the size of the inner area
};

} // namespace klangdorn
