#include "app/user_files.h"

#include "log/connection_log.h"
#include "settings/settings_file.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char kOptionsName[] = "options.dat";

// The XDG rule: an unset, empty or relative variable means the default under $HOME.
QString xdgFolder(const char* variable, const QString& defaultUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    const QString base
        = QDir::isAbsolutePath(value) ? value : QDir::homePath() + QLatin1Char('/') + defaultUnderHome;
    return QDir::cleanPath(base + u"/veltran"_s);
}

// Owner-only, as the settings may hold credentials and the log the user's connections.
QString makeFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    for (qsizetype slash = 1; slash <= path.size(); ++slash) {
        if (slash < path.size() && path[slash] != '/')
            continue;
        const QByteArray part = path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return u"Could not create %1: %2"_s.arg(
                QFile::decodeName(part), QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

} // namespace

QString UserFiles::configFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", u".config"_s);
}

QString UserFiles::stateFolder()
{
    return xdgFolder("XDG_STATE_HOME", u".local/state"_s);
}

UserFiles UserFiles::settle(const QString& programFolder)
{
    UserFiles files;
    // An installed program (its help page in ../share/veltran) keeps the user's files in the
    // XDG folders even where it could write beside itself, as in a prefix under $HOME.
    // access() also says no on a read-only mount, where root could otherwise write.
    const bool installed = QFile::exists(programFolder + u"/../share/veltran/help.htm"_s);
    files.besideProgram = !installed && ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0;
    ConnectionLog::setNewFilesPrivate(!files.besideProgram);
    if (files.besideProgram) {
        files.logFolder = programFolder;
        files.optionsFile = QString::fromLatin1(kOptionsName);
        files.settingsFile = SettingsFile::defaultPath();
    } else {
        const QString config = configFolder();
        files.logFolder = stateFolder();
        files.optionsFile = config + QLatin1Char('/') + QString::fromLatin1(kOptionsName);
        files.settingsFile = config + QLatin1Char('/') + SettingsFile::defaultPath();
        files.error = makeFolder(config);
        const QString stateError = makeFolder(files.logFolder);
        if (files.error.isEmpty())
            files.error = stateError;
    }
    QDir::setCurrent(files.logFolder); // a failure leaves the inherited directory; error says why
    return files;
}
