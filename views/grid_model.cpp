#include "views/grid_model.h"

#include <QThread>

#include <algorithm>

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_rows(1)
{
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return QString::fromStdString(m_rows[static_cast<std::size_t>(index.row())][index.column()]);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    return QString::fromStdString(m_header[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridModel::setHeaderRow(const std::array<std::string, kColumnCount>& texts)
{
    Q_ASSERT(QThread::currentThread() == thread());
    m_header = texts;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void GridModel::setGridRows(std::vector<GridRow> rows)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (rows.empty())
        rows.resize(1);
    const int oldCount = static_cast<int>(m_rows.size());
    const int newCount = static_cast<int>(rows.size());

    // Rows are added or taken at the end first, so the rows that stay keep their
    // texts until the one dataChanged below announces the whole block.
    if (newCount > oldCount) {
        beginInsertRows({}, oldCount, newCount - 1);
        m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin() + oldCount),
            std::make_move_iterator(rows.end()));
        endInsertRows();
    } else if (newCount < oldCount) {
        beginRemoveRows({}, newCount, oldCount - 1);
        m_rows.resize(static_cast<std::size_t>(newCount));
        endRemoveRows();
    }
    const auto kept = static_cast<std::size_t>(std::min(oldCount, newCount));
    std::move(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(kept), m_rows.begin());
    Q_EMIT dataChanged(index(0, 0), index(newCount - 1, kColumnCount - 1), { Qt::DisplayRole });
}

std::string_view GridModel::cellText(int column, int row) const
{
    if (column < 0 || column >= kColumnCount || row < 0 || row >= gridRowCount())
        return {};
    const auto c = static_cast<std::size_t>(column);
    return row == 0 ? m_header[c] : m_rows[static_cast<std::size_t>(row - 1)][c];
}
