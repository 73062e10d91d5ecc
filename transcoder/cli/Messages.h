// SPDX-License-Identifier: GPL-3.0-or-later
// What besweet tells its user on standard output besides the progress: warnings and notes, one
// line each. Once standard output fails (its reader gone), nothing more is written to it and the
// work goes on.
#pragma once

namespace besweet
{

// Writes a line to standard output unless it has failed before; notes a failure.
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...);

} // namespace besweet
