#pragma once
// One scan on a worker thread: created per scan, never reused.

#include <QThread>

#include <atomic>
#include <functional>
#include <sys/types.h>

class ScanThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanThread)

public:
    // scan is the body of one scan; scanBusy is cleared when it ends, however it ends.
    ScanThread(std::function<void()> scan, std::atomic<int>& scanBusy);

    // Runs the scan, then clears the busy flag.
    void Execute();
    // The kernel's id of the thread, once it has started; 0 before.
    pid_t tid() const { return m_tid.load(); }

protected:
    void run() override;

private:
    std::function<void()> m_scan;
    std::atomic<int>& m_scanBusy;
    std::atomic<pid_t> m_tid { 0 };
};
