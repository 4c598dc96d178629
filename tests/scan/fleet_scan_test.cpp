// The grid of several computers: this computer through the agent module and two snmpd
// agents, all in a private network namespace; the Computer of each row, the filter's
// host: on it, the log naming it, and a stopped agent's rows kept stale with its reason.

#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/fleet_scan.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/scan_view.h"
#include "scan/shell_words.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/snmpd.h"
#include "tests/common/wait_until.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

struct Grid
{
    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
    std::string status;
};

// Records the grid with its details, which RecordingScanView leaves out.
class GridView final : public ScanView
{
public:
    void showView(bool) override { }
    void setStatusText(const std::string& text) override { grid.status = text; }
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details) override
    {
        grid.rows = std::move(rows);
        grid.details = std::move(details);
    }
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    void showCapacityMessage(int notShown) override { capacityMessages.emplace_back("", notShown); }
    void showComputerCapacityMessage(const std::string& computer, int notShown) override
    {
        capacityMessages.emplace_back(computer, notShown);
    }
    Grid grid;
    std::vector<std::pair<std::string, int>> capacityMessages;
};

class FleetScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(startNetworking(m_agent), "");
        for (auto& snmpd : m_snmpd) {
            testsnmp::SnmpdConfig config;
            config.ownProcessesOnly = true;
            ASSERT_EQ(snmpd.start(config), "");
        }
        std::vector<FleetPoller::Agent> agents;
        for (auto& snmpd : m_snmpd) {
            FleetPoller::Agent agent { snmpd.peer(), {}, {} };
            ASSERT_TRUE(splitShellWords(snmpd.v2cOptions() + " -t 0.3 -r 0", agent.snmpArguments));
            agents.push_back(std::move(agent));
        }
        m_fleet = std::make_unique<FleetScan>(std::make_shared<FleetFeed>(std::move(agents), 500),
            std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &systemNameServices()));
        ASSERT_TRUE(waitUntil([this] {
            const auto computers = m_fleet->feed().snapshot();
            return std::ranges::all_of(
                computers, [](const auto& computer) { return computer.lastGood != nullptr; });
        }));
    }

    GridView scanned(Options options)
    {
        options.lookupHostNames = false;
        options.lookupPortNames = false;
        GridView view;
        m_fleet->run(m_agent, systemNameServices(), options, m_resolver, m_log, view, m_table);
        return view;
    }
    Grid scan(Options options) { return scanned(std::move(options)).grid; }

    static std::string agentName(const testsnmp::SnmpdProcess& snmpd)
    {
        return "veltran-agent-" + std::to_string(snmpd.port());
    }

    // Open before the first polls, so every computer's rows hold them.
    const loopback::Socket m_listener = loopback::tcpListener("127.0.0.1", 0);
    const loopback::Socket m_client = loopback::tcpClient("127.0.0.1", m_listener.localPort());
    const loopback::Socket m_server = loopback::acceptOne(m_listener);
    MibAgent m_agent;
    testsnmp::SnmpdProcess m_snmpd[2];
    std::unique_ptr<FleetScan> m_fleet;
    NameResolver m_resolver { systemNameServices() };
    ConnectionLog m_log;
    ConnectionTable m_table;
};

std::string thisComputer()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

