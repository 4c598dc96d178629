// The main window with its real parts: the real agent module over this private
// namespace's sockets, the options dialog, the map and the grid.
#include "app/filter_field.h"
#include "app/program.h"
#include "app/tform1.h"
#include "app/traffic_window.h"
#include "help/shell.h"
#include "platform/name_services.h"
#include "scan/scanner.h"
#include "settings/options_store.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "tests/common/netns.h"
#include "tests/common/wait_until.h"
#include "tests/common/window_test.h"
#include "views/grid_model.h"
#include "views/map_surface.h"
#include "views/string_grid.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

QMessageBox* capacityBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text().startsWith(QStringLiteral("Too many connections !\n")))
            return box;
    }
    return nullptr;
}

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, FirstScanShowsTheMapAndThePressedModeButtonTheGridAtTheNextScan)
{
    sockets.connectTo(sockets.listen());
    sockets.udp(1);
    create();
    program->show();
    finishScan();

    EXPECT_TRUE(form().ListView1->isVisible());
    EXPECT_FALSE(form().grid()->isVisible());
    EXPECT_EQ(form().statusText(), QString());
    EXPECT_FALSE(form().ListView1->shownMap().isNull());

    // Pressing the mode button changes nothing until the next scan.
    QTest::mouseClick(form().ToolButton3, Qt::LeftButton);
    EXPECT_FALSE(form().ToolButton3->isChecked());
    QCoreApplication::processEvents();
    EXPECT_TRUE(form().ListView1->isVisible());

    form().Timer1Timer();
    finishScan();
    EXPECT_TRUE(form().grid()->isVisible());
    EXPECT_FALSE(form().ListView1->isVisible());
    EXPECT_FALSE(form().ScrollBar1->isVisible());

    // Listener, both ends of the connection, one UDP socket.
    EXPECT_EQ(form().grid()->rowCount(), 5);
    EXPECT_EQ(countCells(6, QStringLiteral("Established")), 2);
    EXPECT_EQ(countCells(6, QStringLiteral("Listening")), 1);
    EXPECT_EQ(countCells(5, QStringLiteral("UDP")), 1);
    EXPECT_EQ(form().grid()->cellText(6, 1), QStringLiteral("Established"));
    EXPECT_EQ(form().grid()->cellText(0, 4), QStringLiteral("4"));

    // A click on a data cell copies it and says so in the status bar.
    const QRect cell = form().grid()->visualRect(form().grid()->model()->index(0, 1));
    QTest::mouseClick(form().grid()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form().statusText(), QStringLiteral("Selected block was copied into Clipboard"));
}

TEST_F(MainWindowTest, AFirstStartIsTheWindowAsItAlwaysWas)
{
    // A listener on every interface and a connection on loopback: both addresses are this
    // computer's name, so the map shows one interface.
    sockets.connectTo(sockets.listen(true));
    create();
    program->show();
    finishScan();
    EXPECT_TRUE(form().graphicMode());
    EXPECT_TRUE(form().ListView1->isVisible());
    EXPECT_EQ(form().width(), TForm1::kClientWidth);
    EXPECT_EQ(form().height() - form().MainMenu1->height(), TForm1::kClientHeight);
    const QRect screen = form().screen()->availableGeometry();
    EXPECT_LE((form().frameGeometry().center() - screen.center()).manhattanLength(), 6) << "centred";
    EXPECT_EQ(countMapRows(form().connectionMap()->table().table).interfaceCount, 1);
    EXPECT_EQ(form().connectionMap()->table().table.row(1).localHost, std::string("testbox"));
    for (QToolButton* button : form().ToolBar2->findChildren<QToolButton*>())
        EXPECT_TRUE(button->statusTip().isEmpty()) << "the status bar is the scan's and the copy's";
    form().close();
    program.reset();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("veltran.ini"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("options.dat"))));
}

