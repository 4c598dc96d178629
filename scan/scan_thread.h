#pragma once
// One scan on a worker thread: created per scan, never reused.

#include <QThread>

#include <atomic>
#include <functional>

class ScanThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanThread)

public:
    // scan is the body of one scan; scanBusy is cleared when it ends, however it ends.
    ScanThread(std::function<void()> scan, std::atomic<int>& scanBusy);

    // Runs the scan, then clears the busy flag.
    void Execute();

protected:
    void run() override;

private:
    std::function<void()> m_scan;
    std::atomic<int>& m_scanBusy;
};
