// SPDX-License-Identifier: GPL-3.0-or-later
// How the bundled transcoder starts a warning line on standard error, and how the window knows
// one: the same prefix in every language the transcoder speaks.
#pragma once

#include <string_view>

namespace klangdorn
{

inline constexpr std::string_view WarningPrefix = "besweet: warning: ";

} // namespace klangdorn
