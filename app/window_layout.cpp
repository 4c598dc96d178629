#include "app/window_layout.h"

#include "scan/grid_columns.h"
#include "settings/settings_file.h"

#include <QStringList>

namespace {

const QString kGeometry = QStringLiteral("Window/Geometry");
const QString kGraphicView = QStringLiteral("Window/GraphicView");
const QString kColumnWidths = QStringLiteral("Grid/ColumnWidths");
const QString kSortColumn = QStringLiteral("Grid/SortColumn");
const QString kSortDescending = QStringLiteral("Grid/SortDescending");

constexpr int kStoredWidths = kGridColumnCount - 1; // the last column stretches
constexpr int kWidestColumn = 10000;

} // namespace

WindowLayout loadWindowLayout(const SettingsFile& file)
{
    WindowLayout layout;
    layout.geometry = file.value(kGeometry).toByteArray();
    layout.graphicView = file.value(kGraphicView, layout.graphicView).toBool();

    const QStringList widths = file.value(kColumnWidths).toStringList();
    if (widths.size() == kStoredWidths) {
        for (const QString& text : widths) {
            bool ok = false;
            const int width = text.toInt(&ok);
            if (!ok || width < 1 || width > kWidestColumn) {
                layout.columnWidths.clear();
                break;
            }
            layout.columnWidths.append(width);
        }
    }

    bool ok = false;
    const int column = file.value(kSortColumn, kScanOrder).toInt(&ok);
    // The column after the last of the scan's is "Process".
    if (ok && column >= kScanOrder && column <= kGridColumnCount) {
        layout.sortColumn = column;
        layout.sortDescending = file.value(kSortDescending, false).toBool();
    }
    return layout;
}

bool saveWindowLayout(const WindowLayout& layout, SettingsFile& file)
{
    // Every value is tried; one failure is enough to tell.
    bool saved = file.setValue(kGeometry, layout.geometry);
    saved = file.setValue(kGraphicView, layout.graphicView) && saved;
    // A grid never made has the widths it was given: they stay in the file as they are.
    if (layout.columnWidths.size() == kStoredWidths) {
        QStringList widths;
        for (int width : layout.columnWidths)
            widths << QString::number(width);
        saved = file.setValue(kColumnWidths, widths) && saved;
    }
    saved = file.setValue(kSortColumn, layout.sortColumn) && saved;
    saved = file.setValue(kSortDescending, layout.sortDescending) && saved;
    return saved;
}

bool isUsableGeometry(const QRect& frame, QSize minimum, const QList<QRect>& screens)
{
    if (frame.width() < minimum.width() || frame.height() < minimum.height())
        return false;
    // Half of the window on one screen at least, so that its caption can be reached.
    const qint64 area = qint64(frame.width()) * frame.height();
    for (const QRect& screen : screens) {
        const QRect shown = frame.intersected(screen);
        if (qint64(shown.width()) * shown.height() * 2 >= area)
            return true;
    }
    return false;
}
