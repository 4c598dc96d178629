#include "views/traffic_group_model.h"

#include <algorithm>
#include <iterator>

namespace {

double rateOf(const TrafficGroup& group)
{
    return group.sendRate < 0 ? -1 : group.sendRate + group.receiveRate;
}

} // namespace

TrafficGroupModel::TrafficGroupModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int TrafficGroupModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_groups.size());
}

int TrafficGroupModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficGroupModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    const TrafficGroup& group = m_groups[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case NameColumn:
        return QString::fromStdString(group.name);
    case ConnectionsColumn:
        return group.connections;
    case SentColumn:
        return QString::fromStdString(bytesText(static_cast<double>(group.bytesSent)));
    case ReceivedColumn:
        return QString::fromStdString(bytesText(static_cast<double>(group.bytesReceived)));
    case RateColumn:
        return QString::fromStdString(rateCellText(group.sendRate, group.receiveRate));
    default:
        return {};
    }
}

QVariant TrafficGroupModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return m_grouping == TrafficGrouping::Process ? QStringLiteral("Process")
                                                      : QStringLiteral("Remote host");
    case ConnectionsColumn:
        return QStringLiteral("Connections");
    case SentColumn:
        return QStringLiteral("Sent");
    case ReceivedColumn:
        return QStringLiteral("Received");
    case RateColumn:
        return QStringLiteral("Rate");
    default:
        return {};
    }
}

void TrafficGroupModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const auto less = [column](const TrafficGroup& a, const TrafficGroup& b) {
        switch (column) {
        case NameColumn:
            return a.name < b.name;
        case ConnectionsColumn:
            return a.connections < b.connections;
        case SentColumn:
            return a.bytesSent < b.bytesSent;
        case ReceivedColumn:
            return a.bytesReceived < b.bytesReceived;
        default:
            return rateOf(a) < rateOf(b);
        }
    };
    // A selection follows its groups, by name.
    const QModelIndexList before = persistentIndexList();
    std::vector<std::string> names;
    for (const QModelIndex& index : before)
        names.push_back(m_groups[static_cast<std::size_t>(index.row())].name);
    std::stable_sort(m_groups.begin(), m_groups.end(), [&](const TrafficGroup& a, const TrafficGroup& b) {
        if (column == RateColumn && (rateOf(a) < 0) != (rateOf(b) < 0))
            return rateOf(b) < 0;
        return order == Qt::AscendingOrder ? less(a, b) : less(b, a);
    });
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const auto found = std::find_if(m_groups.begin(), m_groups.end(),
            [&](const TrafficGroup& group) { return group.name == names[static_cast<std::size_t>(i)]; });
        after.push_back(index(static_cast<int>(found - m_groups.begin()), before[i].column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TrafficGroupModel::setRows(const std::vector<GridRowDetails>& rows)
{
    // Kept for a change of grouping: only the rows a group counts, not the whole table's.
    m_rows.clear();
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(m_rows),
        [](const GridRowDetails& row) { return row.trafficKnown; });
    regroup();
}

void TrafficGroupModel::setGrouping(TrafficGrouping grouping)
{
    m_grouping = grouping;
    regroup();
    Q_EMIT headerDataChanged(Qt::Horizontal, NameColumn, NameColumn);
}

void TrafficGroupModel::regroup()
{
    beginResetModel();
    m_groups = groupTraffic(m_rows, m_grouping);
    endResetModel();
    if (m_sortColumn >= 0)
        sort(m_sortColumn, m_sortOrder);
}
