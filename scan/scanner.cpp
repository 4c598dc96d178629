#include "scan/scanner.h"

#include "scan/run_scan.h"
#include "scan/scan_thread.h"

#include <QDeadlineTimer>

Scanner::Scanner(
    MibAgent& agent, const Settings& settings, NameServices& services, ConnectionLog& log, ScanView& view)
    : m_agent(agent)
    , m_settings(settings)
    , m_log(log)
    , m_view(view)
    , m_resolver(settings, services)
{
}

Scanner::~Scanner()
{
    if (m_thread)
        m_thread->wait();
    for (const auto& thread : m_leaving)
        thread->wait();
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
    m_thread = std::make_unique<ScanThread>(
        [this] { runScan(m_agent, m_settings, m_resolver, m_log, m_view, m_table); }, m_scanBusy);
    m_scanBusy.store(1);
    m_thread->start(QThread::LowPriority);
    return 0;
}

bool Scanner::waitForIdle(int timeoutMs)
{
    if (m_thread && !m_thread->wait(QDeadlineTimer(timeoutMs)))
        return false;
    return m_scanBusy.load() == 0;
}
