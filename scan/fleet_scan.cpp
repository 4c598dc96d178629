#include "scan/fleet_scan.h"

#include "log/connection_log.h"
#include "scan/agent_name_services.h"
#include "scan/connection_table.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/polled_mib_agent.h"
#include "scan/row_filter.h"
#include "scan/run_scan.h"
#include "scan/scan_view.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

constexpr const char* kNoneMatches = "No endpoint matches";

// What one computer's scan gave the view. The watched computer's view also hands on the
// steps the window shows of it alone (its view, its map, its failure); every computer's
// capacity message goes to the window, naming the computer.
class CollectingView final : public ScanView
{
public:
    CollectingView(ScanView& window, std::string computer, bool primary)
        : m_window(window)
        , m_computer(std::move(computer))
        , m_primary(primary)
    {
    }
    void showView(bool graphic) override
    {
        if (m_primary)
            m_window.showView(graphic);
    }
    void setStatusText(const std::string& text) override
    {
        // "Scanning..." goes on at once; the last text waits for the other computers'.
        if (m_primary && !m_started)
            m_window.setStatusText(text);
        m_started = true;
        status = text;
    }
    void setGridContent(std::vector<GridRow> shown, std::vector<GridRowDetails> shownDetails) override
    {
        rows = std::move(shown);
        details = std::move(shownDetails);
        read = true;
    }
    void publishMapTable(std::shared_ptr<MapTable> table, bool drawMap) override
    {
        if (m_primary)
            m_window.publishMapTable(std::move(table), drawMap);
    }
    bool showsMap() const override { return m_primary && m_window.showsMap(); }
    void showCapacityMessage(int notShown) override
    {
        m_window.showComputerCapacityMessage(m_computer, notShown);
    }
    void setReadFailure(const std::string& failure) override
    {
        if (m_primary)
            m_window.setReadFailure(failure);
    }
    void namesArrived() override
    {
        if (m_primary)
            m_window.namesArrived();
    }
    bool takeHiddenCount(int count) override
    {
        hidden = count;
        return true;
    }

    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
    std::string status;
    bool read = false; // the scan gave rows: its tables were read
    int hidden = 0; // endpoints the filter kept out

private:
    ScanView& m_window;
    std::string m_computer;
    bool m_primary;
    bool m_started = false;
};

// The wall clock's time of a steady clock's point, as the status bar tells times.
std::string wallTime(std::chrono::steady_clock::time_point when)
{
    const auto ago = std::chrono::steady_clock::now() - when;
    const std::time_t then = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()
        - std::chrono::duration_cast<std::chrono::system_clock::duration>(ago));
    std::tm local {};
    localtime_r(&then, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void addPart(std::string& text, const std::string& part)
{
    if (!part.empty())
        text += (text.empty() ? "" : "  ") + part;
}

} // namespace

struct FleetScan::Other
{
    Other(NameServices& names, std::string sysName)
        : services(names, std::move(sysName))
        , resolver(services)
    {
    }
    AgentNameServices services;
    NameResolver resolver;
    ConnectionTable table;
};

bool watchesMoreComputers(const Options& options)
{
    return std::ranges::any_of(options.moreAgents, [](const WatchedAgent& agent) {
        return agent.enabled && agent.host.find_first_not_of(" \t") != std::string::npos;
    });
}

void appendComputerRows(std::vector<GridRow>& rows, std::vector<GridRowDetails>& details,
    const std::vector<GridRow>& added, const std::vector<GridRowDetails>& addedDetails,
    const std::string& computer, bool stale)
{
    for (std::size_t i = 0; i < added.size(); ++i) {
        const GridRow& row = added[i];
        if (std::ranges::all_of(row, [](const std::string& cell) { return cell.empty(); }))
            continue;
        rows.push_back(row);
        rows.back()[0] = std::to_string(rows.size());
        GridRowDetails& rowDetails
            = details.emplace_back(i < addedDetails.size() ? addedDetails[i] : GridRowDetails {});
        rowDetails.computer = computer;
        rowDetails.stale = stale;
    }
}

