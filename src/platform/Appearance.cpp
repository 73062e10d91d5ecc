#include "platform/Appearance.h"

#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

namespace klangdorn
{

namespace
{

// The family the layout was drawn with first, then sans fonts with the same widths.
const QStringList windowFamilies{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Arial"), QStringLiteral("Arimo")};

constexpr int WindowFontPixels = 11;  // 8.25 pt at 96 dpi
constexpr int WaitBarFontPixels = 13; // 9.75 pt at 96 dpi

QFont sansFont(int pixels, QFont::Weight weight)
{
    QFont font;
    font.setFamilies(windowFamilies);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace

void useProgramStyle()
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
}

QFont windowFont()
{
    return sansFont(WindowFontPixels, QFont::Normal);
}

QFont frameTitleFont()
{
    return sansFont(WindowFontPixels, QFont::Bold);
}

QFont waitBarFont()
{
    return sansFont(WaitBarFontPixels, QFont::Bold);
}

} // namespace klangdorn
