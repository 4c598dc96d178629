#pragma once
// The desktop's default web browser, as xdg-settings and xdg-mime find it: the handler
// of web addresses, else of HTML pages, in the user's and the system's mimeapps.list.

#include <QString>
#include <QStringList>

class QUrl;

// The program and its arguments that open url in the default browser; empty when no
// default is set or the default is no browser (a text editor, a terminal program).
QStringList defaultBrowserCommand(const QUrl& url);

// The command of one desktop entry's text for url, when the entry is a browser.
QStringList browserCommandOf(const QString& desktopEntry, const QUrl& url);
