#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

QString variable(const QStringList& environment, const QString& name)
{
    const QString prefix = name + u'=';
    for (const QString& entry : environment) {
        if (entry.startsWith(prefix))
            return entry.mid(prefix.size());
    }
    return {};
}

// The value of one of Qt's own options, "-name value" or "--name=value" alike.
QString qtOption(const QStringList& arguments, const QString& name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if ((argument == u'-' + name || argument == u"--"_s + name) && i + 1 < arguments.size())
            return arguments[i + 1];
        for (const QString& prefix : { u'-' + name + u'=', u"--"_s + name + u'=' }) {
            if (argument.startsWith(prefix))
                return argument.mid(prefix.size());
        }
    }
    return {};
}

bool hasDisplay(const QStringList& arguments, const QStringList& environment)
{
    QString platform = qtOption(arguments, u"platform"_s);
    if (platform.isEmpty())
        platform = variable(environment, u"QT_QPA_PLATFORM"_s);
    // offscreen, minimal, vnc, eglfs... need no display server.
    const bool needsServer
        = platform.isEmpty() || platform.startsWith(u"xcb"_s) || platform.startsWith(u"wayland"_s);
    return !needsServer || !qtOption(arguments, u"display"_s).isEmpty()
        || !variable(environment, u"DISPLAY"_s).isEmpty()
        || !variable(environment, u"WAYLAND_DISPLAY"_s).isEmpty();
}

} // namespace

std::optional<EarlyAnswer> answerBeforeWindows(const QStringList& arguments, const QStringList& environment)
{
    QCommandLineParser parser;
    // Single-dash words stay whole, so Qt's "-reverse" is never read as "-r -e -v ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        u"A monitor of this computer's TCP and UDP endpoints, as a grid and as a map.\n"
        "Qt's own options (-platform, -display, -style, ...) are accepted too."_s);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Unknown options are Qt's, or mistakes QApplication ignores as it always did.
    parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(u"help-all"_s)) {
        // Without an application object the parser cannot know the program's name.
        const QString name = arguments.isEmpty() ? QCoreApplication::applicationName() : arguments.first();
        return EarlyAnswer { 0, parser.helpText().replace(u"<executable_name>"_s, name).toStdString(), {} };
    }
    if (parser.isSet(version)) {
        return EarlyAnswer { 0,
            (QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n')
                .toStdString(),
            {} };
    }
    if (!hasDisplay(arguments, environment)) {
        return EarlyAnswer { 1, {},
            (QCoreApplication::applicationName()
                + u": no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset)\n"_s)
                .toStdString() };
    }
    return std::nullopt;
}
