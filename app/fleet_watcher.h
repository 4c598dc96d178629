#pragma once
// The watched fleet as its map draws it: the other computers from the grid's feed, which
// polls each agent once per refresh for both, and the Watch choice from the window's own
// scans. Nothing is polled here; each poll that ends asks for a redraw on the GUI thread.

#include "app/thread_retirement.h"
#include "scan/fleet_feed.h"
#include "scan/scan_view.h"
#include "views/fleet_map_picture.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class FleetWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FleetWatcher)

public:
    FleetWatcher(std::shared_ptr<FleetFeed> feed, ThreadRetirement& retirement, QObject* parent = nullptr);
    // No poll reaches this object any more; the feed, if this held it last, is let go
    // through the retirement, as its poll thread is joined.
    ~FleetWatcher() override;

    const FleetFeed* feed() const { return m_feed.get(); }
    // Every computer as the map draws it: the Watch choice first, once given, then each
    // agent's last good rows, dimmed while they are stale.
    std::vector<FleetMapComputer> computers() const;
    // The Watch choice as the window's last finished scan read it; null: none yet. An
    // agent's addresses are those its rows stand at, as its address table is not read.
    // GUI thread.
    void setWatched(std::shared_ptr<const MapTable> table, bool agent);
    // Why the Watch choice's last scan could not read its tables; "" when it could. GUI thread.
    void setWatchedFailure(std::string failure);

Q_SIGNALS:
    // Some agents' polls ended; at most five times a second.
    void updated();

private:
    void scheduleUpdate();

    std::shared_ptr<FleetFeed> m_feed;
    ThreadRetirement& m_retirement;
    std::shared_ptr<const MapTable> m_watched; // GUI thread
    bool m_watchedAgent = false;
    std::string m_watchedFailure;
    bool m_updatePending = false;
};
