#pragma once
// options.dat and the log are relative names: each test runs in a fresh temporary
// directory of its own and returns to the old one afterwards.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

class InTemporaryDirectory : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    }

    void TearDown() override { QDir::setCurrent(m_previous); }

    static void writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(content), content.size());
    }

    static QByteArray readFile(const QString& name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
