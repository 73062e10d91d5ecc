// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WineRun.h"

#include "common/TextCase.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
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
constexpr std::string_view ForbiddenInWindowsNames = "\\:?*|\"<>";
constexpr unsigned WesternCodePage = 1252;
constexpr unsigned Utf8CodePage = 65001;

// Code page 1252 from 0x80 to 0x9F; the rest is Latin-1. Its five unassigned bytes stand for
// the control characters of the same number, as Windows converts them.
constexpr std::array<char16_t, 32> Windows1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& text, char16_t c)
{
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string windows1252ToUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        appendUtf8(text, code >= 0x80 && code < 0xA0 ? Windows1252High[code - 0x80]
                                                     : static_cast<char16_t>(code));
    }
    return text;
}

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

std::string WindowsForbiddenNameText(const std::string& path)
{
    return "Der Pfad " + path +
           " enthält ein Zeichen, das Windows in Dateinamen nicht erlaubt (\\ : ? * | \" < >), und "
           "kann dem Windows-Programm nicht übergeben werden. Bitte die Datei umbenennen oder "
           "einen anderen Ordner wählen.";
}

std::optional<std::string> PathWindowsCannotOpen(const std::vector<std::string>& arguments)
{
    bool nextIsPath = false;
    for (const auto& argument : arguments) {
        if (nextIsPath && argument.find_first_of(ForbiddenInWindowsNames) != std::string::npos)
            return argument;
        nextIsPath = isPathOption(argument);
    }
    return std::nullopt;
}

unsigned WineAnsiCodePage(const std::string& prefix)
{
    // In the registry file the key's backslashes are doubled.
    constexpr std::string_view Section =
        "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage]";
    constexpr std::string_view Value = "\"ACP\"=\"";
    std::ifstream registry(prefix + "/system.reg");
    std::string line;
    bool inSection = false;
    while (std::getline(registry, line)) {
        if (line.starts_with('[')) {
            inSection = line.starts_with(Section);
            continue;
        }
        if (!inSection || !line.starts_with(Value))
            continue;
        unsigned codePage = 0;
        const char* first = line.data() + Value.size();
        const auto [end, error] = std::from_chars(first, line.data() + line.size(), codePage);
        if (error == std::errc() && end != first && codePage != 0)
            return codePage;
    }
    return WesternCodePage;
}

struct WindowsOutputDecoder::OtherCodePage {
    QStringDecoder decoder;
};

WindowsOutputDecoder::WindowsOutputDecoder(unsigned codePage) : m_codePage(codePage)
{
    if (codePage == WesternCodePage || codePage == Utf8CodePage)
        return;
    const QByteArray name = "windows-" + QByteArray::number(codePage);
    auto other = std::make_unique<OtherCodePage>(OtherCodePage{QStringDecoder(name.constData())});
    if (other->decoder.isValid())
        m_other = std::move(other);
    else
        m_codePage = WesternCodePage;
}

WindowsOutputDecoder::~WindowsOutputDecoder() = default;

std::string WindowsOutputDecoder::toUtf8(std::string_view bytes)
{
    if (m_other) {
        const QString text = m_other->decoder.decode(
            QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return text.toUtf8().toStdString();
    }
    if (m_codePage == Utf8CodePage)
        return std::string(bytes);
    return windows1252ToUtf8(bytes);
}

} // namespace klangdorn
