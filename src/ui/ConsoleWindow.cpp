#include "ui/ConsoleWindow.h"

#include <QFontDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>

namespace klangdorn
{

namespace
{
constexpr int MaximumLines = 10000;
}

ConsoleWindow::ConsoleWindow(QWidget* parent) : QPlainTextEdit(parent)
{
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName("BeSweetConsole");
    setWindowTitle("BeSweet");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(MaximumLines);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    resize(640, 400);
}

void ConsoleWindow::startOutput()
{
    clear();
    m_decoder.resetState();
    m_carriageReturnPending = false;
    placeBelowTheMainWindowOnce();
    showNormal();
    raise();
    activateWindow();
}

// The first time, below the main window (or beside it) where the screen has room, so the
// wait indicator stays in sight; after that wherever the user left it.
void ConsoleWindow::placeBelowTheMainWindowOnce()
{
    if (m_placed || !parentWidget())
        return;
    m_placed = true;
    const QRect main = parentWidget()->frameGeometry();
    const QRect screen = parentWidget()->screen()->availableGeometry();
    for (const QPoint corner : {main.bottomLeft() + QPoint(0, 1), main.topRight() + QPoint(1, 0)}) {
        if (screen.contains(QRect(corner, frameSize()))) {
            move(corner);
            return;
        }
    }
}

void ConsoleWindow::appendOutput(std::string_view bytes)
{
    appendText(
        m_decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

void ConsoleWindow::finishOutput()
{
    appendText(m_decoder.decode(QByteArrayView()));
}

// Text goes to the end; "\r\n" is a line break, a lone "\r" clears the last line.
void ConsoleWindow::appendText(const QString& text)
{
    QString pending;
    for (const QChar c : text) {
        if (m_carriageReturnPending && c != u'\n') {
            insertAtEnd(pending);
            pending.clear();
            clearLastLine();
        }
        m_carriageReturnPending = c == u'\r';
        if (!m_carriageReturnPending)
            pending += c;
    }
    insertAtEnd(pending);
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

void ConsoleWindow::clearLastLine()
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace klangdorn
