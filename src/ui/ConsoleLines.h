// SPDX-License-Identifier: GPL-3.0-or-later
// What the console has yet to show, at a constant cost per character: the lines finished
// since it last showed, the latest MostLines of them, and the unfinished line, split as a
// terminal shows them (common/LineSplitter.h); a line keeps its last
// LongestLine characters behind "…".
#pragma once

#include "common/LineSplitter.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace klangdorn
{

class ConsoleLines
{
public:
    static constexpr qsizetype LongestLine = 4096;
    static constexpr qsizetype MostLines = 1000;

    struct Pending {
        QStringList finished;      // oldest first
        bool linesDropped = false; // more lines finished than are kept
        QString current;           // the unfinished line, as it stands now
    };

    void append(QStringView text);
    // What has come since the last take; the unfinished line stays for the next one too.
    Pending take();
    void clear();
    qsizetype keptCharacters() const;

private:
    void addToLine(QStringView part);
    void finishLine();
    QString shownLine() const;

    QStringList m_finished;
    bool m_dropped = false;
    QString m_line;
    bool m_lineCut = false;
    BasicLineSplitter<char16_t> m_lines;
};

} // namespace klangdorn
