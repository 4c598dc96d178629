#pragma once
// The one holder of the options: it reads and writes options.dat and veltran.ini, hands a
// copy to each scan that starts, and announces every change, whoever made it. The options
// dialog, the Preferences dialog and the window's controls are views of it. GUI thread only.

#include "scan/options.h"

#include <QObject>
#include <QString>

#include <functional>

class ConnectionLog;
class SecretStore;
class SettingsFile;

class OptionsStore final : public QObject, public OptionsSource
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OptionsStore)

public:
    explicit OptionsStore(ConnectionLog& log, QObject* parent = nullptr);

    // Where the two files are: options.dat in the current directory and no veltran.ini
    // until told otherwise.
    void setFiles(const QString& optionsFile, SettingsFile* settingsFile);
    // Where the SNMP options (communities, passphrases) go instead of veltran.ini: a keyring,
    // or a file of the owner's beside it. Without one, they are not kept at all.
    void setSecrets(SecretStore* secrets) { m_secrets = secrets; }

    const Options& current() const { return m_options; }
    Options options() const override { return m_options; }

    // Changes options through edit; a change is announced once, with the options before it.
    // Turning logging on or off starts a log session, as ticking the box always has.
    void change(const std::function<void(Options&)>& edit);
    template <typename T> void set(T Options::*option, T value)
    {
        change([&](Options& options) { options.*option = std::move(value); });
    }

    // options.dat into the nine options and the log's active name. A missing file changes
    // nothing; an item that cannot be read keeps its option.
    void loadSettings();
    // The nine into options.dat, replaced atomically; the log's active name is set first.
    void saveSettings();
    // The Preferences' options from veltran.ini, and back; a default never stored stays
    // out of the file, which then reads as it always did.
    void loadPreferences();
    void savePreferences();
    // A session header to the log name field's text, when logging is on.
    void startLogSession();

    // The refresh field's whole value × 1000, unchecked (a stored 0 stays 0); a field that
    // holds no number gives the time last confirmed.
    int refreshMilliseconds() const;
    // Ok's rule: a field that is not a whole number of at least 1 becomes "1". The
    // confirmed seconds.
    int confirmRefreshTime();

Q_SIGNALS:
    void changed(const Options& now, const Options& before);
    // "Could not save <file>: <reason>", for the status bar.
    void saveFailed(const QString& message);

private:
    int refreshSecondsToStore() const;

    ConnectionLog& m_log;
    QString m_optionsFile = QStringLiteral("options.dat");
    SettingsFile* m_settingsFile = nullptr;
    SecretStore* m_secrets = nullptr;
    Options m_options;
    // The refresh time last applied by Ok or read from options.dat: what a save stores
    // while the field holds an unconfirmed non-number.
    int m_confirmedRefreshSeconds;
};

// The part of a log name field's text the log keeps: at most its 49 bytes, never a
// character split.
std::string logNameOf(const std::string& fieldText);
