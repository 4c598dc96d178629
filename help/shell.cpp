#include "help/shell.h"

#include "help/desktop_browser.h"
#include "help/help_window.h"
#include "log/connection_log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QUrl>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace Qt::StringLiterals;

namespace {

using Failed = std::function<void(const QString& reason)>;

bool isAddress(std::string_view target)
{
    constexpr std::array<std::string_view, 5> schemes { "mailto:", "http://", "https://", "ftp://",
        "file://" };
    for (std::string_view scheme : schemes) {
        if (target.size() > scheme.size() && target.substr(0, scheme.size()) == scheme)
            return true;
    }
    return false;
}

QString& opener()
{
    static QString program = u"xdg-open"_s;
    return program;
}

ShellFailureHandler& failureHandler()
{
    static ShellFailureHandler handler;
    return handler;
}

void report(const QString& target, const QString& reason)
{
    if (const ShellFailureHandler& handler = failureHandler())
        handler(u"Could not open %1: %2"_s.arg(target, reason));
}

// Watches one opener process without ever waiting for it: its exit makes its pidfd
// readable. An opener still running when the program ends is left to finish alone.
class OpenerWatch final : public QObject
{
public:
    OpenerWatch(const QString& program, pid_t pid, int pidFd, int errorPipe, Failed failed)
        : QObject(QCoreApplication::instance())
        , m_program(program)
        , m_pid(pid)
        , m_pidFd(pidFd)
        , m_errorPipe(errorPipe)
        , m_failed(std::move(failed))
        , m_notifier(pidFd, QSocketNotifier::Read, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &OpenerWatch::exited);
    }
    ~OpenerWatch() override
    {
        ::close(m_pidFd);
        ::close(m_errorPipe);
    }

private:
    void exited()
    {
        m_notifier.setEnabled(false);
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            m_failed(reasonOf(status));
        deleteLater();
    }

    // The opener's own last line of complaint, else its exit status.
    QString reasonOf(int status) const
    {
        char text[2048];
        const ssize_t n = ::read(m_errorPipe, text, sizeof text);
        const QStringList lines = QString::fromLocal8Bit(text, n > 0 ? n : 0).trimmed().split(u'\n');
        if (!lines.last().trimmed().isEmpty())
            return lines.last().trimmed();
        if (WIFEXITED(status))
            return u"%1 ended with status %2"_s.arg(m_program).arg(WEXITSTATUS(status));
        return u"%1 was stopped by signal %2"_s.arg(m_program).arg(WTERMSIG(status));
    }

    QString m_program;
    pid_t m_pid;
    int m_pidFd;
    int m_errorPipe;
    Failed m_failed;
    QSocketNotifier m_notifier;
};

// Starts a program with its arguments as a list, never through a shell.
void launch(const QStringList& command, Failed failed)
{
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        failed(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    std::vector<QByteArray> words;
    for (const QString& word : command)
        words.push_back(word.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QString program = command.first();
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errorPipe[1]);
    const int pidFd = spawned == 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    if (pidFd < 0) {
        ::close(errorPipe[0]);
        failed(spawned != 0 ? u"%1: %2"_s.arg(program, QString::fromLocal8Bit(std::strerror(spawned)))
                            : QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    new OpenerWatch(program, pid, pidFd, errorPipe[0], std::move(failed));
}

void openOnDesktop(const std::string& target, const Failed& failed)
{
    if (target.empty())
        return;
    QUrl url;
    if (isAddress(target)) {
        url = QUrl(QString::fromStdString(target));
    } else {
        // A file that is not there would only make the desktop show an error of its own.
        const QFileInfo file(QString::fromStdString(target));
        if (!file.exists()) {
            failed(QString::fromLocal8Bit(std::strerror(ENOENT)));
            return;
        }
        url = QUrl::fromLocalFile(file.absoluteFilePath());
    }
    if (!url.isValid()) {
        failed(u"not a valid address"_s);
        return;
    }
    launch({ opener(), url.toString(QUrl::FullyEncoded) }, failed);
}

ShellHandler& currentHandler()
{
    static ShellHandler handler;
    return handler;
}

void open(const std::string& target, const Failed& failed)
{
    if (const ShellHandler& handler = currentHandler())
        handler(target);
    else
        openOnDesktop(target, failed);
}

} // namespace

void openInShell(const std::string& target)
{
    const QString shown = QString::fromStdString(target);
    open(target, [shown](const QString& reason) { report(shown, reason); });
}

ShellHandler setShellHandler(ShellHandler handler)
{
    ShellHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

ShellFailureHandler setShellFailureHandler(ShellFailureHandler handler)
{
    ShellFailureHandler previous = std::move(failureHandler());
    failureHandler() = std::move(handler);
    return previous;
}

QString setDesktopOpener(const QString& program)
{
    return std::exchange(opener(), program);
}

void viewLog(const ConnectionLog& log)
{
    const std::string name = log.activeLogName();
    if (!name.empty())
        openInShell(name);
}

QString helpPagePath()
{
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& candidate : { folder + u"/help.htm"_s, folder + u"/../share/veltran/help.htm"_s }) {
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

void openHelp()
{
    const QString page = helpPagePath();
    if (page.isEmpty()) {
        report(u"help.htm"_s, QString::fromLocal8Bit(std::strerror(ENOENT)));
        return;
    }
    if (const ShellHandler& handler = currentHandler()) {
        handler(page.toStdString());
        return;
    }
    // Not xdg-open: it hands an HTML file to whatever opens text, a terminal editor too.
    const QStringList browser = defaultBrowserCommand(QUrl::fromLocalFile(page));
    if (browser.isEmpty()) {
        showHelpWindow(page);
        return;
    }
    launch(browser, [page](const QString& reason) {
        report(page, reason);
        showHelpWindow(page);
    });
}
