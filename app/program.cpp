#include "app/program.h"

#include "app/tform1.h"
#include "app/window_scan_view.h"
#include "help/shell.h"
#include "help/tform_about.h"
#include "log/connection_log.h"
#include "scan/agent_name_services.h"
#include "scan/mib_agent.h"
#include "scan/remote_agents.h"
#include "scan/scanner.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "views/map_pictures.h"

namespace {

// A services object the program does not own: the caller's outlives the program.
std::shared_ptr<NameServices> borrowed(NameServices& names)
{
    return std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &names);
}

} // namespace

Program::Program(NameServices& names, const char* agentModule)
    : m_names(names)
    , m_log(std::make_unique<ConnectionLog>())
    , m_agent(std::make_shared<MibAgent>())
{
    // Created in start-up order, whatever the order of destruction.
    m_form1 = std::make_unique<TForm1>(*m_agent, *m_log, agentModule);
    if (!m_form1->startupError().isEmpty())
        return;
    TForm1* form1 = m_form1.get();
    m_options = std::make_unique<TForm_Options>(*m_log, [form1] { return form1->headerTitles(); });
    m_form1->attachOptions(m_options.get());
    // Help, ViewLog and the about box's links that the desktop could not open.
    setShellFailureHandler([form1](const QString& message) { form1->showNotice(message); });
    m_pictures = std::make_unique<MapPictures>(MapPictures::load());
    m_form1->attachMapPictures(m_pictures.get());
    m_about = std::make_unique<TForm_About>();
    m_form1->attachAbout(m_about.get());
    m_view = std::make_shared<WindowScanView>(form1);
    connectScanView(m_view.get());
    m_scanner
        = std::make_unique<Scanner>(*m_options, *m_log, ScanSource { m_agent, borrowed(names), m_view });
    m_form1->attachScanner(m_scanner.get());
    QObject::connect(m_options.get(), &TForm_Options::watchTargetApplied, form1,
        [this](const WatchTarget& target) { watch(target); });
}

void Program::watch(const WatchTarget& target)
{
    if (target == m_watchTarget)
        return;
    m_watchTarget = target;
    // A new view for the new target: the last one's effects still on their way are dropped with it.
    auto view = std::make_shared<WindowScanView>(m_form1.get());
    connectScanView(view.get());
    m_view->shutdown();
    m_view = view;
    ScanSource source { m_agent, borrowed(m_names), m_view };
    if (target.snmpAgent) {
        const std::string peer = target.host.toStdString();
        auto agent = makeRemoteAgent(peer, target.snmpOptions.toStdString());
        // Asked on the scan worker, which alone uses the agent's session.
        // An agent without sysName.0 is named as the user named it.
        source.names = std::make_shared<AgentNameServices>(
            m_names, [agent, peer] { return remoteAgentName(*agent, peer); });
        source.agent = std::move(agent);
    }
    m_scanner->setSource(std::move(source));
    m_form1->setWatchedComputer(target.snmpAgent ? target.host : QString());
    m_form1->clearScanResults();
    if (m_form1->isVisible())
        m_form1->scanNow();
}

void Program::showWatchedComputer(const MapTable& table)
{
    if (m_watchTarget.snmpAgent && !table.localComputerName.empty())
        m_form1->setWatchedComputer(QString::fromStdString(table.localComputerName));
}

void Program::connectScanView(WindowScanView* view)
{
    // The one place where a scan's effects meet the window: all on the GUI thread, in order.
    TForm1* form1 = m_form1.get();
    QObject::connect(view, &WindowScanView::viewShown, form1, &TForm1::showScanView);
    QObject::connect(view, &WindowScanView::statusTextChanged, form1, &TForm1::setStatusText);
    QObject::connect(view, &WindowScanView::gridRowsChanged, form1, &TForm1::setGridRows);
    QObject::connect(view, &WindowScanView::gridContentChanged, form1, &TForm1::setGridContent);
    QObject::connect(view, &WindowScanView::mapTablePublished, form1, &TForm1::takeMapTable);
    QObject::connect(view, &WindowScanView::mapTablePublished, form1,
        [this](const std::shared_ptr<MapTable>& table) { showWatchedComputer(*table); });
    view->setGraphicMode(form1->graphicMode());
    QObject::connect(form1, &TForm1::graphicModeChanged, view, &WindowScanView::setGraphicMode);
}

Program::~Program()
{
    setShellFailureHandler({});
    shutdown(); // the scanner, destroyed first, then joins a worker no longer waiting
}

QString Program::startupError() const
{
    return m_form1->startupError();
}

void Program::show()
{
    // Opened here, as options.dat is read at show: in the folder that is current then.
    if (!m_settingsFile && m_form1->startupError().isEmpty()) {
        m_settingsFile = std::make_unique<SettingsFile>(m_form1->userFiles().settingsFile);
        m_options->setStorage(m_form1->userFiles().optionsFile, m_settingsFile.get());
        m_form1->attachSettingsFile(m_settingsFile.get());
    }
    // The first scan's worker draws the first map while this thread shows the window.
    if (!m_form1->isVisible())
        m_view->drawFirstMapAhead(m_form1->mapFrame(), m_pictures.get());
    m_form1->showWindow();
}

void Program::shutdown()
{
    if (m_view)
        m_view->shutdown();
}
