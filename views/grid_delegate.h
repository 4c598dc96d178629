#pragma once
// Draws the grid's cells: selected cells in blue, cells reading "Established" in red.

#include <QStyledItemDelegate>

class GridDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridDelegate)

public:
    static constexpr QRgb kSelectedColor = 0xff0080ff; // (0, 128, 255)
    static constexpr QRgb kEstablishedColor = 0xffff0000; // (255, 0, 0)
    // Cell text sits this many pixels right of and below the cell's top-left corner.
    static constexpr int kTextOffset = 2;

    explicit GridDelegate(QObject* parent = nullptr);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
