#include "scan/scanner.h"

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
}

int Scanner::startScan()
{
    if (m_scanBusy.load() != 0)
        return 1;
    // The last worker cleared the flag as its final step, so it has left (or is
    // leaving) run(): this wait returns at once and the thread can go.
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_thread = std::make_unique<ScanThread>(*this);
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
