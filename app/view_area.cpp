#include "app/view_area.h"

#include <QEvent>
#include <QScrollBar>

ViewArea::ViewArea(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
}

void ViewArea::setChildren(QWidget* surface, QScrollBar* scrollBar)
{
    m_surface = surface;
    m_scrollBar = scrollBar;
    // Showing or hiding the scroll bar resizes the surface at once, as the map's
    // next step expects.
    m_scrollBar->installEventFilter(this);
    relayout();
}

void ViewArea::setGrid(QWidget* grid)
{
    m_grid = grid;
    relayout();
}

void ViewArea::relayout()
{
    if (!m_surface)
        return;
    const QRect all = rect();
    if (m_grid)
        m_grid->setGeometry(all);
    m_scrollBar->setGeometry(all.width() - kScrollBarWidth, 0, kScrollBarWidth, all.height());
    m_surface->setGeometry(surfaceRect(all.size()));
}

QRect ViewArea::surfaceRect(QSize areaSize) const
{
    const bool bar = m_scrollBar && m_scrollBar->isVisibleTo(this);
    return QRect(0, 0, bar ? areaSize.width() - kScrollBarWidth : areaSize.width(), areaSize.height());
}

void ViewArea::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

bool ViewArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scrollBar
        && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        relayout();
    return QWidget::eventFilter(watched, event);
}
