// The computers watched after the first: edited in their own dialog, kept by Ok alone, the
// hosts in veltran.ini and the SNMP options only with the secrets.
#include "settings/watch_list_dialog.h"

#include "log/connection_log.h"
#include "settings/options_store.h"
#include "settings/secret_store.h"
#include "settings/settings_file.h"
#include "store_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

class WatchListTest : public StoreInTemporaryDirectory
{
protected:
    void SetUp() override
    {
        StoreInTemporaryDirectory::SetUp();
        dialog = std::make_unique<WatchListDialog>(*store);
        dialog->show();
    }
    void TearDown() override
    {
        dialog.reset();
        StoreInTemporaryDirectory::TearDown();
    }

    void add(const QString& host, const QString& snmpOptions)
    {
        dialog->ButtonAdd->click();
        dialog->EditHost->setText(host);
        Q_EMIT dialog->EditHost->textEdited(host);
        dialog->EditSnmpOptions->setText(snmpOptions);
        Q_EMIT dialog->EditSnmpOptions->textEdited(snmpOptions);
    }

    std::unique_ptr<WatchListDialog> dialog;
};

TEST_F(WatchListTest, AddedAgentsAreKeptByOkWithTheirSecretsApartAndReadBack)
{
    add(u"udp:server1:161"_s, u"-v2c -c s3cret-one"_s);
    add(u"server2"_s, u"-v3 -l authPriv -u w -a SHA -A s3cret-two -x AES -X s3cret-3"_s);
    add(u" "_s, u"-v2c -c unused"_s); // no host: not kept
    dialog->TableAgents->item(0, 0)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(store->current().moreAgents.empty()) << "applied by Ok only";
    dialog->accept();

    const std::vector<WatchedAgent> expected {
        { "udp:server1:161", "-v2c -c s3cret-one", false },
        { "server2", "-v3 -l authPriv -u w -a SHA -A s3cret-two -x AES -X s3cret-3", true },
    };
    EXPECT_EQ(store->current().moreAgents, expected);
    QFile ini(u"veltran.ini"_s);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray content = ini.readAll();
    EXPECT_TRUE(content.contains("server2"));
    EXPECT_FALSE(content.contains("s3cret")) << content.toStdString();

    ConnectionLog laterLog;
    SettingsFile reread(u"veltran.ini"_s);
    OptionsStore later(laterLog);
    later.setFiles(u"options.dat"_s, &reread);
    later.setSecrets(&secrets);
    later.loadPreferences();
    EXPECT_EQ(later.current().moreAgents, expected);

    // Removing the first leaves the second, and nothing of the first in either file.
    dialog->show();
    dialog->TableAgents->selectRow(0);
    dialog->ButtonRemove->click();
    dialog->accept();
    ASSERT_EQ(store->current().moreAgents.size(), 1u);
    EXPECT_EQ(store->current().moreAgents[0].host, "server2");
    EXPECT_FALSE(secrets.value(u"fleet/1/snmpOptions"_s).has_value());
    EXPECT_EQ(reread.value(u"fleet/1/host"_s), QVariant());
}

TEST_F(WatchListTest, TestAsksTheSelectedAgentOffTheWindowsThread)
{
    std::thread::id asked;
    dialog->setTester([&asked](const WatchedAgent& agent) {
        asked = std::this_thread::get_id();
        return agent.host + " answers: " + agent.snmpOptions.substr(0, 4);
    });
    add(u"server3"_s, u"-v2c -c x"_s);
    dialog->ButtonTest->click();
    EXPECT_FALSE(dialog->ButtonTest->isEnabled()) << "one test at a time";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (dialog->LabelTest->text().startsWith(u"Asking"_s) && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(dialog->LabelTest->text(), u"server3 answers: -v2c"_s);
    EXPECT_NE(asked, std::this_thread::get_id());
    EXPECT_TRUE(dialog->ButtonTest->isEnabled());
}

} // namespace
