#include "views/map_surface.h"

#include <QHelpEvent>
#include <QLoggingCategory>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QThread>
#include <QToolTip>

// Off unless asked for (QT_LOGGING_RULES="veltran.startup.debug=true"): the start-up benchmark
// times the program up to this line.
Q_LOGGING_CATEGORY(lcStartup, "veltran.startup", QtWarningMsg)

MapSurface::MapSurface(QWidget* parent)
    : QWidget(parent)
{
    // Every pixel is painted here: the map, and black wherever no map lies.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
}

bool MapSurface::enterDrawing()
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_drawing)
        return false;
    m_drawing = true;
    return true;
}

void MapSurface::leaveDrawing()
{
    Q_ASSERT(QThread::currentThread() == thread());
    m_drawing = false;
}

void MapSurface::present(const QImage& picture)
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Shared, not copied: a finished map is never drawn on again.
    m_map = picture;
    update();
}

void MapSurface::paintEvent(QPaintEvent* event)
{
    const bool entered = enterDrawing();
    QPainter painter(this);
    const QRect dirty = event->rect();
    const QRect mapRect = QRect(QPoint(), m_map.deviceIndependentSize().toSize()) & dirty;
    const qreal ratio = m_map.devicePixelRatio();
    if (!mapRect.isEmpty()) // pixel for pixel, from the map's own pixels at a 2x scale
        painter.drawImage(QRectF(mapRect), m_map,
            QRectF(
                mapRect.x() * ratio, mapRect.y() * ratio, mapRect.width() * ratio, mapRect.height() * ratio));
    for (const QRect& rest : QRegion(dirty).subtracted(QRegion(mapRect)))
        painter.fillRect(rest, Qt::black);
    if (!m_firstMapPainted && !m_map.isNull()) {
        m_firstMapPainted = true;
        qCDebug(lcStartup, "first map painted");
    }
    if (entered)
        leaveDrawing();
}

bool MapSurface::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = m_toolTipSource ? m_toolTipSource(help->pos()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
