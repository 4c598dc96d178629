#include "tests/common/window_test.h"

#include "scan/scanner.h"
#include "tests/common/wait_until.h"
#include "views/string_grid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

WindowTest::WindowTest()
{
    names.setLocalName("testbox");
}

void WindowTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    previousDir = QDir::currentPath();
}

void WindowTest::TearDown()
{
    program.reset();
    QDir::setCurrent(previousDir);
}

void WindowTest::create()
{
    program = std::make_unique<Program>(names, kAgentModuleName, dir.path());
    ASSERT_TRUE(program->startupError().isEmpty()) << program->startupError().toStdString();
}

void WindowTest::finishScan(int timeoutMs)
{
    ASSERT_TRUE(
        waitUntil([this] { return !program->scanner().scanBusy() && !form().scanPending(); }, timeoutMs));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

int WindowTest::countCells(int column, const QString& text)
{
    int n = 0;
    for (int row = 1; row < form().grid()->rowCount(); ++row)
        n += form().grid()->cellText(column, row) == text ? 1 : 0;
    return n;
}

void WindowTest::writeOptions(const char* content)
{
    QFile file(QDir(dir.path()).filePath(QStringLiteral("options.dat")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}
