#include "views/string_grid.h"

#include "resources/ui_font.h"

#include "views/block_copy.h"
#include "views/grid_delegate.h"
#include "views/grid_model.h"
#include "views/grid_sort.h"
#include "views/tsv_copy.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QThread>

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr QRgb kHeaderColor = 0xffc0c0c0; // silver (192, 192, 192)
constexpr QRgb kHeaderLineColor = 0xff808080;

// From the application, not the parent: the main window's black background must not
// reach the cells, the grid lines or the scroll bar, so every role is set here.
QPalette gridPalette(const QWidget* grid)
{
    QPalette colours = QApplication::palette(grid);
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r != QPalette::NoRole)
                colours.setBrush(g, r, colours.brush(g, r));
        }
    }
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, colours.color(QPalette::ButtonText));
    return colours;
}

// Flat silver header cells with their text where the data cells have it.
QString headerStyleSheet(const QColor& text)
{
    return QStringLiteral("QHeaderView { background-color: %1; border: none; }"
                          "QHeaderView::section { background-color: %1; color: %2;"
                          " border: none; border-right: 1px solid %3; border-bottom: 1px solid %3;"
                          " padding: %4px 0px 0px %4px; }")
        .arg(QColor::fromRgb(kHeaderColor).name(), text.name(), QColor::fromRgb(kHeaderLineColor).name())
        .arg(GridDelegate::kTextOffset);
}

// The header row is one row high, fixed, and the row header is hidden: their size hints,
// which the table asks for at every layout, need not measure every title to say so.
class GridHeader final : public QHeaderView
{
public:
    GridHeader(Qt::Orientation orientation, QWidget* parent)
        : QHeaderView(orientation, parent)
    {
    }
    QSize sizeHint() const override
    {
        return orientation() == Qt::Horizontal ? QSize(length(), maximumHeight()) : QSize(0, length());
    }
};

} // namespace

StringGrid::StringGrid(QWidget* parent)
    : StringGrid(nullptr, parent)
{
}

StringGrid::StringGrid(GridModel* model, QWidget* parent)
    : QTableView(parent)
    , m_model(model ? model : new GridModel(this))
{
    setObjectName(QStringLiteral("StringGrid1"));
    setHorizontalHeader(new GridHeader(Qt::Horizontal, this));
    setVerticalHeader(new GridHeader(Qt::Vertical, this));
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));

    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setDragEnabled(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    setFont(windowFont());
    setPalette(gridPalette(this));

    // Rows are 15 pixels plus the grid line below them, as the header row.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(kRowHeight + kGridLineWidth);

    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setSectionsClickable(false); // a click on the header selects nothing
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
    header->setFixedHeight(kRowHeight + kGridLineWidth);
    header->setStyleSheet(headerStyleSheet(palette().color(QPalette::ButtonText)));
    // The header row belongs to the grid: moves over it stretch, releases over it clear.
    header->viewport()->setMouseTracking(true);
    header->viewport()->installEventFilter(this);

    for (int column = 0; column < kColumnCount; ++column)
        setGridColumnWidth(column, kInitialColumnWidths[static_cast<std::size_t>(column)]);
    showSortIndicator();

    // The grid follows its model, whoever changes it.
    connect(m_model, &GridModel::gridContentAboutToChange, this, &StringGrid::keepSelectionBeforeRefill);
    connect(m_model, &GridModel::gridContentChanged, this, &StringGrid::restoreSelectionAfterRefill);
    connect(m_model, &GridModel::sortChanged, this, &StringGrid::showSortIndicator);
    connect(m_model, &QAbstractItemModel::columnsInserted, this, [this] { processColumnShown(true); });
    connect(m_model, &QAbstractItemModel::columnsRemoved, this, [this] { processColumnShown(false); });
}

StringGrid::~StringGrid() = default;

void StringGrid::setHeaderRow(const std::array<std::string, kColumnCount>& texts)
{
    m_model->setHeaderRow(texts);
}

QString StringGrid::cellText(int column, int row) const
{
    const std::string_view text = m_model->cellText(column, row);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int StringGrid::rowCount() const
{
    return m_model->gridRowCount();
}

void StringGrid::keepSelectionBeforeRefill()
{
    m_currentBeforeRefill = currentIndex();
    // A refresh must not pull the view along to a current cell the user scrolled away from.
    m_scrollBeforeRefill = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    m_selectedKeys.clear();
    m_currentKey = m_model->endpointKeyOf(m_currentBeforeRefill.row());
    const GridSelection selection = gridSelection();
    if (selection.isEmpty())
        return;
    m_selectedColumns = { selection.left, selection.right };
    // The selected rows themselves: a selection that followed its rows may have gaps.
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (std::string key = m_model->endpointKeyOf(row); !key.empty())
                m_selectedKeys.push_back(std::move(key));
        }
    }
}

