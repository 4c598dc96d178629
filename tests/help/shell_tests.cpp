#include "help/shell.h"

#include "help/desktop_browser.h"

#include "log/connection_log.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Records what would have gone to the desktop; nothing is opened for real.
class ShellRecorder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = setShellHandler([this](const std::string& target) { opened.push_back(target); });
    }
    void TearDown() override { setShellHandler(m_previous); }

    std::vector<std::string> opened;

private:
    ShellHandler m_previous;
};

} // namespace

TEST_F(ShellRecorder, ViewLogOpensTheActiveNameAndNothingWithoutOne)
{
    ConnectionLog log;
    viewLog(log);
    EXPECT_TRUE(opened.empty());

    log.setActiveLogName("netlog.txt");
    viewLog(log);
    log.setActiveLogName("/var/tmp/other log.txt");
    viewLog(log);
    EXPECT_EQ(opened, (std::vector<std::string> { "netlog.txt", "/var/tmp/other log.txt" }));
}

TEST_F(ShellRecorder, HelpOpensTheHelpPageBesideTheExecutable)
{
    openHelp();
    EXPECT_EQ(opened,
        std::vector<std::string> { (QCoreApplication::applicationDirPath() + u"/help.htm"_s).toStdString() });
}

// The real opener path, with an opener that fails as xdg-open does on a desktop without handlers.
TEST(DesktopFailure, IsTold)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath(u"opener"_s);
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
    const QString previousOpener = setDesktopOpener(script);
    std::vector<QString> told;
    const ShellFailureHandler previous
        = setShellFailureHandler([&told](const QString& message) { told.push_back(message); });
    const auto waitForTold = [&told](std::size_t count) {
        QElapsedTimer clock;
        clock.start();
        while (told.size() < count && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };

    openInShell("mailto:someone@veltran.example");
    waitForTold(1);
    ConnectionLog log;
    log.setActiveLogName(dir.filePath(u"absent.txt"_s).toStdString());
    viewLog(log); // told at once, no opener started
    waitForTold(2);

    setShellFailureHandler(previous);
    setDesktopOpener(previousOpener);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0],
        u"Could not open mailto:someone@veltran.example: xdg-open: no method available for opening 'mailto:someone@veltran.example'"_s);
    EXPECT_TRUE(
        told[1].startsWith(u"Could not open %1/absent.txt: No such file or directory"_s.arg(dir.path())))
        << told[1].toStdString();
}

QTextBrowser* shownHelpWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == u"HelpWindow"_s && widget->isVisible())
            return qobject_cast<QTextBrowser*>(widget);
    return nullptr;
}

void writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Help goes to the desktop's default browser, never to whatever opens text: without a
// browser set (or with an editor set for HTML) the program's own window shows it.
TEST(HelpViewer, TheDefaultBrowserWithArgumentsAsAListElseOurOwnWindow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const char* variables[] = { "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS" };
    std::vector<QByteArray> saved;
    for (const char* variable : variables) {
        saved.push_back(qgetenv(variable));
        qputenv(variable, dir.filePath(QString::fromLatin1(variable)).toLocal8Bit());
    }
    const QString apps = dir.filePath(u"XDG_DATA_HOME/applications"_s);
    const QString mimeapps = dir.filePath(u"XDG_CONFIG_HOME/mimeapps.list"_s);
    const QString page = QUrl::fromLocalFile(helpPagePath()).toString(QUrl::FullyEncoded);

    EXPECT_EQ(browserCommandOf(u"[Desktop Entry]\nCategories=Network;WebBrowser;\n"
                               "Exec=\"/opt/My Browser/run\" --new-window %U %i\n"_s,
                  QUrl(page)),
        (QStringList { u"/opt/My Browser/run"_s, u"--new-window"_s, page }));

    openHelp(); // nothing set
    QTextBrowser* own = shownHelpWindow();
    ASSERT_NE(own, nullptr);
    own->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    writeFile(apps + u"/vim.desktop"_s,
        "[Desktop Entry]\nTerminal=true\nCategories=Utility;TextEditor;\nExec=vim %F\n");
    writeFile(mimeapps, "[Default Applications]\ntext/html=vim.desktop;\n");
    openHelp();
    own = shownHelpWindow();
    ASSERT_NE(own, nullptr);
    own->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QString script = dir.filePath(u"browser"_s);
    const QString record = dir.filePath(u"arguments"_s);
    const QByteArray recordName = record.toLocal8Bit();
    writeFile(script,
        "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + recordName + ".part'\nmv '" + recordName
            + ".part' '" + recordName + "'\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
    writeFile(apps + u"/web.desktop"_s,
        "[Desktop Entry]\nCategories=Network;WebBrowser;\nExec=" + script.toLocal8Bit()
            + " --new-window %u\n");
    writeFile(
        mimeapps, "[Default Applications]\ntext/html=vim.desktop;\nx-scheme-handler/http=web.desktop\n");
    openHelp();
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo(record).size() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QFile recorded(record);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(recorded.readAll()), u"--new-window\n"_s + page + u"\n"_s);
    EXPECT_EQ(shownHelpWindow(), nullptr);

    for (std::size_t i = 0; i < saved.size(); ++i)
        saved[i].isNull() ? qunsetenv(variables[i]) : qputenv(variables[i], saved[i]);
}

TEST_F(ShellRecorder, HandlerCanBeReplacedAndRestored)
{
    std::vector<std::string> inner;
    const ShellHandler outer
        = setShellHandler([&inner](const std::string& target) { inner.push_back(target); });
    openInShell("mailto:someone@veltran.example");
    setShellHandler(outer);
    openInShell("x.txt");
    EXPECT_EQ(inner, std::vector<std::string> { "mailto:someone@veltran.example" });
    EXPECT_EQ(opened, std::vector<std::string> { "x.txt" });
}

TEST(HelpPage, LiesBesideTheExecutablesAndCoversWhatUsersNeed)
{
    QFile page(QCoreApplication::applicationDirPath() + u"/help.htm"_s);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
    const QByteArray html = page.readAll();
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>"));
    EXPECT_TRUE(html.contains("</html>"));
    for (const char* topic :
        { "options.dat", "netlog.txt", "Session started at:", "Graphic/Text mode", "Lookup hostnames",
            "--no-host-names", "--no-port-names", "--no-listening", "--no-tcp", "--no-udp", "--help" })
        EXPECT_TRUE(html.contains(topic)) << topic;
}
