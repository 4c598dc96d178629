#pragma once
// SNMP options as the user writes them, split into the words net-snmp's parser takes.

#include <string>
#include <vector>

// Splits a string into words as a POSIX shell does: blanks separate, quotes and
// backslashes protect. False on an unterminated quote.
bool splitShellWords(const std::string& text, std::vector<std::string>& words);