TEST_F(FleetScanTest, EachRowNamesItsComputerAndHostFiltersOnIt)
{
    const int port = m_listener.localPort();
    const std::filesystem::path logFile = std::filesystem::temp_directory_path() / "fleet-scan-test.log";
    std::filesystem::remove(logFile);
    m_log.setActiveLogName(logFile.string());

    Options options;
    options.logEnabled = true;
    const Grid all = scan(options);
    ASSERT_EQ(all.rows.size(), all.details.size());
    std::set<std::string> computers;
    for (std::size_t i = 0; i < all.rows.size(); ++i) {
        EXPECT_EQ(all.rows[i][0], std::to_string(i + 1)) << "the No cells count across the computers";
        computers.insert(all.details[i].computer);
        EXPECT_FALSE(all.details[i].stale);
        // The window's actions reach the Watch choice's rows alone.
        EXPECT_EQ(all.details[i].otherComputer, all.details[i].computer != thisComputer()) << i;
    }
    // The three computers share the namespace's sockets: the listener is a row of each.
    EXPECT_EQ(
        computers, (std::set<std::string> { thisComputer(), agentName(m_snmpd[0]), agentName(m_snmpd[1]) }));
    std::set<std::string> listening;
    for (std::size_t i = 0; i < all.rows.size(); ++i) {
        if (all.rows[i][2] == std::to_string(port) && all.rows[i][6] == "Listening")
            listening.insert(all.details[i].computer);
    }
    EXPECT_EQ(listening, computers);

    options.filterText = "host:" + agentName(m_snmpd[1]);
    const Grid one = scan(options);
    ASSERT_FALSE(one.details.empty());
    for (const GridRowDetails& details : one.details)
        EXPECT_EQ(details.computer, agentName(m_snmpd[1]));
    // The count covers the computers that matched nothing, this one (the Watch choice) too.
    ASSERT_EQ(one.status.rfind("Filter: ", 0), 0U) << one.status;
    const int hidden = std::stoi(one.status.substr(8));
    EXPECT_NEAR(hidden + one.rows.size(), all.rows.size(), 6)
        << one.status; // sockets come and go between scans
    options.filterText = "!host:" + agentName(m_snmpd[1]) + " port:" + std::to_string(port) + " state:listen";
    EXPECT_EQ(scan(options).rows.size(), 2U) << "the listener of the two other computers";

    std::ifstream in(logFile);
    std::stringstream log;
    log << in.rdbuf();
    for (const std::string& computer : computers)
        EXPECT_NE(log.str().find("]  " + computer + "  127.0.0.1  (" + std::to_string(port) + ")"),
            std::string::npos)
            << computer << " in " << log.str();
    std::filesystem::remove(logFile);
}

TEST_F(FleetScanTest, AStoppedAgentsRowsStayStaleWithItsReason)
{
    m_snmpd[0].kill();
    ASSERT_TRUE(
        waitUntil([this] { return m_fleet->feed().snapshot()[0].status.state == AgentState::Stale; }));
    const Grid grid = scan(Options());
    int staleRows = 0;
    for (const GridRowDetails& details : grid.details) {
        EXPECT_EQ(details.stale, details.computer == agentName(m_snmpd[0])) << details.computer;
        staleRows += details.stale ? 1 : 0;
    }
    EXPECT_GT(staleRows, 0) << "its last rows are kept, never shown as an empty machine";
    EXPECT_NE(grid.status.find(agentName(m_snmpd[0]) + ": "), std::string::npos) << grid.status;
    EXPECT_NE(grid.status.find("its rows are stale"), std::string::npos) << grid.status;
    EXPECT_EQ(grid.status.find(agentName(m_snmpd[1]) + ": "), std::string::npos) << grid.status;
}

TEST_F(FleetScanTest, EachComputerOverflowingItsTableIsToldOnceByName)
{
    Options options;
    options.tableSize = 2; // every computer holds more endpoints
    const GridView first = scanned(options);
    std::set<std::string> told;
    for (const auto& [computer, notShown] : first.capacityMessages) {
        EXPECT_GT(notShown, 0);
        told.insert(computer);
    }
    EXPECT_EQ(first.capacityMessages.size(), 3U);
    EXPECT_EQ(told, (std::set<std::string> { thisComputer(), agentName(m_snmpd[0]), agentName(m_snmpd[1]) }));
    const GridView second = scanned(options);
    EXPECT_TRUE(second.capacityMessages.empty()) << "told when an overflow begins, not at every scan";
    // The status bar keeps each computer's count while the overflow lasts.
    const std::string& status = second.grid.status;
    for (const auto& snmpd : m_snmpd) {
        const auto at = status.find(agentName(snmpd) + ": ");
        ASSERT_NE(at, std::string::npos) << status;
        EXPECT_NE(status.find("were not shown", at), std::string::npos) << status;
    }
}

} // namespace
