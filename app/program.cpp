#include "app/program.h"

#include "app/desktop_notifier.h"
#include "app/fleet_map_window.h"
#include "app/fleet_watcher.h"
#include "app/history_window.h"
#include "app/tform1.h"
#include "app/window_layout.h"
#include "app/window_scan_view.h"
#include "help/shell.h"
#include "help/tform_about.h"
#include "history/history_recorder.h"
#include "log/connection_log.h"
#include "scan/agent_name_services.h"
#include "scan/fleet_scan.h"
#include "scan/mib_agent.h"
#include "scan/remote_agents.h"
#include "scan/scanner.h"
#include "scan/shell_words.h"
#include "settings/options_store.h"
#include "settings/preferences_dialog.h"
#include "settings/secret_store.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "views/map_pictures.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QMenu>

#include <utility>

namespace {

// A services object the program does not own: the caller's outlives the program.
std::shared_ptr<NameServices> borrowed(NameServices& names)
{
    return std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &names);
}

void addFleetAgent(
    std::vector<FleetPoller::Agent>& agents, const std::string& host, const std::string& snmpOptions)
{
    FleetPoller::Agent agent;
    agent.peer = QString::fromStdString(host).trimmed().toStdString();
    if (agent.peer.empty())
        return;
    if (!splitShellWords(snmpOptions, agent.snmpArguments))
        agent.rejection = "invalid SNMP options for " + agent.peer + ": unterminated quote";
    agents.push_back(std::move(agent));
}

bool sameAgents(const std::vector<FleetPoller::Agent>& a, const std::vector<FleetPoller::Agent>& b)
{
    return std::ranges::equal(a, b, [](const FleetPoller::Agent& x, const FleetPoller::Agent& y) {
        return x.peer == y.peer && x.snmpArguments == y.snmpArguments;
    });
}

// What a scan reads: "" for this computer, else the agent's host and SNMP options.
std::string watchedTarget(const Options& options)
{
    return options.watchAgent ? options.watchHost + '\n' + options.watchSnmpOptions : std::string();
}

} // namespace

void prepareDisplayConnection()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
}

Program::Program(NameServices& names, const char* agentModule, const QString& programFolder)
    : m_names(names)
    , m_log(std::make_unique<ConnectionLog>())
    , m_agent(std::make_shared<MibAgent>())
{
    // The log's folder becomes current: the program's own when it is writable, as always,
    // so options.dat, help.htm and a log name without a folder resolve there.
    m_userFiles = UserFiles::settle(programFolder.isEmpty()
            ? QFileInfo(QCoreApplication::applicationFilePath()).absolutePath()
            : programFolder);
    m_startupError = QString::fromStdString(startNetworking(*m_agent, agentModule));
    if (!m_startupError.isEmpty())
        return;

    m_settingsFile = std::make_unique<SettingsFile>(m_userFiles.settingsFile);
    m_store = std::make_unique<OptionsStore>(*m_log);
    m_store->setFiles(m_userFiles.optionsFile, m_settingsFile.get());
    m_secrets = std::make_unique<SecretStore>(SecretStore::pathBeside(m_userFiles.settingsFile));
    m_store->setSecrets(m_secrets.get());
    m_store->loadPreferences();

    // Created in start-up order, whatever the order of destruction.
    m_form1 = std::make_unique<TForm1>(*m_store, *m_log);
    TForm1* form1 = m_form1.get();
    m_options = std::make_unique<TForm_Options>(*m_store);
    form1->setRefreshInterval(m_store->refreshMilliseconds());
    QObject::connect(
        m_options.get(), &TForm_Options::refreshIntervalApplied, form1, &TForm1::setRefreshInterval);
    QObject::connect(m_store.get(), &OptionsStore::saveFailed, form1, &TForm1::showNotice);
    // Help, ViewLog and the about box's links that the desktop could not open.
    setShellFailureHandler([form1](const QString& message) { form1->showNotice(message); });
    m_pictures = std::make_unique<MapPictures>(MapPictures::load());
    form1->attachMapPictures(m_pictures.get());
    m_about = std::make_unique<TForm_About>();
    m_preferences = std::make_unique<PreferencesDialog>(*m_store);
    form1->attachDialogs(m_options.get(), m_preferences.get(), m_about.get());
    // A folder that could not be made, or a veltran.ini refused (a pipe, a huge file), is
    // told once the window shows; the program goes on with the defaults.
    form1->setStartupNotice(m_userFiles.error.isEmpty() ? m_settingsFile->error() : m_userFiles.error);
    if (m_store->current().rememberLayout)
        form1->restoreLayout(loadWindowLayout(*m_settingsFile));

    m_view = std::make_shared<WindowScanView>(form1);
    connectScanView(m_view.get());
    m_scanner = std::make_unique<Scanner>(*m_store, *m_log, ScanSource { m_agent, borrowed(names), m_view });
    form1->attachScanner(m_scanner.get());
    watch(m_store->current());
    watchMore(m_store->current());
    QObject::connect(
        m_store.get(), &OptionsStore::changed, form1, [this](const Options& now, const Options&) {
            watch(now);
            watchMore(now);
        });
    m_fleetAction = form1->View1->addAction(QStringLiteral("&Fleet map"));
    m_fleetAction->setObjectName(QStringLiteral("FleetMap1"));
    m_fleetAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    QObject::connect(m_fleetAction, &QAction::triggered, form1, [this] { openFleetMap(); });
    updateFleet(m_store->current());
    QObject::connect(m_store.get(), &OptionsStore::changed, form1,
        [this](const Options& now, const Options&) { updateFleet(now); });
    QObject::connect(form1, &TForm1::closed, form1, [this] { saveLayout(); });

    recordHistory(m_store->current());
    QObject::connect(m_store.get(), &OptionsStore::changed, form1,
        [this](const Options& now, const Options&) { recordHistory(now); });
    QObject::connect(form1, &TForm1::historyRequested, form1, [this] {
        if (!m_historyWindow)
            m_historyWindow = std::make_unique<HistoryWindow>(HistoryDatabase::defaultPath());
        m_historyWindow->show();
        m_historyWindow->raise();
        m_historyWindow->activateWindow();
        m_historyWindow->reload();
    });
}

