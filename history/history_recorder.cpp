#include "history/history_recorder.h"

#include <chrono>
#include <ctime>

HistoryRecorder::HistoryRecorder(std::string path, std::function<void(Report)> reporter)
    : m_path(std::move(path))
    , m_reporter(std::move(reporter))
    , m_thread([this] { run(); })
{
}

HistoryRecorder::~HistoryRecorder()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void HistoryRecorder::setSettings(const Settings& settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
}

void HistoryRecorder::submit(std::shared_ptr<const SeenScan> scan)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(scan));
        while (m_waiting.size() > kMostWaiting)
            m_waiting.pop_front();
    }
    m_wake.notify_one();
}

void HistoryRecorder::stopReporting()
{
    std::lock_guard lock(m_reporterMutex);
    m_reporter = nullptr;
}

bool HistoryRecorder::flush(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [this] { return m_waiting.empty() && !m_writing; });
}

void HistoryRecorder::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_waiting.empty(); });
        if (m_waiting.empty())
            return; // stopping, with everything written
        const std::shared_ptr<const SeenScan> scan = std::move(m_waiting.front());
        m_waiting.pop_front();
        const Settings settings = m_settings;
        m_writing = true;
        lock.unlock();
        write(*scan, settings);
        lock.lock();
        m_writing = false;
        if (m_waiting.empty())
            m_idle.notify_all();
    }
}

void HistoryRecorder::write(const SeenScan& scan, const Settings& settings)
{
    Report report;
    bool written = false;
    if (m_database.isOpen() || m_database.open(m_path)) {
        m_database.setAlertKinds(settings.alertKinds);
        written = m_database.record(scan);
        report.alerts = m_database.takeAlerts();
    }
    report.notices = m_database.takeNotices();
    const std::string fault = written ? std::string() : m_database.error();
    report.faultChanged = fault != m_fault;
    report.fault = m_fault = fault;
    // Retention a small step at a time, at most every few seconds, so a write never waits long.
    const std::int64_t now = std::time(nullptr);
    if (written && now - m_lastPurge >= 10) {
        // A full step leaves more behind it: the next write takes another.
        if (m_database.purgeStep(now - std::int64_t(settings.keepDays) * 86400, settings.maxBytes, kPurgeRows)
            < kPurgeRows)
            m_lastPurge = now;
    }
    if (report.faultChanged || !report.notices.empty() || !report.alerts.empty()) {
        std::lock_guard lock(m_reporterMutex);
        if (m_reporter)
            m_reporter(std::move(report));
    }
}
