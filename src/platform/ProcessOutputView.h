// SPDX-License-Identifier: GPL-3.0-or-later
// Where the transcoder's output goes: the program's console window when it is to be shown, and
// what follows every run's progress.
#pragma once

#include <string_view>

namespace klangdorn
{

class ProcessOutputView
{
public:
    virtual ~ProcessOutputView() = default;
    // A new run begins: a console empties itself, shows normally and takes the focus.
    virtual void startOutput() = 0;
    // Bytes of the program's standard output and error, as they come.
    virtual void appendOutput(std::string_view bytes) = 0;
    // The program has ended; nothing more follows for this run.
    virtual void finishOutput() = 0;
};

} // namespace klangdorn
