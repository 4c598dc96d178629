#pragma once
// The fleet map: one box per watched computer, in a grid, with its listeners and the
// connections that are linked to another computer, a line between the two ends of each
// link, and the hosts no watched computer has grouped at the box's right edge. In the
// connection map's colours and font; composed off-screen, for a widget to blit.

#include "scan/fleet_links.h"

#include <QImage>

#include <string>
#include <vector>

struct FleetMapComputer
{
    FleetComputer computer;
    bool stale = false; // its agent did not answer the last poll: drawn dimmed
    std::string status; // "" when answering; "Timeout since 14:02:07" and the like
};

// Where a box and its rows are, for the lines and for the tests.
struct FleetMapLayout
{
    static constexpr int kBoxWidth = 260;
    static constexpr int kGap = 90; // between boxes: room for the lines and the grouped hosts
    static constexpr int kMaxRows = 40; // rows a box lists; "+N more" after them
    int columns = 1;
    std::vector<QRect> boxes;
    QSize size;
};

FleetMapLayout layoutFleetMap(const std::vector<FleetMapComputer>& computers, const FleetLinks& links);

// The whole map at zoom (1: the map's own sizes).
QImage composeFleetMap(
    const std::vector<FleetMapComputer>& computers, const FleetLinks& links, qreal zoom = 1);
