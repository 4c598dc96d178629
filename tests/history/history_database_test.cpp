#include "history/history_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class HistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/history-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        path = (folder / "history.sqlite").string();
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }

    // One integer from a query on a connection of the test's own.
    std::int64_t scalar(const std::string& sql) const
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        std::int64_t value = -1;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return value;
    }

    fs::path folder;
    std::string path;
};

SeenEndpoint tcp(int localPort, const std::string& remote, int remotePort, int state = 5,
    const std::string& process = "curl")
{
    SeenEndpoint endpoint;
    endpoint.localAddress = "10.0.0.1";
    endpoint.localPort = localPort;
    endpoint.remoteAddress = remote;
    endpoint.remotePort = remotePort;
    endpoint.state = state;
    endpoint.pid = 42;
    endpoint.process = process;
    return endpoint;
}

SeenScan scanAt(std::int64_t time, std::vector<SeenEndpoint> endpoints)
{
    SeenScan scan;
    scan.computer = "box";
    scan.time = time;
    scan.endpoints = std::move(endpoints);
    return scan;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(HistoryTest, AnOlderSchemaIsMigratedWithItsRows)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, kHistoryMigrations[0], nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
            "PRAGMA user_version=1; INSERT INTO names VALUES (1, 'box');"
            "INSERT INTO live (computer, udp, local_addr, local_port, remote_addr, remote_port,"
            " first_seen, last_seen, states) VALUES (1, 0, X'0A000001', 5000, X'0A000002', 80, 7, 7, 32)",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    EXPECT_EQ(scalar("PRAGMA user_version"), HistoryDatabase::kSchemaVersion);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM sqlite_master WHERE name IN ('firsts', 'alerts')"), 2);
    EXPECT_EQ(fileText(path + "-wal").empty(), false); // WAL is on
    // The migrated row is the open one the next scan finds: not added twice.
    SeenEndpoint same = tcp(5000, "10.0.0.2", 80);
    same.process.clear();
    same.pid = 0;
    ASSERT_TRUE(history.record(scanAt(8, { same })));
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection"), 1);
}

TEST_F(HistoryTest, RowsFollowEachConnectionsLife)
{
    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    const SeenEndpoint a = tcp(5000, "10.0.0.2", 80);
    const SeenEndpoint b = tcp(5001, "10.0.0.3", 443);
    SeenEndpoint udp;
    udp.udp = true;
    udp.localAddress = "0.0.0.0";
    udp.localPort = 53;
    ASSERT_TRUE(history.record(scanAt(100, { a, b, udp })));
    SeenEndpoint aClosing = a;
    aClosing.state = 11; // timeWait
    // b is missing once, then back: a reused 4-tuple is a new row. A scan without UDP
    // closes no UDP row.
    SeenScan withoutUdp = scanAt(101, { aClosing });
    withoutUdp.udp = false;
    ASSERT_TRUE(history.record(withoutUdp));
    ASSERT_TRUE(history.record(scanAt(102, { aClosing, b, udp })));

    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE local_port = 5001"), 2);
    EXPECT_EQ(
        scalar("SELECT closed FROM every_connection WHERE local_port = 5001 ORDER BY first_seen LIMIT 1"),
        101);
    EXPECT_EQ(
        scalar("SELECT last_seen FROM every_connection WHERE local_port = 5001 ORDER BY first_seen LIMIT 1"),
        100);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE local_port = 5001 AND closed IS NULL"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE local_port = 5000"), 1);
    EXPECT_EQ(scalar("SELECT states FROM every_connection WHERE local_port = 5000"), (1 << 5) | (1 << 11));
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE udp = 1 AND closed IS NULL"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE udp = 1"), 1);
}

