// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConsoleWindow.h"

#include "job/RunOutcome.h"
#include "platform/TopMostWindow.h"
#include "ui/AfterFirstPaint.h"

#include <QFontDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <array>

namespace klangdorn
{

namespace
{
constexpr int MaximumLines = static_cast<int>(ConsoleLines::MostLines);
constexpr int ShowIntervalMs = 100;
const QSize MinimumSize(320, 160);

int clamped(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}
} // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent) : QPlainTextEdit(parent)
{
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName("BeSweetConsole");
    setWindowTitle("BeSweet");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(MaximumLines);
    resize(640, 400);
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(ShowIntervalMs);
    connect(&m_showTimer, &QTimer::timeout, this, &ConsoleWindow::showPendingOutput);
}

void ConsoleWindow::startOutput()
{
    // Looked up when first needed: finding the monospace font costs the window's start.
    if (!testAttribute(Qt::WA_SetFont))
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    clearForNewRun();
    placeBesideTheMainWindowOnce();
    applyStacking();
    showNormal();
    raise();
    activateWindow();
}

void ConsoleWindow::clearForNewRun()
{
    clear();
    m_decoder.resetState();
    m_lines.reset();
    m_pending.clear();
    m_showTimer.stop();
}

void ConsoleWindow::showRunEnd(const ProcessEnd& end)
{
    showPendingOutput();
    m_pending.clear();
    m_lines.append("\n");
    const QString summary = QString::fromStdString(m_lines.summary());
    // The summary moves below the end line: in sight, and said once.
    if (!summary.isEmpty())
        removeLastLineReading(summary);
    const QString last = document()->lastBlock().text();
    insertAtEnd((last.isEmpty() ? QString() : QStringLiteral("\n")) + runEndLine(end) +
                QLatin1Char('\n') + (summary.isEmpty() ? QString() : summary + QLatin1Char('\n')));
}

void ConsoleWindow::setStaysOnTop(bool onTop)
{
    m_onTop = onTop;
    if (isVisible())
        applyStacking();
}

void ConsoleWindow::applyStacking()
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != m_onTop)
        TopMostWindow().setTopMost(*this, m_onTop);
}

// The first time, beside the main window where the screen has room, so the wait indicator
// and the main window's title bar stay in sight; after that wherever the user left it.
void ConsoleWindow::placeBesideTheMainWindowOnce()
{
    if (m_placed || !parentWidget())
        return;
    m_placed = true;
    const QWidget& main = *parentWidget();
    const QRect mainFrame = main.frameGeometry();
    // Until it is shown the console has no frame of its own: assume the main window's.
    const QSize decoration = mainFrame.size() - main.size();
    const QRect frame =
        consolePlacement(mainFrame, main.geometry().top(), main.screen()->availableGeometry(),
                         size() + decoration, MinimumSize + decoration);
    resize(frame.size() - decoration);
    move(frame.topLeft());
    // The window manager may frame the console more thickly than the main window (a resize
    // handle): once its real frame is known it is made to end on the screen.
    RunAfterFirstPaint(*this, [this] { keepFrameOnScreen(); });
}

void ConsoleWindow::keepFrameOnScreen()
{
    const QRect room = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    const int overRight = std::max(0, frame.right() - room.right());
    const int overBottom = std::max(0, frame.bottom() - room.bottom());
    if (overRight || overBottom)
        resize(std::max(MinimumSize.width(), width() - overRight),
               std::max(MinimumSize.height(), height() - overBottom));
}

QString runEndLine(const ProcessEnd& end)
{
    switch (end.kind) {
    case ProcessEnd::Kind::Exited:
        return QStringLiteral("BeSweet beendet mit Exit-Code %1.").arg(end.code);
    case ProcessEnd::Kind::Signalled:
        return QStringLiteral("BeSweet durch Signal beendet: %1.")
            .arg(QString::fromStdString(SignalDescription(static_cast<int>(end.code))));
    case ProcessEnd::Kind::Unknown:
        break;
    }
    return QStringLiteral("BeSweet beendet; wie, ist nicht bekannt.");
}

