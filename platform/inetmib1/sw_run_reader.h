#pragma once
// hrSWRunTable rows from /proc, read the way net-snmp's agent reads them on Linux.

#include "platform/inetmib1/inet_rows.h"

#include <string>
#include <string_view>

// name from the command name in /proc/<pid>/stat, path from the first word of its command
// line, parameters from the other words joined by spaces, status from its state letter.
// False when the process is gone.
bool readSwRun(const std::string& procRoot, std::uint32_t pid, SwRunRow& row);

// The same from the texts of /proc/<pid>/stat and /proc/<pid>/cmdline.
bool parseSwRun(std::string_view stat, std::string_view commandLine, SwRunRow& row);
