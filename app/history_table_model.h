#pragma once
// The History window's rows: a table of texts, header and cells, replaced as a whole.

#include <QAbstractTableModel>

#include <string>
#include <vector>

class HistoryTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryTableModel)

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setContent(std::vector<std::string> header, std::vector<std::vector<std::string>> cells);
    const std::vector<std::string>& header() const { return m_header; }
    const std::vector<std::vector<std::string>>& cells() const { return m_cells; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<std::string> m_header;
    std::vector<std::vector<std::string>> m_cells;
};