namespace
{

// One side of the main window: the screen's room there, and where a console of a given
// size goes in it (against the main window, lined up with its left or top edge).
struct Side {
    QRect room;
    QPoint (*corner)(const QRect& room, const QRect& main, const QSize& size);
};

int alongLeftEdge(const QRect& room, const QRect& main, const QSize& size)
{
    return clamped(main.left(), room.left(), room.right() + 1 - size.width());
}

int alongTopEdge(const QRect& room, const QRect& main, const QSize& size)
{
    return clamped(main.top(), room.top(), room.bottom() + 1 - size.height());
}

} // namespace

QRect consolePlacement(const QRect& mainFrame, int mainClientTop, const QRect& screen,
                       const QSize& wanted, const QSize& minimum)
{
    const std::array sides{
        Side{QRect(QPoint(screen.left(), mainFrame.bottom() + 1), screen.bottomRight()),
             [](const QRect& room, const QRect& main, const QSize& size) {
                 return QPoint(alongLeftEdge(room, main, size), room.top());
             }},
        Side{QRect(QPoint(mainFrame.right() + 1, screen.top()), screen.bottomRight()),
             [](const QRect& room, const QRect& main, const QSize& size) {
                 return QPoint(room.left(), alongTopEdge(room, main, size));
             }},
        Side{QRect(screen.topLeft(), QPoint(mainFrame.left() - 1, screen.bottom())),
             [](const QRect& room, const QRect& main, const QSize& size) {
                 return QPoint(room.right() + 1 - size.width(), alongTopEdge(room, main, size));
             }},
        Side{QRect(screen.topLeft(), QPoint(screen.right(), mainFrame.top() - 1)),
             [](const QRect& room, const QRect& main, const QSize& size) {
                 return QPoint(alongLeftEdge(room, main, size), room.bottom() + 1 - size.height());
             }},
    };
    for (const Side& side : sides) {
        if (side.room.width() < minimum.width() || side.room.height() < minimum.height())
            continue;
        const QSize size = wanted.boundedTo(side.room.size());
        return QRect(side.corner(side.room, mainFrame, size), size);
    }
    const int top = clamped(mainClientTop, screen.top(), screen.bottom());
    const QRect below(QPoint(screen.left(), top), screen.bottomRight());
    const QSize size = wanted.boundedTo(below.size());
    return QRect(QPoint(alongLeftEdge(below, mainFrame, size), top), size);
}

void ConsoleWindow::appendOutput(std::string_view bytes)
{
    m_lines.append(bytes);
    appendText(
        m_decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

void ConsoleWindow::finishOutput()
{
    appendText(m_decoder.decode(QByteArrayView()));
    showPendingOutput();
}

void ConsoleWindow::appendText(const QString& text)
{
    m_pending.append(text);
    if (!m_showTimer.isActive())
        m_showTimer.start();
}

// The document's last line is always the unfinished line: it is replaced by the lines
// finished meanwhile and the unfinished line as it stands now.
void ConsoleWindow::showPendingOutput()
{
    m_showTimer.stop();
    ConsoleLines::Pending pending = m_pending.take();
    if (pending.linesDropped)
        clear(); // all the view holds is newer
    pending.finished.append(pending.current);
    replaceLastLine(pending.finished.join(QLatin1Char('\n')));
}

void ConsoleWindow::removeLastLineReading(const QString& text)
{
    for (QTextBlock block = document()->lastBlock(); block.isValid(); block = block.previous()) {
        if (block.text() != text)
            continue;
        QTextCursor cursor(block);
        // With its line end; the unfinished last line is only emptied.
        cursor.movePosition(block.next().isValid() ? QTextCursor::NextBlock
                                                   : QTextCursor::EndOfBlock,
                            QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        return;
    }
}

void ConsoleWindow::insertAtEnd(const QString& text)
{
    if (text.isEmpty())
        return;
    QScrollBar* scroll = verticalScrollBar();
    const bool followsEnd = scroll->value() == scroll->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (followsEnd)
        scroll->setValue(scroll->maximum());
}

void ConsoleWindow::replaceLastLine(const QString& text)
{
    if (text.isEmpty() && document()->lastBlock().length() <= 1)
        return;
    QScrollBar* scroll = verticalScrollBar();
    const bool followsEnd = scroll->value() == scroll->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    if (followsEnd)
        scroll->setValue(scroll->maximum());
}

} // namespace klangdorn
