#include "job/FileQuery.h"

#include <filesystem>
#include <system_error>

namespace klangdorn
{

namespace
{
std::filesystem::path pathFromUtf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
} // namespace

bool LocalFileQuery::existsAsFile(const std::string& path) const
{
    if (path.empty())
        return false;
    std::error_code error;
    const auto status = std::filesystem::status(pathFromUtf8(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool LocalFileQuery::isSameExistingFile(const std::string& first, const std::string& second) const
{
    if (first.empty() || second.empty())
        return false;
    std::error_code error;
    const bool same = std::filesystem::equivalent(pathFromUtf8(first), pathFromUtf8(second), error);
    return !error && same;
}

std::optional<FileStamp> LocalFileQuery::stampOf(const std::string& path) const
{
    if (!existsAsFile(path))
        return std::nullopt;
    std::error_code sizeError;
    std::error_code timeError;
    const auto size = std::filesystem::file_size(pathFromUtf8(path), sizeError);
    const auto modified = std::filesystem::last_write_time(pathFromUtf8(path), timeError);
    if (sizeError || timeError)
        return std::nullopt;
    return FileStamp{size, static_cast<std::int64_t>(modified.time_since_epoch().count())};
}

} // namespace klangdorn
