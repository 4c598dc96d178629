// The History window on a database of known connections: grouping with counts, the
// timeline and its narrowing, a group's connections, and the CSV export.

#include "app/history_table_model.h"
#include "app/history_window.h"
#include "history/history_database.h"
#include "tests/common/wait_until.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <ctime>
#include <fstream>
#include <sstream>

namespace {

SeenEndpoint connection(int localPort, const std::string& remote, const std::string& process, int state = 5,
    std::int64_t sent = -1, std::int64_t received = -1)
{
    SeenEndpoint endpoint;
    endpoint.localAddress = "10.0.0.1";
    endpoint.localPort = localPort;
    endpoint.remoteAddress = remote;
    endpoint.remotePort = remote.empty() ? 0 : 443;
    endpoint.state = state;
    endpoint.pid = 7;
    endpoint.process = process;
    endpoint.bytesSent = sent;
    endpoint.bytesReceived = received;
    return endpoint;
}

class HistoryWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        path = folder.filePath(QStringLiteral("history.sqlite")).toStdString();
        HistoryDatabase database;
        ASSERT_TRUE(database.open(path)) << database.error();
        database.setAlertKinds(~0u);
        // curl opens three connections 40 minutes ago, one of them seen again 100 s later having moved
        // 1,010 bytes; wget one ten minutes ago, seen once with 5,000 bytes; sshd listens throughout.
        now = std::time(nullptr);
        const SeenEndpoint sshd = connection(22, "", "sshd", 2);
        const auto scan = [&](std::int64_t time, std::vector<SeenEndpoint> endpoints) {
            ASSERT_TRUE(database.record({ "box", time, true, true, true, std::move(endpoints) }));
        };
        scan(now - 2400,
            { sshd, connection(5000, "10.0.0.2", "curl"), connection(5001, "10.0.0.3", "curl"),
                connection(5002, "10.0.0.2", "curl") });
        scan(now - 2300, { sshd, connection(5000, "10.0.0.2", "curl", 5, 1000, 10) });
        scan(now - 600, { sshd, connection(6000, "10.0.0.4", "wget", 5, 4000, 1000) });
        window = std::make_unique<HistoryWindow>(path);
        tester = std::make_unique<QAbstractItemModelTester>(&window->model());
    }

    // Starts a read and waits for it.
    void read(const std::function<void()>& change)
    {
        QSignalSpy done(window.get(), &HistoryWindow::loaded);
        change();
        ASSERT_TRUE(waitUntil([&] { return done.count() > 0; }));
    }
    std::vector<std::vector<std::string>> shown() const { return window->model().cells(); }

    QTemporaryDir folder;
    std::string path;
    std::int64_t now = 0;
    std::unique_ptr<HistoryWindow> window;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(HistoryWindowTest, GroupsCountTheConnectionsAndABarNarrowsTheList)
{
    read([&] {
        window->ComboGroup->setCurrentIndex(1); // by process, the last hour
        EXPECT_FALSE(window->ButtonExport->isEnabled()) << "the rows shown are not yet these";
    });
    EXPECT_TRUE(window->ButtonExport->isEnabled());
    const auto groups = shown();
    ASSERT_EQ(groups.size(), 3u) << window->Status->text().toStdString();
    EXPECT_EQ((std::vector<std::string> { groups[0][0], groups[0][1] }),
        (std::vector<std::string> { "curl", "3" }));
    EXPECT_EQ((std::vector<std::string> { groups[1][0], groups[1][1] }),
        (std::vector<std::string> { "sshd", "1" }));
    EXPECT_EQ((std::vector<std::string> { groups[2][0], groups[2][1] }),
        (std::vector<std::string> { "wget", "1" }));
    int opened = 0;
    for (const int bar : window->timeline().opened())
        opened += bar;
    EXPECT_EQ(opened, 5);
    // wget was new, and so was its host; what was there at the first scan raised nothing.
    ASSERT_EQ(window->Alerts->count(), 2);
    EXPECT_TRUE(window->Alerts->item(0)->text().contains(QStringLiteral("wget")))
        << window->Alerts->item(0)->text().toStdString();

    // wget's bar: the list keeps what opened in it, the timeline stays whole.
    const std::int64_t bar = (now - 600 - window->rangeStart()) / window->barSeconds();
    ASSERT_EQ(window->timeline().opened()[std::size_t(bar)], 1);
    read([&] {
        const std::int64_t since = window->rangeStart() + bar * window->barSeconds();
        window->narrowTo(since, since + window->barSeconds());
    });
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0][0], "wget");

    // A filter in the view's syntax, over the whole range again.
    read([&] {
        window->EditFilter->setText(QStringLiteral("host:10.0.0.2"));
        window->narrowTo(0, 0);
    });
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ((std::vector<std::string> { shown()[0][0], shown()[0][1] }),
        (std::vector<std::string> { "curl", "2" }));
}

