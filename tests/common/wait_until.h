#pragma once
// Waiting on the GUI thread for what the scan worker and the window do, with the event
// loop running, up to a limit.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

// True once done() holds; false when timeoutMs passed first.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}
