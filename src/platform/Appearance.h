// SPDX-License-Identifier: GPL-3.0-or-later
// The program's look: Qt's Fusion style everywhere, and the fonts the window is laid out for.
// "MS Sans Serif" is rarely installed off Windows; Liberation Sans or Arial stands in for it,
// one pixel smaller, as they run a little wider.
#pragma once

#include <QFont>
#include <functional>

namespace klangdorn
{

// Runs `step` once, right before the program's first font is looked up: the font system may
// still be starting on another thread, and the window's work up to its first font goes on
// meanwhile.
void BeforeFirstFont(std::function<void()> step);

// Chooses the family of the program's fonts among those installed. Where fontconfig is the
// font system, safe on any thread once it has started, without Qt's font database; elsewhere
// once the application exists. The fonts then find it chosen.
void ChooseProgramFontFamily();

// Fills Qt's font database, as the first font would. Safe on any thread once the application
// exists.
void FillFontDatabase();

// Whether a font of the family is installed, the name taken as Qt takes it (the configuration's
// aliases and substitutions applied).
bool isInstalledFamily(const char* name);

// Sets the Fusion style, whose measures the fixed layout of the window is made for.
void useProgramStyle();

// "MS Sans Serif" 8.25 pt (11 px at 96 dpi) or its stand-in, regular: every control's font.
QFont windowFont();
// The same in bold: the frames' titles.
QFont frameTitleFont();
// The wait indicator's font, 9.75 pt (13 px) or its stand-in, bold; its "n" is drawn as a filled
// square.
QFont waitBarFont();

// While it lives, `font` is the application's font; the one before comes back after. A new
// line edit lays its text out in the application's font before it takes its own, so controls
// built meanwhile in `font` need no other font looked up.
class ApplicationFontWhile
{
public:
    explicit ApplicationFontWhile(const QFont& font);
    ~ApplicationFontWhile();
    ApplicationFontWhile(const ApplicationFontWhile&) = delete;
    ApplicationFontWhile& operator=(const ApplicationFontWhile&) = delete;

private:
    QFont m_before;
};

} // namespace klangdorn
