#include "settings/options_store.h"

#include "log/connection_log.h"
#include "scan/grid_columns.h"
#include "scan/utf8_cut.h"
#include "settings/options_file.h"
#include "settings/secret_store.h"
#include "settings/settings_file.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// A hand-edited file may hold more than the field's two characters.
constexpr long long kLowestStoredRefresh = -9;
constexpr long long kHighestStoredRefresh = 99;

// veltran.ini's keys of the Preferences' options.
struct PreferenceKey
{
    QString key;
    bool Options::*option;
};

const PreferenceKey kPreferenceKeys[] = {
    { u"endpoints/showIpv6"_s, &Options::showIpv6Endpoints },
    { u"endpoints/showProcessColumn"_s, &Options::showProcessColumn },
    { u"Grid/MarkNewRows"_s, &Options::markNewRows },
    { u"Filter/HideLoopback"_s, &Options::hideLoopback },
    { u"Map/ShowStates"_s, &Options::mapStates },
    { u"Map/MarkWildcards"_s, &Options::markWildcards },
    { u"Grid/SortByHeader"_s, &Options::sortByHeader },
    { u"Window/RememberLayout"_s, &Options::rememberLayout },
    { u"endpoints/markIpv6Names"_s, &Options::markIpv6Names },
    { u"endpoints/showUdpPeers"_s, &Options::showUdpPeers },
    { u"History/Record"_s, &Options::recordHistory },
    { u"History/AlertNewListener"_s, &Options::alertNewListener },
    { u"History/AlertNewRemoteHost"_s, &Options::alertNewRemoteHost },
    { u"History/AlertNewProgram"_s, &Options::alertNewProgram },
    { u"endpoints/showTraffic"_s, &Options::showTraffic },
};
// veltran.ini's keys of the Preferences' numbers, each with the range it may hold.
struct NumberKey
{
    QString key;
    int Options::*option;
    int lowest;
    int highest;
};
const NumberKey kNumberKeys[] = {
    { u"History/KeepDays"_s, &Options::historyKeepDays, 1, 3650 },
    { u"History/MaxMegabytes"_s, &Options::historyMaxMegabytes, 0, 1000000 },
};
const QString kWatchSourceKey = u"watch/source"_s;
const QString kWatchHostKey = u"watch/host"_s;
const QString kWatchOptionsKey = u"watch/snmpOptions"_s;
const QString kWatchWriteOptionsKey = u"watch/writeSnmpOptions"_s; // in the secret store alone
const QString kAgentSource = u"snmpAgent"_s;
const QString kComputerSource = u"thisComputer"_s;
const QString kTableSizeKey = u"Table/Size"_s;
// The computers watched after the first: fleet/N/host and fleet/N/enabled in veltran.ini,
// fleet/N/snmpOptions with the secrets.
const QString kFleetSizeKey = u"fleet/size"_s;
QString fleetKey(int index, const char* name)
{
    return u"fleet/%1/%2"_s.arg(index).arg(QLatin1StringView(name));
}
// More than any window can show: a hand-edited size cannot make the load run long.
constexpr int kMostFleetAgents = 1000;

// The table sizes offered: the classic 200, larger ones, and every endpoint.
bool isOfferedTableSize(int rows)
{
    return rows == ConnectionTable::kCapacity || rows == 1000 || rows == 10000
        || rows == ConnectionTable::kUnbounded;
}

std::optional<long long> wholeNumberOf(const std::string& fieldText)
{
    return parseWholeNumber(QString::fromStdString(fieldText).trimmed().toStdString());
}

} // namespace

std::string logNameOf(const std::string& fieldText)
{
    return std::string(utf8Prefix(fieldText, ConnectionLog::kMaxNameLength));
}

