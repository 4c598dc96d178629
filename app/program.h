#pragma once
// The program's parts, created once in start-up order and kept for the whole run:
// the main window, the options dialog, the map's pictures, the about box, and the
// scanner with the bridge that carries its effects to the window.

#include "scan/mib_agent.h"
#include "settings/watch_options.h"

#include <QString>

#include <memory>

class ConnectionLog;
class MibAgent;
class NameServices;
class Scanner;
class SettingsFile;
class TForm1;
class TForm_About;
class TForm_Options;
class WindowScanView;
struct MapPictures;
struct MapTable;

class Program final
{
public:
    // Creates the windows; a failed start of networking stops after the main window.
    Program(NameServices& names, const char* agentModule = kAgentModuleName);
    // Releases a scan that waits on the window, then joins it.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Empty, or the message of a failed start-up.
    QString startupError() const;
    // Shows the main window, which loads the settings and starts the first scan.
    void show();
    // Called once the window has closed: later scan effects are dropped.
    void shutdown();

    TForm1& form1() { return *m_form1; }
    TForm_Options& options() { return *m_options; }
    TForm_About& about() { return *m_about; }
    Scanner& scanner() { return *m_scanner; }
    ConnectionLog& log() { return *m_log; }

    // Watches target from the next scan on; a scan of the last target still running ends
    // unseen.
    void watch(const WatchTarget& target);

private:
    void connectScanView(WindowScanView* view);
    void showWatchedComputer(const MapTable& table);

    // Declared so that they are destroyed in the safe order: the scanner (joined)
    // first, then the bridge, the main window, and last what the window points at.
    NameServices& m_names;
    std::unique_ptr<ConnectionLog> m_log;
    std::shared_ptr<MibAgent> m_agent; // the module loaded into the process: this computer
    std::unique_ptr<MapPictures> m_pictures;
    std::unique_ptr<SettingsFile> m_settingsFile; // veltran.ini: options after options.dat, the layout
    std::unique_ptr<TForm_Options> m_options;
    std::unique_ptr<TForm_About> m_about;
    std::unique_ptr<TForm1> m_form1;
    std::shared_ptr<WindowScanView> m_view; // the current target's; its scans hold it too
    WatchTarget m_watchTarget;
    std::unique_ptr<Scanner> m_scanner;
};
