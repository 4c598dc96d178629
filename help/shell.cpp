#include "help/shell.h"

#include "log/connection_log.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <array>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

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

void openOnDesktop(const std::string& target)
{
    if (target.empty())
        return;
    QUrl url;
    if (isAddress(target)) {
        url = QUrl(QString::fromStdString(target));
    } else {
        // A file that is not there would only make the desktop show an error of its own.
        const QFileInfo file(QString::fromStdString(target));
        if (!file.exists())
            return;
        url = QUrl::fromLocalFile(file.absoluteFilePath());
    }
    if (!url.isValid())
        return;
    if (!QDesktopServices::openUrl(url))
        QProcess::startDetached(u"xdg-open"_s, { url.toString(QUrl::FullyEncoded) });
}

ShellHandler& currentHandler()
{
    static ShellHandler handler;
    return handler;
}

} // namespace

void openInShell(const std::string& target)
{
    if (const ShellHandler& handler = currentHandler())
        handler(target);
    else
        openOnDesktop(target);
}

ShellHandler setShellHandler(ShellHandler handler)
{
    ShellHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

void viewLog(const ConnectionLog& log)
{
    const std::string name = log.activeLogName();
    if (!name.empty())
        openInShell(name);
}

void openHelp()
{
    openInShell("help.htm");
}
