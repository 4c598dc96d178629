#pragma once
// Addresses as the history stores them: the 4 or 16 bytes of the address, not its text,
// which would take three times the room in every row.

#include <string>
#include <string_view>

// The bytes of a numeric IPv4 or IPv6 text; empty for an empty text, the text itself for
// anything else (never given by a scan, kept rather than lost).
std::string packAddress(std::string_view text);
// The numeric text of packed bytes, as packAddress took it.
std::string unpackAddress(std::string_view packed);
