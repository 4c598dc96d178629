#pragma once
// The options dialog. The options live in the dialog's own state, which the scan worker
// reads through Settings; the controls are made at the dialog's first show (or by
// ensureControls) and are kept equal to that state both ways. Until then every change
// takes the same effects a control's change would.

#include "scan/settings.h"
#include "settings/watch_options.h"

#include <QDialog>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class ConnectionLog;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class SettingsFile;

class TForm_Options final : public QDialog, public Settings
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm_Options)

public:
    using ColumnTitles = std::function<std::array<std::string, 4>()>;

    TForm_Options(ConnectionLog& log, ColumnTitles columnTitles, QWidget* parent = nullptr);
    ~TForm_Options() override;

    // Makes the controls from the current options, once; the first show does it. Not at
    // start-up: the dialog's fonts and controls would delay the main window's first map.
    void ensureControls();
    void setVisible(bool visible) override;

    // Where options.dat and the settings file are; by default options.dat in the current
    // directory and no settings file.
    void setStorage(const QString& optionsFile, SettingsFile* settingsFile);

    // options.dat in the current directory into the options and the log's active name.
    // A missing file changes nothing; values that cannot be read keep their options.
    void loadSettings();
    // The options into options.dat, replaced atomically; sets the log's active name.
    void saveSettings();
    // A session header to the name field's text, if logging is ticked.
    void startLogSession();

    // The refresh field's whole value × 1000, not corrected as Ok does (0 stays 0).
    int refreshMilliseconds() const;
    // The toolbar's Lookup hostnames button: ticks or unticks "Lookup hostnames".
    void setLookupHostNames(bool ticked);
    // setLookupHostNames, then saveSettings.
    void ToolButton6Click(bool down);

    // Settings: safe from any thread.
    std::string refreshSecondsText() const override;
    bool showListening() const override;
    bool showTcp() const override;
    bool showUdp() const override;
    bool lookupHostNames() const override;
    bool lookupPortNames() const override;
    bool cacheDns() const override;
    bool logEnabled() const override;
    std::string logFileName() const override;
    std::string filterText() const override;
    bool hideLoopback() const override;

    // The main window's filter field and "Hide loopback" choice, handed to the scan here
    // because the scan reads every option through this object. Kept in veltran.ini by the
    // window, never in options.dat.
    void setFilterText(const QString& text);
    void setHideLoopback(bool hide);

    // IPv6 endpoints and the process column: kept in veltran.ini, in a block of their own
    // below the classic controls.
    bool showIpv6Endpoints() const override;
    bool showProcessColumn() const override;
    QCheckBox* CheckBoxIpv6 = nullptr; // "Show IPv6 endpoints"
    QCheckBox* CheckBoxProcess = nullptr; // "Show process column"

    bool logNameChanged() const { return m_logNameChanged; }

    // What the window watches, as last applied by Ok or read from the settings file.
    const WatchTarget& watchTarget() const { return m_watchTarget; }
    // The "Watch:" block's controls, made if they were not.
    WatchOptions& watchOptions();

    // The controls, named as the rest of the program and the tests know them; null until
    // ensureControls.
    QFrame* Panel1 = nullptr; // the black panel that holds the options
    QLabel* Label1 = nullptr; // "Refresh time"
    QLineEdit* Edit_Time = nullptr; // the refresh time in whole seconds; applied by Ok
    QLabel* Label2 = nullptr; // "sec"
    QCheckBox* CheckBox1 = nullptr; // "Show listening ports"
    QCheckBox* CheckBox2 = nullptr; // "Show TCP connections"
    QCheckBox* CheckBox3 = nullptr; // "Show UDP connections"
    QCheckBox* CheckBox4 = nullptr; // "Lookup hostnames": mirrored by the toolbar's ToolButton6
    QCheckBox* CheckBox5 = nullptr; // "Lookup portnames"
    QCheckBox* CheckBox6 = nullptr; // "Cache DNS": the 200-slot host-name cache
    QCheckBox* CheckBox7 = nullptr; // "Logfile name": logging on or off
    QLineEdit* Edit1 = nullptr; // the log file's name
    QFrame* Bevel1 = nullptr; // the frame around the panel
    QPushButton* Button1 = nullptr; // "Ok"
    QPushButton* Button2 = nullptr; // "Cancel"

public Q_SLOTS:
    void Button1Click(); // Ok
    void Button2Click(); // Cancel
    // Escape and the close box behave as Cancel.
    void reject() override;

Q_SIGNALS:
    void refreshIntervalApplied(int milliseconds);
    void lookupHostNamesMirrored(bool down);
    // A save that failed: "Could not save <file>: <reason>".
    void saveFailed(const QString& message);
    // Another computer or agent to watch, chosen by Ok or read from the settings file.
    void watchTargetApplied(const WatchTarget& target);
    // "Show process column" ticked or cleared, or read from veltran.ini.
    void processColumnChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void connectControls();
    // A box's option set, through its box once made; its effects follow only a change.
    void setTicked(
        QCheckBox* box, std::atomic<bool>& option, bool ticked, void (TForm_Options::*toggled)(bool));
    void setRefreshText(const QString& text);
    void setLogFieldText(const QString& text);
    QString refreshText() const; // the refresh field's text, as the field holds it
    void refreshTextChanged(const QString& text);
    void logFieldTextChanged(const QString& text);
    void CheckBox4Click(bool ticked); // "Lookup hostnames" toggled: mirrored to the toolbar
    void CheckBox7Click(bool ticked); // "Logfile name" toggled: starts a log session when ticked
    void CheckBoxProcessClick(bool ticked);
    void Edit1Change(); // the log name edited: the new name takes effect at the next save
    int refreshSecondsToStore() const;
    void loadWatchTarget();
    void applyWatchTarget();
    void createEndpointOptions(); // grows the dialog below the classic controls
    void loadEndpointOptions();
    QStringList saveEndpointOptions(); // the failures

    ConnectionLog& m_log;
    ColumnTitles m_columnTitles;
    QString m_optionsFile = QStringLiteral("options.dat");
    SettingsFile* m_settingsFile = nullptr;
    bool m_logNameChanged = false;
    bool m_centred = false;
    std::unique_ptr<WatchOptions> m_watchOptions;
    WatchTarget m_watchTarget;
    // The refresh time last applied by Ok or read from options.dat: what a save
    // stores while the field holds an unconfirmed non-number.
    int m_confirmedRefreshSeconds = 1;
    // The name field's text, whole, as the field holds it (GUI thread only); the log
    // takes a cut of it.
    QString m_logFieldText = QStringLiteral("netlog.txt");

    std::atomic<bool> m_showListening { true };
    std::atomic<bool> m_showTcp { true };
    std::atomic<bool> m_showUdp { true };
    std::atomic<bool> m_lookupHostNames { true };
    std::atomic<bool> m_lookupPortNames { true };
    std::atomic<bool> m_cacheDns { true };
    std::atomic<bool> m_logEnabled { false };
    std::atomic<bool> m_hideLoopback { false };
    std::atomic<bool> m_showIpv6 { true };
    std::atomic<bool> m_showProcessColumn { false };
    mutable std::mutex m_textMutex; // guards the three texts below
    std::string m_refreshSecondsText { "1" };
    std::string m_logFileName { "netlog.txt" };
    std::string m_filterText;
};
