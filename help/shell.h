#pragma once
// Hands documents and addresses to the desktop to open, as the user's file manager
// would. Nothing is reported back: a missing file or an absent viewer opens nothing.

#include <functional>
#include <string>

class ConnectionLog;

using ShellHandler = std::function<void(const std::string& target)>;

// A file name (relative to the current directory or absolute), a "mailto:" address
// or a web address. Call on the GUI thread.
void openInShell(const std::string& target);

// Replaces what openInShell does, so tests never start a real program; an empty
// handler restores the desktop's. Returns the handler that was in place.
ShellHandler setShellHandler(ShellHandler handler);

// Opens the active log file; an empty name opens nothing.
void viewLog(const ConnectionLog& log);

// Opens help.htm from the current directory, which is the program's folder.
void openHelp();
