// SPDX-License-Identifier: GPL-3.0-or-later
// Writing to standard output.
#include "cli/Messages.h"

#include <cstdarg>
#include <cstdio>

namespace besweet
{

namespace
{

// Only the main thread writes to standard output.
bool g_outputGone = false;

} // namespace

void say(const char* format, ...)
{
    if (g_outputGone)
        return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        g_outputGone = true;
}

} // namespace besweet
