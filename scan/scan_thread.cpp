#include "scan/scan_thread.h"

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
