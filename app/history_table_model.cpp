#include "app/history_table_model.h"

void HistoryTableModel::setContent(
    std::vector<std::string> header, std::vector<std::vector<std::string>> cells)
{
    beginResetModel();
    m_header = std::move(header);
    m_cells = std::move(cells);
    endResetModel();
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_cells.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_header.size());
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const auto& row = m_cells[std::size_t(index.row())];
    const auto column = std::size_t(index.column());
    return column < row.size() ? QString::fromStdString(row[column]) : QString();
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || std::size_t(section) >= m_header.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromStdString(m_header[std::size_t(section)]);
}
