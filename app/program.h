#pragma once
// The program's parts, created once in start-up order and kept for the whole run: the
// folders and the agent module, the options store, the main window, the options dialog,
// the map's pictures, the about box, the Preferences, and the scanner with the bridge
// that carries its effects to the window.

#include "app/thread_retirement.h"
#include "app/user_files.h"
#include "history/history_recorder.h"
#include "scan/mib_agent.h"

#include <QString>

#include <memory>
#include <string>

class ConnectionLog;
class DesktopNotifier;
class HistoryWindow;
class MibAgent;
class NameServices;
class OptionsStore;
class PreferencesDialog;
class Scanner;
class FleetMapWindow;
class FleetScan;
struct MapTable;
class FleetWatcher;
class QAction;
class SecretStore;
class SettingsFile;
class TForm1;
class TForm_About;
class TForm_Options;
class WindowScanView;
struct MapPictures;
struct MapTable;
struct Options;

// Before the application object: repaints go to an X server through the connection, not
// through shared memory. A shared-memory repaint waits for the server's answer before the
// next one may draw, which woke the idle window four more times at every refresh. A
// QT_XCB_NO_MITSHM of the user's own stands.
void prepareDisplayConnection();

class Program final
{
public:
    // Makes the log's folder current, starts networking and creates the windows; a failed
    // start of networking creates none. The per-user files lie beside the program, in
    // programFolder (the executable's by default), or in the XDG folders where it cannot write.
    explicit Program(
        NameServices& names, const char* agentModule = kAgentModuleName, const QString& programFolder = {});
    // Releases a scan that waits on the window, then joins it.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Empty, or the message of a failed start-up.
    QString startupError() const { return m_startupError; }
    // Shows the main window, which loads the options and starts the first scan.
    void show();
    // Called once the window has closed: later scan effects are dropped.
    void shutdown();

    TForm1& form1() { return *m_form1; }
    TForm_Options& options() { return *m_options; }
    PreferencesDialog& preferences() { return *m_preferences; }
    TForm_About& about() { return *m_about; }
    Scanner& scanner() { return *m_scanner; }
    ConnectionLog& log() { return *m_log; }
    // The fleet map's window, once opened.
    FleetMapWindow* fleetMap() { return m_fleetMap.get(); }
    OptionsStore& store() { return *m_store; }

private:
    // Watches what the options name from the next scan on; a scan of the last target still
    // running ends unseen.
    void watch(const Options& options);
    void connectScanView(WindowScanView* view);
    void showWatchedComputer(const MapTable& table);
    // At the window's close, while the user asks for it to be kept.
    void saveLayout();
    // The Fleet map entry, offered while more than one computer is watched, and the agents
    // its open window polls.
    void updateFleet(const Options& options);
    void openFleetMap();
    // Records from the view's scans while the options ask for it; the recorder, once made,
    // lives until the program ends, so turning recording off never waits for a write.
    void recordHistory(const Options& options);
    // GUI thread: the history's faults in the status bar, its alerts on the desktop.
    void tellHistory(const HistoryRecorder::Report& report);
    // The other computers whose rows join the grid, polled anew when the list changes.
    void watchMore(const Options& options);

    // Declared so that they are destroyed in the safe order: the scanner (joined) first,
    // then the bridge, the windows, and last what they point at.
    NameServices& m_names;
    UserFiles m_userFiles;
    QString m_startupError;
    std::unique_ptr<ConnectionLog> m_log;
    std::shared_ptr<MibAgent> m_agent; // the module loaded into the process: this computer
    std::unique_ptr<SettingsFile> m_settingsFile; // veltran.ini
    std::unique_ptr<SecretStore> m_secrets; // the SNMP options, never in veltran.ini
    std::unique_ptr<OptionsStore> m_store;
    std::unique_ptr<MapPictures> m_pictures;
    std::unique_ptr<TForm_Options> m_options;
    std::unique_ptr<TForm_About> m_about;
    std::unique_ptr<PreferencesDialog> m_preferences;
    std::unique_ptr<TForm1> m_form1;
    std::shared_ptr<WindowScanView> m_view; // the current target's; its scans hold it too
    std::string m_watched; // the target the scans read: "" for this computer, else host and options
    std::unique_ptr<Scanner> m_scanner;
    // The fleet's feeds and watchers let go of by the GUI thread end there; declared before
    // them, it joins their threads after they have gone.
    ThreadRetirement m_retirement;
    std::shared_ptr<FleetScan> m_gridFleet; // while more computers are watched; scans hold it too
    QAction* m_fleetAction = nullptr; // in the View menu
    std::unique_ptr<FleetMapWindow> m_fleetMap;
    std::unique_ptr<FleetWatcher> m_fleetWatcher; // while the fleet map is open
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<HistoryWindow> m_historyWindow;
    // Shared with the views that record into it; it stops reporting before the window goes.
    std::shared_ptr<HistoryRecorder> m_historyRecorder;
    // The Watch choice's last finished scan, for the fleet map.
    std::shared_ptr<const MapTable> m_watchedTable;
};
