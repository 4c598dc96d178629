#include "scan/scanner.h"

#include "scan/fleet_scan.h"
#include "scan/options.h"
#include "scan/run_scan.h"
#include "scan/scan_thread.h"
#include "scan/scan_view.h"

#include <chrono>

namespace {

// A scan shows its rows this soon after its walks, whatever the name services do.
constexpr std::chrono::milliseconds kRowsWithin { 1000 };

} // namespace

Scanner::Scanner(const OptionsSource& options, ConnectionLog& log, ScanSource source)
    : m_options(options)
    , m_log(log)
    , m_thread(std::make_unique<ScanThread>(m_scanBusy))
{
    setSource(std::move(source));
}

Scanner::Scanner(
    MibAgent& agent, const OptionsSource& options, NameServices& services, ConnectionLog& log, ScanView& view)
    : Scanner(options, log,
        { std::shared_ptr<MibAgent>(std::shared_ptr<MibAgent>(), &agent),
            std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &services),
            std::shared_ptr<ScanView>(std::shared_ptr<ScanView>(), &view) })
{
}

void Scanner::setSource(ScanSource source)
{
    m_source = std::move(source);
    m_table = std::make_shared<ConnectionTable>();
    m_resolver = std::make_shared<NameResolver>(*m_source.names, kRowsWithin);
    // Held weakly: a view replaced with its source is not kept alive by a late look-up.
    m_resolver->setOnLateNames([view = std::weak_ptr<ScanView>(m_source.view)] {
        if (const auto shown = view.lock())
            shown->namesArrived();
    });
}

void Scanner::setFleet(std::shared_ptr<FleetScan> fleet)
{
    m_fleet = std::move(fleet);
}

Scanner::~Scanner()
{
    m_thread->finish();
}

int Scanner::startScan()
{
    if (m_scanBusy.load() != 0)
        return 1;
    // The scan holds its source: a source replaced meanwhile lives until the scan ends. What
    // it alone still holds goes with the worker, so an agent's session is closed there.
    m_scanBusy.store(1);
    m_thread->startScan([this, options = m_options.options(), source = m_source, resolver = m_resolver,
                            table = m_table, fleet = m_fleet]() mutable {
        if (fleet)
            fleet->run(*source.agent, *source.names, options, *resolver, m_log, *source.view, *table);
        else
            runScan(*source.agent, options, *resolver, m_log, *source.view, *table);
        fleet.reset(); // a fleet replaced meanwhile stops its polls here, not on the GUI thread
        resolver.reset();
        table.reset();
        source.agent.reset();
        source.names.reset();
    });
    return 0;
}

bool Scanner::waitForIdle(int timeoutMs)
{
    return m_thread->waitIdle(timeoutMs);
}
