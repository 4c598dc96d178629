// The secrets in the desktop's keyring: a real Secret Service (gnome-keyring-daemon with its
// login keyring unlocked) on a session bus of the test's own, in a home of the test's own.
// An executable of its own: the session bus is chosen once per process, at its first use.

#include "store_fixture.h"
#include "tests/common/wait_until.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDirIterator>
#include <QProcess>

namespace {

using namespace Qt::StringLiterals;

class KeyringTest : public StoreInTemporaryDirectory
{
protected:
    void SetUp() override
    {
        StoreInTemporaryDirectory::SetUp();
        const QString home = QDir::current().absoluteFilePath(u"home"_s);
        ASSERT_TRUE(QDir().mkpath(home + u"/run"_s));
        QFile::setPermissions(
            home + u"/run"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        for (const auto& [name, folder] : { std::pair { "HOME", ""_L1 }, { "XDG_DATA_HOME", "/data"_L1 },
                 { "XDG_CONFIG_HOME", "/config"_L1 }, { "XDG_CACHE_HOME", "/cache"_L1 },
                 { "XDG_RUNTIME_DIR", "/run"_L1 } })
            qputenv(name, (home + folder).toLocal8Bit());
        // A KDE session around the test would have QtKeychain ask KWallet instead.
        for (const char* name : { "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION" })
            qunsetenv(name);

        m_bus.start(u"dbus-daemon"_s, { u"--session"_s, u"--nofork"_s, u"--print-address"_s });
        ASSERT_TRUE(m_bus.waitForStarted()) << "dbus-daemon: " << m_bus.errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return m_bus.canReadLine(); }));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());

        // As a desktop's login does: the keyring's password on standard input, then its
        // Secret Service started on the bus.
        m_keyring.start(u"gnome-keyring-daemon"_s, { u"--foreground"_s, u"--login"_s });
        ASSERT_TRUE(m_keyring.waitForStarted())
            << "gnome-keyring-daemon: " << m_keyring.errorString().toStdString();
        m_keyring.write("test password");
        m_keyring.closeWriteChannel();
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(home + u"/run/keyring/control"_s); }));
        ASSERT_EQ(
            QProcess::execute(u"gnome-keyring-daemon"_s, { u"--start"_s, u"--components=secrets"_s }), 0);
        ASSERT_TRUE(waitUntil([] {
            return QDBusConnection::sessionBus()
                .interface()
                ->isServiceRegistered(u"org.freedesktop.secrets"_s)
                .value();
        }));
    }
    void TearDown() override
    {
        for (QProcess* process : { &m_keyring, &m_bus }) {
            process->kill();
            process->waitForFinished();
        }
        StoreInTemporaryDirectory::TearDown();
    }

    // Every file under the test's folder that holds text.
    static QStringList filesHolding(const QByteArray& text)
    {
        QStringList found;
        QDirIterator files(QDir::currentPath(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (readFile(path).contains(text))
                found << path;
        }
        return found;
    }

    QProcess m_bus;
    QProcess m_keyring;
};

TEST_F(KeyringTest, SecretsAreKeptReadAndRemovedThereAndNeverWrittenToAFile)
{
    SecretStore keyring(u"veltran.secrets"_s);
    ASSERT_EQ(keyring.backend(), SecretStore::Backend::Keyring);
    store->setSecrets(&keyring);
    store->loadPreferences();
    const std::string watchOptions = "-v3 -u watcher -A 'auth s3cret' -X 'priv s3cret'";
    store->change([&](Options& options) {
        options.watchAgent = true;
        options.watchHost = "server1";
        options.watchSnmpOptions = watchOptions;
        options.moreAgents = { { "server2", "-v2c -c fleet-s3cret", true } };
    });
    store->savePreferences();
    EXPECT_TRUE(keyring.error().isEmpty()) << keyring.error().toStdString();
    EXPECT_TRUE(QFile::exists(u"veltran.ini"_s));
    EXPECT_FALSE(QFile::exists(u"veltran.secrets"_s));
    // The keyring keeps them encrypted: no file here holds them in the clear, veltran.ini least.
    EXPECT_EQ(filesHolding("s3cret"), QStringList());

    // Another start reads them back from the keyring.
    SettingsFile reread(u"veltran.ini"_s);
    OptionsStore later(log);
    later.setFiles(u"options.dat"_s, &reread);
    SecretStore laterKeyring(u"veltran.secrets"_s);
    later.setSecrets(&laterKeyring);
    later.loadPreferences();
    EXPECT_EQ(later.current().watchSnmpOptions, watchOptions);
    ASSERT_EQ(later.current().moreAgents.size(), 1U);
    EXPECT_EQ(later.current().moreAgents[0].snmpOptions, "-v2c -c fleet-s3cret");

    // Emptied: gone from the keyring.
    store->set(&Options::watchSnmpOptions, std::string());
    store->savePreferences();
    EXPECT_EQ(laterKeyring.value(u"watch/snmpOptions"_s), std::nullopt);
    EXPECT_TRUE(laterKeyring.error().isEmpty()) << laterKeyring.error().toStdString();
    EXPECT_EQ(laterKeyring.value(u"fleet/0/snmpOptions"_s).value_or(QString()), u"-v2c -c fleet-s3cret"_s);
}

} // namespace
