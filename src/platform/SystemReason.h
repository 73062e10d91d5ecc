// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system's reason for a failure, in German: the C library's own translation
// where the German locale data is installed, else a small table of the common cases.
#pragma once

#include <string>

namespace klangdorn
{

// The reason for the error number `error` (an errno value).
std::string SystemReason(int error);

// The reason from the table alone; empty for a number it does not hold.
std::string TabledSystemReason(int error);

// The C library's German translation; empty when no German locale is installed.
std::string TranslatedSystemReason(int error);

} // namespace klangdorn
