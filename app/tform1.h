#pragma once
// The main window: toolbar band, menu, the grid and the map surface with its scroll
// bar, the status bar and the refresh timer. Its toolbar buttons and the filter field
// are views of the options store.

#include "scan/options.h"
#include "scan/scan_view.h"
#include "views/connection_map.h"

#include <QMainWindow>

#include <memory>
#include <string>

class ConnectionClosing;
class ConnectionLog;
class FilterField;
class GridModel;
class MapSurface;
class OptionsStore;
class QAction;
class QContextMenuEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class Scanner;
class StringGrid;
class TrafficWindow;
class ViewArea;
struct MapPictures;

// What the window keeps of its layout across restarts, while the user asks for it.
struct WindowLayout;

class TForm1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    static constexpr int kClientWidth = 603;
    static constexpr int kClientHeight = 473;

    // Creates the window's controls, the grid's model with its header row, centred at its
    // first size.
    TForm1(OptionsStore& store, ConnectionLog& log);
    ~TForm1() override;

    // The services created after the main window.
    void attachMapPictures(const MapPictures* pictures);
    void attachScanner(Scanner* scanner);
    // The windows its commands show.
    void attachDialogs(QWidget* options, QWidget* preferences, QWidget* about);
    // A stored layout to take, before the window is first shown.
    void restoreLayout(const WindowLayout& layout);
    WindowLayout layout() const;
    // A folder the program could not settle, told once the window shows.
    void setStartupNotice(const QString& text) { m_startupNotice = text; }

    // The chosen view: the "Graphic/Text mode" button's down state, which is the store's.
    bool graphicMode() const;

    // A scan's effects, on the GUI thread, in the scan's order.
    void showScanView(bool graphic);
    void setStatusText(const QString& text);
    // Empty: the scan read the tables. Else the rows shown are stale: the status bar names
    // the failure and since when, over the texts of the scans that keep failing, and the
    // grid and the map grey the rows, until a scan reads again.
    void setReadFailure(const QString& failure);
    // While paused no refresh starts and what a running scan brings is not shown: the grid
    // and the map hold still. Released, a scan starts at once.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details);
    // The same, the rows moved out of content: a scan's 20,000 rows are not copied again.
    void takeGridContent(const std::shared_ptr<GridContent>& content);
    void takeMapTable(std::shared_ptr<MapTable> table, bool drawMap);

    // The computer being watched, named in the caption after the program's title; an empty
    // name (this computer) keeps the caption as it always was.
    void setWatchedComputer(const QString& name);
    // Another computer is watched from now on: the last one's rows, map and status go.
    void clearScanResults();

    // The map of the last finished scan; null before the pictures are attached.
    const ConnectionMap* connectionMap() const { return m_map.get(); }

    // The grid, made at its first use, which is usually the text view's first show. Its
    // model, made with the window, holds the rows, the sort and the marks.
    StringGrid* grid();
    GridModel* gridModel() const { return m_gridModel; }

    // Seconds × 1000; an interval of 0 or less never fires.
    void setRefreshInterval(int milliseconds);
    QString statusText() const;
    // The second status panel: new and closed rows, shown while their marking is on.
    QString changesText() const;

    // Starts a scan now; when one is running, once it has ended (F5, a filter change).
    void scanNow();
    // A scan asked for while one ran, still waiting to start.
    bool scanPending() const;

    // A failure told in the status bar over the scan's texts for a while; the program goes on.
    void showNotice(const QString& text);
    // Tells a new run of failed log writes once, while logging is on.
    void checkLog();

    // Handlers, named after control and event.
    void Timer1Timer(); // the refresh tick: starts a scan unless one is running
    void Options1Click(); // "Options" (menu and ToolButton5): shows the options dialog
    void ToolButton6Click(); // "Lookup hostnames": toggles host-name look-up, saved at once
    void ToolButton4Click(); // "ViewLog" (toolbar and menu): opens the log file
    void Help1Click(); // "Help" (menu and ToolButton1): opens help.htm
    void ToolButton2Click(); // "Exit": closes the window, which ends the program
    void About1Click(); // "About": shows the about box
    void PreferencesClick(); // "Preferences..." in the filter's menu: the additions' dialog
    void FormShow(); // the first show: the options read, the log session, the timer, a scan
    void FormActivate(); // the window became active: redraws the map in graphic mode
    void ScrollBar1Change(); // the map was scrolled: redraws it in graphic mode
    void FormResize(); // stretches the grid's last column and redraws the map
    void FormPaint(); // gives the map's scroll bar the keyboard focus while it is visible
    void FormMouseWheelDown(); // the wheel moves the map one line step down
    void FormMouseWheelUp(); // and one line step up
    void DrawConnectionMap(); // draws the last finished scan's map onto ListView1

    // Controls, named as the window's designer named them.
    QWidget* CoolBar1 = nullptr; // the toolbar's band, with its tiled picture
    QToolBar* ToolBar2 = nullptr; // the six buttons on the band
    QToolButton* ToolButton5 = nullptr; // "Options"
    QToolButton* ToolButton6 = nullptr; // "Lookup hostnames": the store's lookupHostNames
    QToolButton* ToolButton3 = nullptr; // "Graphic/Text mode": down shows the map at the next scan
    QToolButton* ToolButton4 = nullptr; // "ViewLog"
    QToolButton* ToolButton1 = nullptr; // "Help"
    QToolButton* ToolButton2 = nullptr; // "Exit"
    FilterField* Filter = nullptr; // the filter field and its menu, right on the band
    StringGrid* StringGrid1 = nullptr; // the text grid, one row per endpoint; see grid()
    MapSurface* ListView1 = nullptr; // the surface that shows the graphic map
    QScrollBar* ScrollBar1 = nullptr; // scrolls the map
    QStatusBar* StatusBar1 = nullptr; // one panel: "Scanning...", copy notices
    QTimer* Timer1 = nullptr; // the refresh interval
    QMenuBar* MainMenu1 = nullptr; // Options, ViewLog, Help, About
    QAction* Options1 = nullptr; // menu "Options"
    QAction* ViewLog1 = nullptr; // menu "ViewLog"
    QAction* Help1 = nullptr; // menu "Help"
    QAction* About1 = nullptr; // menu "About"
    // The last menu of the bar: every toolbar command and the window's keys, with their shortcuts.
    QMenu* View1 = nullptr;
    QAction* GraphicMode1 = nullptr; // Ctrl+G, as ToolButton3
    QAction* LookupHostnames1 = nullptr; // Ctrl+L, as ToolButton6
    QAction* ScanNow1 = nullptr; // F5
    QAction* Pause1 = nullptr; // F6, and Space on the grid
    QAction* Preferences1 = nullptr; // Ctrl+,
    QAction* History1 = nullptr; // Ctrl+H: the History window
    QAction* Traffic1 = nullptr; // Ctrl+T: the Traffic window, sums by process or remote host
    QAction* Exit1 = nullptr; // Ctrl+Q, as ToolButton2

