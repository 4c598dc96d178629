#pragma once
// What veltran's command line asks before any window exists: --help and --version
// print and end the program; without a display there is nothing to show on.

#include <QStringList>

#include <optional>
#include <string>

struct EarlyAnswer
{
    int exitCode = 0;
    std::string out; // for standard output
    std::string err; // for standard error
};

// Empty when the window program should start. Qt's own options (-platform, -display,
// -style, ...) are left to QApplication. environment holds "NAME=value" entries.
std::optional<EarlyAnswer> answerBeforeWindows(const QStringList& arguments, const QStringList& environment);
