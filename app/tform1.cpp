#include "app/tform1.h"

#include "app/app_title.h"
#include "app/connection_closing.h"
#include "app/cool_bar.h"
#include "app/filter_field.h"
#include "app/traffic_window.h"
#include "app/view_area.h"
#include "app/window_layout.h"
#include "help/shell.h"
#include "log/connection_log.h"
#include "resources/embedded_pictures.h"
#include "resources/ui_font.h"
#include "scan/fleet_scan.h"
#include "scan/scanner.h"
#include "settings/options_store.h"
#include "views/connection_map.h"
#include "views/grid_model.h"
#include "views/map_pictures.h"
#include "views/map_surface.h"
#include "views/string_grid.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kNoticeMilliseconds = 20000;
// Below this a restored geometry is taken for garbage.
constexpr QSize kSmallestRestored(240, 180);

// Closing and stopping act on this computer, or on the one watched agent given options that
// may write; with several computers watched, on the Watch choice's rows alone.
bool closeOffered(const Options& options)
{
    return options.showTraffic && (!options.watchAgent || !options.watchWriteSnmpOptions.empty());
}

std::optional<ConnectionClosing::WriteAccess> writeAccess(const Options& options)
{
    if (!options.watchAgent)
        return std::nullopt;
    return ConnectionClosing::WriteAccess { options.watchHost, options.watchWriteSnmpOptions };
}

} // namespace

TForm1::TForm1(OptionsStore& store, ConnectionLog& log)
    : m_store(store)
    , m_log(log)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowIcon(embedded_pictures::icon(QStringLiteral(":/toolbar/veltran.png")));
    setFont(windowFont());
    createControls();
    showOptions(m_store.current(), Options());
    connect(&m_store, &OptionsStore::changed, this, &TForm1::showOptions);
}

TForm1::~TForm1() = default;

void TForm1::createControls()
{
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    // Alt and the first letter opens each; the letters shown stay the same.
    Options1 = MainMenu1->addAction(QStringLiteral("&Options"));
    ViewLog1 = MainMenu1->addAction(QStringLiteral("&ViewLog"));
    Help1 = MainMenu1->addAction(QStringLiteral("&Help"));
    About1 = MainMenu1->addAction(QStringLiteral("&About"));
    setMenuBar(MainMenu1);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* band = new CoolBar(
        QPixmap::fromImage(embedded_pictures::image(QStringLiteral(":/toolbar/band.png"))), central);
    band->setObjectName(QStringLiteral("CoolBar1"));
    CoolBar1 = band;
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(2, 2, 2, 2);
    ToolBar2 = new QToolBar(band);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setIconSize(QSize(35, 35));
    ToolBar2->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar2->setMovable(false);
    ToolBar2->setFloatable(false);
    // Transparent and flat: the band's picture shows between and behind the buttons.
    auto* bandStyle = new BandStyle;
    bandStyle->setParent(ToolBar2);
    ToolBar2->setStyle(bandStyle);
    bandLayout->addWidget(ToolBar2);
    bandLayout->addStretch(1);
    Filter = new FilterField(band);
    bandLayout->addWidget(Filter, 0, Qt::AlignVCenter);

    ToolButton5 = addToolButton(QStringLiteral("options"), QStringLiteral("Options"), false);
    ToolButton6 = addToolButton(QStringLiteral("lookup"), QStringLiteral("Lookup hostnames"), true);
    ToolButton3 = addToolButton(QStringLiteral("mode"), QStringLiteral("Graphic/Text mode"), true);
    ToolButton4 = addToolButton(QStringLiteral("viewlog"), QStringLiteral("ViewLog"), false);
    ToolButton1 = addToolButton(QStringLiteral("help"), QStringLiteral("Help"), false);
    ToolButton2 = addToolButton(QStringLiteral("exit"), QStringLiteral("Exit"), false);
    ToolButton5->setObjectName(QStringLiteral("ToolButton5"));
    ToolButton6->setObjectName(QStringLiteral("ToolButton6"));
    ToolButton3->setObjectName(QStringLiteral("ToolButton3"));
    ToolButton4->setObjectName(QStringLiteral("ToolButton4"));
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    column->addWidget(band);

    m_viewArea = new ViewArea(central);
    m_gridModel = new GridModel(this);
    m_gridModel->setHeaderRow(gridHeaderRow());
    ListView1 = new MapSurface(m_viewArea);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ScrollBar1 = new QScrollBar(Qt::Vertical, m_viewArea);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setRange(0, 100);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(1);
    m_viewArea->setChildren(ListView1, ScrollBar1);
    column->addWidget(m_viewArea, 1);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    m_statusPanel = new QLabel(StatusBar1);
    m_statusPanel->setObjectName(QStringLiteral("StatusPanel"));
    m_statusPanel->setMinimumWidth(100);
    StatusBar1->addWidget(m_statusPanel, 1);
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->start(10000);

    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(ToolButton5, &QToolButton::clicked, this, &TForm1::Options1Click);
    connect(Options1, &QAction::triggered, this, &TForm1::Options1Click);
    connect(ToolButton6, &QToolButton::clicked, this, &TForm1::ToolButton6Click);
    connect(ToolButton4, &QToolButton::clicked, this, &TForm1::ToolButton4Click);
    connect(ViewLog1, &QAction::triggered, this, &TForm1::ToolButton4Click);
    connect(ToolButton1, &QToolButton::clicked, this, &TForm1::Help1Click);
    connect(Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::ScrollBar1Change);
    // Pressing it changes only the chosen view; the next scan shows it.
    connect(ToolButton3, &QToolButton::toggled, this,
        [this](bool down) { m_store.set(&Options::graphicView, down); });

    createDailyControls();

    // The wheel over the map moves it by one line step, whichever child is under it.
    ListView1->installEventFilter(this);
    ScrollBar1->installEventFilter(this);

    const QSize client(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
    resize(client);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(client.width() / 2, client.height() / 2));
}

