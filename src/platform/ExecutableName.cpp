#include "platform/ExecutableName.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <string_view>

namespace klangdorn
{

namespace
{
#ifdef _WIN32
constexpr std::string_view FolderSeparators = "/\\";
#else
constexpr std::string_view FolderSeparators = "/";
#endif
constexpr std::string_view ExeEnding = ".exe";

bool endsWithExe(std::string_view name)
{
    return name.size() > ExeEnding.size() &&
           std::ranges::equal(
               name.substr(name.size() - ExeEnding.size()), ExeEnding,
               [](unsigned char a, unsigned char b) { return std::tolower(a) == b; });
}
} // namespace

std::string ExecutableBaseNameOf(const std::string& path)
{
    std::string_view name(path);
    if (const auto folderEnd = name.find_last_of(FolderSeparators);
        folderEnd != std::string_view::npos)
        name.remove_prefix(folderEnd + 1);
    if (endsWithExe(name))
        name.remove_suffix(ExeEnding.size());
    return std::string(name);
}

std::string ExecutableBaseName()
{
    // Taken afresh at each access: a renamed copy has its own settings.
    return ExecutableBaseNameOf(QCoreApplication::applicationFilePath().toStdString());
}

} // namespace klangdorn