void Program::tellHistory(const HistoryRecorder::Report& report)
{
    for (const std::string& notice : report.notices)
        m_form1->showNotice(QString::fromStdString(notice));
    if (report.faultChanged)
        m_form1->showNotice(report.fault.empty() ? QStringLiteral("History: recording again")
                                                 : QString::fromStdString(report.fault));
    if (report.alerts.empty())
        return;
    // The session bus is joined only when there is something to tell on it.
    if (!m_notifier)
        m_notifier = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus());
    for (const HistoryAlert& alert : report.alerts)
        m_notifier->notify(
            QString::fromStdString(alertTitle(alert)), QString::fromStdString(alertText(alert)));
}

void Program::recordHistory(const Options& options)
{
    if (options.recordHistory && !m_historyRecorder) {
        TForm1* form1 = m_form1.get();
        // Called on the recorder's thread; carried to the window's, where it is said.
        m_historyRecorder = std::make_shared<HistoryRecorder>(
            HistoryDatabase::defaultPath(), [this, form1](HistoryRecorder::Report report) {
                QMetaObject::invokeMethod(
                    form1, [this, report = std::move(report)] { tellHistory(report); }, Qt::QueuedConnection);
            });
    }
    if (m_historyRecorder) {
        unsigned alerts = 0;
        const std::pair<bool, HistoryAlert::Kind> kinds[] = {
            { options.alertNewListener, HistoryAlert::Kind::NewListener },
            { options.alertNewRemoteHost, HistoryAlert::Kind::NewRemoteHost },
            { options.alertNewProgram, HistoryAlert::Kind::NewProgram },
        };
        for (const auto& [on, kind] : kinds)
            alerts |= on ? 1u << static_cast<unsigned>(kind) : 0u;
        m_historyRecorder->setSettings(
            { options.historyKeepDays, std::int64_t(options.historyMaxMegabytes) * 1024 * 1024, alerts });
    }
    m_view->setHistoryRecorder(options.recordHistory ? m_historyRecorder : nullptr);
}

void Program::updateFleet(const Options& options)
{
    const bool offered = std::ranges::any_of(options.moreAgents, [](const WatchedAgent& agent) {
        return agent.enabled && !QString::fromStdString(agent.host).trimmed().isEmpty();
    });
    m_fleetAction->setVisible(offered);
    if (!m_fleetWatcher)
        return;
    if (!offered || !m_gridFleet) {
        m_fleetWatcher.reset();
        m_fleetMap->close();
    } else if (m_fleetWatcher->feed() != &m_gridFleet->feed()) {
        openFleetMap(); // the list changed: the grid's new feed polls it
    }
}

void Program::watchMore(const Options& options)
{
    std::vector<FleetPoller::Agent> agents;
    for (const WatchedAgent& agent : options.moreAgents) {
        if (agent.enabled)
            addFleetAgent(agents, agent.host, agent.snmpOptions);
    }
    // A new refresh time is a new feed too: the poll thread keeps the interval it began with.
    if (m_gridFleet && sameAgents(agents, m_gridFleet->feed().agents())
        && m_gridFleet->feed().intervalMs() == m_store->refreshMilliseconds())
        return;
    std::shared_ptr<FleetScan> old = std::exchange(m_gridFleet, nullptr);
    if (!agents.empty())
        m_gridFleet = std::make_shared<FleetScan>(
            std::make_shared<FleetFeed>(std::move(agents), m_store->refreshMilliseconds()),
            borrowed(m_names));
    m_scanner->setFleet(m_gridFleet);
    if (!old)
        return;
    // The last holder joins the feed's poll thread: not the GUI thread.
    m_retirement.retire([old = std::move(old)]() mutable { old.reset(); });
}

