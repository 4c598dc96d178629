#include "settings/options_file.h"

#include "tests/log/log_test_files.h"
#include "working_directory.h"

#include <QFileInfo>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

TEST(OptionsFile, WholeNumbersTakeAnOptionalSignAndNothingElse)
{
    const struct
    {
        const char* text;
        std::optional<long long> expected;
    } cases[] = {
        { "1", 1 },
        { "07", 7 },
        { "-5", -5 },
        { "+5", 5 },
        { "0", 0 },
        { "99", 99 },
        { "", std::nullopt },
        { "-", std::nullopt },
        { "+", std::nullopt },
        { "+-5", std::nullopt },
        { "5a", std::nullopt },
        { "ab", std::nullopt },
        { "0x1F", std::nullopt },
        { "1.5", std::nullopt },
        { "99999999999999999999", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseWholeNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(OptionsFile, DefaultsAreNineCrLfLines)
{
    EXPECT_EQ(formatOptions(1, Options {}), "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n");

    Options values;
    values.showTcp = false;
    values.logEnabled = true;
    values.logFileName = "my log.txt";
    EXPECT_EQ(formatOptions(-5, values), "-5\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\nmy log.txt\r\n");
}

TEST(OptionsFile, ReaderTakesItemsRegardlessOfLines)
{
    const StoredOptions stored = parseOptions("  07 1\n0\t2 -1 0\r\n\r\n1 1 c:\\logs\\net.txt trailing");
    EXPECT_EQ(stored.refreshSeconds, 7);
    EXPECT_EQ(stored.showListening, true);
    EXPECT_EQ(stored.showTcp, false);
    EXPECT_EQ(stored.showUdp, true); // any value but 0 ticks
    EXPECT_EQ(stored.lookupHostNames, true);
    EXPECT_EQ(stored.lookupPortNames, false);
    EXPECT_EQ(stored.cacheDns, true);
    EXPECT_EQ(stored.logEnabled, true);
    EXPECT_EQ(stored.logFileName, "c:\\logs\\net.txt");
}

TEST(OptionsFile, ReadingStopsAtTheFirstItemItCannotTake)
{
    const StoredOptions shortFile = parseOptions("5\r\n0\r\n");
    EXPECT_EQ(shortFile.refreshSeconds, 5);
    EXPECT_EQ(shortFile.showListening, false);
    EXPECT_FALSE(shortFile.showTcp);
    EXPECT_FALSE(shortFile.logFileName);

    const StoredOptions garbage = parseOptions("3 1 yes 1 1 1 1 1 name.txt");
    EXPECT_EQ(garbage.refreshSeconds, 3);
    EXPECT_EQ(garbage.showListening, true);
    EXPECT_FALSE(garbage.showTcp);
    EXPECT_FALSE(garbage.cacheDns);
    EXPECT_FALSE(garbage.logFileName);

    const StoredOptions noName = parseOptions("1 1 1 1 1 1 1 0\r\n");
    EXPECT_EQ(noName.logEnabled, false);
    EXPECT_FALSE(noName.logFileName);

    EXPECT_FALSE(parseOptions("").refreshSeconds);
    EXPECT_FALSE(parseOptions("\x89PNG\r\n").refreshSeconds);
}

TEST(OptionsFile, ANumberTooLargeToHoldTakesItsDefaultAndTheRestIsRead)
{
    const StoredOptions stored
        = parseOptions("99999999999999999999 0 -99999999999999999999 0 0 0 0 1 my.txt");
    EXPECT_EQ(stored.refreshSeconds, 1);
    EXPECT_EQ(stored.showListening, false);
    EXPECT_EQ(stored.showTcp, true);
    EXPECT_EQ(stored.cacheDns, false);
    EXPECT_EQ(stored.logEnabled, true);
    EXPECT_EQ(stored.logFileName, "my.txt");
    EXPECT_EQ(parseOptions("1 1 1 1 1 1 1 +99999999999999999999 my.txt").logEnabled, false);
}

using OptionsFileOnDisk = InTemporaryDirectory;

TEST_F(OptionsFileOnDisk, MissingFileReadsAsNothing)
{
    EXPECT_FALSE(readOptionsFile("options.dat"));
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, {}));
    const auto empty = readOptionsFile("options.dat");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->refreshSeconds);

    // Neither a folder nor a pipe in the file's place is read (a pipe would block).
    ASSERT_TRUE(QDir().mkdir(u"folder.dat"_s));
    EXPECT_FALSE(readOptionsFile("folder.dat"));
    ASSERT_EQ(::mkfifo("pipe.dat", 0600), 0);
    EXPECT_FALSE(readOptionsFile("pipe.dat"));
}

