// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WineRun.h"

#include "common/TextCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace klangdorn
{

namespace
{

constexpr std::array PathOptions{std::string_view("-input"), std::string_view("-output"),
                                 std::string_view("-logfile")};
constexpr std::string_view Utf8Locale = "C.UTF-8";

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

std::optional<WineDriveMap::Drive> driveEntry(const std::string& devices, const char* name)
{
    // Drive entries are "c:"; "c::" (the raw device) and "com1" are not.
    if (std::strlen(name) != 2 || name[1] != ':' ||
        !std::islower(static_cast<unsigned char>(name[0])))
        return std::nullopt;
    const std::string folder = devices + '/' + name;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return std::nullopt;
    const auto identity = IdentityOf(folder);
    if (!identity)
        return std::nullopt;
    return WineDriveMap::Drive{name[0], *identity};
}

std::string currentFolder()
{
    std::error_code error;
    return std::filesystem::current_path(error).string();
}

// Absolute, with ".", ".." and doubled or trailing "/" resolved by the text.
std::string normalisedAbsolute(const std::string& path)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/')
        absolute = currentFolder() + '/' + absolute;
    std::string normal = std::filesystem::path(absolute).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string withBackslashes(std::string text)
{
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool isPathOption(std::string_view argument)
{
    return std::find(PathOptions.begin(), PathOptions.end(), argument) != PathOptions.end();
}

std::string_view nameOf(std::string_view entry)
{
    return entry.substr(0, entry.find('='));
}

std::optional<std::string_view> valueOf(const std::vector<std::string>& environment,
                                        std::string_view name)
{
    for (const auto& entry : environment) {
        if (nameOf(entry) == name && entry.size() > name.size())
            return std::string_view(entry).substr(name.size() + 1);
    }
    return std::nullopt;
}

bool mentionsUtf8(std::string_view locale)
{
    return ContainsIgnoringCase(locale, "utf-8") || ContainsIgnoringCase(locale, "utf8");
}

struct LocaleSetting {
    std::string_view name;
    std::string_view value;
};

// The locale setting that decides the character set, as setlocale reads it: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty; the "C" locale without any.
LocaleSetting characterSetSetting(const std::vector<std::string>& environment)
{
    for (std::string_view name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const auto value = valueOf(environment, name);
        if (value && !value->empty())
            return {name, *value};
    }
    return {"LC_CTYPE", "C"};
}

void setVariable(std::vector<std::string>& environment, std::string_view name,
                 std::string_view value)
{
    const std::string entry = std::string(name) + '=' + std::string(value);
    for (auto& existing : environment) {
        if (nameOf(existing) == name) {
            existing = entry;
            return;
        }
    }
    environment.push_back(entry);
}

} // namespace

WineDriveMap WineDriveMap::read(const std::string& prefix)
{
    WineDriveMap map;
    const std::string devices = prefix + "/dosdevices";
    UniqueDir dir(::opendir(devices.c_str()));
    if (!dir) {
        if (const auto root = IdentityOf("/"))
            map.m_drives.push_back({'z', *root});
        return map;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (auto drive = driveEntry(devices, entry->d_name))
            map.m_drives.push_back(*drive);
    }
    // Wine takes the first letter that stands for a folder.
    std::sort(map.m_drives.begin(), map.m_drives.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return map;
}

std::string WineDriveMap::currentPrefix()
{
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.wine";
    if (const passwd* user = ::getpwuid(::getuid()))
        return std::string(user->pw_dir) + "/.wine";
    return "/.wine";
}

std::optional<char> WineDriveMap::driveOf(const std::string& folder) const
{
    struct stat status {
    };
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    const auto identity = IdentityOf(folder);
    for (const auto& drive : m_drives) {
        if (drive.identity == identity)
            return drive.letter;
    }
    return std::nullopt;
}

std::string WineDriveMap::windowsPath(const std::string& path) const
{
    const std::string absolute = normalisedAbsolute(path);
    // From the whole path up to "/": the deepest folder that is a drive.
    std::string folder = absolute;
    while (true) {
        if (const auto letter = driveOf(folder)) {
            std::string rest = absolute.substr(folder.size());
            if (!rest.empty() && rest.front() == '/')
                rest.erase(0, 1);
            return std::string(1, static_cast<char>(std::toupper(*letter))) + ":\\" +
                   withBackslashes(rest);
        }
        if (folder == "/")
            return "\\\\?\\unix" + withBackslashes(absolute);
        const auto slash = folder.rfind('/');
        folder.resize(slash == 0 ? 1 : slash);
    }
}

std::vector<std::string> WindowsArguments(const std::vector<std::string>& arguments,
                                          const WineDriveMap& drives)
{
    std::vector<std::string> converted;
    converted.reserve(arguments.size());
    bool nextIsPath = true; // the program itself
    for (const auto& argument : arguments) {
        converted.push_back(nextIsPath ? drives.windowsPath(argument) : argument);
        nextIsPath = isPathOption(argument);
    }
    return converted;
}

std::vector<std::string> WineEnvironment(const std::vector<std::string>& current)
{
    std::vector<std::string> environment = current;
    if (!valueOf(environment, "WINEDEBUG"))
        setVariable(environment, "WINEDEBUG", "-all");
    // LANG also names the language of wine's messages: only the character set is changed.
    const LocaleSetting setting = characterSetSetting(environment);
    if (!mentionsUtf8(setting.value))
        setVariable(environment, setting.name == "LANG" ? "LC_CTYPE" : setting.name, Utf8Locale);
    return environment;
}

std::string WineMissingText(const std::string& program)
{
    return "Zum Starten des Windows-Programms " + program +
           " wird wine benötigt, wine ist aber nicht installiert. Bitte wine installieren oder "
           "unter „Optionen › Pfad zu Besweet.exe“ den mitgelieferten Transcoder besweet wählen.";
}

} // namespace klangdorn
