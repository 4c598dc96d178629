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
    if (border.alpha() == 0 && fill.alpha() == 0)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(border.alpha() ? QPen(border, 1) : QPen(Qt::NoPen));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void BandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter);
    const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : underMouse() ? QIcon::Active : QIcon::Normal;
    const QPixmap pixmap = icon().pixmap(iconSize(), devicePixelRatioF(), mode, isChecked() ? QIcon::On : QIcon::Off);
    if (pixmap.isNull())
        return;
    const QSize size = pixmap.deviceIndependentSize().toSize();
    painter.drawPixmap(
        QRect(QPoint((width() - size.width() + 1) / 2, (height() - size.height() + 1) / 2), size), pixmap);
}
