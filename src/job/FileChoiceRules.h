// SPDX-License-Identifier: GPL-3.0-or-later
// How a chosen file's path turns into the remembered folder, the proposed target and the
// output type. Only the bare file name's last "." starts an extension, and a name whose only
// "." is its first character (".hidden") has none.
#pragma once

#include "common/PathParts.h"

#include <optional>
#include <string>
#include <string_view>

namespace klangdorn
{

// The extension of a bare name, without its "."; nothing when the name has none.
// "clip.MPA" gives "MPA", "clip." gives "", "clip" and ".hidden" give nothing.
std::optional<std::string> extensionOf(std::string_view bareName);

// The path without the extension of its bare name and without that name's last ".":
// "D:\Audio\clip.wav" gives "D:\Audio\clip", "D:\my.takes\clip" stays whole.
std::string withoutExtension(std::string_view path, PathStyle style = NativePathStyle);

// The target proposed for a source: its path with the extension replaced by the output
// type, or with "." and the output type appended when the source has no extension.
std::string proposedTarget(std::string_view sourcePath, std::string_view outputType,
                           PathStyle style = NativePathStyle);

} // namespace klangdorn
