#include "app/program.h"

#include "app/tform1.h"
#include "app/window_scan_view.h"
#include "help/shell.h"
#include "help/tform_about.h"
#include "log/connection_log.h"
#include "scan/mib_agent.h"
#include "scan/scanner.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "views/map_pictures.h"

Program::Program(NameServices& names, const char* agentModule)
    : m_log(std::make_unique<ConnectionLog>())
    , m_agent(std::make_unique<MibAgent>())
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
    m_view = std::make_unique<WindowScanView>(form1);
    connectScanView();
    m_scanner = std::make_unique<Scanner>(*m_agent, *m_options, names, *m_log, *m_view);
    m_form1->attachScanner(m_scanner.get());
}

void Program::connectScanView()
{
    // The one place where a scan's effects meet the window: all on the GUI thread, in order.
    TForm1* form1 = m_form1.get();
    WindowScanView* view = m_view.get();
    QObject::connect(view, &WindowScanView::viewShown, form1, &TForm1::showScanView);
    QObject::connect(view, &WindowScanView::statusTextChanged, form1, &TForm1::setStatusText);
    QObject::connect(view, &WindowScanView::gridRowsChanged, form1, &TForm1::setGridRows);
    QObject::connect(view, &WindowScanView::gridContentChanged, form1, &TForm1::setGridContent);
    QObject::connect(view, &WindowScanView::mapTablePublished, form1, &TForm1::takeMapTable);
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
    m_form1->show();
}

void Program::shutdown()
{
    if (m_view)
        m_view->shutdown();
}
