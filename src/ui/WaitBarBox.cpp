// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WaitBarBox.h"

#include "job/RunProgress.h"
#include "ui/AccessibleFactory.h"

#include <QAccessible>
#include <QCursor>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <utility>

namespace klangdorn
{

namespace
{

constexpr QChar SquareLetter = QLatin1Char('n');

// The box as the accessibility layer sees it: a progress bar whose value is the percentage
// the transcoder last told, none while it tells nothing.
class WaitBarAccessible : public ValueAccessible
{
public:
    explicit WaitBarAccessible(WaitBarBox* box) : ValueAccessible(box, QAccessible::ProgressBar) {}
    QString valueText() const override
    {
        return box()->percent() ? QString::fromStdString(PercentText(*box()->percent()))
                                : QString();
    }
    QVariant currentValue() const override
    {
        return box()->percent() ? QVariant(*box()->percent()) : QVariant();
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    WaitBarBox* box() const { return static_cast<WaitBarBox*>(widget()); }
};

} // namespace

WaitBarBox::WaitBarBox(QWidget* parent) : QFrame(parent)
{
    // Before the box's first change, when Qt makes its accessible interface.
    static const bool factoryInstalled =
        (QAccessible::installFactory(AccessibleFactory<WaitBarBox, WaitBarAccessible>), true);
    (void)factoryInstalled;
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

void WaitBarBox::tell(std::optional<int> percent, const QString& words)
{
    const bool valueChanged = percent && percent != m_percent;
    m_percent = percent;
    if (valueChanged) {
        QAccessibleValueChangeEvent changed(this, *percent);
        QAccessible::updateAccessibility(&changed);
    }
    if (words == m_told)
        return;
    // The tool tip the box has when it tells nothing comes back when it is done telling.
    if (m_told.isEmpty())
        m_restingToolTip = toolTip();
    m_told = words;
    setToolTip(words.isEmpty() ? m_restingToolTip : words);
    setAccessibleDescription(words);
    // A tool tip on show follows at once, not only when the pointer comes back.
    if (underMouse() && QToolTip::isVisible())
        QToolTip::showText(QCursor::pos(), toolTip(), this);
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
