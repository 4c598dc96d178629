#include "app/tform1.h"

#include "app/app_title.h"
#include "app/cool_bar.h"
#include "app/filter_field.h"
#include "app/view_area.h"
#include "app/window_layout.h"
#include "help/shell.h"
#include "help/tform_about.h"
#include "log/connection_log.h"
#include "resources/embedded_pictures.h"
#include "resources/ui_font.h"
#include "scan/mib_agent.h"
#include "scan/scanner.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "views/connection_map.h"
#include "views/grid_model.h"
#include "views/map_pictures.h"
#include "views/map_surface.h"
#include "views/string_grid.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include <cstring>

namespace {

constexpr int kNoticeMilliseconds = 20000;

} // namespace

TForm1::TForm1(MibAgent& agent, ConnectionLog& log, const char* agentModule)
    : m_agent(agent)
    , m_log(log)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowIcon(embedded_pictures::icon(QStringLiteral(":/toolbar/veltran.png")));
    setFont(windowFont());
    // First, so that the agent reads the kernel's tables while the controls are made.
    FormCreate(agentModule);
    createControls();
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
    Help1->setShortcut(QKeySequence::HelpContents);
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
    ToolButton6->setChecked(true);
    ToolButton3->setChecked(true);
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
    connect(ToolButton3, &QToolButton::toggled, this, &TForm1::graphicModeChanged);

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
    m_layoutTimer = new QTimer(this);
    m_layoutTimer->setSingleShot(true);
    m_layoutTimer->setInterval(1000);
    connect(m_filterTimer, &QTimer::timeout, this, &TForm1::filterChanged);
    connect(m_rescanTimer, &QTimer::timeout, this, &TForm1::scanNow);
    connect(m_layoutTimer, &QTimer::timeout, this, &TForm1::saveLayout);

    connect(Filter->edit(), &QLineEdit::textChanged, m_filterTimer, qOverload<>(&QTimer::start));
    connect(Filter->hideLoopback(), &QAction::toggled, this, &TForm1::hideLoopbackChanged);
    connect(Filter->markNewRows(), &QAction::toggled, this, &TForm1::markNewRowsChanged);
    connect(ToolButton3, &QToolButton::toggled, this, &TForm1::layoutChanged);

    const auto shortcut = [this](const QString& name, const QKeySequence& keys, auto handler) {
        auto* action = new QAction(name, this);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    shortcut(QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    shortcut(QStringLiteral("ScanNow"), QKeySequence(Qt::Key_F5), [this] { scanNow(); });
    shortcut(QStringLiteral("FindFilter"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        Filter->edit()->setFocus(Qt::ShortcutFocusReason);
        Filter->edit()->selectAll();
    });
}

QToolButton* TForm1::addToolButton(const QString& picture, const QString& hint, bool checkable)
{
    auto* button = new BandButton(ToolBar2);
    button->setIcon(embedded_pictures::icon(QStringLiteral(":/toolbar/%1.png").arg(picture)));
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setFixedSize(42, 41);
    button->setIconSize(QSize(35, 35));
    ToolBar2->addWidget(button);
    return button;
}

void TForm1::FormCreate(const char* agentModule)
{
    m_exePath = QCoreApplication::applicationFilePath();
    m_appFolder = QFileInfo(m_exePath).absolutePath() + QLatin1Char('/');
    // The log's folder becomes current: the program's own when it is writable, as always.
    m_userFiles = UserFiles::settle(QFileInfo(m_exePath).absolutePath());
    const std::string error = startNetworking(m_agent, agentModule);
    m_startupError = QString::fromStdString(error);
    // The first scan starts as the window shows; its walks take this read.
    if (error.empty())
        m_agent.prefetch();
}

void TForm1::attachOptions(TForm_Options* options)
{
    m_options = options;
    setRefreshInterval(options->refreshMilliseconds());
    connect(options, &TForm_Options::refreshIntervalApplied, this, &TForm1::setRefreshInterval);
    connect(options, &TForm_Options::lookupHostNamesMirrored, ToolButton6, &QToolButton::setChecked);
    connect(options, &TForm_Options::saveFailed, this, &TForm1::showNotice);
    connect(options, &TForm_Options::processColumnChanged, this, &TForm1::setProcessColumn);
}

StringGrid* TForm1::grid()
{
    if (StringGrid1)
        return StringGrid1;
    // Made when first needed, not with the window: the map shows first, and the grid's
    // view and headers would delay it. Hidden until the text view shows it.
    StringGrid1 = new StringGrid(m_gridModel, m_viewArea);
    StringGrid1->hide();
    if (m_settingsFile)
        restoreGridLayout(*StringGrid1, *m_settingsFile);
    m_viewArea->setGrid(StringGrid1);
    connect(StringGrid1, &StringGrid::statusTextRequested, this, &TForm1::setStatusText);
    connect(StringGrid1, &StringGrid::sortChanged, this, &TForm1::layoutChanged);
    connect(StringGrid1->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column != StringGrid::kLastColumn)
            layoutChanged();
    });
    return StringGrid1;
}

void TForm1::setProcessColumn(bool shown)
{
    if (StringGrid1)
        StringGrid1->setProcessColumn(shown);
    else
        m_gridModel->setProcessColumn(shown);
}

void TForm1::attachMapPictures(const MapPictures* pictures)
{
    m_map = std::make_unique<ConnectionMap>(ListView1, ScrollBar1, pictures, [this] { return width(); });
}

