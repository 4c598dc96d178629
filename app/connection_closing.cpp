#include "app/connection_closing.h"

#include "scan/connection_closer.h"

#include <QMessageBox>
#include <QThread>
#include <QWidget>

namespace {

QString endsText(const GridRowDetails& details)
{
    return QString::fromStdString(numericEndText(details.localAddress, details.localPort))
        + QStringLiteral(" \u2194 ")
        + QString::fromStdString(numericEndText(details.remoteAddress, details.remotePort));
}

} // namespace

ConnectionClosing::ConnectionClosing(QWidget* window, std::function<void(const QString&)> tell)
    : QObject(window)
    , m_window(window)
    , m_tell(std::move(tell))
{
}

ConnectionClosing::~ConnectionClosing() = default;

QString ConnectionClosing::question(const GridRowDetails& details)
{
    return QStringLiteral(
        "Close the TCP connection %1?\nBoth programs lose it at once; the remote end sees a "
        "reset.")
        .arg(endsText(details));
}

void ConnectionClosing::request(const GridRowDetails& details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_running) {
        report(QStringLiteral("the connection ") + endsText(details),
            QStringLiteral("another request is still running"));
        return;
    }
    const auto answer = QMessageBox::question(m_window, QStringLiteral("Close connection"), question(details),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        close(details);
}

void ConnectionClosing::close(const GridRowDetails& details)
{
    run(QStringLiteral("the connection ") + endsText(details), [details] {
        return closeTcpConnection(
            details.localAddress, details.localPort, details.remoteAddress, details.remotePort);
    });
}

QString ConnectionClosing::stopQuestion(const GridRowDetails& details)
{
    QString text = QStringLiteral("Stop the process %1?").arg(QString::fromStdString(details.processCell));
    if (!details.commandLine.empty())
        text += u'\n' + QString::fromStdString(details.commandLine);
    return text + QStringLiteral("\nIt is asked to end (SIGTERM), as when its desktop session ends.");
}

void ConnectionClosing::requestStop(const GridRowDetails& details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const auto answer = QMessageBox::question(m_window, QStringLiteral("Stop process"), stopQuestion(details),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        stop(details);
}

void ConnectionClosing::stop(const GridRowDetails& details)
{
    const std::uint32_t pid = details.pid;
    run(QStringLiteral("the process ") + QString::fromStdString(details.processCell),
        [pid] { return stopProcess(pid); });
}

void ConnectionClosing::run(const QString& what, std::function<std::string()> work)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_running.exchange(true)) {
        report(what, QStringLiteral("another request is still running"));
        return;
    }
    // The module serves one caller at a time: a scan in progress would hold the GUI.
    m_worker = std::jthread([this, what, work = std::move(work)] {
        const std::string failure = work();
        QMetaObject::invokeMethod(
            this,
            [this, what, failure] {
                m_running = false;
                report(what, QString::fromStdString(failure));
            },
            Qt::QueuedConnection);
    });
}

void ConnectionClosing::report(const QString& what, const QString& failure)
{
    if (failure.isEmpty()) {
        // "the connection …" becomes "Closed the connection …", "the process …" "Stopped the process …".
        m_tell((what.startsWith(QStringLiteral("the process")) ? QStringLiteral("Stopped ")
                                                               : QStringLiteral("Closed "))
            + what);
    } else {
        const QString text = QStringLiteral("Could not act on %1: %2").arg(what, failure);
        m_tell(text);
        if (m_window && m_window->isVisible())
            QMessageBox::warning(m_window, QStringLiteral("VELTRAN"), text);
    }
    Q_EMIT finished(failure);
}
