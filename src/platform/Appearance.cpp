// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Appearance.h"

#include "platform/ProgramStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <array>
#include <utility>

namespace klangdorn
{

namespace
{

struct Family {
    const char* name;
    int windowPixels;  // the window's font, 8.25 pt at 96 dpi in the family it was drawn with
    int waitBarPixels; // the wait indicator's, 9.75 pt likewise
};

// The family the layout was drawn with first, then sans fonts of Arial's widths. Those run a
// little wider at the same size, so they take one pixel less and every caption still fits.
constexpr std::array families{
    Family{"MS Sans Serif", 11, 13},   Family{"Microsoft Sans Serif", 11, 13},
    Family{"Liberation Sans", 10, 12}, Family{"Arial", 10, 12},
    Family{"Arimo", 10, 12},
};

std::function<void()>& stepBeforeFirstFont()
{
    static std::function<void()> step;
    return step;
}

void awaitFontSystem()
{
    if (auto step = std::exchange(stepBeforeFirstFont(), {}))
        step();
}

const Family& installedFamily()
{
    static const Family& chosen = []() -> const Family& {
        for (const Family& family : families) {
            if (QFontDatabase::hasFamily(QString::fromLatin1(family.name)))
                return family;
        }
        return families.back(); // the style hint then picks a sans of about that size
    }();
    return chosen;
}

QFont sansFont(int pixels, QFont::Weight weight)
{
    awaitFontSystem();
    QFont font(QString::fromLatin1(installedFamily().name));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace

void BeforeFirstFont(std::function<void()> step)
{
    stepBeforeFirstFont() = std::move(step);
}

void ChooseProgramFontFamily()
{
    installedFamily();
}

void useProgramStyle()
{
    QApplication::setStyle(new ProgramStyle); // owned by the application
}

QFont windowFont()
{
    return sansFont(installedFamily().windowPixels, QFont::Normal);
}

QFont frameTitleFont()
{
    return sansFont(installedFamily().windowPixels, QFont::Bold);
}

QFont waitBarFont()
{
    return sansFont(installedFamily().waitBarPixels, QFont::Bold);
}

ApplicationFontWhile::ApplicationFontWhile(const QFont& font) : m_before(QApplication::font())
{
    QApplication::setFont(font);
}

ApplicationFontWhile::~ApplicationFontWhile()
{
    QApplication::setFont(m_before);
}

} // namespace klangdorn
