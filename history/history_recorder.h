#pragma once
// Writes scans into the history on a thread of its own, so that neither a scan nor the
// window ever waits for the disk, and removes old rows between the writes.

#include "history/history_database.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class HistoryRecorder
{
public:
    // What the user should hear of: fault is the current one (empty once writes succeed
    // again) and is given only when it changes; notices and alerts once each.
    struct Report
    {
        bool faultChanged = false;
        std::string fault;
        std::vector<std::string> notices;
        std::vector<HistoryAlert> alerts;
    };
    struct Settings
    {
        int keepDays = 30;
        std::int64_t maxBytes = 0; // 0: no cap
        unsigned alertKinds = 0; // a set of 1 << HistoryAlert::Kind
    };

    // reporter is called on the recorder's thread.
    HistoryRecorder(std::string path, std::function<void(Report)> reporter);
    // Writes what was submitted, then stops and joins the thread.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    void setSettings(const Settings& settings);
    // Any thread; never waits for a write. While writes lag, the oldest waiting scans go:
    // the next written scan brings the rows up to date all the same.
    void submit(std::shared_ptr<const SeenScan> scan);
    // After it returns the reporter is never called again: its receiver may go.
    void stopReporting();
    // Waits until every submitted scan is written; false on timeout.
    bool flush(int timeoutMs);

    static constexpr std::size_t kMostWaiting = 4;
    static constexpr int kPurgeRows = 500; // at most, each step of retention

private:
    void run();
    void write(const SeenScan& scan, const Settings& settings);

    const std::string m_path;
    std::mutex m_reporterMutex;
    std::function<void(Report)> m_reporter;
    HistoryDatabase m_database; // the recorder's thread only
    std::string m_fault; // the recorder's thread only
    std::int64_t m_lastPurge = 0; // the recorder's thread only

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::shared_ptr<const SeenScan>> m_waiting;
    Settings m_settings;
    bool m_writing = false;
    bool m_stop = false;
    std::thread m_thread; // last: started once everything it uses exists
};
