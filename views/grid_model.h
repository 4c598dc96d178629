#pragma once
// The connection grid's cells: header texts and the data rows of the last scan.

#include "scan/scan_view.h"

#include <QAbstractTableModel>

#include <array>
#include <string>
#include <string_view>
#include <vector>

class GridModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridModel)

public:
    static constexpr int kColumnCount = kGridColumnCount;

    explicit GridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The texts of grid row 0, shown as the horizontal header.
    void setHeaderRow(const std::array<std::string, kColumnCount>& texts);
    // Replaces every data row. The grid always keeps one data row: an empty list gives
    // one row of empty cells. Changed cells are announced as one block.
    void setGridRows(std::vector<GridRow> rows);

    // Grid numbering: row 0 is the header, data rows are 1..n. Empty outside the grid.
    std::string_view cellText(int column, int row) const;
    // Grid rows including the header row.
    int gridRowCount() const { return static_cast<int>(m_rows.size()) + 1; }

private:
    std::array<std::string, kColumnCount> m_header;
    std::vector<GridRow> m_rows;
};
