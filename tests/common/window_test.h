#pragma once
// The window tests' fixture: the whole program (the real agent module over the test's
// private namespace, the windows, the scanner) as if it ran from a folder of the test's own,
// where options.dat, veltran.ini and the log lie; names from the scripted services.

#include "app/program.h"
#include "app/tform1.h"
#include "tests/common/scripted_name_services.h"
#include "tests/common/test_sockets.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

class WindowTest : public ::testing::Test
{
protected:
    WindowTest();
    void SetUp() override;
    void TearDown() override;

    // Creates the program; the window shows at program->show().
    void create();
    TForm1& form() { return program->form1(); }
    // Waits for the running scan to end and for its effects to reach the window.
    void finishScan(int timeoutMs = 10000);
    // The data rows whose cell in column reads text.
    int countCells(int column, const QString& text);
    // Writes options.dat with content.
    void writeOptions(const char* content);

    QTemporaryDir dir;
    QString previousDir;
    ScriptedNameServices names; // this computer is "testbox"
    TestSockets sockets;
    std::unique_ptr<Program> program;
};
