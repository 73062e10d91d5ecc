// The program's look: Qt's Fusion style everywhere, and the fonts the window is laid out for.
// "MS Sans Serif" is rarely installed off Windows; the metric-compatible Liberation Sans or
// Arial stands in for it at the same pixel size.
#pragma once

#include <QFont>

namespace klangdorn
{

// Sets the Fusion style, whose measures the fixed layout of the window is made for.
void useProgramStyle();

// "MS Sans Serif" 8.25 pt (11 px at 96 dpi), regular: every control's font.
QFont windowFont();
// The same in bold: the frames' titles.
QFont frameTitleFont();
// The wait indicator's font, 9.75 pt (13 px) bold; its "n" is drawn as a filled square.
QFont waitBarFont();

} // namespace klangdorn