TEST_F(OptionsFileOnDisk, APipeInTheFilesPlaceHangsNeitherLoadNorSave)
{
    ASSERT_EQ(::mkfifo("options.dat", 0600), 0);
    EXPECT_TRUE(logtest::finishesInTime("options.dat", [] { EXPECT_FALSE(readOptionsFile("options.dat")); }));
    EXPECT_TRUE(
        logtest::finishesInTime("options.dat", [] { EXPECT_TRUE(writeOptionsFile("options.dat", 1, {})); }));
    EXPECT_EQ(readFile(u"options.dat"_s), QByteArray::fromStdString(formatOptions(1, {})));

    // A pipe left where the save writes first.
    ASSERT_EQ(::mkfifo("options.dat.tmp", 0600), 0);
    EXPECT_TRUE(logtest::finishesInTime(
        "options.dat.tmp", [] { EXPECT_FALSE(writeOptionsFile("options.dat", 1, {})); }));
    EXPECT_EQ(readFile(u"options.dat"_s), QByteArray::fromStdString(formatOptions(1, {})));
}

TEST_F(OptionsFileOnDisk, WriteReplacesTheFileAndLeavesNoTemporary)
{
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, QByteArray(5000, 'x')));
    const Options values;
    ASSERT_TRUE(writeOptionsFile("options.dat", 12, values));
    EXPECT_EQ(readFile(u"options.dat"_s), QByteArray::fromStdString(formatOptions(12, values)));
    EXPECT_FALSE(QFileInfo::exists(u"options.dat.tmp"_s));
}

TEST_F(OptionsFileOnDisk, SaveInterruptedBeforeRenameKeepsTheOldFileWhole)
{
    ASSERT_TRUE(writeOptionsFile("options.dat", 1, Options {}));
    const QByteArray old = readFile(u"options.dat"_s);

    Options changed;
    changed.logFileName = "changed.txt";
    bool reachedRename = false;
    EXPECT_FALSE(writeOptionsFile("options.dat", 30, changed, [&] {
        reachedRename = true;
        // The new content is complete on disk before the old file is touched.
        EXPECT_EQ(readFile(u"options.dat.tmp"_s), QByteArray::fromStdString(formatOptions(30, changed)));
        return false;
    }));
    EXPECT_TRUE(reachedRename);
    EXPECT_EQ(readFile(u"options.dat"_s), old);

    // The leftover temporary file does not get in the way of the next save.
    ASSERT_TRUE(writeOptionsFile("options.dat", 30, changed));
    EXPECT_EQ(readFile(u"options.dat"_s), QByteArray::fromStdString(formatOptions(30, changed)));
}

TEST_F(OptionsFileOnDisk, UnwritableTemporaryLeavesTheOldFileWhole)
{
    ASSERT_TRUE(writeOptionsFile("options.dat", 1, Options {}));
    const QByteArray old = readFile(u"options.dat"_s);
    // Root ignores permission bits; a directory in the temporary file's place cannot be opened for writing.
    ASSERT_TRUE(QDir().mkdir(u"options.dat.tmp"_s));
    const Options changed;
    EXPECT_FALSE(writeOptionsFile("options.dat", 30, changed));
    EXPECT_EQ(readFile(u"options.dat"_s), old);

    // A folder that is a regular file cannot hold anything.
    ASSERT_NO_FATAL_FAILURE(writeFile(u"plain"_s, "x"));
    EXPECT_FALSE(writeOptionsFile("plain/options.dat", 30, changed));
}
