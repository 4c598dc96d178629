#include "views/grid_model.h"

#include "scan/row_filter.h"
#include "views/grid_sort.h"

#include <QThread>

#include <algorithm>
#include <tuple>

namespace {

// One endpoint across refreshes: its protocol and both ends, by address where known.
std::string endpointKey(const GridRow& row, const GridRowDetails& details)
{
    const auto side = [](const std::string& address, const std::string& host) {
        return address.empty() ? host : address;
    };
    // Among several computers the same ends may be on two of them.
    return details.computer + row[5] + '|' + side(details.localAddress, row[1]) + '|' + row[2] + '|'
        + side(details.remoteAddress, row[4]) + '|' + row[3];
}

// Everything a row's cells, marks and tooltips show beside its texts.
bool sameDetails(const GridRowDetails& a, const GridRowDetails& b)
{
    return std::tie(a.localAddress, a.remoteAddress, a.localPort, a.remotePort, a.pid, a.processName,
               a.commandLine, a.processCell, a.dualStack, a.computer, a.stale)
        == std::tie(b.localAddress, b.remoteAddress, b.localPort, b.remotePort, b.pid, b.processName,
            b.commandLine, b.processCell, b.dualStack, b.computer, b.stale);
}

bool isEmptyRow(const GridRow& row)
{
    return std::all_of(row.begin(), row.end(), [](const std::string& cell) { return cell.empty(); });
}

template <typename T> std::vector<T> permuted(std::vector<T>& items, const std::vector<std::size_t>& order)
{
    std::vector<T> out;
    out.reserve(order.size());
    for (std::size_t i : order)
        out.push_back(std::move(items[i]));
    return out;
}

const GridRowDetails kNoDetails;
const std::string kUnknownTraffic = "\u2013";
const char* const kTrafficTitles[GridModel::kTrafficColumnCount] = { "Sent", "Received", "Rate" };

// A traffic cell's text: bytes, or the rates both ways.
std::string trafficCellText(const GridRowDetails& details, int which)
{
    if (!details.trafficKnown)
        return kUnknownTraffic;
    if (which == 0)
        return bytesText(static_cast<double>(details.bytesSent));
    if (which == 1)
        return bytesText(static_cast<double>(details.bytesReceived));
    return rateCellText(details.sendRate, details.receiveRate);
}

// The value a traffic column sorts by; unknown as negative, so it sorts apart.
double trafficSortValue(const GridRowDetails& details, int which)
{
    if (!details.trafficKnown)
        return -1;
    if (which == 0)
        return static_cast<double>(details.bytesSent);
    if (which == 1)
        return static_cast<double>(details.bytesReceived);
    return details.sendRate < 0 ? -1 : details.sendRate + details.receiveRate;
}

} // namespace

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_rows(1)
    , m_details(1)
    , m_new(1, false)
{
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0
                            : kColumnCount + (m_processColumn ? 1 : 0)
            + (m_trafficColumns ? kTrafficColumnCount : 0) + (m_computerColumn ? 1 : 0);
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const auto r = static_cast<std::size_t>(index.row());
    // While rows are added or taken the side vectors may be a step ahead of the rows.
    const GridRowDetails& details = r < m_details.size() ? m_details[r] : kNoDetails;
    if (const int which = trafficColumnOf(index.column()); which >= 0) {
        if (role == kStaleRole)
            return m_stale;
        if (role == Qt::DisplayRole)
            return isEmptyRow(m_rows[r]) ? QString()
                                         : QString::fromStdString(trafficCellText(details, which));
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(rowTooltipText(m_rows[r][5], m_rows[r][6], details));
        return {};
    }
    if (index.column() == computerColumn()) {
        if (role == kStaleRole)
            return m_stale || details.stale;
        if (role == Qt::DisplayRole)
            return QString::fromStdString(details.computer);
        return {};
    }
    if (index.column() == kProcessColumn) {
        if (role == kStaleRole)
            return m_stale || details.stale;
        if (role == Qt::DisplayRole)
            return QString::fromStdString(details.processCell);
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(rowTooltipText(m_rows[r][5], m_rows[r][6], details));
        return {};
    }
    const std::string& cell = m_rows[r][std::size_t(index.column())];
    // Where a name stands for an address, the address is one hover away; a socket on
    // every interface says so, as its name alone reads like the machine's own address.
    const bool local = index.column() == 1;
    const bool remote = index.column() == 4;
    const std::string& address = local ? details.localAddress : details.remoteAddress;
    const bool named = (local || remote) && !address.empty() && cell != address;
    switch (role) {
    case Qt::DisplayRole:
        if (m_markWildcards && named && local && isWildcardAddress(address))
            return QString::fromStdString(cell + " (all)");
        return QString::fromStdString(cell);
    case Qt::ToolTipRole:
        // The host cells tell their address; every other cell the whole row, as numbers.
        if (!local && !remote)
            return QString::fromStdString(rowTooltipText(m_rows[r][5], m_rows[r][6], details));
        if (!named)
            return {};
        if (local)
            return QString::fromStdString(localEndText(address, details.localPort, details.dualStack));
        return QString::fromStdString(numericEndText(address, details.remotePort));
    case kNewRowRole:
        return m_markNew && index.column() == 0 && r < m_new.size() && m_new[r];
    case kStaleRole:
        return m_stale || details.stale;
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (const int which = trafficColumnOf(section); which >= 0)
        return QString::fromUtf8(kTrafficTitles[which]);
    if (section == computerColumn())
        return QStringLiteral("Computer");
    if (section == kProcessColumn)
        return QStringLiteral("Process");
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

void GridModel::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    Q_EMIT gridContentAboutToChange();
    details.resize(rows.size());
    if (m_sortColumn != kScanOrder) {
        const std::vector<std::size_t> order = displayOrder(rows, details);
        rows = permuted(rows, order);
        details = permuted(details, order);
    }
    const int oldCount = static_cast<int>(m_rows.size());
    const int newCount = static_cast<int>(rows.size());
    // Only the rows that changed are announced: a whole block's repaint sends the whole
    // grid to the display at every refresh of an idle machine.
    const auto kept = static_cast<std::size_t>(std::min(oldCount, newCount));
    std::size_t firstChanged = kept;
    std::size_t lastChanged = 0;
    for (std::size_t r = 0; r < kept; ++r) {
        if (rows[r] != m_rows[r] || r >= m_details.size() || !sameDetails(details[r], m_details[r])) {
            firstChanged = std::min(firstChanged, r);
            lastChanged = r;
        }
    }
    m_details = std::move(details);

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
    std::move(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(kept), m_rows.begin());
    const std::vector<bool> wasNew = m_new;
    countChanges();
    for (std::size_t r = 0; r < kept; ++r) {
        if (r >= wasNew.size() || wasNew[r] != m_new[r]) {
            firstChanged = std::min(firstChanged, r);
            lastChanged = std::max(lastChanged, r);
        }
    }
    if (firstChanged < kept)
        Q_EMIT dataChanged(index(static_cast<int>(firstChanged), 0),
            index(static_cast<int>(lastChanged), columnCount() - 1), { Qt::DisplayRole });
    Q_EMIT gridContentChanged(oldCount, newCount);
}

std::string_view GridModel::cellText(int column, int row) const
{
    if (column < 0 || column >= columnCount() || row < 0 || row >= gridRowCount())
        return {};
    if (const int which = trafficColumnOf(column); which >= 0) {
        if (row == 0)
            return kTrafficTitles[which];
        // Built per call; kept until the next so the view stays valid for the caller's use.
        static thread_local std::string text;
        text = isEmptyRow(m_rows[std::size_t(row - 1)]) ? std::string()
                                                        : trafficCellText(rowDetails(row), which);
        return text;
    }
    if (column == computerColumn()) {
        static const std::string title = "Computer";
        return row == 0 ? std::string_view(title) : std::string_view(rowDetails(row).computer);
    }
    if (column == kProcessColumn) {
        static const std::string title = "Process";
        return row == 0 ? std::string_view(title) : std::string_view(rowDetails(row).processCell);
    }
    const auto c = static_cast<std::size_t>(column);
    return row == 0 ? m_header[c] : m_rows[static_cast<std::size_t>(row - 1)][c];
}

void GridModel::setProcessColumn(bool shown)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (shown == m_processColumn)
        return;
    // The traffic columns move with it: a sort by one of them, or by this, ends.
    if (m_trafficColumns && m_sortColumn >= kProcessColumn)
        setSort(kScanOrder, Qt::AscendingOrder);
    if (shown) {
        beginInsertColumns({}, kProcessColumn, kProcessColumn);
        m_processColumn = true;
        endInsertColumns();
    } else {
        beginRemoveColumns({}, kProcessColumn, kProcessColumn);
        m_processColumn = false;
        endRemoveColumns();
    }
    // The "Computer" column moves with it, and a sort by it follows it there.
    if (m_computerColumn && m_sortColumn == kColumnCount + (shown ? 0 : 1))
        m_sortColumn = computerColumn();
}

