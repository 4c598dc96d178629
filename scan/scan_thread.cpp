#include "scan/scan_thread.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Clears the busy flag however the scan ends, or no scan would ever start again.
class BusyGuard
{
public:
    explicit BusyGuard(std::atomic<int>& busy)
        : m_busy(busy)
    {
    }
    ~BusyGuard() { m_busy.store(0); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    std::atomic<int>& m_busy;
};

// QThread's threads are detached: wait() returns while the thread still runs its exit, in
// which Qt frees the thread's own data. The program must not end before that, so the
// owner also waits until the kernel has the thread no more.
void waitUntilGone(pid_t tid)
{
    // Only the thread's last steps are left; the bound is for a thread that cannot leave.
    for (int i = 0; tid > 0 && i < 10000 && (::tgkill(::getpid(), tid, 0) == 0 || errno != ESRCH); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

} // namespace

ScanThread::ScanThread(std::atomic<int>& scanBusy)
    : m_scanBusy(scanBusy)
{
}

ScanThread::~ScanThread()
{
    finish();
}

void ScanThread::startScan(std::function<void()> scan)
{
    {
        const std::lock_guard lock(m_mutex);
        m_next = std::move(scan);
    }
    m_changed.notify_all();
    if (!isRunning() && !isFinished())
        start(QThread::LowPriority);
}

void ScanThread::run()
{
    // Linux ignores QThread's priorities for ordinary threads; a nice value one step
    // above the GUI thread's (which this thread inherited) lets the window go first.
    const pid_t self = gettid();
    m_tid.store(self);
    errno = 0;
    const int inherited = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    if (errno == 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(self), inherited + 1);
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_next || m_finishing; });
            if (!m_next)
                return;
            m_running = std::move(m_next);
            m_next = nullptr;
        }
        Execute();
        m_changed.notify_all(); // a waitIdle sees the flag cleared
    }
}

void ScanThread::Execute()
{
    {
        BusyGuard guard(m_scanBusy);
        try {
            m_running();
        } catch (...) {
            // Nothing may leave the worker; the flag is cleared all the same.
        }
        // What the scan alone still held (a replaced source, an agent's session) goes here,
        // on the worker, before the flag says the scan has ended.
        m_running = nullptr;
    }
    // Taken and released, so a waiter that saw the flag set is already waiting when told.
    const std::lock_guard lock(m_mutex);
}

bool ScanThread::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    const auto idle = [this] { return m_scanBusy.load() == 0; };
    if (timeoutMs < 0) {
        m_changed.wait(lock, idle);
        return true;
    }
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

void ScanThread::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_changed.notify_all();
    if (wait())
        waitUntilGone(m_tid.load());
}
