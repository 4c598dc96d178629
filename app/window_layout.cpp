#include "app/window_layout.h"

#include "app/filter_field.h"
#include "app/tform1.h"
#include "settings/settings_file.h"
#include "views/grid_model.h"
#include "views/grid_sort.h"
#include "views/string_grid.h"

#include <QAction>
#include <QStringList>
#include <QToolButton>

namespace {

const QString kGeometry = QStringLiteral("Window/Geometry");
const QString kGraphicView = QStringLiteral("Window/GraphicView");
const QString kColumnWidths = QStringLiteral("Grid/ColumnWidths");
const QString kSortColumn = QStringLiteral("Grid/SortColumn");
const QString kSortDescending = QStringLiteral("Grid/SortDescending");
const QString kMarkNewRows = QStringLiteral("Grid/MarkNewRows");
const QString kHideLoopback = QStringLiteral("Filter/HideLoopback");

constexpr int kStoredWidths = StringGrid::kLastColumn; // the last column stretches

} // namespace

void restoreWindowLayout(TForm1& window, const SettingsFile& file)
{
    const QByteArray geometry = file.value(kGeometry).toByteArray();
    if (!geometry.isEmpty())
        window.restoreGeometry(geometry);

    // A grid not made yet takes its widths when it is.
    if (window.StringGrid1)
        restoreGridLayout(*window.StringGrid1, file);

    bool ok = false;
    const int column = file.value(kSortColumn, kScanOrder).toInt(&ok);
    if (ok && column >= kScanOrder && column < StringGrid::kColumnCount) {
        const Qt::SortOrder order
            = file.value(kSortDescending, false).toBool() ? Qt::DescendingOrder : Qt::AscendingOrder;
        if (window.StringGrid1)
            window.StringGrid1->setSort(column, order);
        else
            window.gridModel()->setSort(column, order);
    }

    const QVariant graphic = file.value(kGraphicView);
    if (graphic.isValid())
        window.ToolButton3->setChecked(graphic.toBool());
    window.Filter->hideLoopback()->setChecked(file.value(kHideLoopback, false).toBool());
    window.Filter->markNewRows()->setChecked(file.value(kMarkNewRows, false).toBool());
}

void restoreGridLayout(StringGrid& grid, const SettingsFile& file)
{
    const QStringList widths = file.value(kColumnWidths).toStringList();
    if (widths.size() != kStoredWidths)
        return;
    for (int column = 0; column < kStoredWidths; ++column) {
        bool ok = false;
        const int width = widths[column].toInt(&ok);
        if (ok && width >= 1 && width <= 10000)
            grid.setGridColumnWidth(column, width);
    }
}

bool saveWindowLayout(const TForm1& window, SettingsFile& file)
{
    const GridModel& model = *window.gridModel();
    const bool descending = model.sortOrder() == Qt::DescendingOrder;
    // Every value is tried; one failure is enough to tell.
    bool saved = file.setValue(kGeometry, window.saveGeometry());
    // A grid never made has the widths it would have taken from the file: they stay there.
    if (window.StringGrid1) {
        QStringList widths;
        for (int column = 0; column < kStoredWidths; ++column)
            widths << QString::number(window.StringGrid1->gridColumnWidth(column));
        saved = file.setValue(kColumnWidths, widths) && saved;
    }
    saved = file.setValue(kSortColumn, model.sortColumn()) && saved;
    saved = file.setValue(kSortDescending, descending) && saved;
    saved = file.setValue(kGraphicView, window.graphicMode()) && saved;
    saved = file.setValue(kHideLoopback, window.Filter->hideLoopback()->isChecked()) && saved;
    saved = file.setValue(kMarkNewRows, window.Filter->markNewRows()->isChecked()) && saved;
    return saved;
}
