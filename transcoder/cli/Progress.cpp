// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line.
#include "cli/Progress.h"

#include "cli/Messages.h"
#include "common/ProgressLine.h"

#include <algorithm>
#include <unistd.h>

namespace besweet
{

Progress::Progress(const Text& label) : label_(label.local), terminal_(isatty(STDOUT_FILENO))
{
    show(0);
}

Progress::~Progress()
{
    // A pass that ends in an error leaves its line as it is, but ends it.
    if (terminal_ && !finished_)
        say("\n");
}

void Progress::update(std::int64_t done, std::int64_t total)
{
    if (total <= 0)
        return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 99));
    if (terminal_ ? percent != shown_ : percent / 10 > shown_ / 10)
        show(terminal_ ? percent : percent / 10 * 10);
}

void Progress::leave()
{
    if (terminal_)
        say("\n");
    finished_ = true;
}

void Progress::finish()
{
    show(100);
    if (terminal_)
        say("\n");
    finished_ = true;
}

void Progress::show(int percent)
{
    shown_ = percent;
    const std::string line = klangdorn::ProgressLineText(label_, percent, terminal_);
    if (terminal_)
        say("\r%s", line.c_str());
    else
        say("%s\n", line.c_str());
}

} // namespace besweet
