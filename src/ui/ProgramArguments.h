// SPDX-License-Identifier: GPL-3.0-or-later
// What the program is started with: nothing, one source file (the desktop's "Open with"),
// or a request for the help or the version. Help and version go to standard output, a
// wrong command line is one German line on standard error; a file that is not there is told
// in the window.
#pragma once

#include "job/UserDialogs.h"

#include <QStringList>
#include <QTextStream>
#include <optional>
#include <string>

namespace klangdorn
{

// Exit code of a wrong command line.
inline constexpr int WrongCommandLine = 2;

struct StartRequest {
    std::optional<int> exitCode;           // set: end at once with this code
    std::optional<std::string> sourceFile; // the absolute path, in the platform's spelling
    // A file that cannot be the source (missing, a folder): the window opens and says so, as
    // the desktop's menu gives no other place to say it.
    std::optional<Message> unusableFile;
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
StartRequest parseProgramArguments(const QStringList& arguments, QTextStream& out,
                                   QTextStream& err);

// The command line as the program gets it, the program first, without the toolkit's own
// options (-platform xcb, -style Fusion, -reverse, ...), which the toolkit takes later. So a
// wrong command line is refused before anything needs a display.
QStringList withoutToolkitOptions(const QStringList& arguments);

class frmMain;

// The source of the command line goes into the window as if chosen in the dialog; a file that
// cannot be the source is told in a box once the window has appeared, so the box stands over it.
void ApplyStartRequest(frmMain& window, MessageBoxes& messages, const StartRequest& request);

} // namespace klangdorn
