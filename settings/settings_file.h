#pragma once
// The options that came after options.dat live in an INI file of their own beside it,
// so options.dat keeps exactly its nine items for the readers that expect them.
// GUI thread only; values the scan needs are handed to it as copies.

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

class SettingsFile
{
public:
    // "veltran.ini" in the current directory, which is where options.dat lives.
    static QString defaultPath();

    explicit SettingsFile(const QString& path = defaultPath());
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    QString path() const { return m_path; }
    // The stored value, or fallback when the key is missing or the file unreadable.
    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    // Stores and writes at once, readable by the owner only (it may hold credentials).
    // False when the file could not be written; error() then says why.
    bool setValue(const QString& key, const QVariant& value);
    bool remove(const QString& key);
    QString error() const { return m_error; }

private:
    bool sync();

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    QString m_error;
};