void GridModel::setComputerColumn(bool shown)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (shown == m_computerColumn)
        return;
    // Last, after "Process" and the traffic columns where they are shown.
    const int column
        = kColumnCount + (m_processColumn ? 1 : 0) + (m_trafficColumns ? kTrafficColumnCount : 0);
    if (shown) {
        beginInsertColumns({}, column, column);
        m_computerColumn = true;
        endInsertColumns();
    } else {
        if (m_sortColumn == column)
            setSort(kScanOrder, Qt::AscendingOrder);
        beginRemoveColumns({}, column, column);
        m_computerColumn = false;
        endRemoveColumns();
    }
}

void GridModel::setTrafficColumns(bool shown)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (shown == m_trafficColumns)
        return;
    const int first = firstTrafficColumn();
    if (!shown && trafficColumnOf(m_sortColumn) >= 0)
        setSort(kScanOrder, Qt::AscendingOrder);
    if (shown) {
        beginInsertColumns({}, first, first + kTrafficColumnCount - 1);
        m_trafficColumns = true;
        endInsertColumns();
    } else {
        beginRemoveColumns({}, first, first + kTrafficColumnCount - 1);
        m_trafficColumns = false;
        endRemoveColumns();
    }
}

int GridModel::trafficColumnOf(int column) const
{
    const int which = column - firstTrafficColumn();
    return m_trafficColumns && which >= 0 && which < kTrafficColumnCount ? which : -1;
}

