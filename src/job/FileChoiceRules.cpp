// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileChoiceRules.h"

namespace klangdorn
{

namespace
{

// Position of the bare name's extension dot, or npos when the name has no extension.
std::size_t extensionDot(std::string_view bareName)
{
    const auto dot = bareName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string_view::npos;
    return dot;
}

} // namespace

std::optional<std::string> extensionOf(std::string_view bareName)
{
    const auto dot = extensionDot(bareName);
    if (dot == std::string_view::npos)
        return std::nullopt;
    return std::string(bareName.substr(dot + 1));
}

std::string withoutExtension(std::string_view path, PathStyle style)
{
    const auto bareName = bareNameOf(path, style);
    const auto dot = extensionDot(bareName);
    if (dot == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(0, path.size() - bareName.size() + dot));
}

std::string proposedTarget(std::string_view sourcePath, std::string_view outputType,
                           PathStyle style)
{
    return withoutExtension(sourcePath, style) + "." + std::string(outputType);
}

} // namespace klangdorn
