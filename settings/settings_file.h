#pragma once
// The options that came after options.dat live in an INI file of their own beside it,
// so options.dat keeps exactly its nine items for the readers that expect them.
// GUI thread only; values the scan needs are handed to it as copies. The file is used
// only when it is a regular file of at most kMaxSize bytes: anything else is refused,
// never read nor written, and error() says why from the start.

#include <QString>
#include <QVariant>

#include <cstddef>
#include <memory>

class QSettings;

class SettingsFile
{
public:
    // "veltran.ini" in the current directory, which is where options.dat lives.
    static QString defaultPath();
    static constexpr std::size_t kMaxSize = 1024 * 1024;

    explicit SettingsFile(const QString& path = defaultPath());
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    QString path() const { return m_path; }
    // The stored value, or fallback when the key is missing or the file unreadable or refused.
    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    // Stores and writes at once. A new file is readable by its owner alone from its first
    // byte (it may hold credentials). False when the file could not be written or is
    // refused; error() then says why.
    bool setValue(const QString& key, const QVariant& value);
    bool remove(const QString& key);
    // Why the last write failed, or why the file is refused; empty when neither.
    QString error() const { return m_error; }

private:
    // Empty when the file is a regular file within the cap, or missing; else why not.
    QString refusal() const;
    bool prepareForWrite();
    bool sync();

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    QString m_error;
};
