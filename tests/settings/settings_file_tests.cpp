#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(SettingsFile, KeepsValuesAcrossInstancesOwnerOnlyAndReportsAFailedWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veltran.ini"));
    {
        SettingsFile file(path);
        EXPECT_EQ(file.value(QStringLiteral("view/ipv6"), true).toBool(), true);
        ASSERT_TRUE(file.setValue(QStringLiteral("view/ipv6"), false)) << file.error().toStdString();
    }
    SettingsFile again(path);
    EXPECT_FALSE(again.value(QStringLiteral("view/ipv6"), true).toBool());
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
        QFile::Permissions());

    // A plain file where the folder should be: nothing can be written there, even as root.
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsFile unwritable(dir.filePath(QStringLiteral("not-a-folder/veltran.ini")));
    EXPECT_FALSE(unwritable.setValue(QStringLiteral("a"), 1));
    EXPECT_TRUE(unwritable.error().contains(QStringLiteral("not-a-folder")));
}
