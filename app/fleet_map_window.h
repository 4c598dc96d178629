#pragma once
// The fleet map's own window, beside the Part's map: the picture of the watched computers
// and their links, scrolled, zoomed with Ctrl+wheel. GUI thread only.

#include "views/fleet_map_picture.h"

#include <QScrollArea>

class QLabel;

class FleetMapWindow final : public QScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FleetMapWindow)

public:
    explicit FleetMapWindow(QWidget* parent = nullptr);

    // The computers as they are now; their links are matched here.
    void setComputers(std::vector<FleetMapComputer> computers);
    const std::vector<FleetMapComputer>& computers() const { return m_computers; }
    qreal zoom() const { return m_zoom; }
    const FleetLinks& links() const { return m_links; }

Q_SIGNALS:
    void closed();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void redraw();

    QLabel* m_picture;
    std::vector<FleetMapComputer> m_computers;
    FleetLinks m_links;
    qreal m_zoom = 1;
};
