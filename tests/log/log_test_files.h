#pragma once
// A scratch folder per test and whole-file reads, for the log tests.

#include "tests/common/fifo_guard.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <unistd.h>

namespace logtest {

inline std::filesystem::path makeScratchFolder()
{
    char pattern[] = "/tmp/veltran-log-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? std::filesystem::path(made) : std::filesystem::path();
}

inline std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::tm at(int day, int month, int year, int hour, int minute, int second)
{
    std::tm t {};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

using testns::finishesInTime;

inline const std::array<std::string, 4> kGridTitles { "Local IP", "Local Port", "Remote Port", "Remote IP" };

} // namespace logtest
