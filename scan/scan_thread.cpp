#include "scan/scan_thread.h"

#include <cerrno>
#include <sys/resource.h>
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

} // namespace

ScanThread::ScanThread(std::function<void()> scan, std::atomic<int>& scanBusy)
    : m_scan(std::move(scan))
    , m_scanBusy(scanBusy)
{
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
    Execute();
}

void ScanThread::Execute()
{
    BusyGuard guard(m_scanBusy);
    try {
        m_scan();
    } catch (...) {
        // Nothing may leave the worker; the flag is cleared all the same.
    }
}
