#include "settings/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// QSettings keeps the system's reason to itself; asking the file, or its folder, gets it back.
QString writeRefusal(const QString& path)
{
    const QFileInfo file(path);
    const QString asked = file.exists() ? path : file.absolutePath();
    if (!file.exists() && !QFileInfo(asked).isDir())
        return QString::fromLocal8Bit(std::strerror(QFileInfo::exists(asked) ? ENOTDIR : ENOENT));
    if (::access(QFile::encodeName(asked).constData(), W_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QStringLiteral("write error");
}

} // namespace

QString SettingsFile::defaultPath()
{
    return QStringLiteral("veltran.ini");
}

SettingsFile::SettingsFile(const QString& path)
    : m_path(path)
    , m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat))
{
}

SettingsFile::~SettingsFile() = default;

QVariant SettingsFile::value(const QString& key, const QVariant& fallback) const
{
    return m_settings->value(key, fallback);
}

bool SettingsFile::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    return sync();
}

bool SettingsFile::remove(const QString& key)
{
    m_settings->remove(key);
    return sync();
}

bool SettingsFile::sync()
{
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        m_error = QStringLiteral("Could not write %1: %2").arg(m_path, writeRefusal(m_path));
        return false;
    }
    // QSettings writes a new file with the process's umask; community strings and
    // passphrases must not be readable by others.
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    m_error.clear();
    return true;
}
