// SPDX-License-Identifier: GPL-3.0-or-later
// Progress on standard output, one line per pass: rewritten in place on a terminal, plain
// lines every 10% into a pipe (flushed, so a reader sees them as they come), through say(), in
// the form the window reads (common/ProgressLine.h).
#pragma once

#include "core/Text.h"

#include <cstdint>
#include <string>

namespace besweet
{

class Progress
{
public:
    // The label in the user's language; the percentage after it is always " N%", digits and a
    // percent sign, which the window reads in any language.
    explicit Progress(const Text& label);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress();

    void update(std::int64_t done, std::int64_t total);
    // The pass is done: 100%.
    void finish();
    // The pass ends short of 100%, since a pass added after it does the rest (an encode again):
    // the window counts the run's 100% only once.
    void leave();

private:
    void show(int percent);

    std::string label_;
    bool terminal_;
    int shown_ = -1;
    bool finished_ = false;
};

} // namespace besweet
