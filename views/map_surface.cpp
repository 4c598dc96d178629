#include "views/map_surface.h"

#include <QHelpEvent>
#include <QLoggingCategory>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QThread>
#include <QToolTip>

#include <cmath>
#include <cstring>

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

QRect changedBand(const QImage& before, const QImage& after)
{
    const QRect whole(QPoint(), after.deviceIndependentSize().toSize());
    if (before.size() != after.size() || before.format() != after.format()
        || before.devicePixelRatio() != after.devicePixelRatio())
        return whole;
    const auto lineBytes
        = static_cast<std::size_t>(after.width()) * static_cast<std::size_t>(after.depth() / 8);
    const auto differs
        = [&](int y) { return std::memcmp(before.constScanLine(y), after.constScanLine(y), lineBytes) != 0; };
    int first = 0;
    while (first < after.height() && !differs(first))
        ++first;
    if (first == after.height())
        return {};
    int last = after.height() - 1;
    while (last > first && !differs(last))
        --last;
    const qreal ratio = after.devicePixelRatio();
    const int top = static_cast<int>(std::floor(first / ratio));
    const int bottom = static_cast<int>(std::ceil((last + 1) / ratio));
    return QRect(0, top, whole.width(), bottom - top);
}

void MapSurface::present(const QImage& picture)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const QRect changed = changedBand(m_map, picture);
    // Shared, not copied: a finished map is never drawn on again.
    m_map = picture;
    if (!changed.isEmpty())
        update(changed);
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
