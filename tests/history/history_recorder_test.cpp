// The recorder's own thread and the faults it tells while scans go on: a file locked by
// another program, and a full disk.

#include "history/history_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

SeenScan scanOf(std::int64_t time, int firstPort, int count)
{
    SeenScan scan { "box", time, true, true, true, {} };
    for (int port = firstPort; port < firstPort + count; ++port) {
        SeenEndpoint endpoint;
        endpoint.localAddress = "10.0.0.1";
        endpoint.localPort = port;
        endpoint.remoteAddress = "10.0.0.2";
        endpoint.remotePort = 443;
        endpoint.state = 5;
        scan.endpoints.push_back(endpoint);
    }
    return scan;
}

fs::path scratchFolder()
{
    char name[] = "/tmp/history-recorder-XXXXXX";
    return mkdtemp(name) ? fs::path(name) : fs::path();
}

TEST(HistoryRecorder, ALockedFileIsToldAfterItsRetriesAndRecordingGoesOnOnceFree)
{
    const fs::path folder = scratchFolder();
    const std::string path = (folder / "history.sqlite").string();
    std::mutex mutex;
    std::condition_variable told;
    std::vector<HistoryRecorder::Report> reports;
    HistoryRecorder recorder(path, [&](HistoryRecorder::Report report) {
        std::lock_guard lock(mutex);
        reports.push_back(std::move(report));
        told.notify_all();
    });
    recorder.submit(std::make_shared<SeenScan>(scanOf(1, 1, 1)));
    ASSERT_TRUE(recorder.flush(10000));

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    // Handed over at once, though the file cannot be written.
    for (int n = 2; n < 12; ++n)
        recorder.submit(std::make_shared<SeenScan>(scanOf(n, 1, n)));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(30), [&] { return !reports.empty(); }));
        EXPECT_TRUE(reports.front().faultChanged);
        EXPECT_NE(reports.front().fault.find("locked by another program"), std::string::npos)
            << reports.front().fault;
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    recorder.submit(std::make_shared<SeenScan>(scanOf(20, 1, 3)));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(
            told.wait_for(lock, std::chrono::seconds(30), [&] { return reports.back().fault.empty(); }));
        EXPECT_TRUE(reports.back().faultChanged);
    }
    ASSERT_TRUE(recorder.flush(10000));
    HistoryDatabase check;
    ASSERT_TRUE(check.open(path));
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(check.handle(), "SELECT count(*) FROM live", -1, &count, nullptr);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 3);
    sqlite3_finalize(count);
    fs::remove_all(folder);
}

TEST(HistoryRecorder, AFullDiskIsToldAndTheFileStaysWhole)
{
    const fs::path folder = scratchFolder();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A small disk of its own, in a mount namespace of its own.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") != 0)
            _exit(10);
        const std::string path = (folder / "history.sqlite").string();
        HistoryDatabase database;
        if (!database.open(path))
            _exit(11);
        bool full = false;
        for (int n = 1; n < 1000 && !full; ++n) {
            if (!database.record(scanOf(n, n * 100, 100)))
                full = database.error().find("disk is full") != std::string::npos;
        }
        if (!full)
            _exit(12);
        HistoryDatabase again;
        if (!again.open(path))
            _exit(13);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(again.handle(), "PRAGMA integrity_check", -1, &check, nullptr);
        const bool whole = sqlite3_step(check) == SQLITE_ROW
            && std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
        sqlite3_finalize(check);
        _exit(whole ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "10: no mount namespace, 11: no open, 12: never full, 13, 14: damaged";
    fs::remove_all(folder);
}

} // namespace
