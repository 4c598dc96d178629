#pragma once
// The fonts the windows were laid out for, set up in one way.

#include <QFont>
#include <QStringList>

// The face the layouts are kept whole with: narrow enough that every text fits the
// place drawn for an 11-pixel "MS Sans Serif" (Debian package fonts-liberation).
inline constexpr char kLayoutFontFamily[] = "Liberation Sans Narrow";

// kLayoutFontFamily, else the first of families that this system has, else its sans
// face, at pixelSize.
QFont uiFont(const QStringList& families, int pixelSize, bool bold = false);

// The main window's and the grid's face: "MS Sans Serif", 11 pixels.
QFont windowFont();
