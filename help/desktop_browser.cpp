#include "help/desktop_browser.h"

#include <QDir>
#include <QFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QStringList xdgList(const char* variable, const QString& fallback)
{
    QStringList folders;
    for (const QString& folder : qEnvironmentVariable(variable, fallback).split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(folder))
            folders.append(folder);
    }
    return folders;
}

QString xdgHome(const char* variable, const QString& underHome)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + u'/' + underHome;
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The value of key in one group of a desktop-style file; empty when absent.
QString valueIn(const QString& text, const QString& group, const QString& key)
{
    bool inGroup = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && line.startsWith(key + u'='))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

// The first installed entry of a "a.desktop;b.desktop;" list.
QString installedEntry(const QString& list, const QStringList& applicationFolders)
{
    for (const QString& id : list.split(u';', Qt::SkipEmptyParts)) {
        for (const QString& folder : applicationFolders) {
            const QString path = folder + u'/' + id.trimmed();
            if (QFile::exists(path))
                return readText(path);
        }
    }
    return {};
}

// Exec= split as the desktop entry rules quote it, the field codes filled in.
QStringList execArguments(const QString& exec, const QUrl& url)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted && c == u'\\' && i + 1 < exec.size()) {
            word += exec[++i];
        } else if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);

    QStringList arguments;
    bool placed = false;
    for (const QString& w : words) {
        if (w == u"%u"_s || w == u"%U"_s) {
            arguments.append(url.toString(QUrl::FullyEncoded));
            placed = true;
        } else if (w == u"%f"_s || w == u"%F"_s) {
            arguments.append(url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded));
            placed = true;
        } else if (w.size() == 2 && w[0] == u'%' && w[1] != u'%') {
            continue; // %i, %c, %k and the deprecated codes stand for nothing here
        } else {
            arguments.append(QString(w).replace(u"%%"_s, u"%"_s));
        }
    }
    if (!placed && !arguments.isEmpty())
        arguments.append(url.toString(QUrl::FullyEncoded));
    return arguments;
}

} // namespace

QStringList browserCommandOf(const QString& desktopEntry, const QUrl& url)
{
    const QString group = u"Desktop Entry"_s;
    const QStringList categories = valueIn(desktopEntry, group, u"Categories"_s).split(u';');
    // A terminal program (an editor in a terminal, for one) is what users did not want.
    if (!categories.contains(u"WebBrowser"_s) || valueIn(desktopEntry, group, u"Terminal"_s) == u"true"_s)
        return {};
    return execArguments(valueIn(desktopEntry, group, u"Exec"_s), url);
}

QStringList defaultBrowserCommand(const QUrl& url)
{
    const QString configHome = xdgHome("XDG_CONFIG_HOME", u".config"_s);
    const QString dataHome = xdgHome("XDG_DATA_HOME", u".local/share"_s);
    const QStringList dataDirs = xdgList("XDG_DATA_DIRS", u"/usr/local/share:/usr/share"_s);
    QStringList applications { dataHome + u"/applications"_s };
    for (const QString& folder : dataDirs)
        applications.append(folder + u"/applications"_s);
    // xdg-mime's order: the user's choices, the system's, then the installed defaults.
    QStringList lists { configHome + u"/mimeapps.list"_s };
    for (const QString& folder : xdgList("XDG_CONFIG_DIRS", u"/etc/xdg"_s))
        lists.append(folder + u"/mimeapps.list"_s);
    for (const QString& folder : applications)
        lists << folder + u"/mimeapps.list"_s << folder + u"/defaults.list"_s;

    for (const QString& type : { u"x-scheme-handler/http"_s, u"text/html"_s }) {
        for (const QString& list : lists) {
            const QString text = readText(list);
            const QString ids = valueIn(text, u"Default Applications"_s, type);
            if (ids.isEmpty())
                continue;
            // The first default set for a type decides it; one that is no browser leaves
            // the next type to decide.
            const QString entry = installedEntry(ids, applications);
            if (!entry.isEmpty()) {
                if (QStringList command = browserCommandOf(entry, url); !command.isEmpty())
                    return command;
                break;
            }
        }
    }
    return {};
}
