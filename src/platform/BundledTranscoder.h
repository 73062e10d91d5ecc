// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoder that comes with the program: `besweet` in the program's own folder, where
// the install puts both. A Windows build brings none.
#pragma once

#include <optional>
#include <string>

namespace klangdorn
{

// `folder`/besweet when it is a file the user may run.
std::optional<std::string> BundledTranscoderIn(const std::string& folder);

// The one beside the running program.
std::optional<std::string> BundledTranscoder();

} // namespace klangdorn