bool StringGrid::followSelection()
{
    if (m_selectedKeys.empty() && m_currentKey.empty())
        return false;
    const std::set<std::string> wanted(m_selectedKeys.begin(), m_selectedKeys.end());
    QItemSelection selection;
    QModelIndex current;
    const auto [left, right] = m_selectedColumns;
    const int column = std::max(m_currentBeforeRefill.column(), 0);
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const std::string key = m_model->endpointKeyOf(row);
        if (key.empty())
            continue;
        if (key == m_currentKey)
            current = m_model->index(row, column);
        if (wanted.contains(key))
            selection.merge(QItemSelection(m_model->index(row, left), m_model->index(row, right)),
                QItemSelectionModel::Select);
    }
    // The current cell's endpoint closed: the cell moves to the first row still selected.
    if (!current.isValid() && !selection.isEmpty())
        current = m_model->index(selection.first().top(), column);
    selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    return true;
}

void StringGrid::restoreSelectionAfterRefill(int oldCount, int newCount)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (!followSelection()) {
        if (newCount == oldCount)
            return;
        const int currentRow = m_currentBeforeRefill.row();
        const int currentColumn = m_currentBeforeRefill.column();
        if (currentRow < 0 || currentColumn < 0 || newCount == 0) {
            selectionModel()->clear();
            return;
        }
        const QModelIndex collapsed = m_model->index(std::min(currentRow, newCount - 1), currentColumn);
        selectionModel()->setCurrentIndex(collapsed, QItemSelectionModel::ClearAndSelect);
    }
    horizontalScrollBar()->setValue(m_scrollBeforeRefill.x());
    verticalScrollBar()->setValue(m_scrollBeforeRefill.y());
}

GridSelection StringGrid::gridSelection() const
{
    GridSelection selection;
    const QItemSelection ranges = selectionModel()->selection();
    for (const QItemSelectionRange& range : ranges) {
        if (!range.isValid())
            continue;
        // Grid row 0 is the header, so model row n is grid row n + 1.
        const int top = range.top() + 1;
        const int bottom = range.bottom() + 1;
        if (selection.isEmpty()) {
            selection = { range.left(), top, range.right(), bottom };
        } else {
            selection.left = std::min(selection.left, range.left());
            selection.top = std::min(selection.top, top);
            selection.right = std::max(selection.right, range.right());
            selection.bottom = std::max(selection.bottom, bottom);
        }
    }
    return selection;
}

int StringGrid::gridColumnWidth(int column) const
{
    return columnWidth(column) - kGridLineWidth;
}

void StringGrid::setGridColumnWidth(int column, int width)
{
    setColumnWidth(column, width + kGridLineWidth);
}

int StringGrid::headerCellLeft(int column) const
{
    const QHeaderView* header = horizontalHeader();
    const int position = header->sectionViewportPosition(column);
    // A cell out of view has no rectangle; its left edge then counts as 0.
    if (header->isSectionHidden(column) || position >= viewport()->width()
        || position + header->sectionSize(column) <= 0)
        return 0;
    return viewport()->x() + position;
}

void StringGrid::stretchLastColumn()
{
    const int last = lastColumn();
    const int width = this->width() - headerCellLeft(last);
    const int wanted = width > 0 ? width : 1;
    if (gridColumnWidth(last) != wanted)
        setGridColumnWidth(last, wanted);
}

int StringGrid::lastColumn() const
{
    return m_model->columnCount() - 1; // "State", "Process", the traffic or "Computer", the last shown
}

void StringGrid::processColumnShown(bool shown)
{
    // "State" gives up the stretch and takes its first width again; so do the added
    // columns before the last, which is stretched.
    if (shown)
        setGridColumnWidth(kLastColumn, kInitialColumnWidths[kLastColumn]);
    for (int column = kColumnCount; column < lastColumn(); ++column)
        setGridColumnWidth(column, kAddedColumnWidth);
    stretchLastColumn();
}

void StringGrid::mousePressEvent(QMouseEvent* event)
{
    // Only the left button selects; the others act on release alone.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void StringGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        QTableView::mouseReleaseEvent(event);
    else
        event->accept();
    handleMouseUp(event->button(), event->position().toPoint());
}

void StringGrid::mouseMoveEvent(QMouseEvent* event)
{
    QTableView::mouseMoveEvent(event);
    stretchLastColumn();
}

void StringGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_C && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        copyRowsAsTsv();
        event->accept();
        return;
    }
    // The view's own copy key would take the current cell alone; give it the block copy.
    if (event->matches(QKeySequence::Copy)) {
        copySelectionToClipboard();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void StringGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    stretchLastColumn();
}

void StringGrid::updateGeometries()
{
    QTableView::updateGeometries();
    // The stretched last column reaches under the vertical scroll bar on purpose, and its
    // grid line lies past the edge, so the columns count as ending at the grid's outer
    // edge: moving into that column or dragging a selection to the edge must not push the
    // grid sideways.
    QScrollBar* bar = horizontalScrollBar();
    const int limit = std::max(0, horizontalHeader()->length() - kGridLineWidth - width());
    if (bar->maximum() > limit)
        bar->setMaximum(limit);
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event)
{
    QHeaderView* header = horizontalHeader();
    if (watched == header->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            stretchLastColumn();
        } else if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int x = mouse->position().toPoint().x();
            const int section = header->logicalIndexAt(x);
            const int left = header->sectionViewportPosition(section);
            const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
            const bool onGrip = x - left < grip || left + header->sectionSize(section) - x <= grip;
            m_headerPressSection
                = mouse->button() == Qt::LeftButton && section >= 0 && !onGrip ? section : -1;
            m_headerPressWidths.clear();
            for (int column = 0; column < kColumnCount; ++column)
                m_headerPressWidths.push_back(header->sectionSize(column));
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int pressed = std::exchange(m_headerPressSection, -1);
            if (mouse->button() == Qt::LeftButton && pressed >= 0
                && header->logicalIndexAt(mouse->position().toPoint().x()) == pressed) {
                bool resized = false;
                for (int column = 0; column < kLastColumn; ++column)
                    resized
                        = resized || header->sectionSize(column) != m_headerPressWidths[std::size_t(column)];
                if (!resized)
                    cycleSort(pressed);
            }
            const QPoint inGrid = header->viewport()->mapTo(this, mouse->position().toPoint());
            handleMouseUp(mouse->button(), viewport()->mapFrom(this, inGrid));
        }
    }
    return QTableView::eventFilter(watched, event);
}

void StringGrid::handleMouseUp(Qt::MouseButton button, QPoint viewportPos)
{
    // indexAt gives no cell for the header row, below the last row or right of the last column.
    if (button == Qt::RightButton) {
        clearGridSelection();
        return;
    }
    // Extra buttons (back, forward) neither copy nor clear.
    if (button != Qt::LeftButton && button != Qt::MiddleButton)
        return;
    // No cell over the header row, below the last row or right of the last column.
    if (!indexAt(viewportPos).isValid()) {
        clearGridSelection();
        return;
    }
    copySelectionToClipboard();
}

void StringGrid::clearGridSelection()
{
    selectionModel()->clear();
}

void StringGrid::copySelectionToClipboard()
{
    const GridSelection selection = gridSelection();
    // After a clearing the middle button can ask for a copy of nothing: the clipboard and
    // the status bar then keep what they show.
    if (selection.isEmpty())
        return;
    const std::string text
        = blockCopyText(selection, [this](int column, int row) { return m_model->cellText(column, row); });
    putOnClipboard(QString::fromStdString(text));
    Q_EMIT statusTextRequested(QStringLiteral("Selected block was copied into Clipboard"));
}

void StringGrid::putOnClipboard(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    // Middle-button pasting on X11 reads the primary selection.
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
}

void StringGrid::cycleSort(int column)
{
    if (!m_model->sortable())
        return;
    if (m_model->sortColumn() != column)
        m_model->setSort(column, Qt::AscendingOrder);
    else if (m_model->sortOrder() == Qt::AscendingOrder)
        m_model->setSort(column, Qt::DescendingOrder);
    else
        m_model->setSort(kScanOrder, Qt::AscendingOrder);
}

void StringGrid::showSortIndicator()
{
    QHeaderView* header = horizontalHeader();
    // No arrow at all in the scan's order, so the header looks as it always did.
    const int column = m_model->sortColumn();
    header->setSortIndicatorShown(column != kScanOrder);
    if (column != kScanOrder)
        header->setSortIndicator(column, m_model->sortOrder());
}

std::pair<int, int> StringGrid::rowsToCopy() const
{
    const GridSelection selection = gridSelection();
    if (!selection.isEmpty())
        return { std::max(selection.top, 1), selection.bottom };
    const QModelIndex current = currentIndex();
    if (current.isValid())
        return { current.row() + 1, current.row() + 1 };
    return { -1, -1 };
}

