#pragma once
// The Traffic window's table: one row per process or remote host, its connections and the
// bytes and rates they sum to.

#include "scan/traffic_groups.h"

#include <QAbstractTableModel>

class TrafficGroupModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficGroupModel)

public:
    enum Column
    {
        NameColumn,
        ConnectionsColumn,
        SentColumn,
        ReceivedColumn,
        RateColumn,
        ColumnCount
    };

    explicit TrafficGroupModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Numbers by value; a group without a rate after every one with.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The groups of a scan's rows; the chosen sort holds for them.
    void setRows(const std::vector<GridRowDetails>& rows);
    void setGrouping(TrafficGrouping grouping);
    TrafficGrouping grouping() const { return m_grouping; }

private:
    void regroup();

    std::vector<GridRowDetails> m_rows; // the last scan's rows whose traffic is known
    std::vector<TrafficGroup> m_groups;
    TrafficGrouping m_grouping = TrafficGrouping::Process;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
