#pragma once
// The scans' worker: one thread that runs one scan at a time, each when asked, and sleeps
// in between. A thread made for every refresh cost a clone and a wake-up of its own at
// every tick; this one is woken once per scan.

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <sys/types.h>

class ScanThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanThread)

public:
    // scanBusy is set by the caller before each scan and cleared when it ends, however it ends.
    explicit ScanThread(std::atomic<int>& scanBusy);
    // Lets the running scan end, then ends the thread and waits for it.
    ~ScanThread() override;

    // Hands the worker its next scan (the caller has set the busy flag); starts the thread
    // at the first. Never waits for the worker.
    void startScan(std::function<void()> scan);
    // Runs the scan handed over, then clears the busy flag. The worker's own step.
    void Execute();
    // Waits until no scan runs; false on timeout (negative: no limit).
    bool waitIdle(int timeoutMs);
    // Ends the thread once the running scan, if any, has ended, and waits until the kernel
    // has the thread no more. Any thread but the worker.
    void finish();

protected:
    void run() override;

private:
    std::atomic<int>& m_scanBusy;
    std::atomic<pid_t> m_tid { 0 }; // the kernel's id of the thread, once it has started
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_next; // the scan handed over and not yet taken
    std::function<void()> m_running; // the worker's only
    bool m_finishing = false;
};
