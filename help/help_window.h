#pragma once
// The help page in a window of our own, for a desktop that has nothing to open it with.

#include <QString>

class QTextBrowser;

// Shows the page in the one help window, creating it at the first call. GUI thread.
QTextBrowser* showHelpWindow(const QString& page);
