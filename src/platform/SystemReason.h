// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system's reason for a failure, in German whatever language the user prefers:
// a small table of the common cases, else the C library's own German translation where its
// locale data is installed.
#pragma once

#include <string>

namespace klangdorn
{

// The reason for the error number `error` (an errno value).
std::string SystemReason(int error);

// The reason from the table alone; empty for a number it does not hold.
std::string TabledSystemReason(int error);

// The C library's German translation; empty when no German locale is installed or LANGUAGE
// would steer the C library to another language.
std::string TranslatedSystemReason(int error);

// True when a LANGUAGE list ("en_US:en") lets the C library answer in German: unset, empty,
// or German first.
bool LanguageListLeadsToGerman(const char* language);

} // namespace klangdorn
