// SPDX-License-Identifier: GPL-3.0-or-later
// Output split into lines as a terminal shows them: a carriage return followed by text starts
// the line over, "\r\n" (or "\r\r\n") ends it. Read as it arrives, in pieces cut anywhere, or
// as one whole text; each reader keeps its own bounds.
#pragma once

#include <string_view>
#include <utility>

namespace klangdorn
{

// Output arriving in pieces. The reader (`sink`) is told, in order:
//   text(part)  characters of the current line, never a line end among them;
//   restart()   text follows a carriage return: the line starts over;
//   end()       a line feed ended the line;
//   returned()  (only if the reader has it) a carriage return came: the line as it stands is
//               what it says until the next text replaces it.
// A carriage return at the end of one piece and a line feed at the start of the next end the
// line. Each character is looked at once.
template <typename Char> class BasicLineSplitter
{
public:
    using View = std::basic_string_view<Char>;

    template <typename Sink> void feed(View piece, Sink& sink)
    {
        while (!piece.empty()) {
            const Char c = piece.front();
            if (c == Char('\r') || c == Char('\n')) {
                piece.remove_prefix(1);
                m_returned = c == Char('\r');
                if (c == Char('\n'))
                    sink.end();
                else if constexpr (requires { sink.returned(); })
                    sink.returned();
                continue;
            }
            if (std::exchange(m_returned, false))
                sink.restart();
            std::size_t run = 1;
            while (run < piece.size() && piece[run] != Char('\r') && piece[run] != Char('\n'))
                ++run;
            sink.text(piece.substr(0, run));
            piece.remove_prefix(run);
        }
    }

    // Whether the last character fed was a carriage return.
    [[nodiscard]] bool returnPending() const { return m_returned; }
    void reset() { m_returned = false; }

private:
    bool m_returned = false;
};

using LineSplitter = BasicLineSplitter<char>;

// Every line of a whole text as a terminal shows it, without its line end, in order; the last
// unfinished line only when it shows something. `f` gets views into `text`.
template <typename Char, typename F> void ForEachShownLine(std::basic_string_view<Char> text, F&& f)
{
    while (!text.empty()) {
        const auto end = text.find(Char('\n'));
        auto line = text.substr(0, end);
        text = end == text.npos ? std::basic_string_view<Char>() : text.substr(end + 1);
        while (!line.empty() && line.back() == Char('\r'))
            line.remove_suffix(1);
        if (const auto lastReturn = line.rfind(Char('\r')); lastReturn != line.npos)
            line.remove_prefix(lastReturn + 1);
        if (end != std::basic_string_view<Char>::npos || !line.empty())
            f(line);
    }
}

} // namespace klangdorn
