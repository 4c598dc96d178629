#include "help/help_window.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

QTextBrowser* showHelpWindow(const QString& page)
{
    static QPointer<QTextBrowser> window;
    if (!window) {
        window = new QTextBrowser;
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("VELTRAN Help"));
        window->setOpenExternalLinks(true);
        window->resize(640, 560);
        // Destroyed with the program even while open, before the application object.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] { delete window.data(); });
    }
    window->setSource(QUrl::fromLocalFile(page));
    window->show();
    window->raise();
    return window;
}
