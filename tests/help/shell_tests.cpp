#include "help/shell.h"

#include "log/connection_log.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBrowser>

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
TEST(DesktopFailure, IsToldAndHelpFallsBackToItsOwnWindow)
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
    openHelp();
    waitForTold(3);

    setShellFailureHandler(previous);
    setDesktopOpener(previousOpener);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0],
        u"Could not open mailto:someone@veltran.example: xdg-open: no method available for opening 'mailto:someone@veltran.example'"_s);
    EXPECT_TRUE(
        told[1].startsWith(u"Could not open %1/absent.txt: No such file or directory"_s.arg(dir.path())))
        << told[1].toStdString();
    EXPECT_TRUE(told[2].contains(u"help.htm: xdg-open: no method available"_s)) << told[2].toStdString();
    QTextBrowser* help = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == u"HelpWindow"_s && widget->isVisible())
            help = qobject_cast<QTextBrowser*>(widget);
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->toPlainText().contains(u"options.dat"_s));
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
