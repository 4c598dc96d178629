#pragma once
// The login name of a process's owner on this computer, from /proc.

#include <cstdint>
#include <string>

// Empty when the process is gone or its owner has no name.
std::string processUser(std::uint32_t pid);
