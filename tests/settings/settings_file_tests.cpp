#include "settings/settings_file.h"
#include "tests/common/fifo_guard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>

TEST(SettingsFile, KeepsValuesAcrossInstancesOwnerOnlyAndReportsAFailedWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltran.ini"));
    {
        SettingsFile file(path);
        EXPECT_EQ(file.value(QStringLiteral("view/ipv6"), true).toBool(), true);
        ASSERT_TRUE(file.setValue(QStringLiteral("view/ipv6"), false)) << file.error().toStdString();
    }
    SettingsFile again(path);
    EXPECT_FALSE(again.value(QStringLiteral("view/ipv6"), true).toBool());
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
        QFile::Permissions());

    // A plain file where the folder should be: nothing can be written there, even as root.
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsFile unwritable(dir.filePath(QStringLiteral("not-a-folder/veltran.ini")));
    EXPECT_FALSE(unwritable.setValue(QStringLiteral("a"), 1));
    EXPECT_TRUE(unwritable.error().contains(QStringLiteral("not-a-folder")));
}

// A FIFO would hang QSettings' open before the window appears; a huge file would be read
// whole. Both are refused at once, told, and never written over.
TEST(SettingsFile, RefusesAFifoAndAnOversizedFileWithoutReadingThem)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("veltran.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString fifoError;
    EXPECT_TRUE(testns::finishesInTime(fifo.toStdString(), [&] {
        SettingsFile file(fifo);
        EXPECT_EQ(file.value(QStringLiteral("a"), 7).toInt(), 7);
        EXPECT_FALSE(file.setValue(QStringLiteral("a"), 1));
        fifoError = file.error();
    }));
    EXPECT_EQ(fifoError, fifo + QStringLiteral(" is refused: not a regular file"));

    const QString big = dir.filePath(QStringLiteral("big.ini"));
    QFile out(big);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_TRUE(out.write("[a]\nb=1\n") > 0);
    ASSERT_TRUE(out.resize(SettingsFile::kMaxSize + 1));
    out.close();
    SettingsFile file(big);
    EXPECT_EQ(file.error(), big + QStringLiteral(" is refused: larger than 1 MB"));
    EXPECT_EQ(file.value(QStringLiteral("a/b"), 5).toInt(), 5);
    EXPECT_FALSE(file.setValue(QStringLiteral("a/b"), 2));
    EXPECT_EQ(QFileInfo(big).size(), qint64(SettingsFile::kMaxSize + 1));
}

// Under a umask that lets everyone read, a first save and every save after it stay
// owner-only: the file from its creation, and the temporary twin QSettings writes first.
TEST(SettingsFile, SavesAreOwnerOnlyFromTheFirstByteWhateverTheUmask)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltran.ini"));
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_CREATE), 0);
    std::atomic<bool> saving { true };
    std::atomic<mode_t> widest { 0 };
    // Each new name is looked at as soon as it is made; one renamed away in the meantime is skipped.
    std::thread watcher([&] {
        alignas(inotify_event) char events[4096];
        pollfd ready { watch, POLLIN, 0 };
        while (saving || ::poll(&ready, 1, 0) > 0) {
            if (::poll(&ready, 1, 10) <= 0)
                continue;
            const ssize_t got = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                struct stat info
                {
                };
                const QByteArray name = QFile::encodeName(dir.filePath(QString::fromLocal8Bit(event->name)));
                if (!QByteArray(event->name).endsWith(".lock") && ::stat(name.constData(), &info) == 0)
                    widest = widest | (info.st_mode & 0777);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    });
    const mode_t previous = ::umask(0);
    {
        SettingsFile file(path);
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(file.setValue(QStringLiteral("watch/host"), i)) << file.error().toStdString();
    }
    ::umask(previous);
    saving = false;
    watcher.join();
    ::close(watch);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(widest.load() & 077, 0u);
    EXPECT_NE(widest.load(), 0u); // the watch saw the files being made
}
