// The two questions the transcode run asks the file system, behind an interface so that
// the tests decide the answers.
#pragma once

#include <string>

namespace klangdorn
{

class FileQuery
{
public:
    virtual ~FileQuery() = default;
    // True when exactly this path names an existing file of any attributes (hidden and
    // system files included); false for a folder and for nothing. No wildcards.
    virtual bool existsAsFile(const std::string& path) const = 0;
    // True when both paths name the same existing file (same file identity, whatever the
    // spelling of the paths).
    virtual bool isSameExistingFile(const std::string& first, const std::string& second) const = 0;
};

// The local file system through std::filesystem; paths are UTF-8.
class LocalFileQuery final : public FileQuery
{
public:
    bool existsAsFile(const std::string& path) const override;
    bool isSameExistingFile(const std::string& first, const std::string& second) const override;
};

} // namespace klangdorn
