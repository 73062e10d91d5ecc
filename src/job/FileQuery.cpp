// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/FileQuery.h"

#include "common/SameFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

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

// FNV-1a, 64 bits, taken eight bytes at a time: a few hundred megabytes in a fraction of a
// second.
constexpr std::uint64_t HashStart = 14695981039346656037ULL;
constexpr std::uint64_t HashPrime = 1099511628211ULL;

std::uint64_t hashed(std::uint64_t hash, std::string_view bytes)
{
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= bytes.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        hash = (hash ^ word) * HashPrime;
    }
    for (; at < bytes.size(); ++at)
        hash = (hash ^ static_cast<unsigned char>(bytes[at])) * HashPrime;
    return hash;
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

std::optional<ContentFingerprint> LocalFileQuery::fingerprintOf(const std::string& path) const
{
    if (!existsAsFile(path))
        return std::nullopt;
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    ContentFingerprint fingerprint{0, HashStart};
    std::array<char, 64 * 1024> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        const auto count = static_cast<std::size_t>(in.gcount());
        fingerprint.hash = hashed(fingerprint.hash, std::string_view(buffer.data(), count));
        fingerprint.size += count;
    }
    if (in.bad())
        return std::nullopt;
    return fingerprint;
}

bool LocalFileQuery::modifiedNear(const FileStamp& stamp, std::chrono::seconds window) const
{
    const fs::file_time_type modified{fs::file_time_type::duration(stamp.modified)};
    const auto distance = fs::file_time_type::clock::now() - modified;
    return distance <= window && distance >= -window;
}

TargetWatch::TargetWatch(const FileQuery& files, std::string target)
    : m_files(files), m_target(std::move(target)), m_before(files.stampOf(m_target))
{
    if (m_before && files.modifiedNear(*m_before, CoarseClock))
        m_contentBefore = files.fingerprintOf(m_target);
}

bool TargetWatch::written() const
{
    const auto after = m_files.stampOf(m_target);
    if (!after)
        return false;
    if (after != m_before)
        return true;
    return m_contentBefore && m_files.fingerprintOf(m_target) != m_contentBefore;
}

} // namespace klangdorn
