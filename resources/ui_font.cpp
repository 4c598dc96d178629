#include "resources/ui_font.h"

QFont uiFont(const QStringList& families, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
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
