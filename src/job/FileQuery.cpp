// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileQuery.h"

#include "common/SameFile.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <system_error>

namespace klangdorn
{

namespace
{

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

// The absolute path with "." and ".." resolved, and the links of the part that exists.
fs::path normalised(const fs::path& path)
{
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error)
        absolute = path;
    fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

bool samePathText(const fs::path& first, const fs::path& second)
{
#ifdef _WIN32
    // Windows file names ignore letter case.
    const std::wstring a = first.native();
    const std::wstring b = second.native();
    return std::ranges::equal(
        a, b, [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
#else
    return first == second;
#endif
}

} // namespace

bool LocalFileQuery::existsAsFile(const std::string& path) const
{
    if (path.empty())
        return false;
    std::error_code error;
    const auto status = fs::status(pathFromUtf8(path), error);
    return !error && fs::exists(status) && !fs::is_directory(status);
}

bool LocalFileQuery::isSameFile(const std::string& first, const std::string& second) const
{
    if (first.empty() || second.empty())
        return false;
    std::error_code error;
    if (fs::equivalent(pathFromUtf8(first), pathFromUtf8(second), error) && !error)
        return true;
    return samePathText(normalised(pathFromUtf8(first)), normalised(pathFromUtf8(second)));
}

std::optional<FileStamp> LocalFileQuery::stampOf(const std::string& path) const
{
    if (!existsAsFile(path))
        return std::nullopt;
    const fs::path file = pathFromUtf8(path);
    std::error_code sizeError;
    std::error_code timeError;
    const auto size = fs::file_size(file, sizeError);
    const auto modified = fs::last_write_time(file, timeError);
    const auto identity = IdentityOf(file);
    if (sizeError || timeError || !identity)
        return std::nullopt;
    return FileStamp{identity->device, identity->file, size,
                     static_cast<std::int64_t>(modified.time_since_epoch().count())};
}

} // namespace klangdorn