TEST_F(HistoryTest, AFourTupleUsedAgainUnderAnotherConnectIndexIsANewRowEvenWithNoScanBetween)
{
    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    SeenEndpoint first = tcp(5000, "10.0.0.2", 80);
    first.connectIndex = 7;
    ASSERT_TRUE(history.record(scanAt(100, { first })));
    SeenEndpoint unknown = first; // a scan without the statistics does not close it
    unknown.connectIndex = 0;
    ASSERT_TRUE(history.record(scanAt(101, { unknown })));
    SeenEndpoint second = first;
    second.connectIndex = 9;
    ASSERT_TRUE(history.record(scanAt(102, { second })));
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE local_port = 5000"), 2);
    EXPECT_EQ(
        scalar("SELECT closed FROM every_connection WHERE local_port = 5000 AND closed IS NOT NULL"), 102);
    EXPECT_EQ(scalar("SELECT connect_index FROM live WHERE local_port = 5000"), 9);
    HistoryDatabase reopened; // the index is read back from the file, not only remembered
    ASSERT_TRUE(reopened.open(path)) << reopened.error();
    ASSERT_TRUE(reopened.record(scanAt(103, { first })));
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE local_port = 5000"), 3);
}

TEST_F(HistoryTest, TwoWritersAtOnceAddEachConnectionOnce)
{
    {
        HistoryDatabase first;
        ASSERT_TRUE(first.open(path)) << first.error();
    }
    std::vector<SeenEndpoint> endpoints;
    for (int port = 1; port <= 300; ++port)
        endpoints.push_back(tcp(port, "10.0.0.9", 22));
    std::string errors[2];
    const auto writer = [&](int which) {
        HistoryDatabase history;
        if (!history.open(path)) {
            errors[which] = history.error();
            return;
        }
        for (int scan = 0; scan < 40; ++scan) {
            if (!history.record(scanAt(1000 + scan, endpoints)))
                errors[which] += history.error() + "\n";
        }
    };
    std::thread window(writer, 0);
    std::thread recorder(writer, 1);
    window.join();
    recorder.join();
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "");
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection"), 300);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection WHERE closed IS NOT NULL"), 0);
}

TEST_F(HistoryTest, KillDuringWritesLosesAtMostTheScanUnderWay)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        HistoryDatabase history;
        if (!history.open(path))
            _exit(1);
        // Scan n holds the endpoints 1..n: its rows and its time tell how far the file got.
        std::vector<SeenEndpoint> endpoints;
        for (int n = 1;; ++n) {
            endpoints.push_back(tcp(n, "10.0.0.9", 22));
            if (!history.record(scanAt(n, endpoints)))
                _exit(2);
            if (write(pipeFds[1], &n, sizeof n) != sizeof n)
                _exit(3);
        }
    }
    close(pipeFds[1]);
    int confirmed = 0;
    int n = 0;
    while (confirmed < 300 && read(pipeFds[0], &n, sizeof n) == sizeof n)
        confirmed = n;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(pipeFds[0], &n, sizeof n) == sizeof n)
        confirmed = n;
    close(pipeFds[0]);
    ASSERT_GE(confirmed, 300);

    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    EXPECT_TRUE(history.takeNotices().empty());
    sqlite3* db = history.handle();
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    const std::int64_t lastScan = scalar("SELECT last_scan FROM computers");
    EXPECT_GE(lastScan, confirmed);
    EXPECT_LE(lastScan, confirmed + 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection"), lastScan);
}

TEST_F(HistoryTest, ACorruptFileIsMovedAsideOnceAndANewOneBegun)
{
    std::ofstream(path) << std::string(8192, 'x');
    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    const std::vector<std::string> notices = history.takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("moved to " + path + ".corrupt-"), std::string::npos) << notices[0];
    int aside = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("history.sqlite.corrupt-")) {
            ++aside;
            EXPECT_EQ(fileText(entry.path().string()), std::string(8192, 'x'));
        }
    }
    EXPECT_EQ(aside, 1);
    EXPECT_TRUE(history.record(scanAt(1, { tcp(1, "10.0.0.2", 80) }))) << history.error();
    EXPECT_TRUE(history.takeNotices().empty());
}

