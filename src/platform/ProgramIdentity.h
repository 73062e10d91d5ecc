// SPDX-License-Identifier: GPL-3.0-or-later
// How the desktop knows the program: the icon its windows show and the desktop file that names
// it, so task bars and docks match the window to its menu entry.
#pragma once

#include <QIcon>
#include <QString>

namespace klangdorn
{

// The reverse-DNS id shared by the menu entry, the icon and the AppStream metadata.
QString applicationId();

// The program's icon as built into it, in every size it is drawn in.
QIcon bundledProgramIcon();

// Names the program's desktop file.
void nameProgramDesktopFile();

// Gives every window the program's icon: the desktop theme's, when the theme has one under the
// program's id, else the built-in one.
void showProgramIcon();

// Both of the above.
void useProgramIdentity();

} // namespace klangdorn
