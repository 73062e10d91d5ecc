// SPDX-License-Identifier: GPL-3.0-or-later
// The exit codes of besweet, the only place they are defined: callers (the window, scripts)
// rely on these three numbers.
#pragma once

namespace besweet
{

enum ExitCode : int {
    ExitSuccess = 0, // the track is written
    ExitFailure =
        1, // the work failed: input missing, unreadable, corrupt or empty; encoder or write failure
    ExitUsage = 2, // the command line is wrong (also: the output would overwrite the input)
};

} // namespace besweet
