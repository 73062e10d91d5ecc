// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileChoiceRules.h"

namespace klangdorn
{

namespace
{

std::string_view separatorsOf(PathStyle style)
{
    return style == PathStyle::Windows ? "\\/" : "/";
}

std::size_t lastSeparator(std::string_view path, PathStyle style)
{
    return path.find_last_of(separatorsOf(style));
}

// Position of the bare name's extension dot, or npos when the name has no extension.
std::size_t extensionDot(std::string_view bareName)
{
    const auto dot = bareName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string_view::npos;
    return dot;
}

} // namespace

std::string_view bareNameOf(std::string_view path, PathStyle style)
{
    const auto separator = lastSeparator(path, style);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string folderOf(std::string_view path, PathStyle style)
{
    const auto separator = lastSeparator(path, style);
    if (separator == std::string_view::npos)
        return {};
    if (separator == 0)
        return std::string(path.substr(0, 1)); // the root itself, never the empty text
    return std::string(path.substr(0, separator));
}

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
