#pragma once
// Draws the grid's cells: selected cells in blue, cells reading "Established" in red,
// and, when asked for, the row number of a new row in green. Rows of an earlier scan,
// kept while the tables cannot be read, are greyed.

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
    static constexpr QRgb kStaleTextColor = 0xff808080; // (128, 128, 128)
    static constexpr QRgb kStaleEstablishedColor = 0xffd8a0a0; // a faded red
    // Cell text sits this many pixels right of and below the cell's top-left corner.
    static constexpr int kTextOffset = 2;
    // The red of an "Established" cell in the stretched last column ends at that column's
    // first width: a maximised window would otherwise show a red band across the screen.
    static constexpr int kEstablishedBandWidth = 115;

    explicit GridDelegate(QObject* parent = nullptr);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
