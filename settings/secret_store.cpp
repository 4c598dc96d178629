#include "settings/secret_store.h"

#include "settings/settings_file.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFileInfo>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"veltran"_s;

// Only a keyring that runs now: asking the bus to start one could hold the window for the
// bus's whole timeout where none is installed.
bool keyringRuns()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    for (const QString& name :
        { u"org.freedesktop.secrets"_s, u"org.kde.kwalletd6"_s, u"org.kde.kwalletd5"_s }) {
        if (bus.interface()->isServiceRegistered(name).value())
            return true;
    }
    return false;
}

// Runs a keychain job to its end; the keyring answers over the bus within moments.
void finish(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

SecretStore::SecretStore(const QString& filePath, std::optional<Backend> backend)
    : m_filePath(filePath)
    , m_backend(backend)
{
}

SecretStore::Backend SecretStore::backend()
{
    if (!m_backend)
        m_backend = keyringRuns() ? Backend::Keyring : Backend::File;
    return *m_backend;
}

SecretStore::~SecretStore() = default;

QString SecretStore::pathBeside(const QString& settingsPath)
{
    const QFileInfo settings(settingsPath);
    const QString folder = settings.path();
    return folder == u"."_s ? u"veltran.secrets"_s : folder + u"/veltran.secrets"_s;
}

SettingsFile& SecretStore::file()
{
    if (!m_file)
        m_file = std::make_unique<SettingsFile>(m_filePath);
    return *m_file;
}

std::optional<QString> SecretStore::value(const QString& key)
{
    m_error.clear();
    if (backend() == Backend::Keyring) {
        if (auto stored = keyringValue(key))
            return stored;
        if (!m_error.isEmpty())
            return std::nullopt;
    }
    if (!QFileInfo::exists(m_filePath))
        return std::nullopt;
    const QVariant stored = file().value(key);
    if (!file().error().isEmpty())
        m_error = file().error();
    return stored.isValid() ? std::optional<QString>(stored.toString()) : std::nullopt;
}

bool SecretStore::setValue(const QString& key, const QString& value)
{
    m_error.clear();
    if (backend() == Backend::Keyring) {
        if (!setKeyringValue(key, value))
            return false;
        // A secret kept in the file before the keyring ran goes from it.
        if (QFileInfo::exists(m_filePath) && file().value(key).isValid() && !file().remove(key)) {
            m_error = file().error();
            return false;
        }
        return true;
    }
    if (value.isEmpty() && !QFileInfo::exists(m_filePath))
        return true;
    const bool kept = value.isEmpty() ? file().remove(key) : file().setValue(key, value);
    if (!kept)
        m_error = file().error();
    return kept;
}

std::optional<QString> SecretStore::keyringValue(const QString& key)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    finish(job);
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    if (job.error() != QKeychain::NoError) {
        m_error = u"The keyring did not give %1: %2"_s.arg(key, job.errorString());
        return std::nullopt;
    }
    return job.textData();
}

bool SecretStore::setKeyringValue(const QString& key, const QString& value)
{
    std::unique_ptr<QKeychain::Job> job;
    if (value.isEmpty()) {
        job = std::make_unique<QKeychain::DeletePasswordJob>(kService);
    } else {
        auto write = std::make_unique<QKeychain::WritePasswordJob>(kService);
        write->setTextData(value);
        job = std::move(write);
    }
    job->setKey(key);
    finish(*job);
    if (job->error() == QKeychain::NoError || (value.isEmpty() && job->error() == QKeychain::EntryNotFound))
        return true;
    m_error = u"The keyring did not keep %1: %2"_s.arg(key, job->errorString());
    return false;
}
