// The "Watch:" block of the options dialog: how Ok, Cancel and the settings file carry the choice.
#include "settings/settings_file.h"
#include "settings/tform_options.h"

#include "log/connection_log.h"
#include "working_directory.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

class WatchOptionsTest : public InTemporaryDirectory
{
protected:
    void SetUp() override
    {
        InTemporaryDirectory::SetUp();
        file = std::make_unique<SettingsFile>();
        dialog = std::make_unique<TForm_Options>(log, nullptr);
        dialog->setStorage(u"options.dat"_s, file.get());
    }
    void TearDown() override
    {
        dialog.reset();
        file.reset();
        InTemporaryDirectory::TearDown();
    }
    WatchOptions& watch() { return dialog->watchOptions(); }

    ConnectionLog log;
    std::unique_ptr<SettingsFile> file;
    std::unique_ptr<TForm_Options> dialog;
};

} // namespace

TEST_F(WatchOptionsTest, OkAppliesAndStoresCancelRestoresTheFileRestartsWithIt)
{
    QSignalSpy applied(dialog.get(), &TForm_Options::watchTargetApplied);
    dialog->loadSettings();
    EXPECT_EQ(applied.count(), 0) << "nothing stored: this computer, as before";
    dialog->ensureControls();
    dialog->Button1->click();
    EXPECT_EQ(applied.count(), 0);
    EXPECT_FALSE(readFile(file->path()).contains("watch")) << "this computer leaves the file as it was";

    watch().RadioSnmpAgent->setChecked(true);
    watch().EditHost->setText(u"udp6:[::1]:1161"_s);
    watch().EditSnmpOptions->setText(u"-v2c -c s3cret"_s);
    EXPECT_EQ(applied.count(), 0) << "applied by Ok only";
    dialog->Button1->click();
    ASSERT_EQ(applied.count(), 1);
    const WatchTarget chosen { true, u"udp6:[::1]:1161"_s, u"-v2c -c s3cret"_s };
    EXPECT_EQ(dialog->watchTarget(), chosen);
    EXPECT_FALSE(QFile::permissions(file->path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
    EXPECT_EQ(readFile(u"options.dat"_s).count("\r\n"), 9) << "options.dat keeps its nine items";

    // Cancel brings back what was applied.
    watch().RadioThisComputer->setChecked(true);
    watch().EditHost->setText(u"elsewhere"_s);
    dialog->Button2->click();
    EXPECT_EQ(applied.count(), 1);
    EXPECT_TRUE(watch().RadioSnmpAgent->isChecked());
    EXPECT_EQ(watch().EditHost->text(), u"udp6:[::1]:1161"_s);

    // A later start reads the choice from the file and applies it before the first scan.
    TForm_Options restarted(log, nullptr);
    restarted.setStorage(u"options.dat"_s, file.get());
    QSignalSpy restartedApplied(&restarted, &TForm_Options::watchTargetApplied);
    restarted.loadSettings();
    ASSERT_EQ(restartedApplied.count(), 1);
    EXPECT_EQ(restarted.watchTarget(), chosen);
    EXPECT_EQ(restarted.watchOptions().target(), chosen) << "controls made after the load show it";
}
