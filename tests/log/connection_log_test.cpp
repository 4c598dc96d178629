#include "log/connection_log.h"
#include "tests/log/log_test_files.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using logtest::at;
using logtest::kGridTitles;
using logtest::readAll;

namespace {

class ConnectionLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = logtest::makeScratchFolder();
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const char* name) const { return (folder / name).string(); }

    std::tm now = at(6, 12, 2026, 9, 5, 7);
    ConnectionLog log { [this] { return now; } };
    fs::path folder;
};

TEST_F(ConnectionLogTest, FirstHeaderInANewFileHasTheExactBytes)
{
    log.startLogSession(true, path("netlog.txt"), kGridTitles);

    EXPECT_EQ(log.activeLogName(), path("netlog.txt"));
    EXPECT_EQ(readAll(path("netlog.txt")),
        "\r\n\r\nSession started at: 6/12/2026 (dd/mm/yy)\r\n\r\n"
        "  [Time]    Local IP  (Local Port)(Remote Port)  Remote IP\r\n\r\n");
}

TEST_F(ConnectionLogTest, HeadersAppendAndCarryNoLeadingZeros)
{
    log.startLogSession(true, path("netlog.txt"), kGridTitles);
    now = at(1, 2, 2027, 23, 59, 59);
    log.startLogSession(true, path("netlog.txt"), kGridTitles);

    const std::string text = readAll(path("netlog.txt"));
    EXPECT_EQ(text.find("Session started at: 6/12/2026 (dd/mm/yy)"), 4u);
    EXPECT_NE(text.find("\r\n\r\nSession started at: 1/2/2027 (dd/mm/yy)\r\n\r\n"), std::string::npos);
}

TEST_F(ConnectionLogTest, EntriesCarryTheTimeOfWritingPaddedToTwoPlaces)
{
    log.setActiveLogName(path("netlog.txt"));
    {
        auto entries = log.openForScan();
        entries->appendLogEntry("alpha", "http", "51000", "10.0.0.2");
        now = at(6, 12, 2026, 14, 3, 9);
        entries->appendLogEntry("alpha", "ssh", "none", "beta.example");
    }
    EXPECT_EQ(readAll(path("netlog.txt")),
        "[ 9:05:07]  alpha  (http) (51000)  10.0.0.2\r\n"
        "[14:03:09]  alpha  (ssh) (none)  beta.example\r\n");
}

TEST_F(ConnectionLogTest, NamesAreWrittenAsTheyAreNeverAsFormats)
{
    log.setActiveLogName(path("netlog.txt"));
    const std::string tricky = "%s%n%d%%";
    const std::string veryLong(3000, 'x'); // beyond any fixed line buffer: kept whole
    log.openForScan()->appendLogEntry(tricky, tricky, tricky, veryLong);

    EXPECT_EQ(
        readAll(path("netlog.txt")), "[ 9:05:07]  %s%n%d%%  (%s%n%d%%) (%s%n%d%%)  " + veryLong + "\r\n");
}

TEST_F(ConnectionLogTest, ChangingTheNameWithLoggingOffWritesNoHeader)
{
    log.startLogSession(true, path("first.txt"), kGridTitles);
    const std::string firstBefore = readAll(path("first.txt"));

    log.startLogSession(false, path("second.txt"), kGridTitles);
    EXPECT_EQ(log.activeLogName(), path("first.txt"));
    EXPECT_FALSE(fs::exists(path("second.txt")));
    EXPECT_EQ(readAll(path("first.txt")), firstBefore);

    // A name set by saving or loading takes effect for entries without a header.
    log.setActiveLogName(path("second.txt"));
    log.openForScan();
    EXPECT_TRUE(fs::exists(path("second.txt")));
    EXPECT_EQ(readAll(path("second.txt")), "");
    EXPECT_EQ(readAll(path("first.txt")), firstBefore);
}

TEST_F(ConnectionLogTest, NamesLongerThanTheBufferAreCut)
{
    const std::string longName(80, 'n');
    log.setActiveLogName(longName);
    EXPECT_EQ(log.activeLogName(), longName.substr(0, 49));
    log.startLogSession(true, "ab" + longName, kGridTitles);
    EXPECT_EQ(log.activeLogName(), ("ab" + longName).substr(0, 49));
    fs::remove(log.activeLogName());
}

TEST_F(ConnectionLogTest, FilesThatCannotBeOpenedFailSilently)
{
    // Empty name (as at start-up), a missing folder, and a name that is a folder.
    fs::create_directory(folder / "taken");
    for (const std::string& name : { std::string(), path("missing/netlog.txt"), path("taken") }) {
        SCOPED_TRACE(name);
        log.setActiveLogName(name);
        auto entries = log.openForScan();
        ASSERT_NE(entries, nullptr);
        entries->appendLogEntry("a", "b", "c", "d");
        log.startLogSession(true, name, kGridTitles);
        EXPECT_EQ(log.activeLogName(), name);
    }
    EXPECT_FALSE(fs::exists(path("missing")));
    EXPECT_TRUE(fs::is_empty(folder / "taken"));
}

} // namespace
