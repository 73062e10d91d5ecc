// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WaitBarBox.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <utility>

namespace klangdorn
{

namespace
{

constexpr QChar SquareLetter = QLatin1Char('n');

} // namespace

WaitBarBox::WaitBarBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    makeDrawingFitInside();
}

int WaitBarBox::textWidth(const std::string& text) const
{
    return fontMetrics().horizontalAdvance(QString::fromStdString(text));
}

int WaitBarBox::textHeight(const std::string&) const
{
    return fontMetrics().height();
}

void WaitBarBox::clear()
{
    m_drawing.fill(Qt::transparent);
    update();
}

void WaitBarBox::drawText(int x, int y, const std::string& text)
{
    makeDrawingFitInside();
    QPainter painter(&m_drawing);
    const QFontMetrics metrics = fontMetrics();
    const QRect letter = metrics.boundingRect(SquareLetter);
    const int side = letter.width();
    const int baseline = y + metrics.ascent();
    for (const QChar c : QString::fromStdString(text)) {
        if (c == SquareLetter)
            painter.fillRect(x + letter.left(), baseline - side, side, side,
                             palette().color(QPalette::WindowText));
        x += metrics.horizontalAdvance(c);
    }
    update();
}

void WaitBarBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), m_drawing);
    if (hasFocus())
        drawFocusFrame(painter);
}

// The focus frame just inside the box's own frame, as buttons and check boxes show theirs.
void WaitBarBox::drawFocusFrame(QPainter& painter) const
{
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    option.backgroundColor = palette().color(backgroundRole());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void WaitBarBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    makeDrawingFitInside();
}

void WaitBarBox::makeDrawingFitInside()
{
    const QSize inside = contentsRect().size().expandedTo(QSize(1, 1));
    if (m_drawing.size() == inside)
        return;
    // What was drawn stays: the box may get its final size after the first drawing.
    QImage resized(inside, QImage::Format_ARGB32_Premultiplied);
    resized.fill(Qt::transparent);
    if (!m_drawing.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, m_drawing);
    }
    m_drawing = std::move(resized);
}

} // namespace klangdorn
