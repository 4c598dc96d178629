#include "app/fleet_map_window.h"

#include "views/connection_map.h"

#include <QCloseEvent>
#include <QLabel>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

FleetMapWindow::FleetMapWindow(QWidget* parent)
    : QScrollArea(parent)
    , m_picture(new QLabel)
{
    setObjectName(QStringLiteral("FleetMap"));
    setWindowTitle(QStringLiteral("VELTRAN - Fleet map"));
    setWindowFlag(Qt::Window);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, mapPalette().background);
    setPalette(colours);
    setBackgroundRole(QPalette::Window);
    m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(m_picture);
    resize(800, 600);
}

void FleetMapWindow::setComputers(std::vector<FleetMapComputer> computers)
{
    m_computers = std::move(computers);
    std::vector<FleetComputer> plain;
    for (const FleetMapComputer& entry : m_computers)
        plain.push_back(entry.computer);
    m_links = linkFleet(plain);
    redraw();
}

void FleetMapWindow::redraw()
{
    m_picture->setPixmap(QPixmap::fromImage(composeFleetMap(m_computers, m_links, m_zoom)));
    m_picture->adjustSize();
}

void FleetMapWindow::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    m_zoom = std::clamp(m_zoom * std::pow(1.25, steps), 0.25, 4.0);
    redraw();
    event->accept();
}

void FleetMapWindow::closeEvent(QCloseEvent* event)
{
    QScrollArea::closeEvent(event);
    Q_EMIT closed();
}
