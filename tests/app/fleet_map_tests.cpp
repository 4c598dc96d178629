// The fleet map from the window: offered once more computers are watched, polling their
// agents (real snmpd in this executable's private namespace) while it is open.
#include "app/fleet_map_window.h"
#include "app/program.h"
#include "app/tform1.h"
#include "settings/options_store.h"
#include "tests/common/fake_snmp_agent.h"
#include "tests/common/snmpd.h"
#include "tests/common/wait_until.h"
#include "tests/common/window_test.h"
#include "views/grid_model.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <gtest/gtest.h>

#include <atomic>

namespace {

class FleetMapTest : public WindowTest
{
};

TEST_F(FleetMapTest, OfferedForMoreComputersAndDrawsEachAgentsComputer)
{
    testsnmp::SnmpdProcess first;
    testsnmp::SnmpdProcess second;
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true;
    ASSERT_EQ(first.start(config), "");
    ASSERT_EQ(second.start(config), "");
    create();
    program->show();
    finishScan(15000);
    QAction* entry = form().View1->findChild<QAction*>(QStringLiteral("FleetMap1"));
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry->isVisible()) << "one computer: the window as ever";
    EXPECT_EQ(form().gridModel()->columnCount(), 7);

    program->store().change([&](Options& options) {
        options.moreAgents
            = { { first.peer(), first.v2cOptions(), true }, { second.peer(), second.v3Options(), true },
                  { "udp:127.0.0.1:9", "-v2c -c public -t 0.3 -r 0", false } };
    });
    ASSERT_TRUE(entry->isVisible());
    // The grid gains the Computer column, and the agents' rows come to it from their polls.
    EXPECT_EQ(form().gridModel()->computerColumn(), 7);
    const std::string firstName = "veltran-agent-" + std::to_string(first.port());
    EXPECT_TRUE(waitUntil(
        [&] {
            form().scanNow();
            const GridModel& grid = *form().gridModel();
            for (int row = 1; row < grid.gridRowCount(); ++row) {
                if (grid.cellText(7, row) == firstName)
                    return true;
            }
            return false;
        },
        15000));
    entry->trigger();
    FleetMapWindow* map = program->fleetMap();
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(map->isVisible());
    // Both agents answer (the switched-off one is not asked); each sees the other's agent
    // socket on loopback, which stays within its own computer.
    const auto answered = [&] {
        const auto& shown = map->computers();
        return shown.size() == 3 && std::ranges::none_of(shown, [](const FleetMapComputer& c) {
            return c.stale || !c.status.empty() || c.computer.endpoints.empty();
        });
    };
    EXPECT_TRUE(waitUntil(answered, 15000));
    ASSERT_EQ(map->computers().size(), 3u);
    // The Watch choice, this computer, first: from the window's own scans, with its addresses.
    const FleetComputer& own = map->computers()[0].computer;
    EXPECT_EQ(own.name, "testbox");
    HostAddress loopback;
    loopback.address = { 127, 0, 0, 1 };
    EXPECT_NE(std::ranges::find(own.addresses, loopback), own.addresses.end());
    EXPECT_TRUE(std::ranges::any_of(own.endpoints, [&](const FleetEndpoint& endpoint) {
        return endpoint.protocol == FleetProtocol::Udp && endpoint.localPort == first.port();
    })) << "the agents' sockets are this computer's too, in one namespace";
    EXPECT_EQ(map->computers()[1].computer.name, "veltran-agent-" + std::to_string(first.port()));
    EXPECT_EQ(map->computers()[2].computer.name, "veltran-agent-" + std::to_string(second.port()));

    // Its agent gone, a computer's rows stay, dimmed, with the reason.
    second.kill();
    EXPECT_TRUE(waitUntil([&] { return map->computers().size() == 3 && map->computers()[2].stale; }, 15000));
    EXPECT_NE(map->computers()[2].status.find("Timeout"), std::string::npos) << map->computers()[2].status;
    EXPECT_FALSE(map->computers()[2].computer.endpoints.empty());
    map->close();
}

// The map draws the polls the grid's feed makes: opening it asks no agent more often. The
// Watch choice comes from the window's scans, and is dimmed with why while they fail.
TEST_F(FleetMapTest, OpenMapAsksNoAgentAgainAndDimsAFailingWatchChoice)
{
    const fakesnmp::Oid sysName { 1, 3, 6, 1, 2, 1, 1, 5, 0 };
    const fakesnmp::Next view = fakesnmp::table({ { sysName, fakesnmp::octets("counted") } });
    std::atomic<int> polls = 0; // each poll begins with a get of sysName.0
    fakesnmp::Agent agent([&](const fakesnmp::Request& request) {
        if (request.type == 0xa0 && request.names.size() == 1 && request.names[0] == sysName)
            ++polls;
        return fakesnmp::response(request, view);
    });
    create();
    program->show();
    program->store().change([&](Options& options) {
        options.moreAgents = { { agent.peer(), "-v2c -c public", true } };
    });
    ASSERT_TRUE(waitUntil([&] { return polls > 0; }, 15000));
    const auto pollsDuring = [&](int milliseconds) {
        const int before = polls;
        QElapsedTimer timer;
        timer.start();
        waitUntil([&] { return timer.elapsed() >= milliseconds; }, milliseconds + 1000);
        return polls - before;
    };
    const int gridAlone = pollsDuring(3000);
    form().View1->findChild<QAction*>(QStringLiteral("FleetMap1"))->trigger();
    const int withMap = pollsDuring(3000);
    EXPECT_GE(gridAlone, 2);
    EXPECT_LE(withMap, gridAlone + 1) << "the map polled the agent again";
    FleetMapWindow* map = program->fleetMap();
    ASSERT_TRUE(
        waitUntil([&] { return map->computers().size() == 2 && map->computers()[1].status.empty(); }, 5000));
    EXPECT_EQ(map->computers()[1].computer.name, "counted");

    fakesnmp::Agent silent([](const fakesnmp::Request&) { return std::string(); });
    program->store().change([&](Options& options) {
        options.watchAgent = true;
        options.watchHost = silent.peer();
        options.watchSnmpOptions = "-v2c -c public -t 0.3 -r 0";
    });
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto& shown = map->computers();
            return !shown.empty() && shown[0].stale && shown[0].status.find("Timeout") != std::string::npos;
        },
        15000))
        << (map->computers().empty() ? std::string("no box") : map->computers()[0].status);

    // A slower refresh reaches the agents' polls too, not only the Watch choice's scans.
    program->store().change([](Options& options) { options.refreshText = "5"; });
    EXPECT_LE(pollsDuring(4500), 2) << "the polls kept the refresh time they began with";
    map->close();
}

} // namespace
