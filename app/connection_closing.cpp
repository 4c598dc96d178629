#include "app/connection_closing.h"

#include "helper/helper_action.h"
#include "scan/connection_closer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// pkexec takes the helper only by an absolute path; the window's build and install put the
// helper beside the program or in ../libexec.
std::string findHelper()
{
    const QDir folder(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
        { QStringLiteral("../libexec/veltran-close-helper"), QStringLiteral("veltran-close-helper") }) {
        const QFileInfo helper(folder.filePath(candidate));
        if (helper.isExecutable())
            return helper.canonicalFilePath().toStdString();
    }
    return folder.filePath(QStringLiteral("veltran-close-helper")).toStdString();
}

int runProgram(const std::vector<std::string>& command, const std::stop_token& stop)
{
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (command.empty() || posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return static_cast<int>(ActionOutcome::HelperNotRun);
    // pkexec waits for the user's password; a program that quits meanwhile ends it.
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        // An end that cannot be read is no success.
        if (ended < 0 && errno != EINTR)
            return static_cast<int>(ActionOutcome::Failed);
        if (stop.stop_requested()) {
            kill(pid, SIGTERM);
            waitpid(pid, &status, 0);
            return static_cast<int>(ActionOutcome::NotAuthorised);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : static_cast<int>(ActionOutcome::Failed);
}

QString endsText(const GridRowDetails& details)
{
    return QString::fromStdString(numericEndText(details.localAddress, details.localPort))
        + QStringLiteral(" \u2194 ")
        + QString::fromStdString(numericEndText(details.remoteAddress, details.remotePort));
}

} // namespace

ConnectionClosing::Actions ConnectionClosing::localActions()
{
    return Actions {
        [](const GridRowDetails& details) {
            return closeTcpConnection(
                details.localAddress, details.localPort, details.remoteAddress, details.remotePort);
        },
        [](const GridRowDetails& details) { return stopProcess(details.pid); },
        processStartTime,
        [] { return geteuid() == 0; },
        runProgram,
        findHelper(),
    };
}

std::vector<std::string> ConnectionClosing::elevatedCommand(
    const std::string& helperPath, const std::vector<std::string>& arguments)
{
    std::vector<std::string> command { "/usr/bin/pkexec", helperPath };
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

ConnectionClosing::ConnectionClosing(
    QWidget* window, std::function<void(const QString&)> tell, Actions actions)
    : QObject(window)
    , m_window(window)
    , m_tell(std::move(tell))
    , m_actions(std::move(actions))
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
    const QString what = QStringLiteral("the connection ") + endsText(details);
    if (m_remote) {
        run(what, [remote = *m_remote, details](const std::stop_token&) {
            return closeRemoteConnection(remote.peer, remote.writeOptions, details.localAddress,
                details.localPort, details.remoteAddress, details.remotePort);
        });
        return;
    }
    run(what, [this, details](const std::stop_token& token) {
        const ActionOutcome outcome = elevated(m_actions.close(details),
            closeHelperArguments(
                details.localAddress, details.localPort, details.remoteAddress, details.remotePort),
            token);
        return actionFailureText(outcome, false);
    });
}

ActionOutcome ConnectionClosing::elevated(
    ActionOutcome direct, const std::vector<std::string>& arguments, const std::stop_token& token) const
{
    if (direct != ActionOutcome::NoRight || m_actions.privileged())
        return direct;
    return actionOutcomeOfExit(m_actions.run(elevatedCommand(m_actions.helperPath, arguments), token));
}

QString ConnectionClosing::stopQuestion(const GridRowDetails& details)
{
    QString text = QStringLiteral("Stop the process %1?").arg(QString::fromStdString(details.processCell));
    if (!details.commandLine.empty())
        text += u'\n' + QString::fromStdString(details.commandLine.str());
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
    const QString what = QStringLiteral("the process ") + QString::fromStdString(details.processCell);
    if (m_remote) {
        run(what, [remote = *m_remote, pid = details.pid](const std::stop_token&) {
            return stopRemoteProcess(remote.peer, remote.writeOptions, pid);
        });
        return;
    }
    run(what, [this, details](const std::stop_token& token) {
        // Read before the direct attempt: when that finds the process the scan saw, it was
        // this one already, so the helper is asked for the very process the user chose.
        const std::optional<std::uint64_t> startTime = m_actions.startTime(details.pid);
        ActionOutcome outcome = m_actions.stop(details);
        if (!startTime && outcome == ActionOutcome::NoRight)
            outcome = ActionOutcome::Gone;
        else
            outcome = elevated(outcome, stopHelperArguments(details.pid, startTime.value_or(0)), token);
        return actionFailureText(outcome, true);
    });
}

void ConnectionClosing::run(const QString& what, std::function<std::string(const std::stop_token&)> work)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_running.exchange(true)) {
        report(what, QStringLiteral("another request is still running"));
        return;
    }
    // The module serves one caller at a time: a scan in progress would hold the GUI.
    m_worker = std::jthread([this, what, work = std::move(work)](const std::stop_token& token) {
        const std::string failure = work(token);
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
