#pragma once
// Where the watched agents' communities and passphrases are kept: never in veltran.ini.
// The desktop's keyring (Secret Service or KWallet, through QtKeychain) when one runs on the
// session bus now; otherwise a file beside veltran.ini that only its owner can read (0600).
// GUI thread only. A value is never written to the log, the status bar or standard error:
// error() names the key and the reason, never the value.

#include <QString>

#include <memory>
#include <optional>

class SettingsFile;

class SecretStore
{
public:
    enum class Backend
    {
        Keyring,
        File
    };

    // filePath: the file used when no keyring runs (and read for what it holds even then).
    explicit SecretStore(const QString& filePath, std::optional<Backend> backend = std::nullopt);
    ~SecretStore();
    SecretStore(const SecretStore&) = delete;
    SecretStore& operator=(const SecretStore&) = delete;

    // "veltran.secrets" beside the settings file at settingsPath.
    static QString pathBeside(const QString& settingsPath);

    // Asked of the session bus at the first use, not at start-up.
    Backend backend();
    QString filePath() const { return m_filePath; }
    // The stored value; nullopt when none is stored, or it could not be read (error() then says why).
    std::optional<QString> value(const QString& key);
    // Stores the value; an empty one removes it. False when it could not be kept (error() says why).
    bool setValue(const QString& key, const QString& value);
    QString error() const { return m_error; }

private:
    std::optional<QString> keyringValue(const QString& key);
    bool setKeyringValue(const QString& key, const QString& value);
    SettingsFile& file();

    QString m_filePath;
    std::optional<Backend> m_backend;
    std::unique_ptr<SettingsFile> m_file; // opened at its first use
    QString m_error;
};
