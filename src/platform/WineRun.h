// SPDX-License-Identifier: GPL-3.0-or-later
// What a Windows program started through wine is handed: its program path and its path
// arguments as Windows paths (as wine maps them through the drives of its prefix), and an
// environment in which wine reads those paths as UTF-8 and keeps its own notes out of the
// program's output; and how its output, in the prefix's ANSI code page, becomes UTF-8.
#pragma once

#include "common/SameFile.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace klangdorn
{

// The drives of a wine prefix: each drive letter with the identity (device and inode) of
// the folder it stands for, read from the prefix's "dosdevices" folder.
class WineDriveMap
{
public:
    struct Drive {
        char letter; // 'a' .. 'z'
        FileIdentity identity;
    };

    // The drives of the prefix at `prefix`. A prefix that does not exist yet gets wine's
    // first-start drives on the first run; until then the one that matters is z: for "/".
    static WineDriveMap read(const std::string& prefix);
    // The prefix wine uses: WINEPREFIX, else ~/.wine.
    static std::string currentPrefix();

    // The Windows path of a POSIX path (UTF-8), as `winepath -w` gives it: a relative path
    // is taken from the current folder, "." and ".." and doubled "/" are resolved by the
    // text, the deepest folder that is a drive gives the letter, the rest follows with "\".
    // A path under no drive keeps wine's form for it: "\\?\unix\..." .
    std::string windowsPath(const std::string& path) const;

    const std::vector<Drive>& drives() const { return m_drives; }

private:
    std::optional<char> driveOf(const std::string& folder) const;
    std::vector<Drive> m_drives;
};

// The argument list with the program path and every path after "-input", "-output" and
// "-logfile" turned into Windows paths; every other argument stays as it is. Quoting is
// left to wine, which quotes exactly the arguments that hold a blank or a tab.
std::vector<std::string> WindowsArguments(const std::vector<std::string>& arguments,
                                          const WineDriveMap& drives);

// The environment (NAME=value entries) wine is started with: `current`, with WINEDEBUG=-all
// when the user has set no WINEDEBUG, and with a UTF-8 character set (C.UTF-8) when the
// current one is not UTF-8, since wine decodes its arguments by the locale's character set.
std::vector<std::string> WineEnvironment(const std::vector<std::string>& current);

// German texts for a Windows program that cannot be started.
std::string WineMissingText(const std::string& program);
std::string WindowsForbiddenNameText(const std::string& path);

// The first path after "-input", "-output" or "-logfile" that Windows cannot open, as it
// holds a character Windows forbids in file names (\ : ? * | " < >; a POSIX
// name holding "\" or ":" would stand for another path); nothing when all can be.
std::optional<std::string> PathWindowsCannotOpen(const std::vector<std::string>& arguments);

// The ANSI code page of the prefix at `prefix` (the "ACP" of its registry), in which a Windows
// program's narrow output reaches the pipe; 1252, wine's own default, when the prefix does
// not say.
unsigned WineAnsiCodePage(const std::string& prefix);

// Turns a Windows program's output, chunk by chunk, from its ANSI code page into UTF-8.
// Code page 1252 is built in; others as far as Qt knows them, else read as 1252.
class WindowsOutputDecoder
{
public:
    explicit WindowsOutputDecoder(unsigned codePage);
    ~WindowsOutputDecoder();
    WindowsOutputDecoder(const WindowsOutputDecoder&) = delete;
    WindowsOutputDecoder& operator=(const WindowsOutputDecoder&) = delete;

    std::string toUtf8(std::string_view bytes);

private:
    struct OtherCodePage;
    unsigned m_codePage;
    std::unique_ptr<OtherCodePage> m_other;
};

} // namespace klangdorn
