// SPDX-License-Identifier: GPL-3.0-or-later
// A path split into its folder and its bare name, for the window and for besweet. On Windows
// both "\" and "/" separate folders; on POSIX only "/" does, and a "\" is an ordinary
// character of a name.
#pragma once

#include <string>
#include <string_view>

namespace klangdorn
{

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle NativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle NativePathStyle = PathStyle::Posix;
#endif

namespace path_parts
{

constexpr std::size_t lastSeparator(std::string_view path, PathStyle style)
{
    return path.find_last_of(style == PathStyle::Windows ? "\\/" : "/");
}

} // namespace path_parts

// The path less its bare name and the separator before it: "D:\Audio\clip.wav" gives
// "D:\Audio", "C:\clip.wav" gives "C:". A file directly in the POSIX root keeps the root:
// "/clip.wav" gives "/". A bare name without any folder gives "".
inline std::string folderOf(std::string_view path, PathStyle style = NativePathStyle)
{
    const auto separator = path_parts::lastSeparator(path, style);
    if (separator == std::string_view::npos)
        return {};
    if (separator == 0)
        return std::string(path.substr(0, 1)); // the root itself, never the empty text
    return std::string(path.substr(0, separator));
}

// The bare name: everything after the last separator.
constexpr std::string_view bareNameOf(std::string_view path, PathStyle style = NativePathStyle)
{
    const auto separator = path_parts::lastSeparator(path, style);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

} // namespace klangdorn
