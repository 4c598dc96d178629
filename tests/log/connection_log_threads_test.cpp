#include "log/connection_log.h"
#include "tests/log/log_test_files.h"

#include <gtest/gtest.h>

#include <thread>

namespace fs = std::filesystem;

namespace {

// Session headers from one thread and a scan's entries from another, on one file:
// every line must come out whole.
TEST(ConnectionLogThreads, HeaderAndEntryWritersNeverInterleaveWithinALine)
{
    const fs::path folder = logtest::makeScratchFolder();
    ASSERT_FALSE(folder.empty());
    const std::string name = (folder / "netlog.txt").string();
    ConnectionLog log([] { return logtest::at(6, 12, 2026, 9, 5, 7); });
    log.setActiveLogName(name);

    constexpr int kHeaders = 300;
    constexpr int kEntries = 3000;
    const std::string longHost(700, 'h');
    std::thread headers([&] {
        for (int i = 0; i < kHeaders; ++i)
            log.startLogSession(true, name, logtest::kGridTitles);
    });
    std::thread scanner([&] {
        auto entries = log.openForScan();
        for (int i = 0; i < kEntries; ++i)
            entries->appendLogEntry("alpha", "http", std::to_string(i), longHost);
    });
    headers.join();
    scanner.join();

    const std::string text = logtest::readAll(name);
    const std::string entry = ")  " + longHost + "\r\n";
    const std::string header = "\r\n\r\nSession started at: 6/12/2026 (dd/mm/yy)\r\n\r\n"
                               "  [Time]    Local IP  (Local Port)(Remote Port)  Remote IP\r\n\r\n";
    int headerCount = 0;
    int entryCount = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text.compare(at, header.size(), header) == 0) {
            ++headerCount;
            at += header.size();
            continue;
        }
        const std::string prefix = "[ 9:05:07]  alpha  (http) (" + std::to_string(entryCount) + entry;
        ASSERT_EQ(text.compare(at, prefix.size(), prefix), 0) << "broken line at byte " << at;
        ++entryCount;
        at += prefix.size();
    }
    EXPECT_EQ(headerCount, kHeaders);
    EXPECT_EQ(entryCount, kEntries);
    fs::remove_all(folder);
}

} // namespace
