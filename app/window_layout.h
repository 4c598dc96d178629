#pragma once
// The window's layout across restarts, kept in veltran.ini while the user asks for it:
// its size and place, the chosen view, the grid's column widths (the stretched last
// column excepted) and the sort.

#include "views/grid_sort.h"

#include <QByteArray>
#include <QList>
#include <QRect>

class SettingsFile;

struct WindowLayout
{
    QByteArray geometry; // QWidget::saveGeometry's; empty: none stored
    bool graphicView = true;
    QList<int> columnWidths; // columns 0 to 5; empty: none stored
    int sortColumn = kScanOrder;
    bool sortDescending = false;
};

// What the file holds; what it lacks, or holds out of range, keeps the default.
WindowLayout loadWindowLayout(const SettingsFile& file);
// False when the file could not be written (file.error() says why).
bool saveWindowLayout(const WindowLayout& layout, SettingsFile& file);

// Whether a restored frame is fit to show: at least the window's minimum size, and
// mostly on one of the screens present.
bool isUsableGeometry(const QRect& frame, QSize minimum, const QList<QRect>& screens);
