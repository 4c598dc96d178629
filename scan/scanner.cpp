#include "scan/scanner.h"

#include "scan/options.h"
#include "scan/run_scan.h"
#include "scan/scan_thread.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

// QThread's threads are detached: wait() returns while the thread still runs its
// exit, in which Qt frees the thread's own data. The program must not end before
// that, so the owner also waits until the kernel has the thread no more.
void waitUntilGone(pid_t tid)
{
    // Only the thread's last steps are left; the bound is for a thread that cannot leave.
    for (int i = 0; tid > 0 && i < 10000 && (::tgkill(::getpid(), tid, 0) == 0 || errno != ESRCH); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

} // namespace

Scanner::Scanner(const OptionsSource& options, ConnectionLog& log, ScanSource source)
    : m_options(options)
    , m_log(log)
{
    setSource(std::move(source));
}

Scanner::Scanner(
    MibAgent& agent, const OptionsSource& options, NameServices& services, ConnectionLog& log, ScanView& view)
    : Scanner(options, log,
        { std::shared_ptr<MibAgent>(std::shared_ptr<MibAgent>(), &agent),
            std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &services),
            std::shared_ptr<ScanView>(std::shared_ptr<ScanView>(), &view) })
{
}

void Scanner::setSource(ScanSource source)
{
    m_source = std::move(source);
    m_table = std::make_shared<ConnectionTable>();
    m_resolver = std::make_shared<NameResolver>(*m_source.names);
}

Scanner::~Scanner()
{
    // Every worker, the leaving ones too: each frees its thread's data as it exits.
    for (const auto& thread : m_leaving) {
        if (thread->wait())
            waitUntilGone(thread->tid());
    }
    if (m_thread && m_thread->wait())
        waitUntilGone(m_thread->tid());
}

int Scanner::startScan()
{
    if (m_scanBusy.load() != 0)
        return 1;
    // The last worker cleared the flag as its final step; it may still be leaving
    // its thread, so it is set aside rather than waited for.
    std::erase_if(m_leaving, [](const std::unique_ptr<ScanThread>& thread) { return thread->isFinished(); });
    if (m_thread) {
        if (!m_thread->isFinished())
            m_leaving.push_back(std::move(m_thread));
        m_thread.reset();
    }
    // The scan holds its source: a source replaced meanwhile lives until the scan ends. What
    // it alone still holds goes with the worker, so an agent's session is closed there.
    m_thread = std::make_unique<ScanThread>(
        [this, options = m_options.options(), source = m_source, resolver = m_resolver,
            table = m_table]() mutable {
            runScan(*source.agent, options, *resolver, m_log, *source.view, *table);
            resolver.reset();
            table.reset();
            source.agent.reset();
            source.names.reset();
        },
        m_scanBusy);
    m_scanBusy.store(1);
    m_thread->start(QThread::LowPriority);
    return 0;
}

bool Scanner::waitForIdle(int timeoutMs)
{
    if (m_thread) {
        if (!m_thread->wait(QDeadlineTimer(timeoutMs)))
            return false;
        waitUntilGone(m_thread->tid());
    }
    return m_scanBusy.load() == 0;
}
