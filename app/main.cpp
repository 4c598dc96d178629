// veltran: the monitor's window program.

#include "app/app_title.h"
#include "app/program.h"
#include "app/tform1.h"
#include "platform/name_services.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

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
    // The title names the program in its message boxes; not Qt's display name, which
    // would be appended to every window caption.
    QApplication::setApplicationName(QStringLiteral("veltran"));
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

} // namespace

int main(int argc, char** argv)
{
    Application app(argc, argv);
    try {
        return run(app);
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QString::fromLatin1(kApplicationTitle), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