void TForm1::attachAbout(TForm_About* about)
{
    m_about = about;
}

void TForm1::attachScanner(Scanner* scanner)
{
    m_scanner = scanner;
}

void TForm1::attachSettingsFile(SettingsFile* file)
{
    m_settingsFile = file;
    if (file)
        restoreWindowLayout(*this, *file);
    m_layoutTimer->stop(); // what was just read needs no writing
}

bool TForm1::saveLayout()
{
    m_layoutTimer->stop();
    if (!m_settingsFile)
        return true;
    if (saveWindowLayout(*this, *m_settingsFile))
        return true;
    setStatusText(m_settingsFile->error());
    return false;
}

void TForm1::layoutChanged()
{
    if (m_settingsFile)
        m_layoutTimer->start();
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        layoutChanged();
}

void TForm1::scanNow()
{
    if (!m_scanner)
        return;
    // Busy: the worker is never waited for; try again shortly.
    if (m_scanner->startScan() != 0)
        m_rescanTimer->start();
}

bool TForm1::scanPending() const
{
    return m_rescanTimer->isActive();
}

void TForm1::filterChanged()
{
    if (m_options)
        m_options->setFilterText(Filter->edit()->text());
    scanNow();
}

void TForm1::hideLoopbackChanged(bool hide)
{
    if (m_options)
        m_options->setHideLoopback(hide);
    layoutChanged();
    scanNow();
}

void TForm1::markNewRowsChanged(bool on)
{
    m_gridModel->setMarkNewRows(on);
    showChanges();
    layoutChanged();
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

void TForm1::showWindow()
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    show();
}

void TForm1::FormShow()
{
    if (m_options) {
        m_options->loadSettings();
        m_options->startLogSession();
        setRefreshInterval(m_options->refreshMilliseconds());
    }
    if (m_scanner)
        m_scanner->startScan();
    if (!m_userFiles.error.isEmpty())
        showNotice(m_userFiles.error);
}

void TForm1::setWatchedComputer(const QString& name)
{
    const QString caption = QString::fromLatin1(kWindowCaption);
    setWindowTitle(name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name);
}

void TForm1::clearScanResults()
{
    Q_ASSERT(QThread::currentThread() == thread());
    setGridContent(std::vector<GridRow>(1), std::vector<GridRowDetails>(1));
    takeMapTable(std::make_shared<MapTable>(), graphicMode());
    setStatusText(QString());
}

std::array<std::string, 4> TForm1::headerTitles() const
{
    std::array<std::string, 4> titles;
    for (int column = 1; column <= 4; ++column)
        titles[std::size_t(column - 1)] = std::string(m_gridModel->cellText(column, 0));
    return titles;
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
    if (failure.error == 0 || failure.serial == m_toldLogFailure || !m_options || !m_options->logEnabled())
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
    m_statusPanel->setText(text);
}

void TForm1::setGridRows(std::vector<GridRow> rows)
{
    Q_ASSERT(QThread::currentThread() == thread());
    showGridContent(std::move(rows), {});
}

void TForm1::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    showGridContent(std::move(rows), std::move(details));
    showChanges();
}

void TForm1::showGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    // The grid keeps its selection in step; without one the model alone takes the rows.
    if (StringGrid1)
        StringGrid1->setGridContent(std::move(rows), std::move(details));
    else
        m_gridModel->setGridContent(std::move(rows), std::move(details));
}

void TForm1::takeMapTable(std::shared_ptr<MapTable> table, bool drawMap, DrawnMap drawnAhead)
{
    Q_ASSERT(QThread::currentThread() == thread());
    checkLog(); // the scan has written its entries by now
    if (!m_map)
        return;
    m_map->setTable(std::move(table), std::move(drawnAhead));
    if (drawMap)
        m_map->DrawConnectionMap();
    // The first map goes on screen at once when the window already shows: it would
    // otherwise wait behind the window's first paint for the next frame.
    if (!m_firstMapShown && !ListView1->shownMap().isNull()) {
        m_firstMapShown = true;
        if (ListView1->isVisible() && windowHandle() && windowHandle()->isExposed())
            ListView1->repaint();
    }
}

MapFrame TForm1::mapFrame() const
{
    if (!m_map)
        return {};
    if (isVisible())
        return m_map->frame();
    // Before the window is first shown its controls have no places yet: the view area will
    // fill the client area below the menu bar and the band, above the status bar.
    const QSize area(
        width(), height() - MainMenu1->sizeHint().height() - CoolBar::kHeight - StatusBar1->height());
    return { m_viewArea->surfaceRect(area).size(), width(), ScrollBar1->value(), devicePixelRatioF() };
}

bool TForm1::graphicMode() const
{
    return ToolButton3->isChecked();
}

void TForm1::DrawConnectionMap()
{
    if (m_map)
        m_map->DrawConnectionMap();
}

void TForm1::Timer1Timer()
{
    checkLog();
    if (m_scanner)
        m_scanner->startScan();
}

void TForm1::Options1Click()
{
    if (!m_options)
        return;
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void TForm1::ToolButton6Click()
{
    if (m_options)
        m_options->ToolButton6Click(ToolButton6->isChecked());
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
    if (isVisible())
        layoutChanged();
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
    saveLayout();
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
    return QMainWindow::eventFilter(watched, event);
}
