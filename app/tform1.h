#pragma once
// The main window: toolbar band, menu, the grid and the map surface with its scroll
// bar, the status bar and the refresh timer.

#include "scan/scan_view.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <string>

class ConnectionLog;
class ConnectionMap;
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
class WindowScanView;
struct MapPictures;

class TForm1 final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    static constexpr int kClientWidth = 603;
    static constexpr int kClientHeight = 473;

    // Creates the window and runs FormCreate: the executable's folder becomes the
    // current directory, networking starts, the grid gets its header row.
    TForm1(MibAgent& agent, ConnectionLog& log, const char* agentModule = "inetmib1.dll");
    ~TForm1() override;

    // Empty, or the message of a failed start of networking.
    QString startupError() const { return m_startupError; }

    // The windows and services created after the main window.
    void attachOptions(TForm_Options* options);
    void attachMapPictures(const MapPictures* pictures);
    void attachAbout(TForm_About* about);
    void attachScanner(Scanner* scanner, WindowScanView* view);

    // A scan's effects, on the GUI thread, in the scan's order.
    void showScanView(bool graphic);
    void setStatusText(const QString& text);
    void setGridRows(std::vector<GridRow> rows);
    void takeMapTable(std::shared_ptr<MapTable> table, bool drawMap);

    // The header texts of grid columns 1 to 4, for the log's session header.
    std::array<std::string, 4> headerTitles() const;
    // Seconds × 1000; an interval of 0 or less never fires.
    void setRefreshInterval(int milliseconds);
    QString statusText() const;

    // Handlers.
    void Timer1Timer();
    void Options1Click();
    void ToolButton6Click();
    void ToolButton4Click();
    void Help1Click();
    void ToolButton2Click();
    void About1Click();
    void FormActivate();
    void ScrollBar1Change();
    void FormResize();
    void FormPaint();
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    void DrawConnectionMap();

    // Controls, named as the window's designer named them.
    QWidget* CoolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton4 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    StringGrid* StringGrid1 = nullptr;
    MapSurface* ListView1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QAction* Options1 = nullptr;
    QAction* ViewLog1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* About1 = nullptr;

Q_SIGNALS:
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const char* agentModule);
    void FormShow();
    void createControls();
    QToolButton* addToolButton(const QString& picture, const QString& hint, bool checkable);
    bool graphicMode() const;
    void wheel(int angleDelta);

    MibAgent& m_agent;
    ConnectionLog& m_log;
    QString m_startupError;
    QString m_exePath;
    QString m_appFolder;
    bool m_shown = false;

    ViewArea* m_viewArea = nullptr;
    QLabel* m_statusPanel = nullptr;
    TForm_Options* m_options = nullptr;
    TForm_About* m_about = nullptr;
    Scanner* m_scanner = nullptr;
    WindowScanView* m_view = nullptr;
    std::unique_ptr<ConnectionMap> m_map;
};