FleetScan::FleetScan(std::shared_ptr<FleetFeed> feed, std::shared_ptr<NameServices> names)
    : m_feed(std::move(feed))
    , m_names(std::move(names))
    , m_others(m_feed->agents().size())
{
}

FleetScan::~FleetScan() = default;

void FleetScan::run(MibAgent& agent, NameServices& agentNames, const Options& options, NameResolver& resolver,
    ConnectionLog& log, ScanView& view, ConnectionTable& table)
{
    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
    std::string status;

    Options own = options;
    own.computerName = agentNames.localHostName();
    if (own.computerName.empty())
        own.computerName = "this computer";
    CollectingView primary(view, own.computerName, true);
    runScan(agent, own, resolver, log, primary, table);
    int hidden = primary.hidden;
    if (primary.read) {
        m_primaryRows = primary.rows;
        m_primaryDetails = primary.details;
    }
    appendComputerRows(rows, details, m_primaryRows, m_primaryDetails, own.computerName, !primary.read);
    // "No endpoint matches" is told once, of all the computers.
    if (primary.status != kNoneMatches)
        addPart(status, primary.status);

    const std::vector<FleetFeed::Computer> computers = m_feed->snapshot();
    std::vector<std::string> names { own.computerName };
    for (const FleetFeed::Computer& computer : computers)
        names.push_back(computer.lastGood && !computer.lastGood->sysName.empty() ? computer.lastGood->sysName
                                                                                 : computer.peer);
    for (std::size_t i = 0; i < computers.size(); ++i) {
        const FleetFeed::Computer& computer = computers[i];
        std::string name = names[i + 1];
        // Two agents of one name (cloned machines) are told apart by the host the user gave.
        if (std::ranges::count(names, name) > 1)
            name += " (" + computer.peer + ')';
        std::string why;
        if (computer.status.state == AgentState::Waiting)
            why = "waiting for the agent";
        else if (computer.status.state == AgentState::Stale)
            why = computer.status.error + " since " + wallTime(computer.status.since);
        else if (computer.status.state == AgentState::Slow)
            why = "slow since " + wallTime(computer.status.since);
        if (!computer.lastGood) {
            addPart(status, name + ": " + why);
            continue;
        }
        auto& other = m_others[i];
        if (!other)
            other = std::make_unique<Other>(*m_names, computer.lastGood->sysName);
        Options theirs = options;
        theirs.computerName = name;
        PolledMibAgent polled(computer.lastGood);
        CollectingView collected(view, name, false);
        runScan(polled, theirs, other->resolver, log, collected, other->table);
        hidden += collected.hidden;
        const std::size_t first = details.size();
        appendComputerRows(rows, details, collected.rows, collected.details, name, !why.empty());
        for (std::size_t row = first; row < details.size(); ++row)
            details[row].otherComputer = true;
        if (!why.empty())
            addPart(
                status, name + ": " + why + ": its rows are stale, from its last poll that read the tables");
        else if (collected.status != kNoneMatches)
            addPart(status, collected.status.empty() ? std::string() : name + ": " + collected.status);
    }

    const bool filtered = RowFilter::fromOptions(options).active();
    if (rows.empty() && filtered) {
        view.setGridContent({}, {});
        status = kNoneMatches + std::string(status.empty() ? "" : "  ") + status;
    } else {
        // Told of all the computers at once, whichever of them the filter left rows of.
        if (filtered)
            status = hiddenText(hidden) + std::string(status.empty() ? "" : "  ") + status;
        if (rows.empty()) {
            rows.emplace_back(); // the grid keeps one data row, empty
            details.emplace_back();
        }
        view.setGridContent(std::move(rows), std::move(details));
    }
    view.setStatusText(status);
}
