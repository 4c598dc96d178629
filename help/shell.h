#pragma once
// Hands documents and addresses to the desktop to open, as the user's file manager
// would. What the desktop cannot open is told through the failure handler.

#include <QString>

#include <functional>
#include <string>

class ConnectionLog;

using ShellHandler = std::function<void(const std::string& target)>;
using ShellFailureHandler = std::function<void(const QString& message)>;

// A file name (relative to the current directory or absolute), a "mailto:" address
// or a web address. Call on the GUI thread; returns at once, a failure comes later.
void openInShell(const std::string& target);

// Replaces what openInShell does, so tests never start a real program; an empty
// handler restores the desktop's. Returns the handler that was in place.
ShellHandler setShellHandler(ShellHandler handler);

// Receives "Could not open <target>: <reason>"; the main window shows it in its status bar.
ShellFailureHandler setShellFailureHandler(ShellFailureHandler handler);

// The program that opens things for the desktop ("xdg-open"); tests put another in.
QString setDesktopOpener(const QString& program);

// Opens the active log file; an empty name opens nothing.
void viewLog(const ConnectionLog& log);

// help.htm beside the executable (the build tree), else in ../share/veltran/ (installed);
// empty when neither exists.
QString helpPagePath();

// Opens help.htm in the desktop's default web browser; where none is set, or it cannot
// start, shows it in a window of our own (the latter told).
void openHelp();