OptionsStore::OptionsStore(ConnectionLog& log, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_confirmedRefreshSeconds(static_cast<int>(wholeNumberOf(Options().refreshText).value_or(1)))
{
}

void OptionsStore::setFiles(const QString& optionsFile, SettingsFile* settingsFile)
{
    m_optionsFile = optionsFile;
    m_settingsFile = settingsFile;
}

void OptionsStore::change(const std::function<void(Options&)>& edit)
{
    Options next = m_options;
    edit(next);
    if (next == m_options)
        return;
    const Options before = std::exchange(m_options, std::move(next));
    if (m_options.logEnabled != before.logEnabled)
        startLogSession();
    Q_EMIT changed(m_options, before);
}

void OptionsStore::loadSettings()
{
    const auto stored = readOptionsFile(m_optionsFile.toStdString());
    if (!stored)
        return;
    if (stored->refreshSeconds)
        m_confirmedRefreshSeconds = static_cast<int>(
            std::clamp(*stored->refreshSeconds, kLowestStoredRefresh, kHighestStoredRefresh));
    // The name field holds at most as many characters as the log keeps bytes.
    const auto fieldText = [](const std::string& name) {
        return QString::fromStdString(name)
            .left(static_cast<int>(ConnectionLog::kMaxNameLength))
            .toStdString();
    };
    if (stored->logFileName)
        m_log.setActiveLogName(logNameOf(*stored->logFileName));
    // All at once: the session that ticking logging starts goes to the stored name, not
    // to the one the field held before.
    change([&](Options& options) {
        if (stored->refreshSeconds)
            options.refreshText = std::to_string(m_confirmedRefreshSeconds);
        const std::pair<const std::optional<bool>&, bool Options::*> flags[] = {
            { stored->showListening, &Options::showListening },
            { stored->showTcp, &Options::showTcp },
            { stored->showUdp, &Options::showUdp },
            { stored->lookupHostNames, &Options::lookupHostNames },
            { stored->lookupPortNames, &Options::lookupPortNames },
            { stored->cacheDns, &Options::cacheDns },
            { stored->logEnabled, &Options::logEnabled },
        };
        for (const auto& [value, option] : flags) {
            if (value)
                options.*option = *value;
        }
        if (stored->logFileName)
            options.logFileName = fieldText(*stored->logFileName);
    });
}

void OptionsStore::saveSettings()
{
    m_log.setActiveLogName(logNameOf(m_options.logFileName));
    Options saved = m_options;
    saved.logFileName = m_log.activeLogName();
    QStringList failures;
    if (!writeOptionsFile(m_optionsFile.toStdString(), refreshSecondsToStore(), saved))
        failures
            += u"Could not save %1: %2"_s.arg(m_optionsFile, QString::fromLocal8Bit(std::strerror(errno)));
    // Which version wrote the options, for a later one that reads them differently.
    if (m_settingsFile && !m_settingsFile->setValue(u"version"_s, QStringLiteral(VELTRAN_VERSION)))
        failures += m_settingsFile->error();
    if (!failures.isEmpty())
        Q_EMIT saveFailed(failures.join(u"; "_s));
}

void OptionsStore::loadPreferences()
{
    if (!m_settingsFile)
        return;
    const SettingsFile& file = *m_settingsFile;
    // An older version kept them in veltran.ini: read from there until the next save moves them.
    std::string snmpOptions = file.value(kWatchOptionsKey).toString().toStdString();
    std::string writeOptions;
    if (m_secrets && file.value(kWatchHostKey).isValid()) {
        if (const auto secret = m_secrets->value(kWatchOptionsKey))
            snmpOptions = secret->toStdString();
        else if (!m_secrets->error().isEmpty())
            Q_EMIT saveFailed(m_secrets->error());
        if (const auto secret = m_secrets->value(kWatchWriteOptionsKey))
            writeOptions = secret->toStdString();
    }
    std::vector<WatchedAgent> moreAgents;
    const int fleetSize = std::clamp(file.value(kFleetSizeKey, 0).toInt(), 0, kMostFleetAgents);
    for (int i = 0; i < fleetSize; ++i) {
        WatchedAgent agent;
        agent.host = file.value(fleetKey(i, "host")).toString().toStdString();
        agent.enabled = file.value(fleetKey(i, "enabled"), true).toBool();
        if (m_secrets) {
            if (const auto secret = m_secrets->value(fleetKey(i, "snmpOptions")))
                agent.snmpOptions = secret->toStdString();
        }
        moreAgents.push_back(std::move(agent));
    }
    change([&file, &snmpOptions, &writeOptions, &moreAgents](Options& options) {
        options.moreAgents = std::move(moreAgents);
        for (const PreferenceKey& key : kPreferenceKeys)
            options.*key.option = file.value(key.key, options.*key.option).toBool();
        options.watchAgent = file.value(kWatchSourceKey).toString() == kAgentSource;
        options.watchHost = file.value(kWatchHostKey).toString().toStdString();
        options.watchSnmpOptions = snmpOptions;
        options.watchWriteSnmpOptions = writeOptions;
        bool ok = false;
        const int rows = file.value(kTableSizeKey, options.tableSize).toInt(&ok);
        if (ok && isOfferedTableSize(rows))
            options.tableSize = rows;
        for (const NumberKey& key : kNumberKeys) {
            const int value = file.value(key.key, options.*key.option).toInt(&ok);
            if (ok && value >= key.lowest && value <= key.highest)
                options.*key.option = value;
        }
    });
}

void OptionsStore::savePreferences()
{
    if (!m_settingsFile)
        return;
    SettingsFile& file = *m_settingsFile;
    const Options defaults;
    bool saved = true;
    const auto store = [&file, &saved](const QString& key, const QVariant& value, const QVariant& fallback) {
        if (value == fallback && !file.value(key).isValid())
            return;
        saved = file.setValue(key, value) && saved;
    };
    for (const PreferenceKey& key : kPreferenceKeys)
        store(key.key, m_options.*key.option, defaults.*key.option);
    store(kWatchSourceKey, m_options.watchAgent ? kAgentSource : kComputerSource, kComputerSource);
    store(kWatchHostKey, QString::fromStdString(m_options.watchHost), QString());
    // Never into veltran.ini: a failure to keep them is told, and they stay out of the file.
    const QString snmpOptions = QString::fromStdString(m_options.watchSnmpOptions);
    const bool asked = !snmpOptions.isEmpty() || file.value(kWatchHostKey).isValid();
    if (m_secrets && asked && !m_secrets->setValue(kWatchOptionsKey, snmpOptions))
        Q_EMIT saveFailed(m_secrets->error());
    if (m_secrets && asked
        && !m_secrets->setValue(
            kWatchWriteOptionsKey, QString::fromStdString(m_options.watchWriteSnmpOptions)))
        Q_EMIT saveFailed(m_secrets->error());
    if (file.value(kWatchOptionsKey).isValid())
        saved = file.remove(kWatchOptionsKey) && saved;
    store(kTableSizeKey, m_options.tableSize, defaults.tableSize);
    for (const NumberKey& key : kNumberKeys)
        store(key.key, m_options.*key.option, defaults.*key.option);
    const int fleetSize = static_cast<int>(m_options.moreAgents.size());
    const int storedSize = std::clamp(file.value(kFleetSizeKey, 0).toInt(), 0, kMostFleetAgents);
    store(kFleetSizeKey, fleetSize, 0);
    for (int i = 0; i < std::max(fleetSize, storedSize); ++i) {
        const bool kept = i < fleetSize;
        const WatchedAgent agent = kept ? m_options.moreAgents[static_cast<std::size_t>(i)] : WatchedAgent {};
        if (kept) {
            saved = file.setValue(fleetKey(i, "host"), QString::fromStdString(agent.host)) && saved;
            saved = file.setValue(fleetKey(i, "enabled"), agent.enabled) && saved;
        } else {
            saved = file.remove(u"fleet/%1"_s.arg(i)) && saved;
        }
        if (m_secrets
            && !m_secrets->setValue(fleetKey(i, "snmpOptions"), QString::fromStdString(agent.snmpOptions)))
            Q_EMIT saveFailed(m_secrets->error());
    }
    if (!saved)
        Q_EMIT saveFailed(file.error());
}

void OptionsStore::startLogSession()
{
    m_log.startLogSession(m_options.logEnabled, logNameOf(m_options.logFileName),
        { kGridColumnTitles[1], kGridColumnTitles[2], kGridColumnTitles[3], kGridColumnTitles[4] });
}

int OptionsStore::refreshSecondsToStore() const
{
    const auto seconds = wholeNumberOf(m_options.refreshText);
    return seconds ? static_cast<int>(*seconds) : m_confirmedRefreshSeconds;
}

int OptionsStore::refreshMilliseconds() const
{
    // A negative interval would be refused by the timer; 0 leaves it idle, as a stored 0 does.
    return std::max(0, refreshSecondsToStore()) * 1000;
}

int OptionsStore::confirmRefreshTime()
{
    auto seconds = wholeNumberOf(m_options.refreshText);
    if (!seconds || *seconds < 1) {
        set(&Options::refreshText, std::string("1"));
        seconds = 1;
    }
    m_confirmedRefreshSeconds = static_cast<int>(*seconds);
    return m_confirmedRefreshSeconds;
}
