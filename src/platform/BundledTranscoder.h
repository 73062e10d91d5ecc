// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoder that comes with the program: `besweet` in the program's own folder, where
// the install puts both. A Windows build brings none.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace klangdorn
{

// `folder`/besweet when it is a file the user may run.
std::optional<std::string> BundledTranscoderIn(const std::string& folder);

// The one beside the running program.
std::optional<std::string> BundledTranscoder();

// The environment (NAME=value entries) the bundled transcoder is started with, so that it
// speaks German as the window does, whatever the user's locale: `current` with LANGUAGE=de,
// and C.UTF-8 where the locale of its messages is C (which ignores LANGUAGE) or its
// character set is not UTF-8 (which loses the umlauts).
std::vector<std::string> GermanSpeakingEnvironment(const std::vector<std::string>& current);

} // namespace klangdorn
