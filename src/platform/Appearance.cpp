// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Appearance.h"

#include "platform/ProgramStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <array>
#include <memory>
#include <string>
#include <utility>

#if KLANGDORN_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

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

#if KLANGDORN_HAS_FONTCONFIG
template <auto destroy> struct FcDeleter {
    template <typename T> void operator()(T* object) const { destroy(object); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, FcDeleter<FcPatternDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FcDeleter<FcObjectSetDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FcDeleter<FcFontSetDestroy>>;

// The family a name stands for once the configuration's rules have been applied, as Qt
// resolves a family it is asked for.
std::string substitutedFamily(const char* name)
{
    const FcPatternPtr pattern(FcPatternCreate());
    if (!pattern ||
        !FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name)) ||
        !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern))
        return name;
    FcDefaultSubstitute(pattern.get());
    FcChar8* family = nullptr;
    if (FcPatternGetString(pattern.get(), FC_FAMILY, 0, &family) != FcResultMatch)
        return name;
    return reinterpret_cast<const char*>(family);
}
#endif

} // namespace

bool isInstalledFamily(const char* name)
{
#if KLANGDORN_HAS_FONTCONFIG
    // Asked of fontconfig itself, so the answer needs no Qt font database and may be had while
    // another thread fills it.
    const std::string family = substitutedFamily(name);
    const FcPatternPtr wanted(FcPatternCreate());
    const FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    if (!wanted || !objects ||
        !FcPatternAddString(wanted.get(), FC_FAMILY,
                            reinterpret_cast<const FcChar8*>(family.c_str())))
        return false;
    const FcFontSetPtr fonts(FcFontList(nullptr, wanted.get(), objects.get()));
    return fonts && fonts->nfont > 0;
#else
    return QFontDatabase::hasFamily(QString::fromLatin1(name));
#endif
}

namespace
{

const Family& installedFamily()
{
    // Asked only of a started font system: fontconfig would otherwise load its whole
    // configuration a second time on this thread, alongside the font system's own thread.
    awaitFontSystem();
    static const Family& chosen = []() -> const Family& {
        for (const Family& family : families) {
            if (isInstalledFamily(family.name))
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

void FillFontDatabase()
{
    QFontDatabase::families();
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
