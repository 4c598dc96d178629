#include "settings/options_store.h"

#include "log/connection_log.h"
#include "scan/grid_columns.h"
#include "scan/utf8_cut.h"
#include "settings/options_file.h"
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
    { u"endpoints/showTraffic"_s, &Options::showTraffic },
};
const QString kWatchSourceKey = u"watch/source"_s;
const QString kWatchHostKey = u"watch/host"_s;
const QString kWatchOptionsKey = u"watch/snmpOptions"_s;
const QString kAgentSource = u"snmpAgent"_s;
const QString kComputerSource = u"thisComputer"_s;
const QString kTableSizeKey = u"Table/Size"_s;

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
    change([&file](Options& options) {
        for (const PreferenceKey& key : kPreferenceKeys)
            options.*key.option = file.value(key.key, options.*key.option).toBool();
        options.watchAgent = file.value(kWatchSourceKey).toString() == kAgentSource;
        options.watchHost = file.value(kWatchHostKey).toString().toStdString();
        options.watchSnmpOptions = file.value(kWatchOptionsKey).toString().toStdString();
        bool ok = false;
        const int rows = file.value(kTableSizeKey, options.tableSize).toInt(&ok);
        if (ok && isOfferedTableSize(rows))
            options.tableSize = rows;
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
    store(kWatchOptionsKey, QString::fromStdString(m_options.watchSnmpOptions), QString());
    store(kTableSizeKey, m_options.tableSize, defaults.tableSize);
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
