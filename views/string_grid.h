#pragma once
// The connection grid: the text view of the last scan, with block copy to the clipboard.

#include "scan/scan_view.h"
#include "views/grid_selection.h"

#include <QTableView>

#include <array>
#include <string>
#include <vector>

class GridModel;

class StringGrid final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StringGrid)

public:
    static constexpr int kColumnCount = kGridColumnCount;
    static constexpr int kLastColumn = kColumnCount - 1;
    // Column widths and the row height exclude the one-pixel grid line after each cell;
    // a header section is that width plus the line (see gridColumnWidth).
    static constexpr int kGridLineWidth = 1;
    static constexpr int kRowHeight = 15;
    static constexpr std::array<int, kColumnCount> kInitialColumnWidths { 42, 130, 107, 88, 132, 44, 115 };

    explicit StringGrid(QWidget* parent = nullptr);
    ~StringGrid() override;

    // Grid row 0, columns 0 to 6.
    void setHeaderRow(const std::array<std::string, kColumnCount>& texts);
    // Text of a cell in grid numbering (row 0 is the header); empty outside the grid.
    QString cellText(int column, int row) const;
    // Grid rows including the header row.
    int rowCount() const;
    // All data rows of a scan. An unchanged row count keeps the selection; a changed
    // one collapses it to the current cell, moved up to the new last row if needed.
    void setGridRows(std::vector<GridRow> rows);

    // The current selection in grid numbering; all -1 when no cell is selected.
    GridSelection gridSelection() const;
    // Cell width in pixels, without its grid line.
    int gridColumnWidth(int column) const;
    void setGridColumnWidth(int column, int width);

    // The "State" column takes the width from its left edge to the grid's outer right
    // edge (under the vertical scroll bar when it is shown), at least one pixel.
    void stretchLastColumn();

    GridModel* gridModel() const { return m_model; }

Q_SIGNALS:
    // A text for the status bar's first panel.
    void statusTextRequested(const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The copy-or-clear decision for a release at a point in viewport coordinates.
    void handleMouseUp(Qt::MouseButton button, QPoint viewportPos);
    void clearGridSelection();
    void copySelectionToClipboard();
    int headerCellLeft(int column) const;

    GridModel* m_model;
};
