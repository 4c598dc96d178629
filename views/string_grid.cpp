#include "views/string_grid.h"

#include "resources/ui_font.h"

#include "views/block_copy.h"
#include "views/grid_delegate.h"
#include "views/grid_model.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThread>

#include <algorithm>

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

} // namespace

StringGrid::StringGrid(QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(this))
{
    setObjectName(QStringLiteral("StringGrid1"));
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

void StringGrid::setGridRows(std::vector<GridRow> rows)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const int oldCount = m_model->rowCount();
    const QModelIndex current = currentIndex();
    const int currentRow = current.row();
    const int currentColumn = current.column();
    // A refresh must not pull the view along to a current cell the user scrolled away from.
    const QPoint scrollPosition(horizontalScrollBar()->value(), verticalScrollBar()->value());

    m_model->setGridRows(std::move(rows));
    const int newCount = m_model->rowCount();
    if (newCount == oldCount)
        return;

    if (currentRow < 0 || currentColumn < 0) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex collapsed = m_model->index(std::min(currentRow, newCount - 1), currentColumn);
    selectionModel()->setCurrentIndex(collapsed, QItemSelectionModel::ClearAndSelect);
    horizontalScrollBar()->setValue(scrollPosition.x());
    verticalScrollBar()->setValue(scrollPosition.y());
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
    const int width = this->width() - headerCellLeft(kLastColumn);
    const int wanted = width > 0 ? width : 1;
    if (gridColumnWidth(kLastColumn) != wanted)
        setGridColumnWidth(kLastColumn, wanted);
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
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
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
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    Q_EMIT statusTextRequested(QStringLiteral("Selected block was copied into Clipboard"));
}
