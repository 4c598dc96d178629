#include "views/grid_delegate.h"

#include "scan/tcp_states.h"
#include "views/grid_model.h"

#include <QPainter>

#include <algorithm>

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
    if (!index.data(GridModel::kStaleRole).toBool())
        drawCellText(painter, option.rect, text, option.palette.color(QPalette::Text));

    // Selection wins over the state colour. The comparison is exact and case-sensitive:
    // the scan writes state names as whole texts.
    const bool stale = index.data(GridModel::kStaleRole).toBool();
    if (option.state.testFlag(QStyle::State_Selected)) {
        painter->fillRect(option.rect, QColor::fromRgb(kSelectedColor));
        drawCellText(painter, option.rect, text, Qt::white);
    } else if (text == QLatin1String(kEstablishedState)) {
        QRect band = option.rect;
        if (index.column() == kGridColumnCount - 1)
            band.setWidth(std::min(band.width(), kEstablishedBandWidth));
        painter->fillRect(band, QColor::fromRgb(stale ? kStaleEstablishedColor : kEstablishedColor));
        drawCellText(painter, option.rect, text, Qt::white);
    } else if (stale) {
        drawCellText(painter, option.rect, text, QColor::fromRgb(kStaleTextColor));
    } else if (index.data(GridModel::kNewRowRole).toBool()) {
        painter->fillRect(option.rect, QColor::fromRgb(kNewRowColor));
        drawCellText(painter, option.rect, text, Qt::white);
    }
    painter->restore();
}
