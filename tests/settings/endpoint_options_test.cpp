// "Show IPv6 endpoints" and "Show process column": below the classic controls, kept in
// veltran.ini only once they differ from their defaults, read back by a later dialog.
#include "log/connection_log.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"
#include "working_directory.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

using EndpointOptions = InTemporaryDirectory;

std::unique_ptr<TForm_Options> makeDialog(ConnectionLog& log, SettingsFile& file)
{
    auto dialog = std::make_unique<TForm_Options>(log, [] {
        return std::array<std::string, 4> { "Local IP", "Local Port", "Remote Port", "Remote IP" };
    });
    dialog->setStorage(QStringLiteral("options.dat"), &file);
    dialog->loadSettings();
    dialog->ensureControls(); // made from what was loaded
    return dialog;
}

TEST_F(EndpointOptions, BelowTheClassicControlsStoredWhenChangedAndReadBack)
{
    ConnectionLog log;
    SettingsFile file(QStringLiteral("veltran.ini"));
    auto dialog = makeDialog(log, file);
    EXPECT_TRUE(dialog->showIpv6Endpoints());
    EXPECT_FALSE(dialog->showProcessColumn());
    EXPECT_GE(dialog->CheckBoxIpv6->y(), dialog->Button1->geometry().bottom());
    EXPECT_GT(dialog->CheckBoxProcess->y(), dialog->CheckBoxIpv6->geometry().bottom());
    EXPECT_LE(dialog->CheckBoxProcess->geometry().bottom(), dialog->height());

    dialog->saveSettings();
    EXPECT_FALSE(file.value(QStringLiteral("endpoints/showIpv6")).isValid()) << "defaults are not written";

    QSignalSpy column(dialog.get(), &TForm_Options::processColumnChanged);
    dialog->CheckBoxIpv6->setChecked(false);
    dialog->CheckBoxProcess->setChecked(true);
    EXPECT_FALSE(dialog->showIpv6Endpoints());
    EXPECT_TRUE(dialog->showProcessColumn());
    ASSERT_EQ(column.count(), 1);
    EXPECT_TRUE(column.at(0).at(0).toBool());
    dialog->saveSettings();

    SettingsFile reread(QStringLiteral("veltran.ini"));
    auto later = makeDialog(log, reread);
    EXPECT_FALSE(later->showIpv6Endpoints());
    EXPECT_TRUE(later->showProcessColumn());
    EXPECT_FALSE(later->CheckBoxIpv6->isChecked());
}

} // namespace