void TForm1::createDailyControls()
{
    m_changesPanel = new QLabel(StatusBar1);
    m_changesPanel->setObjectName(QStringLiteral("ChangesPanel"));
    StatusBar1->addPermanentWidget(m_changesPanel);
    m_changesPanel->hide();

    m_filterTimer = new QTimer(this);
    m_filterTimer->setSingleShot(true);
    m_filterTimer->setInterval(250);
    m_rescanTimer = new QTimer(this);
    m_rescanTimer->setSingleShot(true);
    m_rescanTimer->setInterval(100);
    connect(m_filterTimer, &QTimer::timeout, this,
        [this] { m_store.set(&Options::filterText, Filter->edit()->text().toStdString()); });
    connect(m_rescanTimer, &QTimer::timeout, this, &TForm1::scanNow);

    connect(Filter->edit(), &QLineEdit::textChanged, m_filterTimer, qOverload<>(&QTimer::start));
    // The menu's two choices are the Preferences' too, and kept as they are.
    const auto bindPreference = [this](QAction* action, bool Options::*option) {
        connect(action, &QAction::toggled, this, [this, option](bool on) {
            if (m_store.current().*option == on)
                return;
            m_store.set(option, on);
            m_store.savePreferences();
        });
    };
    bindPreference(Filter->hideLoopback(), &Options::hideLoopback);
    bindPreference(Filter->markNewRows(), &Options::markNewRows);
    connect(Filter->preferences(), &QAction::triggered, this, &TForm1::PreferencesClick);

    const auto shortcut = [this](const QString& name, const QKeySequence& keys, auto handler) {
        auto* action = new QAction(name, this);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    shortcut(QStringLiteral("FindFilter"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        Filter->edit()->setFocus(Qt::ShortcutFocusReason);
        Filter->edit()->selectAll();
    });

    m_pausePanel = new QLabel(QStringLiteral("Paused"), StatusBar1);
    m_pausePanel->setObjectName(QStringLiteral("PausePanel"));
    StatusBar1->addPermanentWidget(m_pausePanel);
    m_pausePanel->hide();
    createViewMenu();
}

void TForm1::createViewMenu()
{
    View1 = MainMenu1->addMenu(QStringLiteral("Vie&w"));
    View1->setObjectName(QStringLiteral("View1"));
    const auto entry = [this](const QString& text, const QKeySequence& keys, auto handler) {
        QAction* action = View1->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    // The checkable entries press their buttons, which hold the store's state.
    GraphicMode1 = entry(QStringLiteral("&Graphic/Text mode"), QKeySequence(Qt::CTRL | Qt::Key_G),
        [this] { ToolButton3->click(); });
    LookupHostnames1 = entry(QStringLiteral("&Lookup hostnames"), QKeySequence(Qt::CTRL | Qt::Key_L),
        [this] { ToolButton6->click(); });
    GraphicMode1->setCheckable(true);
    LookupHostnames1->setCheckable(true);
    View1->addSeparator();
    ScanNow1 = entry(QStringLiteral("&Scan now"), QKeySequence(Qt::Key_F5), [this] { scanNow(); });
    Pause1 = entry(QStringLiteral("&Pause"), QKeySequence(Qt::Key_F6), [this](bool on) { setPaused(on); });
    Pause1->setCheckable(true);
    View1->addSeparator();
    Preferences1 = entry(
        QStringLiteral("P&references..."), QKeySequence(Qt::CTRL | Qt::Key_Comma), &TForm1::PreferencesClick);
    entry(QStringLiteral("&Options"), QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::Options1Click);
    entry(QStringLiteral("&ViewLog"), QKeySequence(Qt::CTRL | Qt::Key_J), &TForm1::ToolButton4Click);
    History1 = entry(QStringLiteral("Hi&story..."), QKeySequence(Qt::CTRL | Qt::Key_H),
        [this] { Q_EMIT historyRequested(); });
    Traffic1 = entry(QStringLiteral("&Traffic..."), QKeySequence(Qt::CTRL | Qt::Key_T), [this] {
        if (!m_trafficWindow)
            m_trafficWindow = new TrafficWindow(this);
        m_trafficWindow->setRows({}); // until the next scan
        m_trafficWindow->show();
        m_trafficWindow->raise();
        scanNow();
    });
    entry(QStringLiteral("&Help"), QKeySequence::HelpContents, &TForm1::Help1Click);
    View1->addSeparator();
    Exit1 = entry(QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TForm1::ToolButton2Click);
}

void TForm1::showOptions(const Options& now, const Options& before)
{
    ToolButton6->setChecked(now.lookupHostNames);
    ToolButton3->setChecked(now.graphicView);
    LookupHostnames1->setChecked(now.lookupHostNames);
    GraphicMode1->setChecked(now.graphicView);
    Filter->hideLoopback()->setChecked(now.hideLoopback);
    Filter->markNewRows()->setChecked(now.markNewRows);
    m_gridModel->setProcessColumn(now.showProcessColumn);
    m_gridModel->setTrafficColumns(now.showTraffic);
    if (StringGrid1)
        StringGrid1->setCloseOffered(closeOffered(now));
    m_gridModel->setComputerColumn(watchesMoreComputers(now));
    m_gridModel->setMarkNewRows(now.markNewRows);
    m_gridModel->setSortable(now.sortByHeader);
    m_gridModel->setMarkWildcards(now.markWildcards);
    showChanges();
    const MapLabels labels { now.mapStates, now.markWildcards, now.showTraffic };
    if (m_map
        && (now.mapStates != before.mapStates || now.markWildcards != before.markWildcards
            || now.showTraffic != before.showTraffic)) {
        m_map->setLabels(labels);
        if (graphicMode() && isVisible())
            DrawConnectionMap();
    }
    if (m_shown && (now.filterText != before.filterText || now.hideLoopback != before.hideLoopback))
        scanNow();
}

QToolButton* TForm1::addToolButton(const QString& picture, const QString& hint, bool checkable)
{
    auto* button = new BandButton(ToolBar2);
    button->setIcon(embedded_pictures::icon(QStringLiteral(":/toolbar/%1.png").arg(picture)));
    button->setToolTip(hint);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setFixedSize(42, 41);
    button->setIconSize(QSize(35, 35));
    ToolBar2->addWidget(button);
    return button;
}

StringGrid* TForm1::grid()
{
    if (StringGrid1)
        return StringGrid1;
    // Made when first needed, not with the window: the map shows first, and the grid's
    // view and headers would delay it. Hidden until the text view shows it.
    StringGrid1 = new StringGrid(m_gridModel, m_viewArea);
    StringGrid1->hide();
    if (m_layout) {
        for (int column = 0; column < m_layout->columnWidths.size(); ++column)
            StringGrid1->setGridColumnWidth(column, m_layout->columnWidths[column]);
    }
    m_viewArea->setGrid(StringGrid1);
    // A copy's notice stands until the next scan's text, over a stale text too.
    connect(StringGrid1, &StringGrid::statusTextRequested, m_statusPanel, &QLabel::setText);
    StringGrid1->setCloseOffered(closeOffered(m_store.current()));
    connect(StringGrid1, &StringGrid::closeConnectionRequested, this,
        [this](const GridRowDetails& details) { requestClosing(details, false); });
    connect(StringGrid1, &StringGrid::stopProcessRequested, this,
        [this](const GridRowDetails& details) { requestClosing(details, true); });
    // Space on the grid holds it still for reading, as F6 does anywhere in the window.
    auto* pause = new QAction(QStringLiteral("Pause"), StringGrid1);
    pause->setObjectName(QStringLiteral("GridPause"));
    pause->setShortcut(QKeySequence(Qt::Key_Space));
    pause->setShortcutContext(Qt::WidgetShortcut);
    StringGrid1->addAction(pause);
    connect(pause, &QAction::triggered, this, [this] { setPaused(!m_paused); });
    return StringGrid1;
}

void TForm1::requestClosing(const GridRowDetails& details, bool stop)
{
    if (!m_closing)
        m_closing
            = new ConnectionClosing(this, [this](const QString& text) { m_statusPanel->setText(text); });
    m_closing->setRemote(writeAccess(m_store.current()));
    stop ? m_closing->requestStop(details) : m_closing->request(details);
}

bool TForm1::showMapMenu(QContextMenuEvent* event)
{
    const ConnectionRow* row = m_map ? m_map->rowAt(event->pos()) : nullptr;
    if (!row || !closeOffered(m_store.current()))
        return false;
    m_mapMenuRow = gridRowDetailsOf(*row);
    if (!m_mapMenu) {
        m_mapMenu = new QMenu(this);
        m_mapMenu->setObjectName(QStringLiteral("MapMenu"));
        QAction* close = m_mapMenu->addAction(QStringLiteral("Close connection\u2026"));
        close->setObjectName(QStringLiteral("CloseConnection"));
        connect(close, &QAction::triggered, this, [this] { requestClosing(m_mapMenuRow, false); });
        QAction* stop = m_mapMenu->addAction(QStringLiteral("Stop process\u2026"));
        stop->setObjectName(QStringLiteral("StopProcess"));
        connect(stop, &QAction::triggered, this, [this] { requestClosing(m_mapMenuRow, true); });
    }
    const QList<QAction*> actions = m_mapMenu->actions();
    actions[0]->setEnabled(std::strcmp(row->protocol, "TCP") == 0 && !m_mapMenuRow.remoteAddress.empty());
    actions[1]->setEnabled(m_mapMenuRow.pid != 0);
    m_mapMenu->popup(event->globalPos());
    return true;
}

void TForm1::attachMapPictures(const MapPictures* pictures)
{
    m_map = std::make_unique<ConnectionMap>(ListView1, ScrollBar1, pictures, [this] { return width(); });
    m_map->setLabels(
        { m_store.current().mapStates, m_store.current().markWildcards, m_store.current().showTraffic });
}

void TForm1::attachScanner(Scanner* scanner)
{
    m_scanner = scanner;
}

void TForm1::attachDialogs(QWidget* options, QWidget* preferences, QWidget* about)
{
    m_options = options;
    m_preferences = preferences;
    m_about = about;
}

void TForm1::restoreLayout(const WindowLayout& layout)
{
    m_layout = std::make_unique<WindowLayout>(layout);
    const QRect before = geometry();
    if (!layout.geometry.isEmpty() && restoreGeometry(layout.geometry)) {
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens.append(screen->availableGeometry());
        // A garbled or foreign geometry must not hide the window or shrink it to nothing.
        if (!isUsableGeometry(frameGeometry(), minimumSizeHint().expandedTo(kSmallestRestored), screens))
            setGeometry(before);
    }
    m_store.set(&Options::graphicView, layout.graphicView);
    if (m_gridModel->sortable())
        m_gridModel->setSort(
            layout.sortColumn, layout.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

WindowLayout TForm1::layout() const
{
    WindowLayout layout = m_layout ? *m_layout : WindowLayout();
    layout.geometry = saveGeometry();
    layout.graphicView = graphicMode();
    if (StringGrid1) {
        layout.columnWidths.clear();
        for (int column = 0; column < StringGrid::kLastColumn; ++column)
            layout.columnWidths.append(StringGrid1->gridColumnWidth(column));
    }
    layout.sortColumn = m_gridModel->sortColumn();
    layout.sortDescending = m_gridModel->sortOrder() == Qt::DescendingOrder;
    return layout;
}

void TForm1::scanNow()
{
    if (!m_scanner || m_paused)
        return;
    // Busy: the worker is never waited for; try again shortly.
    if (m_scanner->startScan() != 0)
        m_rescanTimer->start();
}

bool TForm1::scanPending() const
{
    return m_rescanTimer->isActive();
}

void TForm1::showChanges()
{
    const GridModel* model = m_gridModel;
    if (!model->markNewRows()) {
        m_changesPanel->hide();
        return;
    }
    m_changesPanel->setText(
        QStringLiteral("New: %1  Closed: %2").arg(model->newRowCount()).arg(model->closedRowCount()));
    m_changesPanel->show();
}

QString TForm1::changesText() const
{
    return m_changesPanel->isVisibleTo(StatusBar1) ? m_changesPanel->text() : QString();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    m_store.loadSettings();
    m_store.startLogSession();
    setRefreshInterval(m_store.refreshMilliseconds());
    if (m_scanner)
        m_scanner->startScan();
    if (!m_startupNotice.isEmpty())
        showNotice(m_startupNotice);
}

void TForm1::setWatchedComputer(const QString& name)
{
    const QString caption = QString::fromLatin1(kWindowCaption);
    setWindowTitle(name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name);
}

void TForm1::clearScanResults()
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Another computer: its rows are not held back, nor marked for the last one's failure.
    m_paused = false;
    Pause1->setChecked(false);
    m_pausePanel->hide();
    setReadFailure(QString());
    setGridContent(std::vector<GridRow>(1), std::vector<GridRowDetails>(1));
    takeMapTable(std::make_shared<MapTable>(), graphicMode());
    setStatusText(QString());
}

void TForm1::setRefreshInterval(int milliseconds)
{
    // A timer with no interval stays idle, so a stored 0 stops the refresh until Ok.
    if (milliseconds > 0)
        Timer1->start(milliseconds);
    else
        Timer1->stop();
}

QString TForm1::statusText() const
{
    return m_statusPanel->text();
}

void TForm1::showNotice(const QString& text)
{
    StatusBar1->showMessage(text, kNoticeMilliseconds);
}

void TForm1::checkLog()
{
    const ConnectionLog::Failure failure = m_log.lastError();
    if (failure.error == 0 || failure.serial == m_toldLogFailure || !m_store.current().logEnabled)
        return;
    m_toldLogFailure = failure.serial;
    showNotice(QStringLiteral("Could not write the log %1: %2")
                   .arg(QString::fromStdString(failure.fileName),
                       QString::fromLocal8Bit(std::strerror(failure.error))));
}

void TForm1::showScanView(bool graphic)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (graphic) {
        if (StringGrid1)
            StringGrid1->hide();
        ListView1->show();
    } else {
        grid()->show();
        ListView1->hide();
        ScrollBar1->hide();
    }
}

void TForm1::setStatusText(const QString& text)
{
    m_scanStatus = text;
    showStatus();
}

void TForm1::showStatus()
{
    static const QString scanning = QStringLiteral("Scanning...");
    // The failing scan's own text names the failure first, then says what is shown.
    const bool failureText = !m_readFailure.isEmpty() && m_scanStatus.startsWith(m_readFailure);
    if (failureText)
        m_staleText = m_readFailure + QStringLiteral(" since ") + m_failingSince
            + m_scanStatus.mid(m_readFailure.size());
    // A scan that fails again says "Scanning..." first: the failure stays shown instead.
    const bool lasting = failureText || (!m_readFailure.isEmpty() && m_scanStatus == scanning);
    m_statusPanel->setText(lasting && !m_staleText.isEmpty() ? m_staleText : m_scanStatus);
}

void TForm1::setReadFailure(const QString& failure)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (failure == m_readFailure)
        return;
    if (m_readFailure.isEmpty())
        m_failingSince = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    m_readFailure = failure;
    if (failure.isEmpty())
        m_staleText.clear();
    markStale(!failure.isEmpty());
    showStatus();
}

void TForm1::markStale(bool stale)
{
    m_gridModel->setStale(stale);
    if (!m_map || m_map->stale() == stale)
        return;
    m_map->setStale(stale);
    if (graphicMode() && isVisible())
        DrawConnectionMap();
}

void TForm1::setPaused(bool paused)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (paused == m_paused)
        return;
    m_paused = paused;
    Pause1->setChecked(paused);
    m_pausePanel->setVisible(paused);
    if (!paused)
        scanNow();
}

