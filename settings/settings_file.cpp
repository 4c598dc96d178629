#include "settings/settings_file.h"

#include "platform/regular_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

std::string nameOf(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

QString SettingsFile::defaultPath()
{
    return QStringLiteral("veltran.ini");
}

SettingsFile::SettingsFile(const QString& path)
    : m_path(path)
{
    // QSettings opens the file with a blocking open and reads it whole: a FIFO would hang
    // the window before it appears, a huge file would fill its memory.
    m_error = refusal();
    if (m_error.isEmpty())
        m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

SettingsFile::~SettingsFile() = default;

QString SettingsFile::refusal() const
{
    RegularFile file = RegularFile::open(nameOf(m_path), O_RDONLY);
    int error = file.error();
    struct stat info
    {
    };
    if (file.isOpen() && ::fstat(file.fd(), &info) == 0 && static_cast<std::size_t>(info.st_size) > kMaxSize)
        error = RegularFile::kTooLarge;
    if (error != RegularFile::kNotRegular && error != RegularFile::kTooLarge)
        return {}; // missing, or a reason QSettings meets and tells on its own
    return QStringLiteral("%1 is refused: %2")
        .arg(m_path, QString::fromLocal8Bit(regularFileErrorText(error, kMaxSize)));
}

QVariant SettingsFile::value(const QString& key, const QVariant& fallback) const
{
    return m_settings ? m_settings->value(key, fallback) : fallback;
}

bool SettingsFile::setValue(const QString& key, const QVariant& value)
{
    if (!m_settings)
        return false;
    m_settings->setValue(key, value);
    return sync();
}

bool SettingsFile::remove(const QString& key)
{
    if (!m_settings)
        return false;
    m_settings->remove(key);
    return sync();
}

// QSettings saves through a temporary file that takes the mode of the file it replaces,
// or the umask's for a new one. So the file is first made here, owner-only and empty,
// before any byte: no save ever leaves it, or its temporary twin, readable by others.
bool SettingsFile::prepareForWrite()
{
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        m_error = refused;
        return false;
    }
    RegularFile file = RegularFile::open(nameOf(m_path), O_RDONLY | O_CREAT, 0600);
    struct stat info
    {
    };
    // A file of an older version may still be readable by others: it is narrowed before
    // this save, so its replacement is made owner-only too.
    if (file.isOpen() && ::fstat(file.fd(), &info) == 0 && (info.st_mode & 077) != 0)
        ::fchmod(file.fd(), info.st_mode & 0700);
    return true; // a file that could not be made is told by the save itself
}

bool SettingsFile::sync()
{
    if (!prepareForWrite())
        return false;
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        m_error = QStringLiteral("Could not write %1: %2").arg(m_path, writeRefusal(m_path));
        return false;
    }
    m_error.clear();
    return true;
}
