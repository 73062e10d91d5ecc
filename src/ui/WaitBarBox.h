// SPDX-License-Identifier: GPL-3.0-or-later
// The box of the wait indicator: a sunken frame that keeps what was drawn into it until it
// is cleared. Each "n" of a drawn text shows as a filled square the size of the font's "n";
// other characters (blanks) only take their width. It takes the keyboard focus and shows it.
// What the box tells of a run goes into its tool tip and accessible description ("42 %, noch
// etwa 2 Minuten", after a good run its summary), the percentage also into its accessible value;
// the drawing does not change for it.
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

    // The run's share done in percent (nothing: none) and the words that tell the run; empty
    // words give the box its own tool tip back.
    void tell(std::optional<int> percent, const QString& words);
    std::optional<int> percent() const { return m_percent; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeDrawingFitInside();
    void drawFocusFrame(QPainter& painter) const;
    QImage m_drawing; // what was drawn since the last clear, the size of the inner area
    std::optional<int> m_percent;
    QString m_told;
    QString m_restingToolTip;
};

} // namespace klangdorn