void TForm1::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_paused)
        return;
    tellUnknownOwners(details);
    if (m_trafficWindow && m_trafficWindow->isVisible())
        m_trafficWindow->setRows(details);
    m_gridModel->setGridContent(std::move(rows), std::move(details));
    showChanges();
}

void TForm1::takeGridContent(const std::shared_ptr<GridContent>& content)
{
    setGridContent(std::move(content->rows), std::move(content->details));
}

void TForm1::tellUnknownOwners(const std::vector<GridRowDetails>& details)
{
    // Only root reads other users' processes' descriptors: every cell would read "-" with
    // nothing to say why. Said once, while the column shows.
    if (m_toldUnknownOwners || !m_store.current().showProcessColumn || ::geteuid() == 0)
        return;
    const bool unknown = std::any_of(details.begin(), details.end(),
        [](const GridRowDetails& row) { return !row.localAddress.empty() && row.pid == 0; });
    if (!unknown)
        return;
    m_toldUnknownOwners = true;
    showNotice(QStringLiteral("The owners of other users' sockets are known to root only: run VELTRAN as "
                              "root, or give it the capability to read them (setcap cap_sys_ptrace,"
                              "cap_dac_read_search+ep on its program)"));
}

void TForm1::takeMapTable(std::shared_ptr<MapTable> table, bool drawMap)
{
    Q_ASSERT(QThread::currentThread() == thread());
    checkLog(); // the scan has written its entries by now
    if (!m_map || m_paused)
        return;
    m_map->setTable(std::move(table));
    if (drawMap)
        m_map->DrawConnectionMap();
}

