#pragma once
// The graphic connection map: the local computer, one branch per local address and
// one line per endpoint, composed off-screen and copied onto ListView1 in one block.

#include "scan/connection_table.h"
#include "scan/scan_view.h"
#include "views/map_pictures.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>
#include <string>

class MapSurface;
class QScrollBar;

struct MapCounters
{
    int establishedCount = 0;
    int interfaceCount = 0;
};

// Orders rows 1..count in place for display: descending local host, and within one
// host the established rows first. The selection prefers the last established
// candidate, so established rows of one host rotate at every call; users see that
// and it is kept.
void orderMapRows(ConnectionTable& table);

// The protocol text a map row shows: "UDP", "TCP" for an established connection, and
// for every other TCP row the protocol and its state, such as "TCP Time_wait".
std::string mapProtocolText(const ConnectionRow& row);

// A socket on every interface (0.0.0.0, ::) whose address was replaced by a name gets
// " (all)" after it, so it no longer reads like the machine's own address.
void markWildcardHosts(ConnectionTable& table);

// The row (1..count) drawn at a point of the surface for a map drawn at mapTop, or 0.
int mapRowAt(const MapPictures& pictures, const ConnectionTable& table, int mapTop, QPoint point);
// The tooltip of a map row: protocol and state, and each end's name with its address.
QString mapRowToolTip(const ConnectionRow& row);

// Established rows, and interfaces as runs of equal local host in the current order.
MapCounters countMapRows(const ConnectionTable& table);

// Height of the whole map, of which the surface shows a band.
int mapContentHeight(const MapPictures& pictures, const MapCounters& counters, int rowCount);

// The map's text font: "MS Sans Serif" 11 pixels, or a sans face of this system.
QFont mapFont();

// Draws the map for a surface of the given size, the local computer's picture at
// y = mapTop, and returns it. clientWidth is the main window's client width, from
// which the distance to the remote computers is taken. At scale 2 the image has twice
// the pixels (device pixel ratio 2), drawn with the pictures' 2x versions.
QImage composeConnectionMap(QSize surfaceSize, int clientWidth, int mapTop, const MapPictures& pictures,
    const ConnectionTable& table, const std::string& localComputerName, qreal scale = 1);

// Where the next run would draw: the surface's size, the main window's client width,
// ScrollBar1's position and the surface's scale.
struct MapFrame
{
    QSize surfaceSize;
    int clientWidth = 0;
    int scrollPosition = 0;
    qreal scale = 1;
};

// A map drawn ahead of its first run, on another thread, with what it was drawn for.
struct DrawnMap
{
    QSize surfaceSize;
    int clientWidth = 0;
    qreal scale = 1;
    int mapTop = 0;
    QImage picture; // null: nothing was drawn ahead
};

// The picture the first run after ConnectionMap::setTable(table) draws in frame, if
// ScrollBar1 then holds the position it has in frame. Any thread; the table is not changed.
DrawnMap drawMapAhead(const MapTable& table, const MapFrame& frame, const MapPictures& pictures);

// Draws the map of the last finished scan onto ListView1 and keeps ScrollBar1 in step.
// GUI thread only. The map owns its table and reorders it at every run.
class ConnectionMap final
{
    Q_DISABLE_COPY_MOVE(ConnectionMap)

public:
    ConnectionMap(MapSurface* listView1, QScrollBar* scrollBar1, const MapPictures* pictures,
        std::function<int()> clientWidth);
    ~ConnectionMap();

    // Takes over a finished table; later runs draw and reorder it. Wildcard local hosts
    // are marked here (see markWildcardHosts). The first run shows the picture drawn
    // ahead instead of composing one, when it would compose that very picture.
    void setTable(std::shared_ptr<MapTable> table, DrawnMap drawnAhead = {});
    const MapTable& table() const { return *m_table; }

    // One complete run: order, count, scroll bar, compose, copy onto the surface.
    void DrawConnectionMap();
    // Where the next run would draw, as drawMapAhead needs it.
    MapFrame frame() const;

    // One line step down or up, kept within ScrollBar1's range.
    void FormMouseWheelDown();
    void FormMouseWheelUp();

    // While ScrollBar1 is shown it holds the keyboard focus, so the keys scroll the map.
    void FormPaint();

    // The tooltip for a point of ListView1, after the last run; empty off the rows.
    QString toolTipAt(QPoint point) const;

private:
    QPointer<MapSurface> m_listView1;
    QPointer<QScrollBar> m_scrollBar1;
    const MapPictures* m_pictures;
    std::function<int()> m_clientWidth;
    std::shared_ptr<MapTable> m_table;
    int m_mapTop = 0; // where the last run drew the computer's picture
    DrawnMap m_drawnAhead;
    int m_ordersSinceTable = 0; // the runs that ordered the table since setTable
};
