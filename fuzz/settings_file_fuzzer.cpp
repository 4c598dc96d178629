// veltran.ini: any bytes as the file, read through SettingsFile (the refusal checks, then
// QSettings' INI reader) and, for one input in sixteen, written back. Nothing may crash, hang or leak, and a
// file over the cap must be refused without a value read from it.

#include "settings/settings_file.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One name for the whole run, each input with a time of its own: QSettings keeps what
    // it read of a name (more names would look like a leak at every input) and reads the
    // file again only when its size or time changed.
    static const QString path = QStringLiteral("/dev/shm/veltran-fuzz-%1.ini").arg(::getpid());
    static long run = 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const timespec times[2] { { ++run, 0 }, { run, 0 } };
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    {
        SettingsFile settings(path);
        const bool refused = !settings.error().isEmpty();
        if (refused != (size > SettingsFile::kMaxSize))
            std::abort();
        for (const char* key :
            { "Window/Geometry", "Window/State", "watch/host", "watch/snmp", "view/ipv6" }) {
            const QVariant value = settings.value(QString::fromLatin1(key), 7);
            if (refused && value != QVariant(7))
                std::abort();
            (void)value.toString();
            (void)value.toByteArray();
        }
        // A save syncs to disk: one input in sixteen writes, so the reads get the time.
        if (size % 16 == 0)
            settings.setValue(QStringLiteral("fuzz/written"), static_cast<int>(size));
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".lock"));
    return 0;
}