bool TForm1::graphicMode() const
{
    return m_store.current().graphicView;
}

void TForm1::DrawConnectionMap()
{
    if (m_map)
        m_map->DrawConnectionMap();
}

void TForm1::Timer1Timer()
{
    checkLog();
    if (m_scanner && !m_paused)
        m_scanner->startScan();
}

void TForm1::showWindowOf(QWidget* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::Options1Click()
{
    showWindowOf(m_options);
}

void TForm1::PreferencesClick()
{
    showWindowOf(m_preferences);
}

void TForm1::ToolButton6Click()
{
    m_store.set(&Options::lookupHostNames, ToolButton6->isChecked());
    m_store.saveSettings();
}

void TForm1::ToolButton4Click()
{
    viewLog(m_log);
}

void TForm1::Help1Click()
{
    openHelp();
}

void TForm1::ToolButton2Click()
{
    close();
}

void TForm1::About1Click()
{
    if (!m_about)
        return;
    m_about->show();
    m_about->raise();
}

void TForm1::FormActivate()
{
    if (graphicMode())
        DrawConnectionMap();
}

void TForm1::ScrollBar1Change()
{
    if (graphicMode())
        DrawConnectionMap();
}

void TForm1::FormResize()
{
    if (!isVisible())
        return;
    if (StringGrid1)
        StringGrid1->stretchLastColumn();
    if (graphicMode())
        DrawConnectionMap();
    // The transparent buttons are repainted over the band's picture.
    for (QWidget* button : ToolBar2->findChildren<QToolButton*>())
        button->update();
}

void TForm1::FormPaint()
{
    // A toolbar button that Tab reached keeps the focus until the keyboard moves it on.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QToolButton*>(focus) && CoolBar1->isAncestorOf(focus))
        return;
    if (m_map)
        m_map->FormPaint();
}

void TForm1::FormMouseWheelDown()
{
    if (m_map)
        m_map->FormMouseWheelDown();
}

void TForm1::FormMouseWheelUp()
{
    if (m_map)
        m_map->FormMouseWheelUp();
}

void TForm1::wheel(int angleDelta)
{
    if (angleDelta < 0)
        FormMouseWheelDown();
    else if (angleDelta > 0)
        FormMouseWheelUp();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TForm1::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    FormPaint();
}

void TForm1::wheelEvent(QWheelEvent* event)
{
    wheel(event->angleDelta().y());
    event->accept();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && (watched == ListView1 || watched == ScrollBar1)) {
        wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true; // one line step per wheel step, not the scroll bar's own three
    }
    if (event->type() == QEvent::Paint && watched == ListView1)
        FormPaint();
    if (event->type() == QEvent::ContextMenu && watched == ListView1
        && showMapMenu(static_cast<QContextMenuEvent*>(event)))
        return true;
    if (event->type() == QEvent::KeyPress && (watched == ListView1 || watched == ScrollBar1)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (m_map && m_map->scrollByKey(key))
            return true;
        // The scroll bar, which holds the focus in the graphic view, is no stop of the tab
        // chain: Tab goes on from it to the toolbar.
        if (key == Qt::Key_Tab && watched == ScrollBar1) {
            ToolButton5->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