TEST_F(HistoryWindowTest, BytesAreSpreadOverTheSecondsEachConnectionWasSeen)
{
    const auto barOf = [&](std::int64_t time) {
        return std::size_t((time - window->rangeStart()) / window->barSeconds());
    };
    // Listed and grouped by process: two ways of reading the rows, one timeline. Both read the
    // same seconds: "the last hour" would move between the reads and shift every bar.
    {
        const QSignalBlocker range(window->ComboRange), from(window->EditFrom), to(window->EditTo);
        window->EditFrom->setDateTime(QDateTime::fromSecsSinceEpoch(now - 3600));
        window->EditTo->setDateTime(QDateTime::fromSecsSinceEpoch(now));
        window->ComboRange->setCurrentIndex(3);
    }
    std::vector<double> listed;
    for (const int group : { 0, 1 }) {
        read([&] {
            window->ComboGroup->setCurrentIndex(group);
            window->reload();
        });
        const std::vector<double>& bytes = window->timeline().bytes();
        ASSERT_TRUE(window->timeline().bytesKnown());
        ASSERT_EQ(window->barSeconds(), 60);
        EXPECT_DOUBLE_EQ(bytes[barOf(now - 600)], 5000)
            << "wget's, sent and received, in the bar it was seen";
        // curl's 1,010 bytes over the 101 seconds it was seen, 10 a second, across two or three bars.
        double curl = 0;
        for (std::size_t bar = barOf(now - 2400); bar <= barOf(now - 2300); ++bar) {
            EXPECT_LT(bytes[bar], 1010) << "bar " << bar;
            curl += bytes[bar];
        }
        EXPECT_DOUBLE_EQ(curl, 1010);
        double total = 0;
        for (const double moved : bytes)
            total += moved;
        EXPECT_DOUBLE_EQ(total, 6010) << "group " << group;
        if (group == 0)
            listed = bytes;
        else
            EXPECT_EQ(bytes, listed) << "the grouped read counts other bytes";
    }
}

TEST_F(HistoryWindowTest, AGroupsConnectionsAreListedAndExportedAsShown)
{
    read([&] { window->showOnlyGroup(HistoryGrouping::Process, "curl"); });
    const auto rows = shown();
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows)
        EXPECT_EQ(row[7], "curl");
    EXPECT_EQ(rows[1][5], "443");
    EXPECT_FALSE(rows[1][12].empty()) << "closed when missing from the next scan";

    const QString csv = folder.filePath(QStringLiteral("shown.csv"));
    QString error;
    ASSERT_TRUE(window->exportCsv(csv, error)) << error.toStdString();
    std::ifstream in(csv.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    std::string expected
        = "Computer,Protocol,Local address,Local port,Remote address,Remote port,States,Process,PID,"
          "User,First seen,Last seen,Closed,Sent,Received\r\n";
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            expected += (i ? "," : "") + row[i];
        expected += "\r\n";
    }
    EXPECT_EQ(text.str(), expected);
    // A place that cannot be written is said, not taken for a saved file.
    EXPECT_FALSE(window->exportCsv(folder.path(), error));
    EXPECT_TRUE(error.contains(folder.path()));
}

TEST(HistoryWindowWithoutHistory, SaysNothingWasRecordedRatherThanShowingNone)
{
    QTemporaryDir folder;
    HistoryWindow window(folder.filePath(QStringLiteral("history.sqlite")).toStdString());
    QSignalSpy done(&window, &HistoryWindow::loaded);
    window.reload();
    ASSERT_TRUE(waitUntil([&] { return done.count() > 0; }));
    EXPECT_TRUE(window.Status->text().contains(QStringLiteral("Record history")))
        << window.Status->text().toStdString();
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("history.sqlite"))))
        << "reading creates nothing";
    EXPECT_FALSE(window.ButtonExport->isEnabled()) << "a failed read exported as an empty file";
}

} // namespace
