#include "views/grid_delegate.h"

#include "scan/tcp_states.h"
#include "views/grid_model.h"

#include <QPainter>

namespace {

void drawCellText(QPainter* painter, const QRect& cell, const QString& text, const QColor& color)
{
    const QRect textRect = cell.adjusted(GridDelegate::kTextOffset, GridDelegate::kTextOffset, 0, 0);
    painter->setPen(color);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

} // namespace

GridDelegate::GridDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void GridDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);

    // Default drawing, with the text where the overdrawn cells put it, so that a cell's
    // text does not move when it is selected.
    painter->fillRect(option.rect, option.palette.brush(QPalette::Base));
    drawCellText(painter, option.rect, text, option.palette.color(QPalette::Text));

    // Selection wins over the state colour. The comparison is exact and case-sensitive:
    // the scan writes state names as whole texts.
    if (option.state.testFlag(QStyle::State_Selected)) {
        painter->fillRect(option.rect, QColor::fromRgb(kSelectedColor));
        drawCellText(painter, option.rect, text, Qt::white);
    } else if (text == QLatin1String(kEstablishedState)) {
        painter->fillRect(option.rect, QColor::fromRgb(kEstablishedColor));
        drawCellText(painter, option.rect, text, Qt::white);
    } else if (index.data(GridModel::kNewRowRole).toBool()) {
        painter->fillRect(option.rect, QColor::fromRgb(kNewRowColor));
        drawCellText(painter, option.rect, text, Qt::white);
    }
    painter->restore();
}
