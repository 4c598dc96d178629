// The window watching another computer through its SNMP agent: a real snmpd in this
// executable's private namespace, chosen in the options dialog.
#include "app/app_title.h"
#include "app/program.h"
#include "app/tform1.h"
#include "platform/name_services.h"
#include "scan/scanner.h"
#include "settings/options_store.h"
#include "settings/preferences_dialog.h"
#include "tests/common/snmpd.h"
#include "tests/common/wait_until.h"
#include "tests/common/window_test.h"
#include "views/connection_map.h"
#include "views/grid_model.h"
#include "views/string_grid.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class WatchAgentTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        testsnmp::SnmpdConfig config;
        config.ownProcessesOnly = true;
        ASSERT_EQ(snmpd.start(config), "");
        create();
        program->show();
        finishScan(15000);
    }
    // Chooses the agent in the Preferences and confirms with Ok; the next scan reads it.
    void watchAgent(const std::string& options)
    {
        PreferencesDialog& watch = program->preferences();
        watch.show();
        watch.RadioSnmpAgent->setChecked(true);
        watch.EditHost->setText(QString::fromStdString(snmpd.peer()));
        watch.EditSnmpOptions->setText(QString::fromStdString(options));
        watch.accept();
        finishScan(15000);
    }

    testsnmp::SnmpdProcess snmpd;
};

TEST_F(WatchAgentTest, TheAgentsSocketsAndNameThenStaleRowsNamingItWhenItStops)
{
    sockets.connectTo(sockets.listen());
    const QString agentName = QStringLiteral("veltran-agent-%1").arg(snmpd.port());
    watchAgent(snmpd.v2cOptions());

    EXPECT_EQ(form().statusText(), QString());
    EXPECT_EQ(form().windowTitle(), QString::fromLatin1(kWindowCaption) + QStringLiteral(" - ") + agentName);
    ASSERT_NE(form().connectionMap(), nullptr);
    EXPECT_EQ(form().connectionMap()->table().localComputerName, agentName.toStdString());
    // The listener and both ends of the connection on 127.0.0.1, named after the agent's
    // computer, never this one; the agent's own UDP port on 0.0.0.0 or 127.0.0.1 too.
    EXPECT_GE(countCells(1, agentName), 4);
    EXPECT_EQ(countCells(1, QStringLiteral("testbox")), 0);
    const int rows = form().grid()->rowCount();
    const QString firstCell = form().grid()->cellText(1, 1);

    EXPECT_FALSE(form().gridModel()->stale());
    // Only the scans started here: a refresh of its own could read the agent just before it stops.
    form().setRefreshInterval(0);
    finishScan();
    snmpd.pause();
    form().Timer1Timer();
    finishScan(15000);
    const QString stalled = form().statusText();
    EXPECT_TRUE(
        stalled.startsWith(QStringLiteral("SNMP agent %1: ").arg(QString::fromStdString(snmpd.peer()))))
        << stalled.toStdString();
    EXPECT_TRUE(stalled.contains(
        QRegularExpression(QStringLiteral(" since \\d\\d:\\d\\d:\\d\\d: the rows shown are stale"))))
        << stalled.toStdString();
    EXPECT_EQ(form().grid()->rowCount(), rows);
    EXPECT_EQ(form().grid()->cellText(1, 1), firstCell);
    EXPECT_TRUE(form().gridModel()->stale());
    EXPECT_TRUE(form().connectionMap()->stale());

    // The scans that keep failing never say "Scanning..." over it, and keep its first time.
    form().Timer1Timer();
    ASSERT_TRUE(program->scanner().scanBusy());
    QElapsedTimer waited;
    waited.start();
    while (program->scanner().scanBusy() && waited.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_EQ(form().statusText(), stalled);
    }
    finishScan(15000);
    EXPECT_EQ(form().statusText(), stalled);

    // Answering again: fresh rows, and no stale mark or text.
    snmpd.resume();
    form().Timer1Timer();
    finishScan(15000);
    EXPECT_FALSE(form().gridModel()->stale());
    EXPECT_FALSE(form().connectionMap()->stale());
    EXPECT_FALSE(form().statusText().contains(QStringLiteral("since"))) << form().statusText().toStdString();

    // Back to this computer: its own name and the caption as it always was.
    program->preferences().show();
    program->preferences().RadioThisComputer->setChecked(true);
    program->preferences().accept();
    finishScan(15000);
    EXPECT_EQ(form().windowTitle(), QString::fromLatin1(kWindowCaption));
    EXPECT_GE(countCells(1, QStringLiteral("testbox")), 3);
    EXPECT_EQ(countCells(1, agentName), 0);
}

TEST_F(WatchAgentTest, WrongCredentialsAreToldWithinTheTimeoutAndNeverShown)
{
    sockets.udp(2);
    form().Timer1Timer();
    finishScan(15000);
    ASSERT_GT(form().grid()->rowCount(), 2); // this computer's rows, before the switch
    const QString peer = QString::fromStdString(snmpd.peer());
    program->store().set(&Options::logEnabled, true); // the log, too, must never hold a secret
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    QElapsedTimer clock;
    clock.start();
    watchAgent("-v2c -c wrong-Secret-1 -t 1 -r 1");
    const qint64 communityMs = clock.elapsed();
    const QString communityStatus = form().statusText();
    const int rowsAfterSwitch = form().grid()->rowCount();
    const QString firstCell = form().grid()->cellText(1, 1);
    watchAgent("-v3 -l authPriv -u veltran -a SHA -A wrong-Secret-2 -x AES -X wrong-Secret-3 -t 1 -r 1");
    const QString v3Status = form().statusText();
    const std::string printed
        = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();

    // Two tries of one second for the first table; the scan ends there.
    EXPECT_LT(communityMs, 6000);
    // Nothing read yet: the failure alone, no stale rows to speak of.
    EXPECT_TRUE(communityStatus.contains(
        QRegularExpression(QStringLiteral("^SNMP agent %1: Timeout since \\d\\d:\\d\\d:\\d\\d$")
                               .arg(QRegularExpression::escape(peer)))))
        << communityStatus.toStdString();
    EXPECT_TRUE(v3Status.startsWith(QStringLiteral("SNMP agent %1: ").arg(peer))) << v3Status.toStdString();
    EXPECT_FALSE(v3Status.contains(QStringLiteral("Timeout"))) << "the agent refuses the keys at once";
    for (const QString& text : { communityStatus, v3Status, form().windowTitle() })
        EXPECT_FALSE(text.contains(QStringLiteral("Secret"))) << text.toStdString();
    EXPECT_EQ(printed.find("Secret"), std::string::npos) << printed;
    QFile log(QDir(dir.path()).filePath(QStringLiteral("netlog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_FALSE(log.readAll().contains("Secret"));
    // The rows of the computer watched before are not shown as this agent's.
    EXPECT_EQ(rowsAfterSwitch, 2);
    EXPECT_EQ(firstCell, QString());
    // The choice is kept beside options.dat, readable by its owner alone.
    const QString ini = QDir(dir.path()).filePath(QStringLiteral("veltran.ini"));
    ASSERT_TRUE(QFile::exists(ini));
    EXPECT_FALSE(QFile::permissions(ini) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

} // namespace