void Program::openFleetMap()
{
    if (!m_gridFleet)
        return;
    if (!m_fleetMap) {
        m_fleetMap = std::make_unique<FleetMapWindow>();
        QObject::connect(
            m_fleetMap.get(), &FleetMapWindow::closed, m_form1.get(), [this] { m_fleetWatcher.reset(); });
    }
    m_fleetWatcher.reset();
    // The map draws the polls the grid's feed makes anyway: each agent is asked once per refresh.
    m_fleetWatcher = std::make_unique<FleetWatcher>(m_gridFleet->sharedFeed(), m_retirement);
    FleetWatcher* watcher = m_fleetWatcher.get();
    watcher->setWatched(m_watchedTable, !m_watched.empty());
    QObject::connect(watcher, &FleetWatcher::updated, m_fleetMap.get(),
        [this, watcher] { m_fleetMap->setComputers(watcher->computers()); });
    m_fleetMap->setComputers(watcher->computers());
    m_fleetMap->show();
    m_fleetMap->raise();
}

void Program::saveLayout()
{
    if (m_store->current().rememberLayout && !saveWindowLayout(m_form1->layout(), *m_settingsFile))
        m_form1->showNotice(m_settingsFile->error());
}

void Program::watch(const Options& options)
{
    if (options.watchAgent && QString::fromStdString(options.watchHost).trimmed().isEmpty()) {
        // Never watched silently instead: the user chose an agent, and is told why not.
        m_form1->showNotice(QStringLiteral("No SNMP agent's host is set to watch: this computer is shown"));
        Options thisComputer = options;
        thisComputer.watchAgent = false;
        return watch(thisComputer);
    }
    const std::string target = watchedTarget(options);
    if (target == m_watched)
        return;
    m_watched = target;
    m_watchedTable = nullptr;
    if (m_fleetWatcher) {
        m_fleetWatcher->setWatched(nullptr, !m_watched.empty());
        m_fleetWatcher->setWatchedFailure({});
    }
    // A new view for the new target: the last one's effects still on their way are dropped with it.
    auto view = std::make_shared<WindowScanView>(m_form1.get());
    connectScanView(view.get());
    m_view->shutdown();
    view->setHistoryRecorder(options.recordHistory ? m_historyRecorder : nullptr);
    m_view = view;
    ScanSource source { m_agent, borrowed(m_names), m_view };
    if (options.watchAgent) {
        const std::string peer = options.watchHost;
        auto agent = makeRemoteAgent(peer, options.watchSnmpOptions);
        // Asked on the scan worker, which alone uses the agent's session.
        // An agent without sysName.0 is named as the user named it.
        source.names = std::make_shared<AgentNameServices>(
            m_names, [agent, peer] { return remoteAgentName(*agent, peer); });
        source.agent = std::move(agent);
    }
    m_scanner->setSource(std::move(source));
    m_form1->setWatchedComputer(options.watchAgent ? QString::fromStdString(options.watchHost) : QString());
    m_form1->clearScanResults();
    if (m_form1->isVisible())
        m_form1->scanNow();
}

void Program::showWatchedComputer(const MapTable& table)
{
    if (!m_watched.empty() && !table.localComputerName.empty())
        m_form1->setWatchedComputer(QString::fromStdString(table.localComputerName));
}

void Program::connectScanView(WindowScanView* view)
{
    // The one place where a scan's effects meet the window: all on the GUI thread, in order.
    TForm1* form1 = m_form1.get();
    QObject::connect(view, &WindowScanView::viewShown, form1, &TForm1::showScanView);
    QObject::connect(view, &WindowScanView::statusTextChanged, form1, &TForm1::setStatusText);
    QObject::connect(view, &WindowScanView::gridContentChanged, form1, &TForm1::takeGridContent);
    QObject::connect(view, &WindowScanView::mapTablePublished, form1, &TForm1::takeMapTable);
    QObject::connect(view, &WindowScanView::lateNamesArrived, form1, &TForm1::scanNow);
    QObject::connect(view, &WindowScanView::readFailureChanged, form1, &TForm1::setReadFailure);
    QObject::connect(view, &WindowScanView::mapTablePublished, form1,
        [this](const std::shared_ptr<MapTable>& table) { showWatchedComputer(*table); });
    // The fleet map's box of the Watch choice is drawn from the window's own scans.
    QObject::connect(
        view, &WindowScanView::mapTablePublished, form1, [this](const std::shared_ptr<MapTable>& table) {
            m_watchedTable = table;
            if (m_fleetWatcher)
                m_fleetWatcher->setWatched(m_watchedTable, !m_watched.empty());
        });
    QObject::connect(view, &WindowScanView::readFailureChanged, form1, [this](const QString& failure) {
        if (m_fleetWatcher)
            m_fleetWatcher->setWatchedFailure(failure.toStdString());
    });
}

Program::~Program()
{
    setShellFailureHandler({});
    if (m_historyRecorder)
        m_historyRecorder->stopReporting(); // the window and the notifier go before the recorder's thread
    if (m_view)
        m_view->shutdown(); // the scanner, destroyed first, then joins a worker no longer waiting
}

void Program::show()
{
    if (m_form1)
        m_form1->show();
}

void Program::shutdown()
{
    if (m_view)
        m_view->shutdown();
}
