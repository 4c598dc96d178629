#pragma once
// The connection grid's cells: header texts and the data rows of the last scan.

#include "scan/scan_view.h"

#include <QAbstractTableModel>

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class GridModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridModel)

public:
    static constexpr int kColumnCount = kGridColumnCount;
    // True for the "No" cell of a row that is new since the last refresh, while marking is on.
    static constexpr int kNewRowRole = Qt::UserRole + 1;
    // The "Process" column after "State", shown on request; its cells come from the details.
    static constexpr int kProcessColumn = kColumnCount;
    // True for every cell while the rows are those of an earlier scan, the last one failed.
    static constexpr int kStaleRole = Qt::UserRole + 2;

    explicit GridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The texts of grid row 0, shown as the horizontal header.
    void setHeaderRow(const std::array<std::string, kColumnCount>& texts);
    // Replaces every data row, each with its details (missing ones are empty). An empty
    // scan passes one row of empty cells; an empty list leaves no data row. Rows are shown
    // in the chosen sort order; the "No" cells keep the scan's numbers. Rows are added or
    // taken at the end and the changed cells announced as one block, between
    // gridContentAboutToChange and gridContentChanged.
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details = {});
    void setProcessColumn(bool shown);
    bool processColumnShown() const { return m_processColumn; }
    // "Sent", "Received" and "Rate" after the others, shown on request: each TCP
    // connection's traffic from the details, "–" where none is known (UDP, listeners).
    static constexpr int kTrafficColumnCount = 3;
    void setTrafficColumns(bool shown);
    bool trafficColumnsShown() const { return m_trafficColumns; }
    // The first traffic column while they are shown: after "Process" when that is.
    int firstTrafficColumn() const { return kColumnCount + (m_processColumn ? 1 : 0); }
    // The "Computer" column, last, while more than one computer is watched; its cells come
    // from the details. -1 while it is not shown.
    void setComputerColumn(bool shown);
    int computerColumn() const
    {
        return m_computerColumn
            ? kColumnCount + (m_processColumn ? 1 : 0) + (m_trafficColumns ? kTrafficColumnCount : 0)
            : -1;
    }
    // Details of a data row in grid numbering (1..n); empty outside.
    const GridRowDetails& rowDetails(int row) const;

    // Sorts the shown rows by a column (the "Process" column too), or back to the scan's
    // order (kScanOrder); the choice holds for the rows of later scans.
    void setSort(int column, Qt::SortOrder order);
    // Whether a click on a column's title sorts. Off, the rows return to the scan's order.
    void setSortable(bool on);
    bool sortable() const { return m_sortable; }
    // " (all)" after the name of a socket open on every interface, in the Local IP cells.
    void setMarkWildcards(bool on);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Rows of the last refresh that were not there at the one before, and rows of that
    // one gone since. Counted always; new rows are marked only while marking is on.
    void setMarkNewRows(bool on);
    bool markNewRows() const { return m_markNew; }
    int newRowCount() const { return m_newCount; }
    int closedRowCount() const { return m_closedCount; }

    // The shown rows are those of the last scan that read the tables: a later one failed.
    void setStale(bool stale);
    bool stale() const { return m_stale; }

    // One endpoint across refreshes (protocol and both ends) for a data row in model
    // numbering (0..n-1); empty for the blank row of an empty scan.
    std::string endpointKeyOf(int row) const;

    // Grid numbering: row 0 is the header, data rows are 1..n. Empty outside the grid.
    std::string_view cellText(int column, int row) const;
    // Grid rows including the header row.
    int gridRowCount() const { return static_cast<int>(m_rows.size()) + 1; }

Q_SIGNALS:
    // Around each setGridContent, so a view can keep its selection in step.
    void gridContentAboutToChange();
    void gridContentChanged(int oldRowCount, int newRowCount);
    void sortChanged(int column, Qt::SortOrder order);

private:
    void countChanges();
    void applySort();
    // Which traffic column (0, 1, 2) column is, or -1.
    int trafficColumnOf(int column) const;
    std::vector<std::size_t> displayOrder(
        const std::vector<GridRow>& rows, const std::vector<GridRowDetails>& details) const;

    std::array<std::string, kColumnCount> m_header;
    std::vector<GridRow> m_rows;
    std::vector<GridRowDetails> m_details; // beside m_rows, one each
    std::vector<bool> m_new; // beside m_rows
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_markNew = false;
    bool m_sortable = false;
    bool m_markWildcards = false;
    bool m_processColumn = false;
    bool m_trafficColumns = false;
    bool m_computerColumn = false;
    bool m_stale = false;
    bool m_haveBaseline = false;
    std::set<std::string> m_lastKeys;
    int m_newCount = 0;
    int m_closedCount = 0;
};
