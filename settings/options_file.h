#pragma once
// options.dat: nine CR LF lines (refresh seconds, seven 0/1 values, the log file name),
// read back as whitespace-separated items so the line structure does not matter.

#include "scan/options.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What a load could read. Reading stops at the first item that is missing or is not
// what its place needs; that item and all after it stay empty. A number
// too large to hold takes its item's default, and reading goes on.
struct StoredOptions
{
    std::optional<long long> refreshSeconds;
    std::optional<bool> showListening;
    std::optional<bool> showTcp;
    std::optional<bool> showUdp;
    std::optional<bool> lookupHostNames;
    std::optional<bool> lookupPortNames;
    std::optional<bool> cacheDns;
    std::optional<bool> logEnabled;
    std::optional<std::string> logFileName;
};

// A decimal whole number with an optional sign and nothing else; empty if the text is not one.
std::optional<long long> parseWholeNumber(std::string_view text);

StoredOptions parseOptions(std::string_view content);
// The nine lines of options: refreshSeconds stands for the refresh field's text, which a
// save writes as a number.
std::string formatOptions(long long refreshSeconds, const Options& options);

// Empty if the file cannot be opened or read, or is not a regular file.
std::optional<StoredOptions> readOptionsFile(const std::string& path);

// Replaces the file at path atomically: writes path + ".tmp" beside it, flushes it to
// disk and renames it over the old file, so a failure at any point leaves the old
// file whole. Returns false on failure (which callers ignore). beforeRename, when
// given, runs after the temporary file is complete; returning false abandons the
// save there, as a crash at that moment would.
bool writeOptionsFile(const std::string& path, long long refreshSeconds, const Options& options,
    const std::function<bool()>& beforeRename = {});
