#include "log/connection_log.h"
#include "tests/log/log_test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

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

TEST_F(ConnectionLogTest, AFifoInTheLogsPlaceHangsNothingAndGetsNothing)
{
    const std::string fifo = path("netlog.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // No reader: a blocking open would wait for one, at the window's start or in a scan.
    EXPECT_TRUE(logtest::finishesInTime(fifo, [&] { log.startLogSession(true, fifo, kGridTitles); }));
    EXPECT_TRUE(
        logtest::finishesInTime(fifo, [&] { log.openForScan()->appendLogEntry("a", "b", "c", "d"); }));
    EXPECT_EQ(log.activeLogName(), fifo);

    // With a reader the open succeeds, but a pipe is still no log file.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    log.startLogSession(true, fifo, kGridTitles);
    log.openForScan()->appendLogEntry("a", "b", "c", "d");
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

// A tiny tmpfs in a private mount namespace (root): the log's one page fills up in the
// middle of a line while another file holds the rest, then that file goes.
TEST_F(ConnectionLogTest, OnAFullDiskALineGoesInWholeOrNotAtAll)
{
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << std::strerror(errno);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::string disk = path("disk");
    fs::create_directory(disk);
    const std::string size = "size=" + std::to_string(2 * page);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, size.c_str()), 0) << std::strerror(errno);
    struct Unmount
    {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount { disk };

    const std::string name = disk + "/netlog.txt";
    log.startLogSession(true, name, kGridTitles);
    const std::string header = logtest::readAll(name);
    const int filler = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(filler, 0);
    const std::string block(static_cast<std::size_t>(page), 'f');
    while (::write(filler, block.data(), block.size()) > 0) { }
    ::close(filler);

    int next = 0;
    const auto entry
        = [](int number) { return "[ 9:05:07]  alpha  (http) (" + std::to_string(number) + ")  beta\r\n"; };
    const auto logEntries = [&](int count) {
        auto entries = log.openForScan();
        for (int i = 0; i < count; ++i)
            entries->appendLogEntry("alpha", "http", std::to_string(next++), "beta");
    };
    // With 4 KiB pages 110 + 10 * 37 + 90 * 38 + 5 * 39 bytes fit: the next line is cut after 1 byte.
    logEntries(200);
    log.startLogSession(true, name, kGridTitles);
    ASSERT_LE(fs::file_size(name), static_cast<std::uintmax_t>(page)) << "the disk never filled up";
    fs::remove(disk + "/filler");
    logEntries(3);

    // The header, then whole entries in order, the last three among them.
    const std::string text = logtest::readAll(name);
    ASSERT_EQ(text.compare(0, header.size(), header), 0);
    std::size_t at = header.size();
    int last = -1;
    while (at < text.size()) {
        int number = last + 1;
        while (number < next && text.compare(at, entry(number).size(), entry(number)) != 0)
            ++number;
        ASSERT_LT(number, next) << "torn or glued line at byte " << at << ": " << text.substr(at, 80);
        at += entry(number).size();
        last = number;
    }
    EXPECT_EQ(last, next - 1);
    EXPECT_NE(text.find(entry(next - 3) + entry(next - 2)), std::string::npos);
}

} // namespace

// A log in the user's own folders is the owner's alone; beside a portable copy the umask decides.
TEST_F(ConnectionLogTest, NewLogsAreOwnerOnlyInTheUsersFoldersAndFollowTheUmaskElsewhere)
{
    const mode_t previous = ::umask(0);
    for (const bool ownerOnly : { true, false }) {
        ConnectionLog::setNewFilesPrivate(ownerOnly);
        const std::string name = path(ownerOnly ? "private.txt" : "portable.txt");
        log.startLogSession(true, name, kGridTitles);
        struct stat info
        {
        };
        ASSERT_EQ(::stat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, ownerOnly ? 0600u : 0666u);
    }
    ::umask(previous);
}
