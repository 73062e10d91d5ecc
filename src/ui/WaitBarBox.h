// SPDX-License-Identifier: GPL-3.0-or-later
// The box of the wait indicator: a sunken frame that keeps what was drawn into it until it
// is cleared. Each "n" of a drawn text shows as a filled square the size of the font's "n";
// other characters (blanks) only take their width. It takes the keyboard focus and shows it.
// Where the transcoder tells its progress, the box offers it as its tool tip and accessible
// value ("42 %"); the drawing does not change for it.
#pragma once

#include "job/WaitBarSurface.h"

#include <QFrame>
#include <QImage>
#include <optional>

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

    // The run's share done in percent; nothing takes it off.
    void showPercent(std::optional<int> percent);
    std::optional<int> percent() const { return m_percent; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeDrawingFitInside();
    void drawFocusFrame(QPainter& painter) const;
    QImage m_drawing; // what was drawn since the last clear, the size of the inner area
    std::optional<int> m_percent;
    QString m_restingToolTip;
};

} // namespace klangdorn
