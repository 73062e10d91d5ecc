// SPDX-License-Identifier: GPL-3.0-or-later
// The running executable's file name without folder and extension ("Klangdorn_d"): the name
// its settings are kept under, so a renamed copy has a set of its own.
#pragma once

#include <string>

namespace klangdorn
{

std::string ExecutableBaseName();

// The name for an executable's path. Only a ".exe" ending (any letter case) counts as an
// extension: "Klangdorn_d.test" keeps its whole name.
std::string ExecutableBaseNameOf(const std::string& path);

} // namespace klangdorn
