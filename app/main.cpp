// veltran: the monitor's window program.

#include "app/tform1.h"
#include "app/window_scan_view.h"
#include "log/connection_log.h"
#include "log/tform_about.h"
#include "platform/name_services.h"
#include "scan/mib_agent.h"
#include "scan/scanner.h"
#include "settings/tform_options.h"
#include "views/map_pictures.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace {

const char* const kTitle = "VELTRAN 3.3 (Network connections at a glance)";

int run(QApplication& app)
{
    app.setProperty("helpFile", QStringLiteral("\\help.htm")); // kept for the toolkit; Help opens help.htm itself
    QApplication::setApplicationDisplayName(QString::fromLatin1(kTitle));
    app.setQuitOnLastWindowClosed(false); // the main window alone ends the program

    ConnectionLog log;
    MibAgent agent;
    TForm1 form1(agent, log);
    if (!form1.startupError().isEmpty()) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kTitle), form1.startupError());
        return 1;
    }
    TForm_Options options(log, [&form1] { return form1.headerTitles(); });
    form1.attachOptions(&options);
    const MapPictures pictures = MapPictures::load();
    form1.attachMapPictures(&pictures);
    TForm_About about;
    form1.attachAbout(&about);

    WindowScanView view(&form1);
    Scanner scanner(agent, options, systemNameServices(), log, view);
    form1.attachScanner(&scanner, &view);
    QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    form1.show();
    const int result = app.exec();
    // Release a scan that waits on a message box; the scanner then joins its worker,
    // whose later effects are dropped.
    view.shutdown();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    try {
        return run(app);
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kTitle), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
