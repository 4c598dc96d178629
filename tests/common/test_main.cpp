// Test main shared by every test executable: Qt's offscreen platform unless the
// environment names another, and the application object the tested code expects.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <QThreadPool>

#ifdef VELTRAN_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {

bool poolThreadsLeft()
{
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "Thread (pooled)")
            return true;
    }
    return false;
}

// Qt draws and converts large images on its pool's threads. Those end only when the pool
// goes at exit, and each frees its own thread data in its last steps, after the pool's
// wait() has returned: the leak check at exit could find that data held by no thread.
// So they are ended here, and waited for until the kernel has them no more.
void endPoolThreads()
{
    QThreadPool::globalInstance()->waitForDone();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (poolThreadsLeft() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    endPoolThreads();
    return result;
}