TEST_F(MainWindowTest, ASettingsFileThatIsNoFileOrHoldsAForeignGeometryIsRefusedAndTheWindowAppears)
{
    // A pipe where veltran.ini should be: told, never waited on.
    const QByteArray ini = QFile::encodeName(dir.filePath(QStringLiteral("veltran.ini")));
    ASSERT_EQ(mkfifo(ini.constData(), 0600), 0);
    create();
    program->show();
    finishScan();
    EXPECT_TRUE(form().isVisible());
    EXPECT_TRUE(form().StatusBar1->currentMessage().contains(QStringLiteral("veltran.ini is refused")))
        << form().StatusBar1->currentMessage().toStdString();
    program.reset();
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("veltran.ini"))));

    // A remembered geometry of a window far too small is not taken; one off every screen
    // shows on the screen.
    QWidget tiny;
    for (const QRect& place : { QRect(0, 0, 224, 102), QRect(-5000, -5000, 700, 500) }) {
        tiny.setGeometry(place);
        create();
        const QRect usual = form().geometry();
        program.reset();
        {
            SettingsFile file(dir.filePath(QStringLiteral("veltran.ini")));
            ASSERT_TRUE(file.setValue(QStringLiteral("Window/RememberLayout"), true));
            ASSERT_TRUE(file.setValue(QStringLiteral("Window/Geometry"), tiny.saveGeometry()));
        }
        create();
        EXPECT_TRUE(program->store().current().rememberLayout);
        if (place.width() < 240) {
            EXPECT_EQ(form().geometry(), usual);
        }
        const QRect screen = form().screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(form().frameGeometry().center())) << place.x() << "," << place.y();
        program.reset();
    }
}

// A wheel step over the map, or the scroll bar, moves the map by one row.
void wheelOver(QWidget* widget, int delta)
{
    QWheelEvent event(QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &event);
}

TEST_F(MainWindowTest, WheelOverTheMapScrollsByOneRowAndStopsAtTheEnds)
{
    sockets.udp(12);
    create();
    program->show();
    finishScan();
    QScrollBar* bar = form().ScrollBar1;
    ASSERT_TRUE(bar->isVisible()) << "twelve rows outgrow the surface";
    EXPECT_EQ(bar->singleStep(), 41);
    EXPECT_EQ(form().ListView1->width(), form().width() - bar->width());

    wheelOver(form().ListView1, 120);
    EXPECT_EQ(bar->value(), 0);
    wheelOver(form().ListView1, -120);
    EXPECT_EQ(bar->value(), 41);
    wheelOver(bar, -120);
    EXPECT_EQ(bar->value(), 82);
    for (int i = 0; i < 20; ++i)
        wheelOver(form().ListView1, -120);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindowTest, AMapRowOffersClosingOnlyWithTrafficShown)
{
    sockets.connectTo(sockets.listen());
    create();
    program->show();
    finishScan();
    const auto menuAt = [this](bool expectMenu) {
        for (int y = 0; y < form().ListView1->height(); ++y) {
            const ConnectionRow* row = form().connectionMap()->rowAt(QPoint(300, y));
            if (!row || std::strcmp(row->state, "Established") != 0)
                continue;
            QContextMenuEvent event(
                QContextMenuEvent::Mouse, QPoint(300, y), form().ListView1->mapToGlobal(QPoint(300, y)));
            QApplication::sendEvent(form().ListView1, &event);
            auto* menu = form().findChild<QMenu*>(QStringLiteral("MapMenu"));
            EXPECT_EQ(menu && menu->isVisible(), expectMenu);
            if (menu) {
                EXPECT_TRUE(menu->actions().at(0)->isEnabled()) << "an established TCP row";
                menu->close();
            }
            return;
        }
        ADD_FAILURE() << "no established row on the map";
    };
    menuAt(false);
    program->store().set(&Options::showTraffic, true);
    form().scanNow();
    finishScan();
    menuAt(true);
}

TEST_F(MainWindowTest, TheTrafficWindowSumsTheConnectionsOfEachProcess)
{
    sockets.connectTo(sockets.listen());
    create();
    program->store().set(&Options::showTraffic, true);
    program->show();
    finishScan();
    form().Traffic1->trigger();
    finishScan();
    auto* window = form().findChild<TrafficWindow*>();
    ASSERT_TRUE(window && window->isVisible());
    const QAbstractItemModel* groups = window->TableGroups->model();
    QStringList owners;
    for (int row = 0; row < groups->rowCount(); ++row)
        owners << groups->index(row, 0).data().toString();
    EXPECT_TRUE(owners.join(u' ').contains(u'[' + QString::number(getpid()) + u']'))
        << owners.join(u' ').toStdString();
    window->ComboGrouping->setCurrentIndex(1);
    ASSERT_EQ(groups->rowCount(), 1);
    EXPECT_EQ(groups->index(0, 1).data().toInt(), 2) << "both ends of the pair";
    EXPECT_EQ(groups->index(0, 0).data().toString(), u"127.0.0.1"_qs);
}

