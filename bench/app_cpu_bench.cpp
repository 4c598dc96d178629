// CPU cost of the running monitor: the real `veltran` at a 1-second refresh with
// 200 endpoints, on Xvfb in a private network namespace, measured from the
// process's own CPU time over a window of seconds, in the map view and the text view.
//
//   app_cpu_bench [seconds per view, default 60]

#include "tests/common/test_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = content.rfind(')');
    std::istringstream fields(content.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double measure(pid_t pid, int seconds)
{
    const double before = cpuSeconds(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 100.0 * (cpuSeconds(pid) - before) / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // 200 endpoints: 40 listeners, 40 connections (80 established rows), 80 UDP sockets.
    TestSockets sockets;
    for (int i = 0; i < 40; ++i)
        sockets.connectTo(sockets.listen());
    sockets.udp(80);

    char folderTemplate[] = "/tmp/veltran-bench-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    const std::string bin = testproc::executableFolder();
    std::system(("cp " + bin + "/veltran " + bin + "/libinetmib1.so " + folder + "/").c_str());
    std::ofstream(folder + "/options.dat") << "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n";
    // Every row's owner is read at every scan; the column shows it too.
    std::ofstream(folder + "/veltran.ini") << "[endpoints]\nshowIpv6=true\nshowProcessColumn=true\n";

    const testproc::XServer xvfb = testproc::startXvfb();
    if (xvfb.pid <= 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    const std::string& display = xvfb.display;
    const pid_t program
        = testproc::spawn({ folder + "/veltran" }, { { "DISPLAY", display }, { "QT_QPA_PLATFORM", "xcb" } });
    std::this_thread::sleep_for(std::chrono::seconds(5)); // start-up and the first scans

    const double mapView = measure(program, seconds);
    std::system(("DISPLAY=" + display + " xdotool search --name VELTRAN | head -1 | xargs -I{} env DISPLAY="
        + display + " xdotool mousemove --window {} 107 45 click 1")
                    .c_str());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double textView = measure(program, seconds);

    testproc::stop(program);
    testproc::stop(xvfb.pid);
    std::system(("rm -rf " + folder).c_str());

    std::printf(
        "veltran, 200 endpoints, processes and their column on, refresh 1 s, %d s per view\n", seconds);
    std::printf("  map view:  %.2f %% of one core\n", mapView);
    std::printf("  text view: %.2f %% of one core\n", textView);
    std::printf("  goal: under 1 %%: %s\n", (mapView < 1.0 && textView < 1.0) ? "met" : "NOT met");
    return 0;
}
