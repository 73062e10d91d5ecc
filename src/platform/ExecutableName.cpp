#include "platform/ExecutableName.h"

#include "job/TextCase.h"

#include <QCoreApplication>
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
} // namespace

std::string ExecutableBaseNameOf(const std::string& path)
{
    std::string_view name(path);
    if (const auto folderEnd = name.find_last_of(FolderSeparators);
        folderEnd != std::string_view::npos)
        name.remove_prefix(folderEnd + 1);
    if (name.size() > ExeEnding.size() && EndsWithIgnoringCase(name, ExeEnding))
        name.remove_suffix(ExeEnding.size());
    return std::string(name);
}

std::string ExecutableBaseName()
{
    // Taken afresh at each access: a renamed copy has its own settings.
    return ExecutableBaseNameOf(QCoreApplication::applicationFilePath().toStdString());
}

} // namespace klangdorn
