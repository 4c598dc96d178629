// The Preferences: the additions' choices, off where they change what the window shows,
// applied by Ok alone, kept in veltran.ini only once they differ from their defaults.
#include "settings/preferences_dialog.h"

#include "log/connection_log.h"
#include "settings/options_store.h"
#include "settings/secret_store.h"
#include "settings/settings_file.h"
#include "store_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

class PreferencesTest : public StoreInTemporaryDirectory
{
protected:
    void SetUp() override
    {
        StoreInTemporaryDirectory::SetUp();
        store->loadPreferences();
        dialog = std::make_unique<PreferencesDialog>(*store);
        dialog->show();
    }
    void TearDown() override
    {
        dialog.reset();
        StoreInTemporaryDirectory::TearDown();
    }

    std::unique_ptr<PreferencesDialog> dialog;
};

} // namespace

TEST_F(PreferencesTest, OnlyTheIpv6MendIsOnAndOkWithTheDefaultsWritesNothing)
{
    EXPECT_TRUE(dialog->RadioThisComputer->isChecked());
    EXPECT_TRUE(dialog->CheckIpv6->isChecked());
    EXPECT_EQ(dialog->ComboTableSize->currentData().toInt(), 200);
    for (QCheckBox* box : { dialog->CheckProcessColumn, dialog->CheckMarkNew, dialog->CheckHideLoopback,
             dialog->CheckMapStates, dialog->CheckMarkWildcards, dialog->CheckSortByHeader,
             dialog->CheckRememberLayout, dialog->CheckRecordHistory, dialog->CheckAlertNewListener,
             dialog->CheckAlertNewRemoteHost, dialog->CheckAlertNewProgram,
             dialog->CheckShowTraffic })
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    dialog->accept();
    EXPECT_FALSE(QFile::exists(u"veltran.ini"_s));
    EXPECT_FALSE(QFile::exists(u"options.dat"_s)) << "options.dat is the options dialog's";
}

TEST_F(PreferencesTest, OkAppliesAndStoresCancelKeepsTheStoreARestartReadsThemBack)
{
    dialog->CheckMapStates->setChecked(true);
    dialog->CheckShowTraffic->setChecked(true);
    dialog->CheckIpv6->setChecked(false);
    dialog->RadioSnmpAgent->setChecked(true);
    dialog->EditHost->setText(u" udp6:[::1]:1161 "_s);
    dialog->EditSnmpOptions->setText(u"-v2c -c s3cret"_s);
    dialog->EditWriteSnmpOptions->setText(u"-v2c -c wr1te"_s);
    dialog->CheckRecordHistory->setChecked(true);
    dialog->SpinKeepDays->setValue(7);
    EXPECT_FALSE(store->current().mapStates) << "applied by Ok only";
    dialog->accept();
    EXPECT_TRUE(store->current().mapStates);
    EXPECT_TRUE(store->current().showTraffic);
    EXPECT_FALSE(store->current().showIpv6Endpoints);
    EXPECT_TRUE(store->current().watchAgent);
    EXPECT_EQ(store->current().watchHost, "udp6:[::1]:1161");
    EXPECT_EQ(store->current().watchWriteSnmpOptions, "-v2c -c wr1te");
    EXPECT_TRUE(store->current().recordHistory);
    EXPECT_EQ(store->current().historyKeepDays, 7);
    EXPECT_FALSE(QFile::permissions(u"veltran.ini"_s) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));

    dialog->show();
    dialog->CheckMapStates->setChecked(false);
    dialog->reject();
    EXPECT_TRUE(store->current().mapStates);

    ConnectionLog laterLog;
    SettingsFile reread(u"veltran.ini"_s);
    OptionsStore later(laterLog);
    later.setFiles(u"options.dat"_s, &reread);
    SecretStore laterSecrets(u"veltran.secrets"_s, SecretStore::Backend::File);
    later.setSecrets(&laterSecrets);
    later.loadPreferences();
    EXPECT_EQ(later.current(), store->current());
}

TEST_F(PreferencesTest, TheSnmpOptionsAreKeptInAnOwnerOnlyFileNeverInVeltranIni)
{
    // As an older version left them: in veltran.ini, readable by others.
    dialog.reset();
    store.reset();
    file.reset();
    writeFile(u"veltran.ini"_s, "[watch]\nsource=snmpAgent\nhost=server1\nsnmpOptions=-v2c -c old-s3cret\n");
    QFile::setPermissions(
        u"veltran.ini"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    file = std::make_unique<SettingsFile>(u"veltran.ini"_s);
    store = std::make_unique<OptionsStore>(log);
    store->setFiles(u"options.dat"_s, file.get());
    store->setSecrets(&secrets);
    store->loadPreferences();
    EXPECT_EQ(store->current().watchSnmpOptions, "-v2c -c old-s3cret");

    store->set(&Options::watchSnmpOptions, std::string("-v3 -u watcher -A 'auth s3cret'"));
    store->set(&Options::watchWriteSnmpOptions, std::string("-v2c -c write-s3cret"));
    store->savePreferences();
    const auto content = [](const QString& name) {
        QFile in(name);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("unreadable");
    };
    EXPECT_FALSE(content(u"veltran.ini"_s).contains("s3cret")) << content(u"veltran.ini"_s).toStdString();
    EXPECT_TRUE(content(u"veltran.secrets"_s).contains("auth s3cret"));
    EXPECT_TRUE(content(u"veltran.secrets"_s).contains("write-s3cret"));
    struct stat info
    {
    };
    ASSERT_EQ(::stat("veltran.secrets", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(
        secrets.value(u"watch/snmpOptions"_s).value_or(QString()), u"-v3 -u watcher -A 'auth s3cret'"_s);

    // Emptied: gone from the file too.
    store->set(&Options::watchSnmpOptions, std::string());
    store->set(&Options::watchWriteSnmpOptions, std::string());
    store->savePreferences();
    EXPECT_FALSE(content(u"veltran.secrets"_s).contains("s3cret"));
}

TEST_F(PreferencesTest, TheSnmpOptionsAreMaskedUntilShown)
{
    dialog->RadioSnmpAgent->setChecked(true);
    EXPECT_EQ(dialog->EditSnmpOptions->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog->EditWriteSnmpOptions->echoMode(), QLineEdit::Password);
    dialog->CheckShowSecrets->setChecked(true);
    EXPECT_EQ(dialog->EditSnmpOptions->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(dialog->EditWriteSnmpOptions->echoMode(), QLineEdit::Normal);
    dialog->reject();
    dialog->show(); // masked again at every opening
    EXPECT_EQ(dialog->EditSnmpOptions->echoMode(), QLineEdit::Password);
    dialog->RadioThisComputer->setChecked(true);
    EXPECT_FALSE(dialog->EditSnmpOptions->isEnabled());
    EXPECT_FALSE(dialog->EditWriteSnmpOptions->isEnabled());
}