TEST_F(MainWindowTest, RefreshIntervalFollowsTheStoredTimeAndOk)
{
    // A stored 0 reaches the timer unchecked, and a timer without interval stays idle.
    writeOptions("0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n");
    create();
    EXPECT_EQ(form().Timer1->interval(), 1000) << "the dialog's creation sets the default";
    program->show();
    finishScan();
    EXPECT_FALSE(form().Timer1->isActive());

    TForm_Options& options = program->options();
    options.ensureControls();
    options.Edit_Time->setText(QStringLiteral("99"));
    QTest::mouseClick(options.Button1, Qt::LeftButton);
    EXPECT_TRUE(form().Timer1->isActive());
    EXPECT_EQ(form().Timer1->interval(), 99000);

    options.Edit_Time->setText(QStringLiteral("0"));
    QTest::mouseClick(options.Button1, Qt::LeftButton);
    EXPECT_EQ(form().Timer1->interval(), 1000);
    EXPECT_TRUE(form().Timer1->isActive());
}

TEST_F(MainWindowTest, LookupHostnamesButtonMirrorsTheDialogAndSaves)
{
    create();
    program->show();
    finishScan();
    TForm_Options& options = program->options();
    ASSERT_TRUE(form().ToolButton6->isChecked());

    // Before the dialog was ever shown: its controls are not made yet.
    QTest::mouseClick(form().ToolButton6, Qt::LeftButton);
    EXPECT_FALSE(program->store().current().lookupHostNames);
    QFile file(dir.filePath(QStringLiteral("options.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n"));
    options.ensureControls();
    EXPECT_FALSE(options.CheckBox4->isChecked());

    // And the dialog's box moves the button back.
    options.CheckBox4->setChecked(true);
    EXPECT_TRUE(form().ToolButton6->isChecked());
}

TEST_F(MainWindowTest, TicksDuringAScanStartNothing)
{
    sockets.listen();
    sockets.udp(1);
    names.setLocalNameDelay(std::chrono::milliseconds(150));
    create();
    program->show();
    ASSERT_TRUE(program->scanner().scanBusy());
    for (int i = 0; i < 5; ++i)
        form().Timer1Timer();
    EXPECT_TRUE(waitUntil([this] { return form().statusText() == QStringLiteral("Scanning..."); }));
    finishScan();
    // One scan: the computer's name asked once, for its first local address.
    EXPECT_EQ(names.localNameCalls(), 1);
    EXPECT_EQ(form().statusText(), QString());
}

TEST_F(MainWindowTest, ClosingTheWindowDuringAScanDropsItsLateEffects)
{
    sockets.listen();
    names.setLocalNameDelay(std::chrono::milliseconds(300));
    create();
    program->show();
    ASSERT_TRUE(waitUntil([this] { return form().statusText() == QStringLiteral("Scanning..."); }));
    form().close();
    program->shutdown();
    ASSERT_TRUE(waitUntil([this] { return !program->scanner().scanBusy() && !form().scanPending(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(form().statusText(), QStringLiteral("Scanning...")) << "the scan's end reached a closed window";
    program.reset();
}

TEST_F(MainWindowTest, CapacityMessageIsShownOnceWhenAnOverflowBegins)
{
    sockets.udp(203);
    // UDP only, as connections of earlier tests may linger in TIME_WAIT; no refresh,
    // so that only the first scan runs.
    writeOptions("0\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n");
    create();
    program->show();
    int shown = 0;
    while (shown < 4) {
        QMessageBox* box = nullptr;
        const bool appeared
            = waitUntil([&box] { return (box = capacityBox()) != nullptr; }, shown < 1 ? 5000 : 500);
        if (!appeared)
            break;
        ++shown;
        EXPECT_TRUE(box->text().endsWith(QStringLiteral("3 endpoints were not shown.")));
        EXPECT_EQ(box->windowModality(), Qt::NonModal); // Exit and the close box still work
        // The scan never waits on the box: its rows are shown while the box is up.
        finishScan();
        EXPECT_EQ(form().grid()->rowCount(), 201);
        box->button(QMessageBox::Ok)->click();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(shown, 1);
    finishScan();
    EXPECT_EQ(form().grid()->rowCount(), 201);
    EXPECT_EQ(form().statusText(), QStringLiteral("3 endpoints were not shown."));
}

TEST_F(MainWindowTest, ClosingTheWindowWhileTheCapacityMessageIsOpenEndsCleanly)
{
    sockets.udp(202);
    create();
    program->show();
    ASSERT_TRUE(waitUntil([] { return capacityBox() != nullptr; }));
    // A real click on Exit, through the window system's input, which a modal box would block.
    QTest::mouseClick(form().ToolButton2, Qt::LeftButton);
    EXPECT_FALSE(form().isVisible());
    program->shutdown();
    // Joins the worker: it must have been released from its wait.
    program.reset();
    SUCCEED();
}

TEST(StartupTest, AMissingAgentModuleIsReported)
{
    ScriptedNameServices names;
    const QString previous = QDir::currentPath();
    Program program(names, "/nonexistent/libnothing.so");
    QDir::setCurrent(previous);
    EXPECT_EQ(program.startupError(), QStringLiteral("Could not load extension DLL !"));
}

TEST_F(MainWindowTest, LayoutSortAndViewSurviveARestartWhenAskedAndTheFilterActsAtOnce)
{
    sockets.connectTo(sockets.listen());
    sockets.udp(1);
    create();
    program->store().change([](Options& options) {
        options.rememberLayout = true;
        options.sortByHeader = true;
    });
    program->store().savePreferences();
    program->show();
    finishScan();
    StringGrid* grid = form().grid();
    form().resize(700, 520);
    form().move(33, 44);
    grid->setGridColumnWidth(1, 150);
    grid->setGridColumnWidth(4, 99);
    grid->cycleSort(5);
    grid->cycleSort(5); // descending
    QTest::mouseClick(form().ToolButton3, Qt::LeftButton); // the text view
    const QRect geometry = form().geometry();

    // The filter: a scan at once, narrowed to UDP, and the status bar tells what is hidden.
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    QTest::keyClick(&form(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(form().Filter->edit()->hasFocus());
    EXPECT_FALSE(form().Filter->edit()->isClearButtonEnabled()); // made with the first text
    QTest::keyClicks(form().Filter->edit(), QStringLiteral("udp"));
    EXPECT_TRUE(form().Filter->edit()->isClearButtonEnabled());
    ASSERT_TRUE(waitUntil([&] { return form().statusText().startsWith(QStringLiteral("Filter:")); }));
    finishScan();
    EXPECT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->cellText(5, 1), QStringLiteral("UDP"));
    EXPECT_EQ(form().statusText(), QStringLiteral("Filter: 3 endpoints hidden"));
    QTest::keyClick(form().Filter->edit(), Qt::Key_Escape);
    EXPECT_TRUE(form().Filter->edit()->text().isEmpty());

    // F5 scans without waiting for the 1-second tick's successor; Ctrl+Q closes.
    finishScan();
    form().Timer1->stop();
    const int scansBefore = names.localNameCalls();
    QTest::keyClick(&form(), Qt::Key_F5);
    ASSERT_TRUE(waitUntil([&] { return names.localNameCalls() > scansBefore; }));
    finishScan();
    QTest::keyClick(&form(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form().isVisible());
    program.reset();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("veltran.ini"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("options.dat"))))
        << "nothing of it in options.dat";

    // Forgetting the layout: the next start is the first start's window again.
    create();
    EXPECT_EQ(form().geometry(), geometry);
    program->store().set(&Options::rememberLayout, false);
    program->store().savePreferences();
    program.reset();
    create();
    EXPECT_NE(form().geometry(), geometry);
    EXPECT_TRUE(form().graphicMode());
    program->store().set(&Options::rememberLayout, true);
    program->store().savePreferences();
    program.reset();

    create();
    program->show();
    finishScan();
    grid = form().grid();
    EXPECT_EQ(form().geometry(), geometry);
    EXPECT_EQ(grid->gridColumnWidth(1), 150);
    EXPECT_EQ(grid->gridColumnWidth(4), 99);
    EXPECT_EQ(grid->gridColumnWidth(0), StringGrid::kInitialColumnWidths[0]);
    EXPECT_EQ(form().gridModel()->sortColumn(), 5);
    EXPECT_EQ(form().gridModel()->sortOrder(), Qt::DescendingOrder);
    EXPECT_FALSE(form().graphicMode());
    EXPECT_TRUE(grid->isVisible());
    // Sorted by protocol, descending: UDP first, the filter is gone.
    EXPECT_EQ(grid->rowCount(), 5);
    EXPECT_EQ(grid->cellText(5, 1), QStringLiteral("UDP"));
    EXPECT_EQ(grid->cellText(0, 1), QStringLiteral("4"));
    EXPECT_EQ(form().statusText(), QString());

    // A run in the graphic view never makes the grid; its close keeps the stored widths.
    QTest::mouseClick(form().ToolButton3, Qt::LeftButton);
    form().close();
    program.reset();
    create();
    program->show();
    finishScan();
    EXPECT_EQ(form().StringGrid1, nullptr);
    form().close();
    program.reset();
    create();
    program->show();
    EXPECT_EQ(form().grid()->gridColumnWidth(1), 150);
    EXPECT_EQ(form().gridModel()->sortColumn(), 5);
}

} // namespace

namespace {

// A tiny tmpfs, filled up, in a mount namespace of this process's own.
class FullFilesystem
{
public:
    explicit FullFilesystem(const QString& folder)
        : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=16k") != 0)
            return;
        QFile filler(folder + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
        m_mounted = true;
    }
    ~FullFilesystem()
    {
        if (m_mounted)
            umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

} // namespace

TEST_F(MainWindowTest, FailedLogWritesAndSavesAreToldOnceInTheStatusBar)
{
    sockets.connectTo(sockets.listen());
    writeOptions("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\nfull/netlog.txt\r\n");
    const FullFilesystem full(dir.filePath(QStringLiteral("full")));
    ASSERT_TRUE(full.mounted());
    create();
    program->show();
    finishScan();
    const QString told = QStringLiteral("Could not write the log full/netlog.txt: No space left on device");
    EXPECT_TRUE(waitUntil([this, &told] { return form().StatusBar1->currentMessage() == told; }))
        << form().StatusBar1->currentMessage().toStdString();
    // Told once: the next scans fail the same way and say nothing more.
    form().StatusBar1->clearMessage();
    program->scanner().startScan();
    finishScan();
    form().Timer1Timer();
    finishScan();
    EXPECT_EQ(form().StatusBar1->currentMessage(), QString());

    // A save that cannot be written says so too, and the program goes on.
    QDir::setCurrent(dir.filePath(QStringLiteral("full")));
    QTest::mouseClick(form().ToolButton6, Qt::LeftButton);
    EXPECT_EQ(form().StatusBar1->currentMessage(),
        QStringLiteral("Could not save options.dat: No space left on device"));
    QDir::setCurrent(dir.path());
}

TEST_F(MainWindowTest, F1OpensHelp)
{
    create();
    program->show();
    finishScan();
    std::vector<std::string> opened;
    const ShellHandler previous
        = setShellHandler([&opened](const std::string& target) { opened.push_back(target); });
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    QTest::keyClick(&form(), Qt::Key_F1);
    setShellHandler(previous);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(opened[0]).endsWith(QStringLiteral("/help.htm")));
}

TEST_F(MainWindowTest, TheViewMenuPauseAndKeysReachEveryCommand)
{
    sockets.udp(12);
    create();
    program->show();
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    finishScan();

    // The four classic items first, as they were; the new menu last, every entry with its key.
    const QList<QAction*> bar = form().MainMenu1->actions();
    ASSERT_EQ(bar.size(), 5);
    EXPECT_EQ(bar[0], form().Options1);
    EXPECT_EQ(bar[3], form().About1);
    EXPECT_EQ(bar[4]->menu(), form().View1);
    int entries = 0;
    for (QAction* action : form().View1->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue; // the Fleet map is offered only while more computers are watched
        ++entries;
        EXPECT_FALSE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
    EXPECT_EQ(entries, 11); // History... and Traffic... among them

    QTest::keyClick(&form(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_FALSE(form().ToolButton3->isChecked());
    QTest::keyClick(&form(), Qt::Key_G, Qt::ControlModifier);

    // The map's keys: a page is the surface's height in whole rows.
    QScrollBar* bar1 = form().ScrollBar1;
    ASSERT_TRUE(bar1->isVisible());
    bar1->setFocus();
    QTest::keyClick(bar1, Qt::Key_PageDown);
    EXPECT_EQ(bar1->value(), std::min(form().ListView1->height() / 41 * 41, bar1->maximum()));
    // Tab goes on to the toolbar, and the map's next paint leaves it there.
    QTest::keyClick(bar1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form().ToolButton5);
    form().ListView1->repaint();
    EXPECT_EQ(QApplication::focusWidget(), form().ToolButton5);

    // Pause: no refresh, the status bar says so; released, a scan at once.
    const int shown = form().connectionMap()->table().table.count();
    QTest::keyClick(&form(), Qt::Key_F6);
    ASSERT_TRUE(form().paused());
    EXPECT_TRUE(form().StatusBar1->findChild<QLabel*>(QStringLiteral("PausePanel"))->isVisible());
    sockets.udp(2);
    form().Timer1Timer();
    form().scanNow();
    EXPECT_FALSE(program->scanner().scanBusy());
    EXPECT_EQ(form().connectionMap()->table().table.count(), shown);
    QTest::keyClick(&form(), Qt::Key_F6);
    EXPECT_FALSE(form().paused());
    EXPECT_TRUE(program->scanner().scanBusy());
    finishScan();
    form().Timer1Timer(); // the agent may answer from its table of a moment ago
    finishScan();
    EXPECT_EQ(form().connectionMap()->table().table.count(), shown + 2);

    // Space on the grid pauses too.
    QTest::keyClick(&form(), Qt::Key_G, Qt::ControlModifier);
    form().Timer1Timer();
    finishScan();
    ASSERT_TRUE(form().grid()->isVisible());
    form().grid()->setFocus();
    QTest::keyClick(form().grid(), Qt::Key_Space);
    EXPECT_TRUE(form().paused());
}

TEST(UserFilesTest, AnInstalledProgramUsesTheXdgFoldersEvenWhereItCouldWrite)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/veltran")));
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const QString previousDir = QDir::currentPath();
    qputenv("XDG_CONFIG_HOME", prefix.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", prefix.filePath(QStringLiteral("state")).toLocal8Bit());

    const UserFiles portable = UserFiles::settle(prefix.filePath(QStringLiteral("bin")));
    QFile(prefix.filePath(QStringLiteral("share/veltran/help.htm"))).open(QIODevice::WriteOnly);
    const UserFiles installed = UserFiles::settle(prefix.filePath(QStringLiteral("bin")));

    QDir::setCurrent(previousDir);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
    state.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", state);
    EXPECT_TRUE(portable.besideProgram);
    EXPECT_EQ(portable.optionsFile, QStringLiteral("options.dat"));
    EXPECT_FALSE(installed.besideProgram);
    EXPECT_EQ(installed.optionsFile, prefix.filePath(QStringLiteral("config/veltran/options.dat")));
    EXPECT_EQ(installed.logFolder, prefix.filePath(QStringLiteral("state/veltran")));
}

TEST(UserFilesTest, XdgFoldersFollowTheVariablesOrTheirDefaults)
{
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    qputenv("HOME", "/home/someone");
    const struct
    {
        const char* config;
        const char* state;
        const char* wantedConfig;
        const char* wantedState;
    } cases[] = {
        { "/x/config", "/x/state", "/x/config/veltran", "/x/state/veltran" },
        { "", "", "/home/someone/.config/veltran", "/home/someone/.local/state/veltran" },
        { "relative", "also/relative", "/home/someone/.config/veltran",
            "/home/someone/.local/state/veltran" },
    };
    for (const auto& c : cases) {
        qputenv("XDG_CONFIG_HOME", c.config);
        qputenv("XDG_STATE_HOME", c.state);
        EXPECT_EQ(UserFiles::configFolder(), QString::fromLatin1(c.wantedConfig)) << c.config;
        EXPECT_EQ(UserFiles::stateFolder(), QString::fromLatin1(c.wantedState)) << c.state;
    }
    qputenv("HOME", home);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
    state.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", state);
}