const GridRowDetails& GridModel::rowDetails(int row) const
{
    if (row < 1 || row >= gridRowCount())
        return kNoDetails;
    return m_details[std::size_t(row - 1)];
}

void GridModel::countChanges()
{
    m_new.assign(m_rows.size(), false);
    m_newCount = 0;
    m_closedCount = 0;
    // Only while marking: otherwise a key made and kept for every row at every refresh
    // serves nothing.
    if (!m_markNew)
        return;
    std::set<std::string> keys;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (isEmptyRow(m_rows[r]))
            continue;
        std::string key = endpointKeyOf(static_cast<int>(r));
        if (m_haveBaseline && !m_lastKeys.contains(key)) {
            m_new[r] = true;
            ++m_newCount;
        }
        keys.insert(std::move(key));
    }
    if (m_haveBaseline) {
        for (const std::string& key : m_lastKeys)
            m_closedCount += keys.contains(key) ? 0 : 1;
    }
    m_lastKeys = std::move(keys);
    m_haveBaseline = true;
}

void GridModel::setSort(int column, Qt::SortOrder order)
{
    Q_ASSERT(QThread::currentThread() == thread());
    m_sortColumn = column >= 0 && column < columnCount() ? column : kScanOrder;
    m_sortOrder = order;
    applySort();
    Q_EMIT sortChanged(m_sortColumn, m_sortOrder);
}

void GridModel::applySort()
{
    // Back to the scan's order is a sort by the "No" cells, which hold the scan's numbers.
    const std::vector<std::size_t> order = displayOrder(m_rows, m_details);
    m_rows = permuted(m_rows, order);
    m_details = permuted(m_details, order);
    std::vector<bool> flags;
    flags.reserve(order.size());
    for (std::size_t i : order)
        flags.push_back(m_new[i]);
    m_new = std::move(flags);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void GridModel::setSortable(bool on)
{
    m_sortable = on;
    if (!on && m_sortColumn != kScanOrder)
        setSort(kScanOrder, Qt::AscendingOrder);
}

void GridModel::setMarkWildcards(bool on)
{
    if (on == m_markWildcards)
        return;
    m_markWildcards = on;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 1), index(rowCount() - 1, 1), { Qt::DisplayRole });
}

void GridModel::setMarkNewRows(bool on)
{
    if (on == m_markNew)
        return; // the window hands every option change on: only a real one repaints
    m_markNew = on;
    // Marking compares each refresh with the one before: from the rows shown now, if any.
    m_lastKeys.clear();
    m_haveBaseline = false;
    const bool shown
        = std::any_of(m_rows.begin(), m_rows.end(), [](const GridRow& row) { return !isEmptyRow(row); });
    if (on && shown) {
        countChanges();
    } else {
        m_new.assign(m_rows.size(), false);
        m_newCount = 0;
        m_closedCount = 0;
    }
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), { kNewRowRole });
}

std::vector<std::size_t> GridModel::displayOrder(
    const std::vector<GridRow>& rows, const std::vector<GridRowDetails>& details) const
{
    if (const int which = trafficColumnOf(m_sortColumn); which >= 0) {
        // By value, unknown last either way; ties keep the scan's order.
        std::vector<std::size_t> order = gridDisplayOrder(rows, kScanOrder, Qt::AscendingOrder);
        const auto value
            = [&](std::size_t i) { return i < details.size() ? trafficSortValue(details[i], which) : -1; };
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const double va = value(a);
            const double vb = value(b);
            if ((va < 0) != (vb < 0))
                return vb < 0;
            return m_sortOrder == Qt::AscendingOrder ? va < vb : va > vb;
        });
        return order;
    }
    if (m_sortColumn >= 0 && m_sortColumn == computerColumn()) {
        // Computers by name, each's rows in the scan's order.
        std::vector<std::size_t> order = gridDisplayOrder(rows, kScanOrder, Qt::AscendingOrder);
        std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) {
            const std::string& x = details[a].computer;
            const std::string& y = details[b].computer;
            return m_sortOrder == Qt::AscendingOrder ? x < y : y < x;
        });
        return order;
    }
    if (m_sortColumn == kProcessColumn)
        return processDisplayOrder(rows, details, m_sortOrder);
    return gridDisplayOrder(rows, m_sortColumn, m_sortOrder);
}

std::string GridModel::endpointKeyOf(int row) const
{
    if (row < 0 || row >= rowCount() || isEmptyRow(m_rows[std::size_t(row)]))
        return {};
    const auto r = static_cast<std::size_t>(row);
    return endpointKey(m_rows[r], r < m_details.size() ? m_details[r] : kNoDetails);
}

void GridModel::setStale(bool stale)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (stale == m_stale)
        return;
    m_stale = stale;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), { kStaleRole });
}
