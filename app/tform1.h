#pragma once
// The main window: toolbar band, menu, the grid and the map surface with its scroll
// bar, the status bar and the refresh timer.

#include "app/user_files.h"
#include "scan/mib_agent.h"
#include "scan/scan_view.h"
#include "views/connection_map.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <string>

class ConnectionLog;
class FilterField;
class GridModel;
class SettingsFile;
class MapSurface;
class MibAgent;
class QAction;
class QLabel;
class QMenuBar;
class QScrollBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class Scanner;
class StringGrid;
class TForm_About;
class TForm_Options;
class ViewArea;
struct MapPictures;

class TForm1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    static constexpr int kClientWidth = 603;
    static constexpr int kClientHeight = 473;

    // Runs FormCreate (the executable's folder becomes the current directory, networking
    // starts), then creates the window's controls and the grid's rows with their header row.
    TForm1(MibAgent& agent, ConnectionLog& log, const char* agentModule = kAgentModuleName);
    ~TForm1() override;

    // Empty, or the message of a failed start of networking.
    QString startupError() const { return m_startupError; }
    // Where options.dat, the settings file and relative log names are.
    const UserFiles& userFiles() const { return m_userFiles; }

    // The windows and services created after the main window.
    void attachOptions(TForm_Options* options);
    void attachMapPictures(const MapPictures* pictures);
    void attachAbout(TForm_About* about);
    void attachScanner(Scanner* scanner);
    // The INI file of the window's layout: restored now, written when it changes and at close.
    void attachSettingsFile(SettingsFile* file);
    // The down state of the "Graphic/Text mode" button: the one record of the chosen view.
    bool graphicMode() const;

    // Shows the window. The first time, its start (the options read, the first scan) comes
    // before the window is laid out and mapped, so that the first scan runs beside that.
    void showWindow();

    // A scan's effects, on the GUI thread, in the scan's order.
    void showScanView(bool graphic);
    void setStatusText(const QString& text);
    void setGridRows(std::vector<GridRow> rows);
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details);
    void takeMapTable(std::shared_ptr<MapTable> table, bool drawMap, DrawnMap drawnAhead = {});

    // The computer being watched, named in the caption after the program's title; an empty
    // name (this computer) keeps the caption as it always was.
    void setWatchedComputer(const QString& name);
    // Another computer is watched from now on: the last one's rows, map and status go.
    void clearScanResults();

    // The map of the last finished scan; null before the pictures are attached.
    const ConnectionMap* connectionMap() const { return m_map.get(); }
    // Where the map's next run would draw; empty before the pictures are attached. Before
    // the window is first shown, where its first run will draw once the map fits.
    MapFrame mapFrame() const;

    // The grid, made at its first use, which is usually the text view's first show. Until
    // then its model alone keeps the rows, the sort and the marks.
    StringGrid* grid();
    GridModel* gridModel() const { return m_gridModel; }

    // The header texts of grid columns 1 to 4, for the log's session header.
    std::array<std::string, 4> headerTitles() const;
    // Seconds × 1000; an interval of 0 or less never fires.
    void setRefreshInterval(int milliseconds);
    QString statusText() const;
    // The second status panel: new and closed rows, shown while their marking is on.
    QString changesText() const;

    // Starts a scan now; when one is running, once it has ended (F5, a filter change).
    void scanNow();
    // A scan asked for while one ran, still waiting to start.
    bool scanPending() const;
    // Writes the layout to the attached settings file; a failure is told in the status bar.
    bool saveLayout();

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
    QToolButton* ToolButton6 = nullptr; // "Lookup hostnames": mirrors the dialog's CheckBox4
    QToolButton* ToolButton3 = nullptr; // "Graphic/Text mode": down shows the map at the next scan
    QToolButton* ToolButton4 = nullptr; // "ViewLog"
    QToolButton* ToolButton1 = nullptr; // "Help"
    QToolButton* ToolButton2 = nullptr; // "Exit"
    FilterField* Filter = nullptr; // the filter field and its options, right on the band
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

Q_SIGNALS:
    void closed();
    // The "Graphic/Text mode" button changed; the next scan shows that view.
    void graphicModeChanged(bool graphic);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createDailyControls();
    void filterChanged();
    void hideLoopbackChanged(bool hide);
    void markNewRowsChanged(bool on);
    void setProcessColumn(bool shown);
    void showGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details);
    void showChanges();
    void layoutChanged();
    void FormCreate(const char* agentModule);
    void FormShow();
    void createControls();
    QToolButton* addToolButton(const QString& picture, const QString& hint, bool checkable);
    void wheel(int angleDelta);

    MibAgent& m_agent;
    ConnectionLog& m_log;
    QString m_startupError;
    QString m_exePath;
    QString m_appFolder;
    UserFiles m_userFiles;
    unsigned m_toldLogFailure = 0;
    bool m_shown = false;
    bool m_firstMapShown = false;

    ViewArea* m_viewArea = nullptr;
    GridModel* m_gridModel = nullptr;
    QLabel* m_statusPanel = nullptr;
    QLabel* m_changesPanel = nullptr;
    SettingsFile* m_settingsFile = nullptr;
    QTimer* m_filterTimer = nullptr; // a short pause after typing, then one scan
    QTimer* m_rescanTimer = nullptr; // retries a scan asked for while one ran
    QTimer* m_layoutTimer = nullptr; // gathers layout changes into one write
    TForm_Options* m_options = nullptr;
    TForm_About* m_about = nullptr;
    Scanner* m_scanner = nullptr;
    std::unique_ptr<ConnectionMap> m_map;
};
