#include "app/cool_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOption>

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

BandStyle::BandStyle()
    : QProxyStyle() // over the application's style, which it does not own
{
}

int BandStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_ToolBarFrameWidth:
    case PM_ToolBarItemMargin:
    case PM_ToolBarItemSpacing:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void BandStyle::drawPrimitive(
    PrimitiveElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    if (element == PE_PanelToolBar)
        return; // the band's picture shows through
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

BandButton::BandButton(QWidget* parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
}

void BandButton::paintFrame(QPainter& painter) const
{
    const bool hovered = underMouse() && isEnabled();
    QColor border = Qt::transparent;
    QColor fill = Qt::transparent;
    if (hovered) {
        border = QColor(255, 255, 255, 90);
        fill = QColor(255, 255, 255, 28);
    }
    if (isChecked()) {
        border = QColor(0, 0, 0, 160);
        fill = QColor(0, 0, 0, 90);
    }
    if (isDown())
        fill = QColor(0, 0, 0, 120);
    if (hasFocus())
        border = QColor(255, 255, 255, 220); // reached with Tab: the keyboard's place shows
    if (border.alpha() == 0 && fill.alpha() == 0)
        return;
    // A frame with rounded corners, from rectangles and lines: an antialiased rounded path
    // this size is filled in more spans than Qt blends on one thread, and its first fill
    // started Qt's pool of painting threads during the window's first paint.
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.fillRect(QRect(QPoint(2, 1), QPoint(right - 2, bottom - 1)), fill);
    painter.fillRect(QRect(QPoint(1, 2), QPoint(1, bottom - 2)), fill);
    painter.fillRect(QRect(QPoint(right - 1, 2), QPoint(right - 1, bottom - 2)), fill);
    if (border.alpha() == 0)
        return;
    painter.setPen(border);
    painter.drawLine(2, 0, right - 2, 0);
    painter.drawLine(2, bottom, right - 2, bottom);
    painter.drawLine(0, 2, 0, bottom - 2);
    painter.drawLine(right, 2, right, bottom - 2);
    painter.drawPoints(QPolygon {
        QPoint(1, 1), QPoint(right - 1, 1), QPoint(1, bottom - 1), QPoint(right - 1, bottom - 1) });
}

void BandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter);
    const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : underMouse() ? QIcon::Active : QIcon::Normal;
    const QPixmap pixmap
        = icon().pixmap(iconSize(), devicePixelRatioF(), mode, isChecked() ? QIcon::On : QIcon::Off);
    if (pixmap.isNull())
        return;
    const QSize size = pixmap.deviceIndependentSize().toSize();
    painter.drawPixmap(
        QRect(QPoint((width() - size.width() + 1) / 2, (height() - size.height() + 1) / 2), size), pixmap);
}
