#include "app/cool_bar.h"

#include <QPaintEvent>
#include <QPainter>

CoolBar::CoolBar(const QPixmap& tile, QWidget* parent)
    : QWidget(parent)
    , m_tile(tile)
{
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CoolBar::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (m_tile.isNull())
        painter.fillRect(event->rect(), Qt::black);
    else
        painter.drawTiledPixmap(rect(), m_tile);
    // A thin etched edge under the band, as a band bar draws it.
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}
