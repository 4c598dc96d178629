#pragma once
// The graphic connection map: the local computer, one branch per local address and
// one line per endpoint, composed off-screen and copied onto ListView1 in one block.

#include "scan/connection_table.h"
#include "scan/row_ordering.h" // orderMapRows
#include "scan/scan_view.h"
#include "views/map_pictures.h"

#include <QColor>
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

// What the map may add to a row's texts, each chosen in the Preferences.
struct MapLabels
{
    bool states = false; // "TCP Time_wait" rather than "TCP" on a row that is not established
    bool wildcards = false; // " (all)" after the port of a socket open on every interface
    bool traffic = false; // a connection's rates after its port, once it has them
};

// The pixels of an established row's line: 1, or with traffic on, one more for each tenfold
// of its rate (both ways) from 10 KB/s, up to 4 at 1 MB/s.
int mapLineWidth(const ConnectionRow& row, const MapLabels& labels);

// The protocol text a map row shows: its protocol, and with states on, the state of a TCP
// row that is not established, so a socket waiting to close does not look like a listener.
std::string mapProtocolText(const ConnectionRow& row, const MapLabels& labels);
// The local port text a map row shows. A socket on every interface (0.0.0.0, ::) is marked
// beside its port, not in its interface's caption, so that the interfaces stay grouped.
// With traffic on, a connection's rates follow: "https  ↑1.5 KB/s ↓200 B/s".
std::string mapPortText(const ConnectionRow& row, const MapLabels& labels);

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

// The map's colours, for the views drawn after it.
struct MapPalette
{
    QColor background;
    QColor line;
    QColor text;
    QColor highlight;
};
MapPalette mapPalette();

// Draws the map for a surface of the given size, the local computer's picture at
// y = mapTop, and returns it. clientWidth is the main window's client width, from
// which the distance to the remote computers is taken; below the window's first width
// the remote side never covers a row's own texts. At scale 2 the image has twice the
// pixels (device pixel ratio 2), drawn with the pictures' 2x versions. Stale rows (an
// earlier scan's, kept while the tables cannot be read) are drawn dimmed.
QImage composeConnectionMap(QSize surfaceSize, int clientWidth, int mapTop, const MapPictures& pictures,
    const ConnectionTable& table, const std::string& localComputerName, qreal scale = 1,
    const MapLabels& labels = {}, bool stale = false);

// Draws the map of the last finished scan onto ListView1 and keeps ScrollBar1 in step.
// GUI thread only. The map owns its table and reorders it at every run.
class ConnectionMap final
{
    Q_DISABLE_COPY_MOVE(ConnectionMap)

public:
    ConnectionMap(MapSurface* listView1, QScrollBar* scrollBar1, const MapPictures* pictures,
        std::function<int()> clientWidth);
    ~ConnectionMap();

    // Takes over a finished table; later runs draw and reorder it.
    void setTable(std::shared_ptr<MapTable> table);
    // What the next runs add to the rows' texts.
    void setLabels(const MapLabels& labels) { m_labels = labels; }
    // The next runs draw the table as an earlier scan's: the last one could not read.
    void setStale(bool stale) { m_stale = stale; }
    bool stale() const { return m_stale; }
    const MapTable& table() const { return *m_table; }

    // One complete run: order, count, scroll bar, compose, copy onto the surface.
    void DrawConnectionMap();

    // One line step down or up, kept within ScrollBar1's range.
    void FormMouseWheelDown();
    void FormMouseWheelUp();

    // While ScrollBar1 is shown it holds the keyboard focus, so the keys scroll the map.
    void FormPaint();
    // Page Up and Page Down move by the surface's height in whole rows, Home and End to
    // either end; ScrollBar1 keeps its page step of 1. False for other keys.
    bool scrollByKey(int key);

    // The tooltip for a point of ListView1, after the last run; empty off the rows.
    QString toolTipAt(QPoint point) const;
    // The row drawn at a point of ListView1 after the last run; null off the rows. Valid
    // until the next table is set.
    const ConnectionRow* rowAt(QPoint point) const;

private:
    QPointer<MapSurface> m_listView1;
    QPointer<QScrollBar> m_scrollBar1;
    const MapPictures* m_pictures;
    std::function<int()> m_clientWidth;
    std::shared_ptr<MapTable> m_table;
    int m_mapTop = 0; // where the last run drew the computer's picture
    MapLabels m_labels;
    bool m_stale = false;
};
