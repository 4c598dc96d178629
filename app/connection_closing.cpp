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
        report(endsText(details), QStringLiteral("another connection is being closed"));
        return;
    }
    const auto answer = QMessageBox::question(m_window, QStringLiteral("Close connection"), question(details),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        close(details);
}

void ConnectionClosing::close(const GridRowDetails& details)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_running.exchange(true)) {
        report(endsText(details), QStringLiteral("another connection is being closed"));
        return;
    }
    // The module serves one caller at a time: a scan in progress would hold the GUI.
    m_worker = std::jthread([this, details, self = QPointer<ConnectionClosing>(this)] {
        const std::string failure = closeTcpConnection(
            details.localAddress, details.localPort, details.remoteAddress, details.remotePort);
        QMetaObject::invokeMethod(
            self,
            [this, details, failure] {
                m_running = false;
                report(endsText(details), QString::fromStdString(failure));
            },
            Qt::QueuedConnection);
    });
}

void ConnectionClosing::report(const QString& ends, const QString& failure)
{
    if (failure.isEmpty()) {
        m_tell(QStringLiteral("Closed the connection ") + ends);
    } else {
        const QString text = QStringLiteral("Could not close the connection %1: %2").arg(ends, failure);
        m_tell(text);
        if (m_window && m_window->isVisible())
            QMessageBox::warning(m_window, QStringLiteral("Close connection"), text);
    }
    Q_EMIT finished(failure);
}
