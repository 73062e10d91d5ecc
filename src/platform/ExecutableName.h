// The running executable's file name without folder and extension ("Klangdorn_d").
#pragma once

#include <string>

namespace klangdorn
{

std::string ExecutableBaseName();

} // namespace klangdorn
