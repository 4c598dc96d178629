// veltran: the monitor's window program.

#include "app/app_title.h"
#include "app/command_line.h"
#include "app/program.h"
#include "app/tform1.h"
#include "platform/name_services.h"

#include <QApplication>
#include <QMessageBox>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

extern char** environ;

namespace {

// An exception that escapes an event handler is shown in a message box and the
// loop goes on, as users of the window expect rather than a vanished program.
class Application final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            QMessageBox::critical(
                nullptr, QString::fromLatin1(kApplicationTitle), QString::fromLocal8Bit(error.what()));
        }
        return false;
    }
};

int run(Application& app)
{
    app.setProperty(
        "helpFile", QStringLiteral("\\help.htm")); // kept for the toolkit; Help opens help.htm itself
    // Docks match the running window to its installed desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.veltran.Veltran"));
    app.setQuitOnLastWindowClosed(false); // the main window alone ends the program

    Program program(systemNameServices());
    if (!program.startupError().isEmpty()) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle), program.startupError());
        return 1;
    }
    QObject::connect(&program.form1(), &TForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    program.show();
    const int result = app.exec();
    program.shutdown();
    return result;
}

// While the application object connects to the display, Qt's messages are held back:
// a display that cannot be reached ends the program with one line, not Qt's abort.
QStringList g_heldMessages;
QtMessageHandler g_qtHandler = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        g_heldMessages.append(message);
        return;
    }
    const QString reason = g_heldMessages.isEmpty() ? message : g_heldMessages.first();
    std::fprintf(stderr, "veltran: no display to show the window on (%s)\n", qPrintable(reason.trimmed()));
    (void)context;
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    // glibc gives threads malloc arenas of their own, up to 16 on two cores: each grows to a
    // scan's peak and keeps it. Two arenas serve the GUI and the scans' worker.
    mallopt(M_ARENA_MAX, 2);
    // The title names the program in its message boxes; not Qt's display name, which
    // would be appended to every window caption.
    QCoreApplication::setApplicationName(QStringLiteral("veltran"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRAN_VERSION));
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        QStringList environment;
        for (char** entry = environ; *entry; ++entry)
            environment.append(QString::fromLocal8Bit(*entry));
        if (const auto answer = answerBeforeWindows(arguments, environment)) {
            std::fputs(answer->out.c_str(), stdout);
            std::fputs(answer->err.c_str(), stderr);
            return answer->exitCode;
        }
    }
    // The menu bar stays in the window, where the layout has it: a desktop's global menu
    // would take it out.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    prepareDisplayConnection();
    g_qtHandler = qInstallMessageHandler(holdMessage);
    Application app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    for (const QString& message : std::exchange(g_heldMessages, {}))
        qWarning("%s", qPrintable(message));
    try {
        return run(app);
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QString::fromLatin1(kApplicationTitle), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
