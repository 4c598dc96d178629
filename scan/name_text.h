#pragma once
// Names from outside the program (name services, the services file, the computer's
// name) made safe to show in a row, the map, the log and a terminal.

#include <cstddef>
#include <string>
#include <string_view>

// The name with every control character (C0, DEL, C1), bidirectional control and line
// or paragraph separator written as a visible escape ("\x1b", "\u202e"), and every byte
// that is not part of valid UTF-8 as "\xNN". At most maxBytes long, cut between two
// characters or escapes, never inside one.
std::string safeNameText(std::string_view name, std::size_t maxBytes);

// True when valid UTF-8 text shows nothing: empty, or only blanks and invisible characters.
bool isInvisibleText(std::string_view text);