Q_SIGNALS:
    void closed();
    void historyRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createDailyControls();
    void createViewMenu();
    void showStatus();
    void markStale(bool stale);
    QToolButton* addToolButton(const QString& picture, const QString& hint, bool checkable);
    void showOptions(const Options& now, const Options& before);
    void showChanges();
    void tellUnknownOwners(const std::vector<GridRowDetails>& details);
    void wheel(int angleDelta);
    static void showWindowOf(QWidget* window);

    OptionsStore& m_store;
    ConnectionLog& m_log;
    unsigned m_toldLogFailure = 0;
    bool m_toldUnknownOwners = false;
    bool m_shown = false;
    QString m_startupNotice;
    std::unique_ptr<WindowLayout> m_layout; // restored, for a grid made later

    ViewArea* m_viewArea = nullptr;
    GridModel* m_gridModel = nullptr;
    QLabel* m_statusPanel = nullptr;
    QLabel* m_changesPanel = nullptr;
    QLabel* m_pausePanel = nullptr;
    bool m_paused = false;
    // The last text a scan gave the status bar, and while reads fail, what is shown instead.
    QString m_scanStatus;
    QString m_readFailure;
    QString m_staleText;
    QString m_failingSince; // HH:MM:SS of the first failed scan
    QTimer* m_filterTimer = nullptr; // a short pause after typing, then one scan
    QTimer* m_rescanTimer = nullptr; // retries a scan asked for while one ran
    QWidget* m_options = nullptr;
    QWidget* m_preferences = nullptr;
    QWidget* m_about = nullptr;
    Scanner* m_scanner = nullptr;
    std::unique_ptr<ConnectionMap> m_map;
    ConnectionClosing* m_closing = nullptr; // made at the first "Close connection"
    TrafficWindow* m_trafficWindow = nullptr; // made at its first opening
    QMenu* m_mapMenu = nullptr; // a map row's "Close connection…" and "Stop process…", made at first use
    GridRowDetails m_mapMenuRow; // the row the map's menu opened on
    // Asks to close the row's connection, or to stop its process, on the watched computer.
    void requestClosing(const GridRowDetails& details, bool stop);
    // False, leaving the event as it was, off the rows or while closing is not offered.
    bool showMapMenu(QContextMenuEvent* event);
};
