#include "help/shell.h"

#include "log/connection_log.h"

#include <QCoreApplication>
#include <QFile>

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

TEST_F(ShellRecorder, HelpOpensTheRelativeHelpPage)
{
    openHelp();
    EXPECT_EQ(opened, std::vector<std::string> { "help.htm" });
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