void StringGrid::copyRowsAsTsv()
{
    const auto [top, bottom] = rowsToCopy();
    copyTsvRows(top, bottom);
}

void StringGrid::copyLocalAddress()
{
    copyAddressOfRow(rowsToCopy().first, true);
}

void StringGrid::copyRemoteAddress()
{
    copyAddressOfRow(rowsToCopy().first, false);
}

void StringGrid::copyTsvRows(int top, int bottom)
{
    const std::string text = tsvCopyText(
        top, bottom, [this](int column, int row) { return m_model->cellText(column, row); },
        m_model->columnCount());
    if (text.empty())
        return;
    putOnClipboard(QString::fromStdString(text));
    Q_EMIT statusTextRequested(QStringLiteral("Rows were copied into Clipboard as tab-separated text"));
}

void StringGrid::copyAddressOfRow(int row, bool local)
{
    const GridRowDetails& details = m_model->rowDetails(row);
    const std::string& address = local ? details.localAddress : details.remoteAddress;
    if (!address.empty())
        putOnClipboard(QString::fromStdString(address));
}

QMenu* StringGrid::contextMenu()
{
    if (m_menu)
        return m_menu;
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("GridMenu"));
    // The menu acts on the rows taken when it opened, as the right click cleared the selection.
    QAction* tsv = m_menu->addAction(QStringLiteral("Copy row(s) as tab-separated text"));
    tsv->setObjectName(QStringLiteral("CopyRowsTsv"));
    tsv->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    tsv->setShortcutVisibleInContextMenu(true);
    connect(tsv, &QAction::triggered, this, [this] { copyTsvRows(m_menuRows.first, m_menuRows.second); });
    QAction* local = m_menu->addAction(QStringLiteral("Copy local address"));
    local->setObjectName(QStringLiteral("CopyLocalAddress"));
    connect(local, &QAction::triggered, this, [this] { copyAddressOfRow(m_menuRows.first, true); });
    QAction* remote = m_menu->addAction(QStringLiteral("Copy remote address"));
    remote->setObjectName(QStringLiteral("CopyRemoteAddress"));
    connect(remote, &QAction::triggered, this, [this] { copyAddressOfRow(m_menuRows.first, false); });
    QAction* process = m_menu->addAction(QStringLiteral("Copy process"));
    process->setObjectName(QStringLiteral("CopyProcess"));
    connect(process, &QAction::triggered, this, [this] {
        const std::string text = processCopyText(m_model->rowDetails(m_menuRows.first));
        if (!text.empty())
            putOnClipboard(QString::fromStdString(text));
    });
    QAction* close = m_menu->addAction(QStringLiteral("Close connection\u2026"));
    close->setObjectName(QStringLiteral("CloseConnection"));
    connect(close, &QAction::triggered, this,
        [this] { Q_EMIT closeConnectionRequested(m_model->rowDetails(m_menuRows.first)); });
    QAction* stop = m_menu->addAction(QStringLiteral("Stop process\u2026"));
    stop->setObjectName(QStringLiteral("StopProcess"));
    connect(stop, &QAction::triggered, this,
        [this] { Q_EMIT stopProcessRequested(m_model->rowDetails(m_menuRows.first)); });
    return m_menu;
}

void StringGrid::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = contextMenu();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // Sent through the viewport: the position is the viewport's.
        const QModelIndex under = indexAt(event->pos());
        m_menuRows = rowsToCopy();
        const GridSelection selection = gridSelection();
        if (under.isValid()
            && (selection.isEmpty() || under.row() + 1 < selection.top || under.row() + 1 > selection.bottom))
            m_menuRows = { under.row() + 1, under.row() + 1 };
        // The right button clears the block, menu or not.
        clearGridSelection();
    } else {
        m_menuRows = rowsToCopy();
    }
    const int top = m_menuRows.first;
    const GridRowDetails& details = m_model->rowDetails(top);
    const QList<QAction*> actions = menu->actions();
    actions[0]->setEnabled(top >= 1);
    actions[1]->setEnabled(!details.localAddress.empty());
    actions[2]->setEnabled(!details.remoteAddress.empty());
    actions[3]->setEnabled(details.pid != 0);
    actions[4]->setVisible(m_closeOffered);
    actions[4]->setEnabled(
        m_model->cellText(5, top) == "TCP" && !details.remoteAddress.empty() && !details.otherComputer);
    actions[5]->setVisible(m_closeOffered);
    actions[5]->setEnabled(details.pid != 0 && !details.otherComputer);
    menu->popup(event->globalPos());
    event->accept();
}
