#pragma once
// Draws the grid's cells: selected cells in blue, cells reading "Established" in red,
// and, when asked for, the row number of a new row in green.

#include <QStyledItemDelegate>

class GridDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridDelegate)

public:
    static constexpr QRgb kSelectedColor = 0xff0080ff; // (0, 128, 255)
    static constexpr QRgb kEstablishedColor = 0xffff0000; // (255, 0, 0)
    // The "No" cell of a row new since the last refresh, while that marking is on.
    static constexpr QRgb kNewRowColor = 0xff008000; // (0, 128, 0)
    // Cell text sits this many pixels right of and below the cell's top-left corner.
    static constexpr int kTextOffset = 2;

    explicit GridDelegate(QObject* parent = nullptr);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
