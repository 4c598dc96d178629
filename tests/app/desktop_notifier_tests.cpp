// Alerts on a private session bus, to a stand-in notification server that records the calls.

#include "app/desktop_notifier.h"
#include "tests/common/wait_until.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QVariantMap>

namespace {

// What a desktop's notification server is asked, as org.freedesktop.Notifications has it.
class StandInNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList calls; // "app|summary|body"

public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
        const QStringList&, const QVariantMap&, int)
    {
        calls << app + u'|' + summary + u'|' + body;
        return uint(calls.size());
    }
};

TEST(DesktopNotifier, AlertsReachTheServerAFewAtATimeAndTheRestAreCounted)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address") });
    ASSERT_TRUE(daemon.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return daemon.canReadLine(); }));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("server"));
        ASSERT_TRUE(server.isConnected());
        StandInNotifications notifications;
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
            QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));

        DesktopNotifier notifier(QDBusConnection::connectToBus(address, QStringLiteral("client")), 1500);
        for (int i = 1; i <= DesktopNotifier::kMostPerWindow + 2; ++i)
            notifier.notify(QStringLiteral("New listening port"), QStringLiteral("TCP %1").arg(i));
        ASSERT_TRUE(waitUntil([&] { return notifications.calls.size() >= DesktopNotifier::kMostPerWindow; }));
        EXPECT_EQ(notifications.calls.first(), QStringLiteral("VELTRAN|New listening port|TCP 1"));
        // The two beyond the rate, as one, once the minute (here shortened) has passed.
        ASSERT_TRUE(
            waitUntil([&] { return notifications.calls.size() == DesktopNotifier::kMostPerWindow + 1; }));
        EXPECT_TRUE(notifications.calls.last().startsWith(QStringLiteral("VELTRAN|VELTRAN: 2 more alerts|")))
            << notifications.calls.last().toStdString();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    }
    daemon.kill();
    daemon.waitForFinished();
}

} // namespace

#include "desktop_notifier_tests.moc"