TEST_F(HistoryTest, ANewerSchemaIsRefusedAndLeftUntouched)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE future (x); PRAGMA user_version=99", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    const std::string before = fileText(path);

    HistoryDatabase history;
    EXPECT_FALSE(history.open(path));
    EXPECT_NE(history.error().find("newer version"), std::string::npos) << history.error();
    EXPECT_FALSE(history.record(scanAt(1, { tcp(1, "10.0.0.2", 80) })));
    EXPECT_EQ(fileText(path), before);
    EXPECT_FALSE(fs::exists(path + "-wal"));
}

TEST_F(HistoryTest, AReadOnlyFolderIsToldNotCrashed)
{
    fs::permissions(folder,
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec
            | fs::perms::others_read | fs::perms::others_exec);
    // Root writes anywhere: the check runs as nobody.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(10);
        HistoryDatabase history;
        if (history.open(path))
            _exit(11);
        if (history.error().find(path) == std::string::npos)
            _exit(12);
        _exit(history.record(scanAt(1, { tcp(1, "10.0.0.2", 80) })) ? 13 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(HistoryTest, AlertsComeOncePerNewThingAndNotOnTheFirstScan)
{
    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    history.setAlertKinds(~0u);
    ASSERT_TRUE(
        history.record(scanAt(1, { tcp(22, "", 0, kTcpListenState, "sshd"), tcp(5000, "10.0.0.2", 80) })));
    EXPECT_TRUE(history.takeAlerts().empty());
    // New listeners (a UDP port a service bound, not the client's port drawn from the
    // ephemeral range), a known program talking to a new host, and a new program.
    const auto unconnectedUdp = [](int port) {
        SeenEndpoint endpoint = tcp(port, "", 0, 0, "sshd");
        endpoint.udp = true;
        return endpoint;
    };
    ASSERT_TRUE(history.record(scanAt(2,
        { tcp(22, "", 0, kTcpListenState, "sshd"), tcp(8080, "", 0, kTcpListenState, "sshd"),
            unconnectedUdp(5353), unconnectedUdp(65000), tcp(5001, "10.0.0.3", 80),
            tcp(5002, "10.0.0.2", 80, 5, "wget") })));
    std::vector<std::string> seen;
    for (const HistoryAlert& alert : history.takeAlerts())
        seen.push_back(std::to_string(int(alert.kind)) + " " + alert.process + " " + alert.subject);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen,
        (std::vector<std::string> {
            "1 sshd TCP 8080", "1 sshd UDP 5353", "2 curl 10.0.0.3", "2 wget 10.0.0.2", "3 wget wget" }));
    EXPECT_EQ(scalar("SELECT count(*) FROM alerts"), 5);
    // The same things again, in new connections: no second alert.
    ASSERT_TRUE(
        history.record(scanAt(3, { tcp(5003, "10.0.0.3", 80), tcp(5004, "10.0.0.2", 80, 5, "wget") })));
    EXPECT_TRUE(history.takeAlerts().empty());
}

TEST_F(HistoryTest, RetentionRemovesOldClosedRowsInSteps)
{
    HistoryDatabase history;
    ASSERT_TRUE(history.open(path)) << history.error();
    for (int n = 1; n <= 30; ++n)
        ASSERT_TRUE(history.record(scanAt(n, { tcp(n, "10.0.0.2", 80) })));
    // Rows 1..29 closed at n + 1; the open one stays whatever its age.
    EXPECT_EQ(history.purgeStep(20, 0, 5), 5);
    EXPECT_EQ(history.purgeStep(20, 0, 100), 13);
    EXPECT_EQ(history.purgeStep(20, 0, 100), 0);
    EXPECT_EQ(scalar("SELECT min(local_port) FROM every_connection"), 19);
    EXPECT_EQ(history.purgeStep(0, 1, 100), 11); // over the cap: every closed row may go
    EXPECT_EQ(scalar("SELECT count(*) FROM every_connection"), 1);
}

} // namespace
