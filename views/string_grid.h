#pragma once
// The connection grid: the text view of the last scan, with block copy to the clipboard.

#include "scan/scan_view.h"
#include "views/grid_selection.h"

#include <QTableView>

#include <array>
#include <string>
#include <utility>
#include <vector>

class GridModel;
class QMenu;

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
    // The width of the columns shown on request (process, traffic) where they are not the last.
    static constexpr int kAddedColumnWidth = 110;

    explicit StringGrid(QWidget* parent = nullptr);
    // A grid over a model made before it, which keeps the rows, the sort and the marks
    // while no grid shows them.
    explicit StringGrid(GridModel* model, QWidget* parent = nullptr);
    ~StringGrid() override;

    // Grid row 0, columns 0 to 6.
    void setHeaderRow(const std::array<std::string, kColumnCount>& texts);
    // Text of a cell in grid numbering (row 0 is the header); empty outside the grid.
    QString cellText(int column, int row) const;
    // Grid rows including the header row.
    int rowCount() const;
    // One click on a column's header, while the model is sortable: ascending, then
    // descending, then the scan's order.
    void cycleSort(int column);

    // Copies of rows: the selected rows (or the current cell's row) as tab-separated text
    // with a header line; the numeric local or remote address of the current row.
    // Each also sets the X11 primary selection, where there is one.
    void copyRowsAsTsv();
    void copyLocalAddress();
    void copyRemoteAddress();
    // The grid's context menu, built on demand; its actions are named for the tests.
    QMenu* contextMenu();

    // The current selection in grid numbering; all -1 when no cell is selected.
    GridSelection gridSelection() const;
    // Cell width in pixels, without its grid line.
    int gridColumnWidth(int column) const;
    void setGridColumnWidth(int column, int width);

    // The "State" column takes the width from its left edge to the grid's outer right
    // edge (under the vertical scroll bar when it is shown), at least one pixel.
    void stretchLastColumn();
    // With the "Process" column after "State", that column is the last one and stretches.
    int lastColumn() const;

    GridModel* gridModel() const { return m_model; }

    // "Close connection…" and "Stop process…" in the context menu, for TCP connections and
    // rows whose process is known; off, the menu is as it was.
    void setCloseOffered(bool on) { m_closeOffered = on; }

Q_SIGNALS:
    // A text for the status bar's first panel.
    void statusTextRequested(const QString& text);
    // "Close connection…" was chosen for the row with these details.
    void closeConnectionRequested(const GridRowDetails& details);
    // "Stop process…" was chosen for the row with these details.
    void stopProcessRequested(const GridRowDetails& details);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The copy-or-clear decision for a release at a point in viewport coordinates.
    void handleMouseUp(Qt::MouseButton button, QPoint viewportPos);
    void clearGridSelection();
    void copySelectionToClipboard();
    int headerCellLeft(int column) const;
    // The data rows a row copy takes: the selection's, else the current cell's.
    std::pair<int, int> rowsToCopy() const;
    void putOnClipboard(const QString& text);
    void copyTsvRows(int top, int bottom);
    void copyAddressOfRow(int row, bool local);
    void showSortIndicator();
    // The model's refills: a selection follows the endpoints it holds to their new rows,
    // and rows that closed leave it. A selection of nothing but the blank row of an empty
    // scan keeps its place while the row count stays, else collapses to the current cell.
    void keepSelectionBeforeRefill();
    void restoreSelectionAfterRefill(int oldCount, int newCount);
    bool followSelection();
    void processColumnShown(bool shown);

    GridModel* m_model;
    QMenu* m_menu = nullptr;
    bool m_closeOffered = false;
    // A left press on a header section, not on its resize grip: a release on the same
    // section with all widths unchanged is a sort click.
    int m_headerPressSection = -1;
    std::vector<int> m_headerPressWidths;
    // The rows the context menu acts on, taken before the right click clears the selection.
    std::pair<int, int> m_menuRows { -1, -1 };
    // The current cell and the scroll position when a refill began, and what the
    // selection held: its endpoints, its columns and the current cell's endpoint.
    QModelIndex m_currentBeforeRefill;
    QPoint m_scrollBeforeRefill;
    std::vector<std::string> m_selectedKeys;
    std::pair<int, int> m_selectedColumns { -1, -1 };
    std::string m_currentKey;
};
