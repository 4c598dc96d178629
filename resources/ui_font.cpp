#include "resources/ui_font.h"

QFont uiFont(const QStringList& families, int pixelSize, bool bold)
{
    QFont font;
    // Measured at 11 pixels: "Established" 47 pixels wide for the State column's 52,
    // "Protocol" 33 for 42; the common sans faces need 56 to 63 and 39 to 44.
    font.setFamilies(QStringList { QString::fromLatin1(kLayoutFontFamily) } + families);
    // Debian has no "MS Sans Serif"; the hint picks the system's sans font instead.
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    if (bold)
        font.setBold(true);
    return font;
}

QFont windowFont()
{
    return uiFont({ QStringLiteral("MS Sans Serif") }, 11);
}
