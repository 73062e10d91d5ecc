// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConsoleLines.h"

namespace klangdorn
{

void ConsoleLines::append(QStringView text)
{
    struct Reader {
        ConsoleLines& lines;
        void text(std::u16string_view part)
        {
            lines.addToLine(QStringView(part.data(), static_cast<qsizetype>(part.size())));
        }
        void restart()
        {
            lines.m_line.clear();
            lines.m_lineCut = false;
        }
        void end() { lines.finishLine(); }
    } reader{*this};
    m_lines.feed(std::u16string_view(text.utf16(), static_cast<std::size_t>(text.size())), reader);
}

// Kept within twice the longest line, cut back to it now and then: constant cost per character.
void ConsoleLines::addToLine(QStringView part)
{
    if (part.size() >= LongestLine) {
        m_lineCut = m_lineCut || !m_line.isEmpty() || part.size() > LongestLine;
        m_line = part.right(LongestLine).toString();
        return;
    }
    m_line += part;
    if (m_line.size() > 2 * LongestLine) {
        m_line.remove(0, m_line.size() - LongestLine);
        m_lineCut = true;
    }
}

QString ConsoleLines::shownLine() const
{
    if (m_line.size() <= LongestLine && !m_lineCut)
        return m_line;
    return QStringLiteral("…") + m_line.right(LongestLine);
}

void ConsoleLines::finishLine()
{
    m_finished.append(shownLine());
    if (m_finished.size() > MostLines) {
        m_finished.removeFirst();
        m_dropped = true;
    }
    m_line.clear();
    m_lineCut = false;
}

ConsoleLines::Pending ConsoleLines::take()
{
    Pending pending{std::move(m_finished), m_dropped, shownLine()};
    m_finished = QStringList();
    m_dropped = false;
    return pending;
}

void ConsoleLines::clear()
{
    m_finished.clear();
    m_dropped = false;
    m_line.clear();
    m_lineCut = false;
    m_lines.reset();
}

qsizetype ConsoleLines::keptCharacters() const
{
    qsizetype kept = m_line.capacity();
    for (const QString& line : m_finished)
        kept += line.size();
    return kept;
}

} // namespace klangdorn
